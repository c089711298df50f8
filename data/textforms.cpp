#include "data/textforms.h"

#include <QJsonValue>

namespace TextForm {

QString fromInt(qint64 value)
{
    return QString::number(value);
}

QTime minutesToTime(int minutes)
{
    if (minutes < 0 || minutes >= 24 * 60)
        return QTime();
    return QTime(minutes / 60, minutes % 60);
}

int timeToMinutes(const QTime &time)
{
    return time.hour() * 60 + time.minute();
}

QString fromMinutes(const QTime &time)
{
    return fromInt(timeToMinutes(time));
}

QString fromDateTime(const QDateTime &dateTime)
{
    return dateTime.toString(QLatin1String(dateTimePattern));
}

QDateTime toDateTime(const QString &text)
{
    return QDateTime::fromString(text, QLatin1String(dateTimePattern));
}

bool stringOf(const QJsonObject &object, const char *key, QString &text)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString())
        return false;
    text = value.toString();
    return true;
}

void readText(const QJsonObject &object, const char *key, QString &field)
{
    stringOf(object, key, field);
}

void readInt(const QJsonObject &object, const char *key, int &field)
{
    QString text;
    if (!stringOf(object, key, text))
        return;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (ok)
        field = value;
}

void readMinutes(const QJsonObject &object, const char *key, QTime &field)
{
    int minutes = 0;
    QString text;
    if (!stringOf(object, key, text))
        return;
    bool ok = false;
    minutes = text.toInt(&ok, 10);
    if (ok)
        field = minutesToTime(minutes);
}

void readDateTime(const QJsonObject &object, const char *key, QDateTime &field)
{
    QString text;
    if (stringOf(object, key, text))
        field = toDateTime(text);
}

} // namespace TextForm
