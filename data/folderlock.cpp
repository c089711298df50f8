#include "data/folderlock.h"

#include <QDir>

FolderLock::FolderLock(const QString &folder)
    : m_folder(QDir::toNativeSeparators(QDir(folder).absolutePath())),
      m_lock(std::make_unique<QLockFile>(QDir(folder).absoluteFilePath(QLatin1String(fileName))))
{
    // Age says nothing about an owner that runs for days: only an owner
    // that is gone makes the lock stale.
    m_lock->setStaleLockTime(0);
}

FolderLock::~FolderLock() = default;

bool FolderLock::tryLock()
{
    m_refusal.clear();
    if (m_lock->tryLock(0))
        return true;
    qint64 pid = 0;
    QString host;
    QString application;
    switch (m_lock->error()) {
    case QLockFile::LockFailedError:
        if (m_lock->getLockInfo(&pid, &host, &application)) {
            m_refusal = QStringLiteral("The data folder %1 is in use by %2 (process %3 on %4). "
                                       "Close that copy first; nothing was changed.")
                            .arg(m_folder, application.isEmpty() ? QStringLiteral("another program") : application)
                            .arg(pid)
                            .arg(host.isEmpty() ? QStringLiteral("this computer") : host);
        } else {
            m_refusal = QStringLiteral("The data folder %1 is in use by another copy of the program. "
                                       "Close that copy first; nothing was changed.").arg(m_folder);
        }
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

void FolderLock::unlock()
{
    m_lock->unlock();
}
