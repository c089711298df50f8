#pragma once

#include "data/recordstore.h"

#include <QDateTime>

// One event of a device, stamped to the millisecond.
struct LogEntry
{
    TextForm::Stamp created;
    QString text;

    static LogEntry fromJson(const QJsonObject &object);
    QJsonObject toJson() const;
    const QString &displayText() const { return text; }
};

// A device's event log, newest entry first, at most `limit` entries. It
// lives inside the device's registry record: toJson/fromJson write and read
// the nested object {"version": "1", "logs": [...]}.
class Logs : public RecordStore<LogEntry>
{
public:
    static constexpr int limit = 500;

    Logs();

    // The entry goes first; the oldest beyond the limit is dropped. The
    // current index stays the same number.
    void add(const QString &text);

    // Reading keeps the limit too: a file written elsewhere, or before the
    // limit held, may carry far more, and every redraw of the device log
    // would pay for them. The newest entries, which come first, are kept.
    void fromJson(const QJsonObject &object);
    bool readBase();

    QString text() const { return field(&LogEntry::text); }
    QString createdText() const;
};
