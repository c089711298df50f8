#pragma once

#include "data/recordfields.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QTime>

// The text forms every record uses inside its file. All values in a record
// are JSON strings; a reader takes a key only when it is present and a
// string, and otherwise leaves the field at its default.
namespace TextForm {

inline constexpr const char *dateTimePattern = "dd.MM.yyyy hh:mm";
inline constexpr const char *logTimePattern = "dd.MM.yyyy hh:mm:ss.zzz";

QString fromInt(qint64 value);

// A record as lists, the run and the history name it: "name.v.version".
QString versioned(const QString &name, int version);

// A frequency text as the device's LF value: a plain decimal number above
// 0 ("1234" or "1234.5", a point and no sign, exponent or spaces inside)
// whose whole part fits the device's 32-bit field. The fraction is dropped.
// False, and 0, for any other text: "-5", "5e9", "1,5", "NaN".
bool lfValue(const QString &text, quint32 &value);

// Run times are whole minutes, held as the integer stored, whatever its
// size or sign. A negative time is no time of its own (a program line then
// runs its preset's time); older files wrote that as -61.
inline constexpr int noMinutes = -61;
QString fromMinutes(int minutes);

// Date-times are held as the wall-clock fields they were written with
// (spec Qt::UTC, no zone applied), so that a time the local zone skips or
// repeats at a daylight-saving change reads and writes back unchanged.
// Local date-times are written by their local fields.
QString fromDateTime(const QDateTime &dateTime);
QDateTime toDateTime(const QString &text);
// The same for the other fixed forms ("dd.MM.yyyy hh:mm:ss", logTimePattern);
// another pattern goes through Qt's parser.
QString stampText(const QDateTime &dateTime, const char *pattern);
QDateTime stampFromText(const QString &text, const char *pattern);
// The wall clock now, as records hold it.
QDateTime now();
QDateTime wallClock(const QDateTime &dateTime);
// A record's wall-clock time as a local time, for comparing with the clock.
QDateTime asLocal(const QDateTime &dateTime);

// A date-time field as a record holds it. A stored text that is not
// exactly how the program writes that value ("1.2.2026 9:05", "31.04.2026
// 10:00") is kept beside it, written back unchanged and shown as it is, so
// that a save nobody asked for never rewrites or erases it. A new value
// replaces it.
struct Stamp
{
    QDateTime when;
    QString stored;  // empty: the text is the value's own

    Stamp() = default;
    Stamp(const QDateTime &dateTime) : when(dateTime) {}  // implicit: a new value
    bool operator==(const Stamp &other) const { return when == other.when && stored == other.stored; }
    bool operator!=(const Stamp &other) const { return !(*this == other); }
};
} // namespace TextForm
Q_DECLARE_TYPEINFO(TextForm::Stamp, Q_RELOCATABLE_TYPE);
namespace TextForm {
QString stampText(const Stamp &stamp, const char *pattern);
QString fromDateTime(const Stamp &stamp);
// The value read from the text, keeping the text when it is not the
// value's own.
Stamp stampFrom(QStringView text, const char *pattern);

// The key's string value, or nothing when absent or not a string.
bool stringOf(const QJsonObject &object, const char *key, QString &text);
bool stringOf(const RecordFields &fields, const char *key, QString &text);
// The same as a view, for a text read and not kept; `held` keeps it alive
// where the record form has no text to view.
bool viewOf(const QJsonObject &object, const char *key, QString &held, QStringView &text);
bool viewOf(const RecordFields &fields, const char *key, QString &held, QStringView &text);

// Each reader leaves the field as it is when the key is absent or its
// value is not a string; Object is a QJsonObject or RecordFields.
template <typename Object = QJsonObject>
void readText(const Object &object, const char *key, QString &field)
{
    stringOf(object, key, field);
}
// Leaves the field when the text is not a whole number that fits 32 bits.
bool intFrom(QStringView text, int &value);
template <typename Object = QJsonObject>
void readInt(const Object &object, const char *key, int &field)
{
    QString held;
    QStringView text;
    if (viewOf(object, key, held, text))
        intFrom(text, field);
}
template <typename Object = QJsonObject>
void readMinutes(const Object &object, const char *key, int &field)
{
    readInt(object, key, field);
}
template <typename Object = QJsonObject>
void readDateTime(const Object &object, const char *key, Stamp &field)
{
    QString held;
    QStringView text;
    if (viewOf(object, key, held, text))
        field = stampFrom(text, dateTimePattern);
}

} // namespace TextForm
