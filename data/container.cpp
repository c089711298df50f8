#include "data/container.h"

#include "data/platformfile.h"
#include "data/writebeside.h"

#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QCborValue>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QJsonArray>
#include <QMutex>
#include <QDir>
#include <QStringDecoder>
#include <QStringList>

#include <functional>
#include <utility>
#include <QHash>
#include <QSet>

#include <cmath>
#include <cstring>

namespace Container {

static const char *const openFailure = "Couldn't open save file.";

namespace {

// What the program remembers about its files. A pool's file may be saved
// from a worker thread (an import), so every touch of it takes the lock.
struct FileState
{
    QMutex mutex;
    // Paths that exist but could not be read, or were damaged and could not
    // be renamed: saving over them would lose what they hold.
    QSet<QString> guarded;
    QList<KeptAside> kept;
    qsizetype keptTaken = 0;
    QList<FailedWrite> failedWrites;
    // Each file as this program last read or wrote it.
    QHash<QString, PlatformFile::Identity> known;
    QList<KeptAside> changedElsewhere;
};

FileState &state()
{
    static FileState files;
    return files;
}

void setGuarded(const QString &path, bool guarded)
{
    const QMutexLocker lock(&state().mutex);
    if (guarded)
        state().guarded.insert(path);
    else
        state().guarded.remove(path);
}

void remember(const QString &path)
{
    const PlatformFile::Identity id = PlatformFile::identity(path);
    const QMutexLocker lock(&state().mutex);
    state().known.insert(path, id);
}

bool isGuarded(const QString &path)
{
    const QMutexLocker lock(&state().mutex);
    return state().guarded.contains(path);
}

bool writeFailed(const QString &path, const QString &why)
{
    qWarning().noquote() << "Could not write" << path << "(" + why + "); the file is as it was";
    const QMutexLocker lock(&state().mutex);
    for (const FailedWrite &failed : std::as_const(state().failedWrites)) {
        if (failed.path == path)
            return false;
    }
    state().failedWrites.append({path, why});
    return false;
}

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
            if (target)
                target->restart();  // a later non-list value wins, as in a JSON object
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
            if (target)
                target->restart();  // a later non-list value wins, as in a JSON object
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

void writeObject(QCborStreamWriter &writer, const QJsonObject &object)
{
    writer.startMap(object.size());
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        writer.append(it.key());
        const QJsonValue value = it.value();
        if (value.isString())
            writer.append(value.toString());
        else if (value.isObject())
            writeObject(writer, value.toObject());
        else
            QCborValue::fromJsonValue(value).toCbor(writer);
    }
    writer.endMap();
}

QString asideName(const QString &path, const QString &why = QStringLiteral(".damaged-"))
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString aside = path + why + stamp;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = path + why + stamp + QLatin1Char('-') + QString::number(n);
    return aside;
}

// Another program (a second copy on a network folder, another user) wrote
// the file since this one read it: its version is copied aside before ours
// takes the path, so both are kept. False when it could not be kept.
bool keepOtherVersion(const QString &path)
{
    PlatformFile::Identity expected;
    {
        const QMutexLocker lock(&state().mutex);
        const auto found = state().known.constFind(path);
        if (found == state().known.cend())
            return true;  // never read by us: nothing to compare with
        expected = found.value();
    }
    const PlatformFile::Identity now = PlatformFile::identity(path);
    if (now == expected || !now.exists)
        return true;
    const QString aside = asideName(path, QStringLiteral(".changed-"));
    if (!QFile::copy(path, aside)) {
        qWarning().noquote() << "File" << path << "was changed by another program and could not be kept aside";
        return false;
    }
    qWarning().noquote() << "File" << path << "was changed by another program; that version is kept as" << aside;
    const QMutexLocker lock(&state().mutex);
    state().changedElsewhere.append({path, aside});
    return true;
}

void keepAside(const QString &path)
{
    const QString aside = asideName(path);
    if (!QFile::rename(path, aside)) {
        setGuarded(path, true);
        qWarning().noquote() << "Damaged file" << path << "could not be kept aside; it will not be overwritten";
        return;
    }
    setGuarded(path, false);
    {
        const QMutexLocker lock(&state().mutex);
        state().kept.append({path, aside});
        state().known.insert(path, PlatformFile::Identity());
    }
    qWarning().noquote() << "Damaged file" << path << "kept aside as" << aside;
}

} // namespace

