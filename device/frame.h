#pragma once

#include <QByteArray>
#include <QList>

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
//
// A hostile or broken peer may send nothing but noise, so the work done per
// byte received is bounded: each offset is tried at most once as a frame
// start while the stream is out of step, and then only where the code byte
// is one of the replies the host acts on (a frame of another code, found by
// chance in noise, would be ignored anyway).
class FrameReader
{
public:
    // Bytes that never form a frame are let go beyond this much backlog.
    static constexpr int maxBuffered = 4096;
    // Frames found and not yet taken; a peer that sends more between two
    // ticks loses its oldest.
    static constexpr int maxReady = 256;

    FrameReader();

    void append(const QByteArray &bytes);

    // Takes the next complete, checksum-valid frame (all L + 4 bytes).
    // Returns false when no complete frame is buffered.
    bool next(QByteArray &frame);

    // Bytes skipped because they did not start a valid frame.
    qint64 droppedBytes() const { return m_dropped; }
    int buffered() const { return int(m_buffer.size()) - m_start; }
    // Checksum bytes computed so far: what resynchronising has cost.
    qint64 checkedBytes() const { return m_checked; }
    void clear();

private:
    enum class Candidate { Incomplete, Invalid, Valid };
    Candidate candidateAt(int offset, bool anyCode);
    bool scan(QByteArray &frame);
    void drop(int count);
    void compact();

    QByteArray m_buffer;
    QList<QByteArray> m_ready;  // frames found, oldest first
    int m_start = 0;         // first byte not yet used or dropped
    int m_lookahead = 0;     // offsets below this hold no complete frame
    bool m_inStep = true;    // the last frame ended where the next begins
    qint64 m_dropped = 0;
    qint64 m_checked = 0;
    bool m_resyncCode[256] = {};
};
