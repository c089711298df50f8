#pragma once

#include <QByteArray>

// The framing shared by every end of a Tavik connection: lead byte, length
// byte L, code and data (L bytes), then a CRC-16/CCITT-FALSE, high byte first,
// over the length byte, the code and the data.
namespace Frame {

constexpr int overhead = 4;          // lead, length, two checksum bytes
constexpr int maxBody = 255;         // the length byte limits code + data

quint16 crc16(const char *bytes, int count);

// A whole frame for the given code and little-endian data; empty if too long.
QByteArray encode(quint8 code, const QByteArray &data = {});

// Appends value to data low byte first.
void appendU8(QByteArray &data, quint8 value);
void appendU16(QByteArray &data, quint16 value);
void appendU32(QByteArray &data, quint32 value);

}  // namespace Frame

// Cuts a TCP byte stream into frames. TCP keeps no message boundaries: one
// read may hold half a frame, or two, or noise around them. The reader keeps
// what it has not used yet and hands out only frames whose checksum matches.
class FrameReader
{
public:
    // Bytes that never form a frame are let go beyond this much backlog.
    static constexpr int maxBuffered = 4096;

    void append(const QByteArray &bytes);

    // Takes the next complete, checksum-valid frame (all L + 4 bytes).
    // Returns false when no complete frame is buffered.
    bool next(QByteArray &frame);

    // Bytes skipped because they did not start a valid frame.
    int droppedBytes() const { return m_dropped; }
    int buffered() const { return m_buffer.size(); }
    void clear() { m_buffer.clear(); }

private:
    // Length of a valid frame starting at offset, 0 when incomplete, -1 when
    // the bytes there cannot start a valid frame.
    int frameAt(int offset) const;

    QByteArray m_buffer;
    int m_dropped = 0;
};
