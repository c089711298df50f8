#include "data/containerdecoders.h"

#include "data/recordfields.h"

#include <QCborStreamReader>
#include <QDateTime>
#include <QIODevice>
#include <QJsonArray>
#include <QStringDecoder>

#include <cmath>
#include <cstring>

namespace Container::Decoders {

namespace {

class Decoder
{
public:
    explicit Decoder(const QByteArray &bytes) : m_reader(bytes), m_size(bytes.size()) {}

    bool top(QJsonObject &object, const QList<List *> &lists)
    {
        return skipTags() && m_reader.isMap() && map(1, object, &lists) && m_reader.lastError() == QCborError::NoError;
    }
    qint64 offset() { return m_reader.currentOffset(); }

private:
    bool failed() { return m_reader.lastError() != QCborError::NoError; }

    // A tagged item is read as the item it tags: another encoder may tag a
    // list or a record (a date, a self-description) that we read plainly.
    bool skipTags()
    {
        m_tag = -1;
        int tags = 0;
        while (m_reader.isTag() && !failed()) {
            m_tag = qint64(quint64(m_reader.toTag()));
            if (++tags > depthLimit || !m_reader.next())
                return false;
        }
        return !failed();
    }

    // A date another encoder marked as one (the standard tags 0 and 1:
    // date text, seconds since 1970) is read in the program's own form,
    // which its date fields take and write back. Right after skipTags.
    bool isDate() const
    {
        return (m_tag == 0 && m_reader.isString())
               || (m_tag == 1 && (m_reader.isInteger() || m_reader.isFloat() || m_reader.isDouble()));
    }
    bool date(QString &out)
    {
        QDateTime when;
        if (m_reader.isString()) {
            if (!text(out))
                return false;
            when = QDateTime::fromString(out, Qt::ISODateWithMs);
        } else {
            const double seconds = m_reader.isUnsignedInteger() ? double(m_reader.toUnsignedInteger())
                                   : m_reader.isNegativeInteger() ? -double(quint64(m_reader.toNegativeInteger()))
                                   : m_reader.isDouble() ? m_reader.toDouble() : double(m_reader.toFloat());
            if (std::isfinite(seconds) && std::abs(seconds) < 1e14)
                when = QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000), Qt::UTC);
            out = QString::number(seconds, 'g', 17);
            if (!m_reader.next())
                return false;
        }
        if (when.isValid())
            out = when.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm"));
        return true;
    }

    // The UTF-8 bytes of all chunks are gathered in one buffer kept for the
    // whole file, then decoded into a text of its own size (the reader's own
    // readString leaves room for twice the text, which a large store would
    // keep for as long as it lives). Invalid UTF-8 fails the file.
    bool text(QString &out)
    {
        out.clear();
        if (!utf8())
            return false;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        out = utf8.decode(QByteArrayView(m_utf8.constData(), m_utf8.size()));
        return !utf8.hasError();
    }

