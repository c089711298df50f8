#include "data/folderlock.h"

#include "data/platformfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

FolderLock::FolderLock(const QString &folder)
    : m_folder(QDir::toNativeSeparators(QDir(folder).absolutePath())),
      m_path(QDir(folder).absoluteFilePath(QLatin1String(fileName))),
      m_lock(std::make_unique<QLockFile>(m_path))
{
    // Age says nothing about an owner that runs for days: only an owner
    // that is gone makes the lock stale.
    m_lock->setStaleLockTime(0);
}

FolderLock::~FolderLock() = default;

bool FolderLock::tryLock()
{
    m_refusal.clear();
    m_mayTakeOver = false;
    if (m_lock->tryLock(0))
        return true;
    qint64 pid = 0;
    QString host;
    QString application;
    const QFileInfo found(m_path);
    if (PlatformFile::diskFull(m_folder)) {
        m_refusal = QStringLiteral("The data folder %1 cannot be locked: the disk is full. "
                                   "Make room on it and start again; nothing was changed.").arg(m_folder);
        return false;
    }
    switch (m_lock->error()) {
    case QLockFile::LockFailedError:
        if (m_lock->getLockInfo(&pid, &host, &application) && pid > 0) {
            m_refusal = QStringLiteral("The data folder %1 is in use by %2 (process %3 on %4). "
                                       "Close that copy first; nothing was changed.")
                            .arg(m_folder, application.isEmpty() ? QStringLiteral("another program") : application)
                            .arg(pid)
                            .arg(host.isEmpty() ? QStringLiteral("this computer") : host);
            break;
        }
        // Nothing there names a copy of the program that may still run.
        m_mayTakeOver = true;
        if (found.isSymLink() && !found.exists())
            m_refusal = QStringLiteral("The data folder %1 has a link to nothing where its lock file belongs (%2).");
        else if (found.isDir())
            m_refusal = QStringLiteral("The data folder %1 has a folder where its lock file belongs (%2).");
        else if (found.exists() && found.size() == 0)
            m_refusal = QStringLiteral("The data folder %1 has an empty lock file (%2), left by a crash or a full disk.");
        else
            m_refusal = QStringLiteral("The data folder %1 has a lock file that names no program (%2), left by a crash "
                                       "or a full disk.");
        m_refusal = m_refusal.arg(m_folder, QDir::toNativeSeparators(m_path))
                    + QStringLiteral(" No copy of the program can be named as using the folder: if none is "
                                     "running, take the folder over; the data is not touched.");
        break;
    case QLockFile::PermissionError:
        m_refusal = QStringLiteral("The data folder %1 cannot be locked: no permission to write in it. "
                                   "Nothing was changed.").arg(m_folder);
        break;
    default:
        m_refusal = QStringLiteral("The data folder %1 cannot be locked. Nothing was changed.").arg(m_folder);
        break;
    }
    return false;
}

bool FolderLock::takeOver()
{
    if (!m_mayTakeOver)
        return false;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString aside = m_path + QStringLiteral(".found-") + stamp;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = m_path + QStringLiteral(".found-") + stamp + QLatin1Char('-') + QString::number(n);
    // Renamed, not removed: whatever it was stays for whoever asks.
    if (!QFile::rename(m_path, aside) && !QDir().rename(m_path, aside))
        return false;
    return tryLock();
}

void FolderLock::unlock()
{
    m_lock->unlock();
}
