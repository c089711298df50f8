#include "data/logs.h"

#include "data/textforms.h"

LogEntry LogEntry::fromJson(const QJsonObject &object)
{
    LogEntry entry;
    QString stamp;
    if (TextForm::stringOf(object, "cre", stamp))
        entry.created = TextForm::stampFrom(stamp, TextForm::logTimePattern);
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
        removeRecordAt(count() - 1);
    setCurrent(remembered);
}

void Logs::fromJson(const QJsonObject &object)
{
    const QJsonValue list = object.value(listKey());
    if (!list.isArray() || list.toArray().size() <= limit) {
        RecordStore::fromJson(object);
        return;
    }
    const QJsonArray all = list.toArray();
    QJsonArray newest;
    for (int i = 0; i < limit; ++i)
        newest.append(all.at(i));
    QJsonObject limited = object;
    limited.insert(listKey(), newest);
    RecordStore::fromJson(limited);
}

bool Logs::readBase()
{
    const bool read = RecordStore::readBase();
    while (count() > limit)
        removeRecordAt(count() - 1);
    return read;
}

QString Logs::createdText() const
{
    const LogEntry *entry = currentRecord();
    return entry ? TextForm::stampText(entry->created, TextForm::logTimePattern) : QString();
}
