#include "data/containerfiles.h"

#include "data/platformfile.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>

#include <utility>

namespace Container {

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
    // Unreadable files to tell of, and those told of while they stay so;
    // guarded files a save was refused over and told of.
    QList<FailedWrite> unreadable;
    QSet<QString> toldUnreadable;
    QSet<QString> toldRefused;
    QStringList cleanups;
};

FileState &state()
{
    static FileState files;
    return files;
}

QString asideName(const QString &path, const QString &why = QStringLiteral(".damaged-"))
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString aside = path + why + stamp;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = path + why + stamp + QLatin1Char('-') + QString::number(n);
    return aside;
}

} // namespace

namespace Files {

void setGuarded(const QString &path, bool guarded)
{
    const QMutexLocker lock(&state().mutex);
    if (guarded) {
        state().guarded.insert(path);
    } else {
        state().guarded.remove(path);
        state().toldUnreadable.remove(path);
        state().toldRefused.remove(path);
    }
}

void noteUnreadable(const QString &path, const QString &why)
{
    setGuarded(path, true);
    const QMutexLocker lock(&state().mutex);
    if (state().toldUnreadable.contains(path))
        return;
    state().toldUnreadable.insert(path);
    state().unreadable.append({path, why});
}

bool refuseOverGuarded(const QString &path)
{
    qWarning().noquote() << "File could not be read; not overwriting it:" << path;
    {
        const QMutexLocker lock(&state().mutex);
        if (state().toldRefused.contains(path))
            return false;
        state().toldRefused.insert(path);
    }
    return writeFailed(path, QStringLiteral("it could not be read, so it is not replaced; the change is not saved"));
}

void noteCleanup(const QString &line)
{
    qInfo().noquote() << line;
    const QMutexLocker lock(&state().mutex);
    state().cleanups.append(line);
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
    state().changedElsewhere.append({path, aside, QString()});
    return true;
}

void keepAside(const QString &path, const QString &why)
{
    const QString aside = why.isEmpty() ? asideName(path) : asideName(path, QStringLiteral(".foreign-"));
    if (!QFile::rename(path, aside)) {
        setGuarded(path, true);
        qWarning().noquote() << "Damaged file" << path << "could not be kept aside; it will not be overwritten";
        return;
    }
    setGuarded(path, false);
    {
        const QMutexLocker lock(&state().mutex);
        state().kept.append({path, aside, why});
        state().known.insert(path, PlatformFile::Identity());
    }
    if (why.isEmpty())
        qWarning().noquote() << "Damaged file" << path << "kept aside as" << aside;
    else
        qWarning().noquote() << QStringLiteral("File %1 is not of a form this program reads (%2); kept aside as %3")
                                    .arg(path, why, aside);
}

} // namespace Files

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

QString failureOf(const QString &path)
{
    const QMutexLocker lock(&state().mutex);
    for (const FailedWrite &failed : std::as_const(state().failedWrites)) {
        if (failed.path == path)
            return failed.why;
    }
    return QString();
}

QList<FailedWrite> takeUnreadable()
{
    const QMutexLocker lock(&state().mutex);
    return std::exchange(state().unreadable, {});
}

QStringList takeCleanups()
{
    const QMutexLocker lock(&state().mutex);
    return std::exchange(state().cleanups, {});
}

QStringList takeNotices()
{
    const auto name = [](const QString &path) { return QFileInfo(path).fileName(); };
    QStringList lines = takeCleanups();
    for (const KeptAside &kept : takeNewlyKeptAside()) {
        if (kept.why.isEmpty())
            lines << QStringLiteral("%1 was damaged and is kept aside as %2").arg(name(kept.path), name(kept.keptAs));
        else
            lines << QStringLiteral("%1 is not of a form this program reads (%2): it is kept aside as %3, "
                                    "and the program starts that store empty").arg(name(kept.path), kept.why, name(kept.keptAs));
    }
    for (const FailedWrite &unread : takeUnreadable())
        lines << QStringLiteral("%1 cannot be read (%2): it shows empty, and nothing is saved over it until it can be read")
                     .arg(name(unread.path), unread.why);
    for (const KeptAside &kept : takeChangedElsewhere())
        lines << QStringLiteral("%1 was changed by another program; that version is kept as %2")
                     .arg(name(kept.path), name(kept.keptAs));
    for (const FailedWrite &failed : takeFailedWrites())
        lines << QStringLiteral("%1 could not be written (%2); it is kept as it was").arg(name(failed.path), failed.why);
    return lines;
}

QList<KeptAside> takeNewlyKeptAside()
{
    const QMutexLocker lock(&state().mutex);
    const QList<KeptAside> fresh = state().kept.mid(state().keptTaken);
    state().keptTaken = state().kept.size();
    return fresh;
}

} // namespace Container
