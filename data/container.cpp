#include "data/container.h"

#include "data/containerdecoders.h"
#include "data/containerfiles.h"
#include "data/platformfile.h"
#include "data/writebeside.h"

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
            *why = QStringLiteral("not a plain file");
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

ReadStatus readPlain(const QString &path, QByteArray &bytes, qint64 limit, QString *why)
{
    bytes.clear();
    QFile file;
    const ReadStatus status = openPlain(file, path, limit, why);
    if (status != ReadStatus::Read)
        return status;
    // Never more than the limit, even from a file that grows meanwhile.
    bytes = file.read(limit + 1);
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
    for (auto member = object.begin(); why.isEmpty() && member != object.end(); ++member) {
        if (member.value().isArray())
            why = QStringLiteral("it keeps a list under \"%1\"").arg(member.key());
    }
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
        const QByteArray bytes = file.seek(0) ? file.read(sizeLimit + 1) : QByteArray();
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
