#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// One process owns a data folder: two copies saving the same stores would
// each write back what they read and lose the other's changes. The lock is
// a file in the folder that names its owner's process; a lock whose owner
// is gone (a crash, a kill) is taken over, never left stuck.
class FolderLock
{
public:
    static constexpr char fileName[] = "TavikStudio.lock";

    explicit FolderLock(const QString &folder);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    // True when this process owns the folder now.
    bool tryLock();
    void unlock();

    // After a failed tryLock: who holds the folder, or what was found in
    // the lock's place, for the operator.
    QString refusal() const { return m_refusal; }
    // After a failed tryLock: whether what holds the lock names no copy
    // that may still run (a lock file left empty or garbled by a crash or
    // a full disk, a folder or a dangling link in its place), so that the
    // operator may take the folder over.
    bool mayTakeOver() const { return m_mayTakeOver; }
    // Keeps what was found aside (TavikStudio.lock.found-DATE-TIME) and
    // locks the folder; the data files are not touched.
    bool takeOver();

private:
    QString m_folder;
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    QString m_refusal;
    bool m_mayTakeOver = false;
};
