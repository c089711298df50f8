#include "data/container.h"

#include "data/containerdecoders.h"
#include "data/containerfiles.h"
#include "data/platformfile.h"
#include "data/writebeside.h"

#include <algorithm>

#include <QCborStreamWriter>
#include <QCborValue>
#include <QDebug>
#include <QFile>
#include <QFileInfo>

namespace Container {

static const char *const openFailure = "Couldn't open save file.";

namespace {

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

} // namespace

using namespace Files;

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


bool decode(const QByteArray &bytes, QJsonObject &object, const QList<List *> &lists)
{
    if (Decoders::ownShape(bytes, object, lists))
        return true;
    return Decoders::anyForm(bytes, object, lists);
}

QJsonObject decode(const QByteArray &bytes)
{
    QJsonObject object;
    decode(bytes, object);
    return object;
}

ReadStatus openPlain(QFile &file, const QString &path, qint64 limit, QString *why)
{
    QString refused;
    switch (PlatformFile::openForReading(file, path, &refused)) {
    case PlatformFile::Opened::Missing:
        return ReadStatus::Missing;
    case PlatformFile::Opened::NotPlain:
        if (why)
            *why = QStringLiteral("%1, not a plain file").arg(refused);
        return ReadStatus::Unreadable;
    case PlatformFile::Opened::Refused:
        if (why)
            *why = refused;
        return ReadStatus::Unreadable;
    case PlatformFile::Opened::Plain:
        break;
    }
    if (file.size() > limit) {
        file.close();
        if (why)
            *why = tooLarge(file.size(), limit);
        return ReadStatus::Damaged;
    }
    return ReadStatus::Read;
}

namespace {

// The rest of the file, at most `limit` + 1 bytes, the buffer sized by the
// file rather than by the limit: a limit of hundreds of MiB is not set aside
// for every file of a few bytes. A file that grows meanwhile is read on.
QByteArray readUpTo(QFile &file, qint64 limit)
{
    QByteArray bytes(qsizetype(std::clamp<qint64>(file.size() - file.pos(), 0, limit) + 1), Qt::Uninitialized);
    qsizetype got = 0;
    for (;;) {
        const qint64 read = file.read(bytes.data() + got, bytes.size() - got);
        if (read <= 0)
            break;
        got += qsizetype(read);
        if (got < bytes.size())
            continue;
        if (got > limit)
            break;
        bytes.resize(qsizetype(std::min<qint64>(qint64(bytes.size()) * 2, limit + 1)));
    }
    bytes.resize(got);
    return bytes;
}

} // namespace

ReadStatus readPlain(const QString &path, QByteArray &bytes, qint64 limit, QString *why)
{
    bytes.clear();
    QFile file;
    const ReadStatus status = openPlain(file, path, limit, why);
    if (status != ReadStatus::Read)
        return status;
    // Never more than the limit, even from a file that grows meanwhile.
    bytes = readUpTo(file, limit);
    if (file.error() != QFileDevice::NoError) {
        if (why)
            *why = file.errorString();
        bytes.clear();
        return ReadStatus::Unreadable;
    }
    if (bytes.size() > limit) {
        if (why)
            *why = tooLarge(bytes.size(), limit);
        bytes.clear();
        return ReadStatus::Damaged;
    }
    return ReadStatus::Read;
}

namespace {

// Why the file keeps its records where the lists do not look (another
// version's form), or empty when it does not: read as empty, the next save
// would lose them. A list missing from a file of several is only empty (a
// history with no notes yet); no list at all, a list key holding something
// else, or records under a key of no list is another form.
QString foreignForm(const QJsonObject &object, const QList<List *> &lists)
{
    if (lists.isEmpty())
        return QString();
    QString why;
    bool anyFound = false;
    for (const List *list : lists) {
        anyFound = anyFound || list->foundInFile;
        if (why.isEmpty() && (object.contains(list->key()) || list->notRecords > 0))
            why = QStringLiteral("its \"%1\" is not a list of records").arg(list->key());
    }
    if (const QString stray = strayList(object); why.isEmpty() && !stray.isEmpty())
        why = QStringLiteral("it keeps a list under \"%1\"").arg(stray);
    if (why.isEmpty() && !anyFound)
        why = QStringLiteral("it has no \"%1\" list").arg(lists.first()->key());
    if (why.isEmpty())
        return why;
    const QJsonValue version = object.value(QStringLiteral("version"));
    if (version.isString() && version.toString() != QLatin1String("1"))
        why += QStringLiteral("; it says version %1").arg(version.toString());
    return why;
}

} // namespace

QString strayList(const QJsonObject &object, const QStringList &ownLists)
{
    for (auto member = object.begin(); member != object.end(); ++member) {
        if (member.value().isArray() && !ownLists.contains(member.key()))
            return member.key();
    }
    return QString();
}

ReadStatus readFile(const QString &path, QJsonObject &object, const QList<List *> &lists)
{
    // A file being written beside the window is read as it is written.
    WriteBeside::waitFor(path);
    QFile file;
    QString why;
    switch (openPlain(file, path, sizeLimit, &why)) {
    case ReadStatus::Missing:
        // Not there yet (a first start, a new client): nothing failed.
        qDebug().noquote() << "No file yet:" << path;
        remember(path);
        return ReadStatus::Missing;
    case ReadStatus::Unreadable:
        qWarning() << openFailure;
        noteUnreadable(path, why);
        return ReadStatus::Unreadable;
    case ReadStatus::Damaged:
        keepAside(path);
        return ReadStatus::Damaged;
    case ReadStatus::Read:
        break;
    }
    QJsonObject read;
    // Our own shape is read as the file is; anything else (or a read that
    // failed on the way) is read again whole by the reader of every form.
    if (!Decoders::ownShape(file, file.size(), read, lists)) {
        const QByteArray bytes = file.seek(0) ? readUpTo(file, sizeLimit) : QByteArray();
        if (file.error() != QFileDevice::NoError || bytes.size() != file.size()) {
            qWarning() << openFailure;
            noteUnreadable(path, file.errorString());
            return ReadStatus::Unreadable;
        }
        file.close();
        if (!Decoders::anyForm(bytes, read, lists)) {
            keepAside(path);
            return ReadStatus::Damaged;
        }
    }
    file.close();
    if (const QString foreign = foreignForm(read, lists); !foreign.isEmpty()) {
        for (List *list : lists)
            list->restart();
        keepAside(path, foreign);
        return ReadStatus::Damaged;
    }
    object = read;
    setGuarded(path, false);
    remember(path);
    return ReadStatus::Read;
}

bool writeFile(const QString &path, const QJsonObject &object, const QList<const List *> &lists)
{
    return writeBytes(path, encode(object, lists));
}

} // namespace Container
