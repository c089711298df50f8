#include "data/textforms.h"

#include <QJsonValue>

#include <optional>

namespace TextForm {

QString fromInt(qint64 value)
{
    return QString::number(value);
}

QString fromMinutes(int minutes)
{
    return fromInt(minutes);
}

namespace {

// The fixed forms read and written by hand: Qt's pattern parser consults
// the time-zone database several times per date, and a large library holds
// hundreds of thousands of them.
struct Layout
{
    const char *pattern;
    int length;  // of the text: dd.MM.yyyy hh:mm, then :ss, then .zzz
};
constexpr Layout layouts[] = {{dateTimePattern, 16}, {"dd.MM.yyyy hh:mm:ss", 19}, {logTimePattern, 23}};

const Layout *layoutOf(const char *pattern)
{
    for (const Layout &layout : layouts) {
        if (qstrcmp(layout.pattern, pattern) == 0)
            return &layout;
    }
    return nullptr;
}

bool digits(QStringView text, int at, int count, int &value)
{
    value = 0;
    for (int i = at; i < at + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c - u'0');
    }
    return true;
}

void appendDigits(QString &text, int value, int count)
{
    char buffer[4];
    for (int i = count - 1; i >= 0; --i, value /= 10)
        buffer[i] = char('0' + value % 10);
    text.append(QLatin1String(buffer, count));
}

// A text in the fixed form, or nullopt for anything else.
std::optional<QDateTime> parseFixed(QStringView text, const Layout &layout)
{
    if (text.size() != layout.length)
        return std::nullopt;
    static const int separatorAt[] = {2, 5, 10, 13, 16, 19};
    static const char separator[] = ".. ::.";
    for (int i = 0; i < 6 && separatorAt[i] < layout.length; ++i) {
        if (text[separatorAt[i]] != QLatin1Char(separator[i]))
            return std::nullopt;
    }
    int day, month, year, hour, minute, second = 0, ms = 0;
    if (!digits(text, 0, 2, day) || !digits(text, 3, 2, month) || !digits(text, 6, 4, year)
        || !digits(text, 11, 2, hour) || !digits(text, 14, 2, minute))
        return std::nullopt;
    if (layout.length >= 19 && !digits(text, 17, 2, second))
        return std::nullopt;
    if (layout.length >= 23 && !digits(text, 20, 3, ms))
        return std::nullopt;
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, ms);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

QDateTime wallClock(const QDateTime &dateTime)
{
    return dateTime.isValid() ? QDateTime(dateTime.date(), dateTime.time(), Qt::UTC) : QDateTime();
}

QDateTime now()
{
    return wallClock(QDateTime::currentDateTime());
}

QDateTime asLocal(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return QDateTime();
    const QDateTime local(dateTime.date(), dateTime.time(), Qt::LocalTime);
    if (local.isValid())
        return local;
    // A time the clocks skipped: read it with the offset that held before.
    const int offset = QDateTime(dateTime.date().addDays(-1), dateTime.time()).offsetFromUtc();
    return QDateTime(dateTime.date(), dateTime.time(), Qt::OffsetFromUTC, offset);
}

QString stampText(const QDateTime &dateTime, const char *pattern)
{
    const Layout *layout = layoutOf(pattern);
    if (!dateTime.isValid())
        return QString();
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    if (!layout || date.year() < 1 || date.year() > 9999)
        return dateTime.toString(QLatin1String(pattern));
    QString text;
    text.reserve(layout->length);
    appendDigits(text, date.day(), 2);
    text.append(QLatin1Char('.'));
    appendDigits(text, date.month(), 2);
    text.append(QLatin1Char('.'));
    appendDigits(text, date.year(), 4);
    text.append(QLatin1Char(' '));
    appendDigits(text, time.hour(), 2);
    text.append(QLatin1Char(':'));
    appendDigits(text, time.minute(), 2);
    if (layout->length >= 19) {
        text.append(QLatin1Char(':'));
        appendDigits(text, time.second(), 2);
    }
    if (layout->length >= 23) {
        text.append(QLatin1Char('.'));
        appendDigits(text, time.msec(), 3);
    }
    return text;
}

QDateTime stampFromText(const QString &text, const char *pattern)
{
    if (const Layout *layout = layoutOf(pattern)) {
        if (const std::optional<QDateTime> fixed = parseFixed(text, *layout))
            return *fixed;
    }
    return wallClock(QDateTime::fromString(text, QLatin1String(pattern)));
}

QString fromDateTime(const QDateTime &dateTime)
{
    return stampText(dateTime, dateTimePattern);
}

QString stampText(const Stamp &stamp, const char *pattern)
{
    return stamp.stored.isEmpty() ? stampText(stamp.when, pattern) : stamp.stored;
}

QString fromDateTime(const Stamp &stamp)
{
    return stampText(stamp, dateTimePattern);
}

Stamp stampFrom(QStringView text, const char *pattern)
{
    // The fixed form has one text per value: nothing to keep.
    if (const Layout *layout = layoutOf(pattern)) {
        const std::optional<QDateTime> fixed = parseFixed(text, *layout);
        if (fixed && fixed->isValid())
            return Stamp(*fixed);
    }
    Stamp stamp(stampFromText(text.toString(), pattern));
    if (stampText(stamp.when, pattern) != text)
        stamp.stored = text.toString();
    return stamp;
}

QDateTime toDateTime(const QString &text)
{
    return stampFromText(text, dateTimePattern);
}

bool stringOf(const QJsonObject &object, const char *key, QString &text)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString())
        return false;
    text = value.toString();
    return true;
}

bool stringOf(const RecordFields &fields, const char *key, QString &text)
{
    return fields.text(QLatin1StringView(key), text);
}

bool viewOf(const QJsonObject &object, const char *key, QString &held, QStringView &text)
{
    if (!stringOf(object, key, held))
        return false;
    text = held;
    return true;
}

bool viewOf(const RecordFields &fields, const char *key, QString &, QStringView &text)
{
    return fields.view(QLatin1StringView(key), text);
}

QString versioned(const QString &name, int version)
{
    return name + QStringLiteral(".v.") + QString::number(version);
}

bool intFrom(QStringView text, int &value)
{
    bool ok = false;
    const int read = text.toInt(&ok, 10);
    if (ok)
        value = read;
    return ok;
}

} // namespace TextForm

bool TextForm::lfValue(const QString &text, quint32 &value)
{
    value = 0;
    const QString trimmed = text.trimmed();
    const qsizetype point = trimmed.indexOf(QLatin1Char('.'));
    const QStringView whole = QStringView(trimmed).left(point < 0 ? trimmed.size() : point);
    const QStringView fraction = point < 0 ? QStringView() : QStringView(trimmed).mid(point + 1);
    if (whole.isEmpty())
        return false;
    quint64 number = 0;
    for (const QChar c : whole) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        number = number * 10 + quint64(c.unicode() - '0');
        if (number > 0xFFFFFFFFull)
            return false;
    }
    for (const QChar c : fraction) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    if (point >= 0 && fraction.isEmpty())
        return false;
    if (number == 0)
        return false;  // 0.5 has no whole LF value to send
    value = quint32(number);
    return true;
}
