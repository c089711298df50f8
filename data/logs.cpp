#include "data/logs.h"

#include "data/textforms.h"

LogEntry LogEntry::fromJson(const QJsonObject &object)
{
    LogEntry entry;
    QString stamp;
    if (TextForm::stringOf(object, "cre", stamp))
        entry.created = TextForm::stampFromText(stamp, TextForm::logTimePattern);
    TextForm::readText(object, "log", entry.text);
    return entry;
}

QJsonObject LogEntry::toJson() const
{
    return {
        {"cre", TextForm::stampText(created, TextForm::logTimePattern)},
        {"log", text},
    };
}

Logs::Logs() : RecordStore<LogEntry>(QStringLiteral("logs"), QStringLiteral("logs")) {}

void Logs::add(const QString &text)
{
    const int remembered = current();
    setCurrent(0);
    insertRecord(LogEntry{QDateTime::currentDateTime(), text});
    if (count() > limit)
        records().removeLast();
    setCurrent(remembered);
}

QString Logs::createdText() const
{
    const LogEntry *entry = currentRecord();
    return entry ? TextForm::stampText(entry->created, TextForm::logTimePattern) : QString();
}
