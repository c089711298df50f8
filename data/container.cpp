#include "data/container.h"

#include "data/containerdecoders.h"
#include "data/platformfile.h"
#include "data/writebeside.h"

#include <QCborStreamWriter>
#include <QCborValue>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QJsonArray>
#include <QMutex>
#include <QSet>
#include <QStringList>

#include <functional>
#include <utility>

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
    if (Decoders::ownShape(file, file.size(), object, lists)) {
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
    if (!Decoders::anyForm(bytes, object, lists)) {
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
