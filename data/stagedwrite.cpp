#include "data/containerfiles.h"

#include "data/platformfile.h"
#include "data/writebeside.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>

namespace Container {

namespace {

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

} // namespace

namespace Files {

QString staged(const QString &path)
{
    return path + QLatin1String(stagedSuffix);
}

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
    QString unsynced;
    ok = ok && size <= limit && file.flush() && PlatformFile::sync(file, &unsynced);
    ok = ok && file.error() == QFileDevice::NoError;
    QString why = size > limit ? tooLarge(size, limit) : !unsynced.isEmpty() ? unsynced : file.errorString();
    file.close();
    if (!ok || file.error() != QFileDevice::NoError) {
        file.remove();
        if (gaveUp)
            return false;
        // Whatever the call that met it said ("Unknown error" from some),
        // a full disk is what the operator can act on.
        if (size <= limit && PlatformFile::diskFull(QFileInfo(path).absolutePath()))
            why = QStringLiteral("the disk is full");
        return writeFailed(path, why);
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

} // namespace Files

using namespace Files;

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
    if (info.exists() && (isGuarded(path) || !info.isFile() || !info.isReadable()))
        return refuseOverGuarded(path);
    if (!writeStaged(path, produce, limit))
        return false;
    if (!keepOtherVersion(path)) {
        QFile::remove(staged(path));
        return writeFailed(path, QStringLiteral("changed by another program"));
    }
    if (Batch *batch = Batch::openHere(); batch && batch->takes(path)) {
        if (!batch->m_staged.contains(path))
            batch->m_staged.append(path);
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

} // namespace Container