void List::write(qsizetype index, QCborStreamWriter &writer) const
{
    writeObject(writer, element(index));
}

QString statusWord(ReadStatus status)
{
    switch (status) {
    case ReadStatus::Read: return QStringLiteral("read");
    case ReadStatus::Missing: return QStringLiteral("missing");
    case ReadStatus::Unreadable: return QStringLiteral("unreadable");
    case ReadStatus::Damaged: return QStringLiteral("damaged");
    }
    return QString();
}

void encode(QCborStreamWriter &writer, const QJsonObject &object, const QList<const List *> &lists)
{
    // The lists take their places among the keys as QJsonObject orders them.
    QJsonObject shape = object;
    for (const List *list : lists)
        shape.insert(list->key(), QJsonValue());
    writer.startMap(shape.size());
    for (auto it = shape.constBegin(); it != shape.constEnd(); ++it) {
        const QString key = it.key();
        const List *list = nullptr;
        for (const List *candidate : lists) {
            if (candidate->key() == key)
                list = candidate;
        }
        writer.append(key);
        if (!list) {
            QCborValue::fromJsonValue(it.value()).toCbor(writer);
            continue;
        }
        const qsizetype size = list->size();
        writer.startArray(size);
        for (qsizetype i = 0; i < size; ++i)
            list->write(i, writer);
        writer.endArray();
    }
    writer.endMap();
}

QByteArray encode(const QJsonObject &object, const QList<const List *> &lists)
{
    QByteArray bytes;
    QCborStreamWriter writer(&bytes);
    encode(writer, object, lists);
    return bytes;
}

namespace {

bool decodeShape(ShapeDecoder &&shape, QJsonObject &object, const QList<List *> &lists)
{
    QJsonObject read;
    if (shape.top(read, lists)) {
        object = read;
        return true;
    }
    for (List *list : lists)
        list->restart();
    return false;
}

bool decodeAny(const QByteArray &bytes, QJsonObject &object, const QList<List *> &lists)
{
    Decoder decoder(bytes);
    QJsonObject read;
    if (!decoder.top(read, lists) || decoder.offset() != bytes.size())
        return false;
    object = read;
    return true;
}

} // namespace

bool decode(const QByteArray &bytes, QJsonObject &object, const QList<List *> &lists)
{
    if (decodeShape(ShapeDecoder(bytes), object, lists))
        return true;
    return decodeAny(bytes, object, lists);
}

QJsonObject decode(const QByteArray &bytes)
{
    QJsonObject object;
    decode(bytes, object);
    return object;
}

ReadStatus readFile(const QString &path, QJsonObject &object, const QList<List *> &lists)
{
    // A file being written beside the window is read as it is written.
    WriteBeside::waitFor(path);
    const QFileInfo info(path);
    if (!info.exists()) {
        qWarning() << openFailure;
        remember(path);
        return ReadStatus::Missing;
    }
    QFile file(path);
    // Not a plain file (a folder, a device, a pipe) is nothing we wrote and
    // may never end.
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        qWarning() << openFailure;
        setGuarded(path, true);
        return ReadStatus::Unreadable;
    }
    if (file.size() > sizeLimit) {
        file.close();
        keepAside(path);
        return ReadStatus::Damaged;
    }
    // Our own shape is read as the file is; anything else (or a read that
    // failed on the way) is read again whole by the reader of every form.
    if (decodeShape(ShapeDecoder(file, file.size()), object, lists)) {
        setGuarded(path, false);
        remember(path);
        return ReadStatus::Read;
    }
    const QByteArray bytes = file.seek(0) ? file.readAll() : QByteArray();
    if (file.error() != QFileDevice::NoError || file.pos() != file.size()) {
        qWarning() << openFailure;
        setGuarded(path, true);
        return ReadStatus::Unreadable;
    }
    file.close();
    if (!decodeAny(bytes, object, lists)) {
        keepAside(path);
        return ReadStatus::Damaged;
    }
    setGuarded(path, false);
    remember(path);
    return ReadStatus::Read;
}

