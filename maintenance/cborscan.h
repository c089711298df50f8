#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

// Walks a CBOR file item by item from a device, holding only a small window
// of it, so that a file of gigabytes can be checked and taken apart without
// being in memory whole. It checks the structure only (heads, lengths,
// nesting); the items a caller keeps are decoded by the stores' own reader,
// which checks the rest. The nesting it allows is the one the whole-file
// reader allows: an item at depth d, a map's values two deeper, an array's
// elements one deeper, nothing deeper than Container::depthLimit.
class CborScan
{
public:
    enum Major { Unsigned = 0, Negative = 1, Bytes = 2, Text = 3, Array = 4, Map = 5, Tag = 6, Simple = 7 };

    CborScan(QIODevice &device, qint64 size);

    qint64 offset() const { return m_consumed + m_at; }
    bool atEnd() const { return offset() >= m_size; }
    qint64 left() const { return m_size - offset(); }

    // The major type of the next item, without taking it; false at the end.
    bool peek(int &major);
    // Whether the next byte ends an item of unknown length.
    bool atBreak();
    bool takeBreak();
    // Takes a run of tags (no more than the whole-file reader passes).
    bool tags();
    // Takes an item's head; `indefinite` for a length given by a break.
    bool head(int &major, quint64 &argument, bool &indefinite);
    // Takes a whole text item, head and all, as valid UTF-8 (each chunk of
    // one sent in pieces as well).
    bool text(QString &out);
    // Takes a whole item at depth `depth`, tags first.
    bool skip(int depth);
    // The same, quicker for the common record: a map of short texts, all in
    // the bytes at hand.
    bool skipRecord(int depth);

    // From now on what is taken is also appended to `into`; null stops.
    void capture(QByteArray *into);

private:
    bool need(qint64 count);
    bool take(qint64 count);
    void flushCapture();

    QIODevice &m_device;
    qint64 m_size;
    QByteArray m_window;
    qsizetype m_at = 0;       // the next byte in the window
    qint64 m_consumed = 0;    // file offset of the window's first byte
    QByteArray *m_capture = nullptr;
    qsizetype m_captureFrom = 0;
};
