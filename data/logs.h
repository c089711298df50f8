#pragma once

#include "data/recordstore.h"

#include <QDateTime>

// One line of a device's event log, stamped to the millisecond.
struct LogEntry
{
    QDateTime created = QDateTime::currentDateTime();
    QString text;

    static LogEntry fromJson(const QJsonObject &object);
    QJsonObject toJson() const;
    QString displayText() const { return text; }
};

// A device's log, newest entry first, held inside its machine record.
class Logs : public RecordStore<LogEntry>
{
public:
    static constexpr int maxEntries = 500;

    Logs() : RecordStore(QStringLiteral("logs"), QStringLiteral("Logs")) {}

    // Stamps the text with the current time and puts it first; the oldest
    // entry goes beyond the limit. The current index stays the same number.
    void add(const QString &text);

    QString text() const { return field(&LogEntry::text); }
    QString createdText() const;
};
