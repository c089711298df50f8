#include "maintenance/cborscan.h"

#include "data/container.h"

#include <QStringDecoder>

namespace {

constexpr qint64 windowSize = qint64(1) << 20;

bool validUtf8(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(bytes);
    return !utf8.hasError();
}

} // namespace

CborScan::CborScan(QIODevice &device, qint64 size) : m_device(device), m_size(size) {}

void CborScan::capture(QByteArray *into)
{
    flushCapture();
    m_capture = into;
    m_captureFrom = m_at;
}

void CborScan::flushCapture()
{
    if (m_capture && m_at > m_captureFrom)
        m_capture->append(m_window.constData() + m_captureFrom, m_at - m_captureFrom);
    m_captureFrom = m_at;
}

bool CborScan::need(qint64 count)
{
    if (m_window.size() - m_at >= count)
        return true;
    if (offset() + count > m_size)
        return false;
    flushCapture();
    m_window.remove(0, m_at);
    m_consumed += m_at;
    m_at = 0;
    m_captureFrom = 0;
    const qint64 wanted = qMin(qMax(count - m_window.size(), windowSize), m_size - m_consumed - m_window.size());
    const qsizetype had = m_window.size();
    m_window.resize(had + qsizetype(wanted));
    const qint64 read = m_device.read(m_window.data() + had, wanted);
    m_window.resize(had + qsizetype(qMax<qint64>(read, 0)));
    return m_window.size() >= count;
}

bool CborScan::take(qint64 count)
{
    while (count > 0) {
        if (m_at == m_window.size() && !need(1))
            return false;
        const qint64 step = qMin<qint64>(count, m_window.size() - m_at);
        m_at += qsizetype(step);
        count -= step;
    }
    return true;
}

bool CborScan::peek(int &major)
{
    if (!need(1))
        return false;
    major = uchar(m_window.at(m_at)) >> 5;
    return true;
}

bool CborScan::atBreak()
{
    return need(1) && uchar(m_window.at(m_at)) == 0xff;
}

bool CborScan::takeBreak()
{
    return atBreak() && take(1);
}

bool CborScan::head(int &major, quint64 &argument, bool &indefinite)
{
    if (!need(1))
        return false;
    const uchar initial = uchar(m_window.at(m_at));
    major = initial >> 5;
    const int info = initial & 0x1f;
    indefinite = false;
    argument = 0;
    if (info < 24) {
        argument = quint64(info);
        return take(1);
    }
    if (info == 31) {
        // Lengths given by a break; a break alone is the Simple type's.
        indefinite = true;
        return (major == Bytes || major == Text || major == Array || major == Map || major == Simple) && take(1);
    }
    const int width = info == 24 ? 1 : info == 25 ? 2 : info == 26 ? 4 : info == 27 ? 8 : 0;
    if (width == 0 || !need(1 + width))
        return false;
    for (int i = 1; i <= width; ++i)
        argument = argument << 8 | uchar(m_window.at(m_at + i));
    return take(1 + width);
}

bool CborScan::tags()
{
    int major = 0;
    for (int count = 0; peek(major) && major == Tag; ++count) {
        quint64 tag = 0;
        bool indefinite = false;
        if (count == Container::depthLimit || !head(major, tag, indefinite))
            return false;
    }
    return need(1);
}

bool CborScan::text(QString &out)
{
    int major = 0;
    quint64 length = 0;
    bool indefinite = false;
    if (!head(major, length, indefinite) || major != Text)
        return false;
    QByteArray utf8;
    const auto chunk = [&](quint64 size) {
        if (size > quint64(m_size - offset()) || !need(qint64(size)))
            return false;
        const QByteArrayView piece(m_window.constData() + m_at, qsizetype(size));
        // Each piece of a text sent in pieces is text by itself.
        if (indefinite && !validUtf8(piece))
            return false;
        utf8.append(piece);
        return take(qint64(size));
    };
    if (!indefinite) {
        if (!chunk(length))
            return false;
    } else {
        while (!atBreak()) {
            bool more = false;
            if (!head(major, length, more) || major != Text || more || !chunk(length))
                return false;
        }
        if (!takeBreak())
            return false;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    out = decoder.decode(utf8);
    return !decoder.hasError();
}

bool CborScan::skip(int depth)
{
    if (depth > Container::depthLimit || !tags())
        return false;
    int major = 0;
    quint64 argument = 0;
    bool indefinite = false;
    if (!head(major, argument, indefinite))
        return false;
    switch (major) {
    case Unsigned:
    case Negative:
        return true;
    case Bytes:
        // The program stores no bytes; the whole-file reader refuses them.
        return false;
    case Text:
        if (!indefinite)
            return argument <= quint64(m_size - offset()) && take(qint64(argument));
        while (!atBreak()) {
            bool more = false;
            if (!head(major, argument, more) || major != Text || more || argument > quint64(m_size - offset())
                || !take(qint64(argument)))
                return false;
        }
        return takeBreak();
    case Array:
        for (quint64 i = 0; indefinite ? !atBreak() : i < argument; ++i) {
            if (!skip(depth + 1))
                return false;
        }
        return !indefinite || takeBreak();
    case Map:
        if (depth + 1 > Container::depthLimit)
            return false;
        for (quint64 i = 0; indefinite ? !atBreak() : i < argument; ++i) {
            // Keys are plain texts.
            int keyMajor = 0;
            if (!peek(keyMajor) || keyMajor != Text || !skip(depth) || !skip(depth + 2))
                return false;
        }
        return !indefinite || takeBreak();
    case Simple:
        return !indefinite;  // a break where no item of unknown length ends
    default:
        return false;
    }
}

bool CborScan::skipRecord(int depth)
{
    const uchar *const start = reinterpret_cast<const uchar *>(m_window.constData()) + m_at;
    const uchar *const end = reinterpret_cast<const uchar *>(m_window.constData()) + m_window.size();
    const uchar *at = start;
    if (depth + 2 > Container::depthLimit || at == end || *at >> 5 != Map || (*at & 0x1f) >= 24)
        return skip(depth);
    for (int items = 2 * (*at++ & 0x1f); items > 0; --items) {
        if (at == end || *at >> 5 != Text)
            return skip(depth);
        const int info = *at & 0x1f;
        qsizetype length = info;
        if (info == 24 && end - at >= 2) {
            length = at[1];
            at += 2;
        } else if (info < 24) {
            ++at;
        } else {
            return skip(depth);
        }
        if (end - at < length)
            return skip(depth);
        at += length;
    }
    m_at += at - start;
    return true;
}
