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

    // After a failed tryLock: who holds the folder, for the operator.
    QString refusal() const { return m_refusal; }

private:
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QString m_refusal;
};