    // Gathers the current text's chunks into m_utf8.
    bool utf8()
    {
        m_utf8.resize(0);
        // Each chunk of a text sent in pieces is text by itself: no
        // character may be split between two.
        const bool chunked = !m_reader.isLengthKnown();
        for (;;) {
            const qsizetype size = m_reader.currentStringChunkSize();
            if (size < 0 || size > m_size - m_reader.currentOffset())
                return false;
            const qsizetype at = m_utf8.size();
            m_utf8.resize(at + size);
            const auto chunk = m_reader.readStringChunk(m_utf8.data() + at, size);
            if (chunk.status == QCborStreamReader::EndOfString && !failed())
                return true;
            if (chunk.status != QCborStreamReader::Ok || chunk.data != size)
                return false;
            if (chunked) {
                QStringDecoder piece(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
                const QString decoded = piece.decode(QByteArrayView(m_utf8.constData() + at, size));
                if (piece.hasError())
                    return false;
            }
        }
    }

    // Everything but text, maps and arrays becomes what QCborValue's JSON
    // conversion makes of it; no reader takes such values anyway.
    bool value(int depth, QJsonValue &out)
    {
        if (depth > depthLimit || failed())
            return false;
        if (m_reader.isTag()) {
            if (!skipTags())
                return false;
            if (isDate()) {
                QString when;
                if (!date(when))
                    return false;
                out = when;
                return true;
            }
        }
        switch (m_reader.type()) {
        case QCborStreamReader::String: {
            QString s;
            if (!text(s))
                return false;
            out = s;
            return true;
        }
        case QCborStreamReader::Map: {
            QJsonObject object;
            if (!map(depth + 1, object, nullptr))
                return false;
            out = object;
            return true;
        }
        case QCborStreamReader::Array: {
            QJsonArray array;
            if (!m_reader.enterContainer())
                return false;
            while (m_reader.hasNext()) {
                QJsonValue element;
                if (!value(depth + 1, element))
                    return false;
                array.append(element);
            }
            if (failed() || !m_reader.leaveContainer())
                return false;
            out = array;
            return true;
        }
        case QCborStreamReader::ByteArray:
            // Every value the program stores is text: bytes where text
            // belongs would be read as nothing and saved back so.
            return false;
        case QCborStreamReader::UnsignedInteger: {
            const quint64 v = m_reader.toUnsignedInteger();
            out = v <= quint64(std::numeric_limits<qint64>::max()) ? QJsonValue(qint64(v)) : QJsonValue(double(v));
            break;
        }
        case QCborStreamReader::NegativeInteger: {
            // The value is -n; n = 0 stands for -2^64.
            const quint64 n = quint64(m_reader.toNegativeInteger());
            if (n == 0)
                out = -18446744073709551616.0;
            else
                out = n <= quint64(std::numeric_limits<qint64>::max()) ? QJsonValue(-qint64(n)) : QJsonValue(-double(n));
            break;
        }
        case QCborStreamReader::Float16:
        case QCborStreamReader::Float:
        case QCborStreamReader::Double: {
            const double d = m_reader.isDouble() ? m_reader.toDouble()
                             : m_reader.isFloat() ? double(m_reader.toFloat())
                                                  : double(m_reader.toFloat16());
            out = std::isfinite(d) ? QJsonValue(d) : QJsonValue();  // JSON has no NaN or infinity
            break;
        }
        case QCborStreamReader::SimpleType:
            out = m_reader.isTrue() ? QJsonValue(true) : m_reader.isFalse() ? QJsonValue(false) : QJsonValue();
            break;
        case QCborStreamReader::Tag:  // passed above
        case QCborStreamReader::Invalid:
            return false;
        }
        return m_reader.next();
    }

    template <typename Key>
    static List *listOf(const QList<List *> *lists, const Key &key)
    {
        if (!lists)
            return nullptr;
        for (List *list : *lists) {
            if (list->key() == key)
                return list;
        }
        return nullptr;
    }

    // Short ASCII keys of one piece (all of ours) are read into a buffer,
    // saving an allocation per key and record. Any other key, long, sent in
    // chunks or with other letters, goes whole into `longKey`, with `size`
    // -1. False only for a key that is not well-formed text.
    bool key(char (&buffer)[32], qsizetype &size, QString &longKey)
    {
        size = -1;
        if (!m_reader.isLengthKnown() || m_reader.length() >= quint64(sizeof buffer))
            return text(longKey);
        const auto chunk = m_reader.readStringChunk(buffer, sizeof buffer);
        if (chunk.status != QCborStreamReader::Ok)
            return false;
        // The end of the string (an empty chunk) must follow.
        char rest[1];
        const auto end = m_reader.readStringChunk(rest, 0);
        if (end.status != QCborStreamReader::EndOfString || failed())
            return false;
        for (qsizetype i = 0; i < chunk.data; ++i) {
            if (uchar(buffer[i]) >= 0x80) {
                // readStringChunk does not check UTF-8: checked here.
                QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
                longKey = utf8.decode(QByteArrayView(buffer, chunk.data));
                return !utf8.hasError();
            }
        }
        size = chunk.data;
        return true;
    }

    bool list(int depth, List *target)
    {
        target->restart();
        target->foundInFile = true;
        target->notRecords = 0;
        // The announced length is believed only as far as the bytes left
        // could hold records, so a hostile length reserves little.
        if (m_reader.isLengthKnown())
            target->reserve(qsizetype(qMin<quint64>(m_reader.length(), quint64(m_size - m_reader.currentOffset()) / 64)));
        if (!m_reader.enterContainer())
            return false;
        RecordFields element;
        while (m_reader.hasNext() && !failed()) {
            element.clear();
            if (!skipTags())
                return false;
            if (m_reader.isMap()) {
                if (!fields(depth + 1, element))
                    return false;
            } else {
                QJsonValue ignored;  // not a record: read as one without keys
                if (!value(depth + 1, ignored))
                    return false;
                ++target->notRecords;
            }
            target->take(element);
        }
        return !failed() && m_reader.leaveContainer();
    }

    // Walks a map: for each entry its key, then `entry` reads the value.
    // Short ASCII keys (all of ours) come as `key`, read into a buffer
    // without a QString; any other comes whole as `*longKey`.
    template <typename Entry>
    bool entries(int depth, Entry entry)
    {
        if (depth > depthLimit || !m_reader.enterContainer())
            return false;
        char buffer[32];
        qsizetype size = -1;
        QString longKey;
        while (m_reader.hasNext()) {
            if (!m_reader.isString() || !key(buffer, size, longKey) || !skipTags())
                return false;
            if (!entry(QLatin1StringView(buffer, size < 0 ? 0 : size), size < 0 ? &longKey : nullptr))
                return false;
        }
        return !failed() && m_reader.leaveContainer();
    }

    // A record's map, its values read as map() reads them; texts stay decoded in
    // the record until a reader asks for them.
    bool fields(int depth, RecordFields &element)
    {
        return entries(depth, [&](QLatin1StringView key, const QString *longKey) {
            if (isDate()) {
                QString when;
                if (!date(when))
                    return false;
                const QByteArray bytes = when.toUtf8();
                return longKey ? element.addText(*longKey, bytes) : element.addText(key, bytes);
            }
            if (m_reader.isString()) {
                if (!utf8())
                    return false;
                const QByteArrayView bytes(m_utf8.constData(), m_utf8.size());
                return longKey ? element.addText(*longKey, bytes) : element.addText(key, bytes);
            }
            QJsonValue member;
            if (!value(depth + 1, member))
                return false;
            if (longKey)
                element.add(*longKey, std::move(member));
            else
                element.add(key, std::move(member));
            return true;
        });
    }

    bool map(int depth, QJsonObject &object, const QList<List *> *lists)
    {
        return entries(depth, [&](QLatin1StringView key, const QString *longKey) {
            List *target = longKey ? listOf(lists, *longKey) : listOf(lists, key);
            if (target && m_reader.isArray()) {
                if (longKey)
                    object.remove(*longKey);
                else
                    object.remove(key);
                return list(depth + 1, target);
            }
            if (target) {
                target->restart();  // a later non-list value wins, as in a JSON object
                target->foundInFile = false;
            }
            QJsonValue member;
            QString when;
            if (isDate()) {
                if (!date(when))
                    return false;
                member = when;
            } else if (!value(depth + 1, member)) {
                return false;
            }
            if (longKey)
                object.insert(*longKey, member);
            else
                object.insert(key, member);
            return true;
        });
    }

    QCborStreamReader m_reader;
    qsizetype m_size;
    QByteArray m_utf8;
    qint64 m_tag = -1;  // the last tag skipTags passed, -1 for none
};

// The shape every store file of ours has, read straight from the bytes: a
// map of definite length whose values are texts, or lists of records that
// map short ASCII keys to texts, every length given in the item's head.
// QCborStreamReader costs more per item than a pool's records are worth;
// this reads our own files (and most other encoders' files) at a fraction
// of that. It never refuses: anything else it meets (a tag, a chunked
// text, a number, a deeper value, bytes it cannot read) sends the whole
// file to the Decoder above, which reads every well-formed file and
// refuses the rest.
class ShapeDecoder
{
public:
    explicit ShapeDecoder(const QByteArray &bytes)
        : m_at(reinterpret_cast<const uchar *>(bytes.constData())), m_end(m_at + bytes.size())
    {
    }
    // Reads the file a piece at a time as it goes: a large pool never lies
    // in memory whole beside the records made of it.
    ShapeDecoder(QIODevice &device, qint64 size) : m_device(&device), m_unread(size) {}