bool writeFile(const QString &path, const QJsonObject &object, const QList<const List *> &lists)
{
    return writeBytes(path, encode(object, lists));
}

namespace {

// A batch takes the saves of the thread that opened it only.
thread_local Batch *openBatch = nullptr;

const char journalName[] = "pending-saves.journal";
const QString keyReplace = QStringLiteral("replace");

QString staged(const QString &path)
{
    return path + QLatin1String(stagedSuffix);
}

// Gathers what a streamed write produces and hands it to the file in
// large pieces: the file is unbuffered, and a writer of many small items
// would otherwise make a system call for each. The first failure sticks.
class Spool final : public QIODevice
{
public:
    explicit Spool(QFile &file) : m_file(file) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
    bool flushAll()
    {
        if (!m_failed && !m_pending.isEmpty() && m_file.write(m_pending) != m_pending.size())
            m_failed = true;
        m_pending.clear();
        return !m_failed;
    }
    bool failed() const { return m_failed; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        if (m_failed)
            return -1;
        // Large pieces (a store's bytes already encoded) go straight on.
        if (size >= chunk) {
            flushAll();
            if (!m_failed && m_file.write(data, size) != size)
                m_failed = true;
            return m_failed ? -1 : size;
        }
        m_pending.append(data, size);
        if (m_pending.size() >= chunk)
            flushAll();
        return m_failed ? -1 : size;
    }

private:
    static constexpr qint64 chunk = qint64(1) << 20;
    QFile &m_file;
    QByteArray m_pending;
    bool m_failed = false;
};

// What `produce` writes, whole in NAME.tavik-new and on the disk, or no
// such file. A producer that gives up (false) leaves no file and no notice:
// it says why itself.
bool writeStaged(const QString &path, const std::function<bool(QIODevice &)> &produce, qint64 limit)
{
    QFile file(staged(path));
    // Unbuffered, every byte reaches the file system in write(), so a full
    // disk fails here and not in a flush nobody checks.
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    bool gaveUp = false;
    if (ok) {
        Spool spool(file);
        // A producer stopped by a failed write has not given up: the
        // failure is told as any other.
        gaveUp = !produce(spool) && !spool.failed();
        ok = !gaveUp && spool.flushAll();
    }
    const qint64 size = file.size();
    ok = ok && size <= limit && file.flush() && PlatformFile::sync(file);
    ok = ok && file.error() == QFileDevice::NoError;
    const QString why = size > limit ? tooLarge(size, limit) : file.errorString();
    file.close();
    if (!ok || file.error() != QFileDevice::NoError) {
        file.remove();
        return gaveUp ? false : writeFailed(path, why);
    }
    return true;
}

bool replaceWithStaged(const QString &path)
{
    if (PlatformFile::replace(staged(path), path))
        return true;
    qWarning().noquote() << "Could not rename" << staged(path) << "over" << path;
    return false;
}

// A plain name of a file in the folder, nothing that leads elsewhere.
bool isFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QLatin1Char(':'));
}

} // namespace

QString tooLarge(qint64 bytes, qint64 limit)
{
    if (bytes <= limit)
        return QString();
    const auto mib = [](qint64 size) { return QString::number(double(size) / (1024 * 1024), 'f', 1); };
    return QStringLiteral("it would be %1 MiB, more than the %2 MiB the program reads back").arg(mib(bytes), mib(limit));
}

bool writeBytes(const QString &path, const QByteArray &bytes, qint64 limit)
{
    // An older state of the file still to be written beside must not land
    // over this one.
    WriteBeside::waitFor(path);
    const QString oversize = tooLarge(bytes.size(), limit);
    if (!oversize.isEmpty())
        return writeFailed(path, oversize);
    return writeStream(path, [&bytes](QIODevice &device) { return device.write(bytes) == bytes.size(); }, limit);
}

