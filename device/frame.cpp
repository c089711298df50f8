#include "device/frame.h"

#include "device/protocol.h"

#include <QLoggingCategory>

#include <array>

namespace Frame {

namespace {

std::array<quint16, 256> crcTable()
{
    std::array<quint16, 256> table {};
    for (int byte = 0; byte < 256; ++byte) {
        quint16 crc = quint16(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
        table[size_t(byte)] = crc;
    }
    return table;
}

} // namespace

quint16 crc16(const char *bytes, int count)
{
    static const std::array<quint16, 256> table = crcTable();
    quint16 crc = 0xFFFF;
    for (int i = 0; i < count; ++i)
        crc = quint16(crc << 8) ^ table[size_t((crc >> 8) ^ quint8(bytes[i]))];
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

FrameReader::FrameReader()
{
    for (quint8 code : {Protocol::REP_STATUS, Protocol::REP_CLOCK, Protocol::REP_CONFIG, Protocol::REP_LIVETIME})
        m_resyncCode[code] = true;
}

void FrameReader::clear()
{
    m_buffer.clear();
    m_ready.clear();
    m_start = 0;
    m_lookahead = 0;
    m_inStep = true;
}

void FrameReader::append(const QByteArray &bytes)
{
    // Frames are taken out before the backlog is cut, piece by piece: what
    // the cap drops is noise that forms no frame, never a reply that
    // arrived with it.
    for (qsizetype offset = 0; offset < bytes.size(); offset += maxBuffered) {
        compact();
        m_buffer.append(bytes.constData() + offset, qMin<qsizetype>(maxBuffered, bytes.size() - offset));
        QByteArray frame;
        while (scan(frame)) {
            m_ready.append(frame);
            if (m_ready.size() > maxReady)
                m_dropped += m_ready.takeFirst().size();
        }
        const int excess = buffered() - maxBuffered;
        if (excess > 0)
            drop(excess);
    }
}

bool FrameReader::next(QByteArray &frame)
{
    if (m_ready.isEmpty())
        return false;
    frame = m_ready.takeFirst();
    return true;
}

void FrameReader::drop(int count)
{
    m_start += count;
    m_dropped += count;
    m_lookahead = qMax(m_lookahead, m_start);
    m_inStep = false;
}

void FrameReader::compact()
{
    // Used bytes are let go in one move once they are the larger part, so
    // that taking frames off the front does not copy the rest every time.
    if (m_start > 0 && m_start * 2 >= m_buffer.size()) {
        m_buffer.remove(0, m_start);
        m_lookahead -= m_start;
        m_start = 0;
    }
}

FrameReader::Candidate FrameReader::candidateAt(int offset, bool anyCode)
{
    const int available = int(m_buffer.size()) - offset;
    if (available < 3)
        return Candidate::Incomplete;
    const char *p = m_buffer.constData() + offset;
    const int length = quint8(p[1]);
    if (length == 0)
        return Candidate::Invalid;  // a frame always carries its code
    if (!anyCode && !m_resyncCode[quint8(p[2])])
        return Candidate::Invalid;
    const int total = length + Frame::overhead;
    if (available < total)
        return Candidate::Incomplete;
    m_checked += length + 1;
    const quint16 crc = Frame::crc16(p + 1, length + 1);
    const quint16 sent = quint16(quint8(p[length + 2]) << 8) | quint8(p[length + 3]);
    return crc == sent ? Candidate::Valid : Candidate::Invalid;
}

bool FrameReader::scan(QByteArray &frame)
{
    const int before = m_start;
    int found = -1;
    while (found < 0 && buffered() > 0) {
        const Candidate front = candidateAt(m_start, m_inStep);
        if (front == Candidate::Valid) {
            found = m_start;
        } else if (front == Candidate::Invalid) {
            // Out of step now; the offsets the lookahead found holding no
            // frame are not tried again.
            m_start = qMax(m_start + 1, m_lookahead);
            m_inStep = false;
            m_lookahead = m_start;
        } else {
            // Incomplete at the front: either the rest is on its way, or
            // this is noise whose length points past what arrived. A
            // complete frame further on means the latter. Offsets already
            // found holding no complete frame are not tried again.
            int later = qMax(m_lookahead, m_start + 1);
            bool allComplete = true;
            for (; later < m_buffer.size(); ++later) {
                const Candidate c = candidateAt(later, false);
                if (c == Candidate::Valid) {
                    found = later;
                    break;
                }
                if (c == Candidate::Incomplete)
                    allComplete = false;
                else if (allComplete)
                    m_lookahead = later + 1;
            }
            break;
        }
    }
    if (found > m_start) {
        m_start = found;
        m_inStep = false;
    }
    const int skipped = m_start - before;
    if (skipped > 0) {
        qDebug() << "frame dropped, bad checksum or length:" << skipped << "bytes";
        m_dropped += skipped;
    }
    if (found < 0)
        return false;
    const int size = quint8(m_buffer.at(found + 1)) + Frame::overhead;
    frame = m_buffer.mid(found, size);
    m_start = found + size;
    m_lookahead = qMax(m_lookahead, m_start);
    m_inStep = true;
    return true;
}