    bool top(QJsonObject &object, const QList<List *> &lists)
    {
        quint64 count = 0;
        if (!head(Map, count))
            return false;
        for (; count > 0; --count) {
            char buffer[RecordFields::keyCapacity];
            QLatin1StringView key;
            if (!shortKey(buffer, key) || !need(1))
                return false;
            List *target = nullptr;
            for (List *list : lists) {
                if (!target && list->key() == key)
                    target = list;
            }
            if (majorOf(*m_at) == Array && target) {
                object.remove(key);
                target->foundInFile = true;
                target->notRecords = 0;
                if (!list(target))
                    return false;
                continue;
            }
            QByteArrayView bytes;
            if (!text(bytes))
                return false;
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString value = utf8.decode(bytes);
            if (utf8.hasError())
                return false;
            if (target) {
                target->restart();  // a later non-list value wins, as in a JSON object
                target->foundInFile = false;
            }
            object.insert(key, value);
        }
        return atEnd();
    }

private:
    enum Major { Text = 3, Array = 4, Map = 5 };
    static int majorOf(uchar initial) { return initial >> 5; }
    static constexpr qsizetype pieceSize = 1 << 20;

    qint64 bytesLeft() const { return (m_end - m_at) + m_unread; }

    // At least `size` bytes at m_at, read from the device as needed; views
    // into earlier bytes are gone once it reads.
    inline bool need(quint64 size)
    {
        if (quint64(m_end - m_at) >= size)
            return true;
        return m_device && size <= quint64(bytesLeft()) && fill(qsizetype(size));
    }
    Q_NEVER_INLINE bool fill(qsizetype size)
    {
        const qsizetype kept = m_end - m_at;
        if (m_buffer.size() < qMax(size, pieceSize)) {
            QByteArray grown(qMax(size, pieceSize), Qt::Uninitialized);
            if (kept > 0)
                std::memcpy(grown.data(), m_at, size_t(kept));
            m_buffer.swap(grown);
        } else if (kept > 0) {
            std::memmove(m_buffer.data(), m_at, size_t(kept));
        }
        char *const data = m_buffer.data();
        qsizetype have = kept;
        while (have < size) {
            const qint64 read = m_device->read(data + have, m_buffer.size() - have);
            if (read <= 0)
                break;
            have += qsizetype(read);
            m_unread -= read;
        }
        m_at = reinterpret_cast<const uchar *>(data);
        m_end = m_at + have;
        return have >= size;
    }
    // Nothing after the top map, not even in a file that grew meanwhile.
    bool atEnd()
    {
        if (m_at != m_end)
            return false;
        char after;
        return !m_device || m_device->read(&after, 1) == 0;
    }

