#include "tracelog.h"

#include "protocol.h"

bool TraceLog::open(const QString &path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    write(QStringLiteral("CLOCK monotonic-ms=%1").arg(m_clock.startMonotonicMs()));
    return true;
}

void TraceLog::write(const QString &event)
{
    if (!m_file.isOpen())
        return;
    m_file.write(QByteArray::number(m_clock.realMs()) + ' ' + event.toUtf8() + '\n');
    m_file.flush();
}

void TraceLog::received(quint8 code, const QByteArray &data)
{
    QString line = QStringLiteral("RX %1 data=%2")
                       .arg(Protocol::requestName(code), QString::fromLatin1(data.toHex()));
    const QString fields = Protocol::requestFields(code, data);
    if (!fields.isEmpty())
        line += QLatin1Char(' ') + fields;
    write(line);
}

void TraceLog::badFrame(const QByteArray &frame)
{
    write(QStringLiteral("RX BAD_CRC data=") + QString::fromLatin1(frame.toHex()));
}