bool writeStream(const QString &path, const std::function<bool(QIODevice &)> &produce, qint64 limit)
{
    WriteBeside::waitFor(path);
    const QFileInfo info(path);
    if (info.exists() && (isGuarded(path) || !info.isFile() || !info.isReadable())) {
        qWarning().noquote() << "File could not be read; not overwriting it:" << path;
        return false;
    }
    if (!writeStaged(path, produce, limit))
        return false;
    if (!keepOtherVersion(path)) {
        QFile::remove(staged(path));
        return writeFailed(path, QStringLiteral("changed by another program"));
    }
    if (openBatch && openBatch->takes(path)) {
        if (!openBatch->m_staged.contains(path))
            openBatch->m_staged.append(path);
        return true;
    }
    if (!replaceWithStaged(path)) {
        QFile::remove(staged(path));
        return writeFailed(path, QStringLiteral("rename failed"));
    }
    setGuarded(path, false);
    remember(path);
    return true;
}

Batch::Batch(const QString &folder) : m_folder(QDir::cleanPath(QDir(folder).absolutePath()) + QLatin1Char('/'))
{
    Q_ASSERT(!openBatch);
    openBatch = this;
}

Batch::~Batch()
{
    openBatch = nullptr;
    if (!m_done) {
        for (const QString &path : std::as_const(m_staged))
            QFile::remove(staged(path));
    }
}

bool Batch::takes(const QString &path) const
{
    const QFileInfo info(path);
    return QDir::cleanPath(info.absolutePath()) + QLatin1Char('/') == m_folder && isFileName(info.fileName());
}

Batch::Result Batch::commit()
{
    openBatch = nullptr;
    QJsonArray names;
    for (const QString &path : std::as_const(m_staged))
        names.append(QFileInfo(path).fileName());
    const QString journal = m_folder + QLatin1String(journalName);
    if (!writeBytes(journal, encode(QJsonObject{{keyReplace, names}})))
        return NothingChanged;
    m_done = true;
    for (const QString &path : std::as_const(m_staged)) {
        if (!replaceWithStaged(path))
            return Pending;
        setGuarded(path, false);
        remember(path);
    }
    QFile::remove(journal);
    return Committed;
}

bool finishPending(const QString &folderPath)
{
    const QString folder = QDir(folderPath).absolutePath() + QLatin1Char('/');
    const QString journal = folder + QLatin1String(journalName);
    QFile file(journal);
    if (file.exists()) {
        // Only we write it, whole and small; anything else is not a journal.
        QJsonObject object;
        const bool read = file.size() < sizeLimit && file.open(QIODevice::ReadOnly) && decode(file.readAll(), object);
        file.close();
        if (!read || !object.value(keyReplace).isArray()) {
            qWarning().noquote() << "Unreadable journal" << journal << "; the saves it names are dropped";
            keepAside(journal);
        } else {
            int finished = 0;
            for (const QJsonValue &name : object.value(keyReplace).toArray()) {
                const QString path = folder + name.toString();
                if (!isFileName(name.toString()) || !QFileInfo::exists(staged(path)))
                    continue;  // already renamed before the kill
                if (!replaceWithStaged(path))
                    return false;
                ++finished;
            }
            qInfo().noquote() << "Finished an interrupted batch of saves:" << finished << "files replaced";
            if (!QFile::remove(journal))
                return false;
        }
    }
    const QStringList leftovers = QDir(folder).entryList({QLatin1String("*") + QLatin1String(stagedSuffix)},
                                                         QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : leftovers) {
        qInfo().noquote() << "Removing the unfinished save" << folder + name;
        QFile::remove(folder + name);
    }
    return true;
}

QList<KeptAside> keptAside()
{
    const QMutexLocker lock(&state().mutex);
    return state().kept;
}

QList<KeptAside> takeChangedElsewhere()
{
    const QMutexLocker lock(&state().mutex);
    return std::exchange(state().changedElsewhere, {});
}

QList<FailedWrite> takeFailedWrites()
{
    const QMutexLocker lock(&state().mutex);
    return std::exchange(state().failedWrites, {});
}

QList<KeptAside> takeNewlyKeptAside()
{
    const QMutexLocker lock(&state().mutex);
    const QList<KeptAside> fresh = state().kept.mid(state().keptTaken);
    state().keptTaken = state().kept.size();
    return fresh;
}

} // namespace Container