    // An item's head of the given major type with its argument; false for
    // another type, an indefinite length or a head cut short.
    bool head(Major major, quint64 &argument)
    {
        if (!need(1) || majorOf(*m_at) != major)
            return false;
        const int info = *m_at++ & 0x1f;
        if (info < 24) {
            argument = quint64(info);
            return true;
        }
        const int width = info == 24 ? 1 : info == 25 ? 2 : info == 26 ? 4 : info == 27 ? 8 : 0;
        if (width == 0 || !need(quint64(width)))
            return false;
        argument = 0;
        for (int i = 0; i < width; ++i)
            argument = argument << 8 | *m_at++;
        return true;
    }

    bool text(QByteArrayView &bytes)
    {
        quint64 size = 0;
        if (!head(Text, size) || !need(size))
            return false;
        bytes = QByteArrayView(m_at, qsizetype(size));
        m_at += size;
        return true;
    }

    // The key is copied out, as the next read may move the bytes it is in.
    bool shortKey(char (&buffer)[RecordFields::keyCapacity], QLatin1StringView &key)
    {
        QByteArrayView bytes;
        if (!text(bytes) || bytes.size() > RecordFields::keyCapacity)
            return false;
        for (const char c : bytes) {
            if (uchar(c) >= 0x80)
                return false;
        }
        std::memcpy(buffer, bytes.data(), size_t(bytes.size()));
        key = QLatin1StringView(buffer, bytes.size());
        return true;
    }

    bool list(List *target)
    {
        quint64 count = 0;
        if (!head(Array, count))
            return false;
        target->restart();
        target->reserve(qsizetype(qMin<quint64>(count, quint64(bytesLeft()) / 64)));
        RecordFields element;
        for (; count > 0; --count) {
            if (!record(element))
                return false;
            target->take(element);
        }
        return true;
    }

    bool record(RecordFields &element)
    {
        element.clear();
        quint64 keys = 0;
        if (!head(Map, keys))
            return false;
        char buffer[RecordFields::keyCapacity];
        for (; keys > 0; --keys) {
            QLatin1StringView key;
            QByteArrayView bytes;
            if (!shortKey(buffer, key) || !text(bytes) || !element.addText(key, bytes))
                return false;
        }
        return true;
    }

    const uchar *m_at = nullptr;
    const uchar *m_end = nullptr;
    QIODevice *const m_device = nullptr;
    qint64 m_unread = 0;  // of the device, beyond the buffer
    QByteArray m_buffer;
};

void unfound(const QList<List *> &lists)
{
    for (List *list : lists) {
        list->foundInFile = false;
        list->notRecords = 0;
    }
}

bool shapeRead(ShapeDecoder &&shape, QJsonObject &object, const QList<List *> &lists)
{
    unfound(lists);
    QJsonObject read;
    if (shape.top(read, lists)) {
        object = read;
        return true;
    }
    for (List *list : lists)
        list->restart();
    return false;
}

} // namespace

bool ownShape(const QByteArray &bytes, QJsonObject &object, const QList<List *> &lists)
{
    return shapeRead(ShapeDecoder(bytes), object, lists);
}

bool ownShape(QIODevice &device, qint64 size, QJsonObject &object, const QList<List *> &lists)
{
    return shapeRead(ShapeDecoder(device, size), object, lists);
}

bool anyForm(const QByteArray &bytes, QJsonObject &object, const QList<List *> &lists)
{
    unfound(lists);
    Decoder decoder(bytes);
    QJsonObject read;
    if (!decoder.top(read, lists) || decoder.offset() != bytes.size())
        return false;
    object = read;
    return true;
}

} // namespace Container::Decoders
