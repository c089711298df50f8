#include "protocol.h"

namespace Protocol {

QString requestName(quint8 code)
{
    switch (code) {
    case REQ_SET_LF: return QStringLiteral("REQ_SET_LF");
    case REQ_SET_TIME: return QStringLiteral("REQ_SET_TIME");
    case REQ_QUERY: return QStringLiteral("REQ_QUERY");
    case REQ_SET_CLOCK: return QStringLiteral("REQ_SET_CLOCK");
    case REQ_COMMAND: return QStringLiteral("REQ_COMMAND");
    }
    return QStringLiteral("UNKNOWN");
}

quint32 readLittleEndian(const QByteArray &data, int width, bool *ok)
{
    const int count = qMin(width, int(data.size()));
    quint32 value = 0;
    for (int i = 0; i < count; ++i)
        value |= quint32(quint8(data.at(i))) << (8 * i);
    if (ok)
        *ok = count > 0;
    return value;
}

QString requestFields(quint8 code, const QByteArray &data)
{
    QString name;
    int width = 0;
    switch (code) {
    case REQ_SET_LF: name = QStringLiteral("lf"); width = 4; break;
    case REQ_SET_TIME: name = QStringLiteral("time"); width = 2; break;
    case REQ_QUERY: name = QStringLiteral("query"); width = 1; break;
    case REQ_SET_CLOCK: name = QStringLiteral("clock"); width = 4; break;
    case REQ_COMMAND: name = QStringLiteral("command"); width = 1; break;
    default:
        return QStringLiteral("code=%1").arg(code, 2, 16, QLatin1Char('0'));
    }
    bool ok = false;
    const quint32 value = readLittleEndian(data, width, &ok);
    return ok ? QStringLiteral("%1=%2").arg(name).arg(value) : QString();
}

}  // namespace Protocol
