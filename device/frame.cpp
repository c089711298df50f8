#include "device/frame.h"

#include <QLoggingCategory>

namespace Frame {

quint16 crc16(const char *bytes, int count)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < count; ++i) {
        crc ^= quint16(quint8(bytes[i])) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

QByteArray encode(quint8 code, const QByteArray &data)
{
    const int length = 1 + data.size();
    if (length > maxBody)
        return {};
    QByteArray frame;
    frame.reserve(length + overhead);
    frame.append(char(0));
    frame.append(char(length));
    frame.append(char(code));
    frame.append(data);
    const quint16 crc = crc16(frame.constData() + 1, length + 1);
    frame.append(char(crc >> 8));
    frame.append(char(crc & 0xFF));
    return frame;
}

void appendU8(QByteArray &data, quint8 value)
{
    data.append(char(value));
}

void appendU16(QByteArray &data, quint16 value)
{
    data.append(char(value & 0xFF));
    data.append(char(value >> 8));
}

void appendU32(QByteArray &data, quint32 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        data.append(char((value >> shift) & 0xFF));
}

}  // namespace Frame

void FrameReader::append(const QByteArray &bytes)
{
    m_buffer.append(bytes);
    if (m_buffer.size() > maxBuffered) {
        const int excess = m_buffer.size() - maxBuffered;
        m_buffer.remove(0, excess);
        m_dropped += excess;
    }
}

int FrameReader::frameAt(int offset) const
{
    const int available = m_buffer.size() - offset;
    if (available < 2)
        return 0;
    const int length = quint8(m_buffer.at(offset + 1));
    if (length == 0)
        return -1;  // a frame always carries its code
    const int total = length + Frame::overhead;
    if (available < total)
        return 0;
    const char *p = m_buffer.constData() + offset;
    const quint16 crc = Frame::crc16(p + 1, length + 1);
    const quint16 sent = quint16(quint8(p[length + 2]) << 8) | quint8(p[length + 3]);
    return crc == sent ? total : -1;
}

bool FrameReader::next(QByteArray &frame)
{
    // Bytes that cannot start a valid frame (bad checksum, zero length) are
    // skipped one at a time until a frame boundary lines up again.
    int skipped = 0;
    while (!m_buffer.isEmpty() && frameAt(0) < 0) {
        m_buffer.remove(0, 1);
        ++skipped;
    }
    int start = 0;
    int size = m_buffer.isEmpty() ? 0 : frameAt(0);
    if (size == 0) {
        // Incomplete at the front: either the rest is on its way, or these
        // are noise bytes whose length points past what arrived. A complete
        // valid frame further on means the latter.
        for (int later = 1; later < m_buffer.size() && size == 0; ++later) {
            const int found = frameAt(later);
            if (found > 0) {
                start = later;
                size = found;
            }
        }
    }
    skipped += start;
    if (skipped > 0) {
        qDebug() << "frame dropped, bad checksum or length:" << skipped << "bytes";
        m_dropped += skipped;
    }
    if (size <= 0)
        return false;
    frame = m_buffer.mid(start, size);
    m_buffer.remove(0, start + size);
    return true;
}
