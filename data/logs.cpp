#include "data/logs.h"

#include "data/textforms.h"

LogEntry LogEntry::fromJson(const QJsonObject &object)
{
    LogEntry entry;
    entry.created = QDateTime();
    QString stamp;
    if (TextForm::stringOf(object, "cre", stamp))
        entry.created = QDateTime::fromString(stamp, QString::fromLatin1(TextForm::logTimePattern));
    TextForm::readText(object, "log", entry.text);
    return entry;
}

QJsonObject LogEntry::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("cre"),
                  created.isValid() ? created.toString(QString::fromLatin1(TextForm::logTimePattern)) : QString());
    object.insert(QStringLiteral("log"), text);
    return object;
}

void Logs::add(const QString &text)
{
    const int remembered = current();
    setCurrent(0);
    LogEntry entry;
    entry.text = text;
    insertRecord(entry);
    if (count() > maxEntries)
        records().removeLast();
    setCurrent(remembered);
}

QString Logs::createdText() const
{
    const LogEntry *entry = currentRecord();
    return entry && entry->created.isValid()
        ? entry->created.toString(QString::fromLatin1(TextForm::logTimePattern))
        : QString();
}
