#pragma once

#include "data/clients.h"
#include "data/container.h"
#include "data/platformfile.h"
#include "data/presets.h"
#include "data/programs.h"
#include "discovery/machines.h"
#include "data/worklist.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

class DeviceSlots;
class Library;
class Settings;

// The whole library and configuration in one file, and the way back.
//
// A restore replaces every store the file carries, so it first reads and
// checks the whole file, and before it replaces anything it writes the
// current data into the backup folder: a wrong file can always be undone by
// restoring that safety backup.
class Backup
{
public:
    enum Outcome {
        Restored,      // every section applied and saved; the program should restart
        Refused,       // the file could not be read or failed the check; nothing changed
        SafetyFailed,  // the safety backup could not be written; nothing changed
        SaveFailed     // a file could not be written: nothing changed, or the next start finishes it (see message)
    };

    // Backup files larger than this are neither written nor read. It holds
    // a library whose every store is as large as the program stores it:
    // the seven stores, and as much again for the clients' histories. So a
    // restore is never stopped because the library it replaces is too
    // large for its safety backup.
    static constexpr qint64 maxFileSize = 8 * Container::sizeLimit;

    Backup(Settings &settings, Library &library, WorkList &work, DeviceSlots &devices);

    // Copies of every store a backup holds, with the folders it needs.
    // Taking them costs little, as the record lists are shared until one
    // side changes them, so a backup or a restore can work on them beside
    // the window while the stores themselves stay with the window.
    struct Stores
    {
        Clients clients;
        Programs programs;
        Presets general;
        Presets legitimate;
        WorkList work;
        Machines machines;
        QJsonObject settings;
        QString settingsPath;
        QString dataFolder;
    };
    Stores stores() const;

    // Writes every store to the path through an atomic save, store by store
    // and record by record, with the histories read from their files one at
    // a time (the current client and its loaded history stay as they are).
    // False, with why, when a history is there but cannot be read whole (it
    // is never backed up as empty), the backup would be larger than a
    // restore reads, or the file cannot be written.
    // `remarks`: what the backup carries otherwise than the library has it
    // (a client given a file of its own), for the operator.
    static bool write(const Stores &stores, const QString &path, QString *why = nullptr, QStringList *remarks = nullptr);
    bool write(const QString &path, QString *why = nullptr, QStringList *remarks = nullptr) const
    {
        return write(stores(), path, why, remarks);
    }

    Outcome restore(const QString &path);
    // The same in steps. Reading and checking the file touch nothing else,
    // so they run on a worker thread.
    struct Read
    {
        // Every section the file carries, the large ones without their
        // records: the histories' are below, as the file has them; the
        // pools' are checked and let go (a restore copies their bytes, and
        // the pools are read again from the files it writes).
        QJsonObject object;
        QString why;  // empty when the file passed the check
        // Each history's section, checked whole and kept as its bytes: a
        // restore takes its records apart one history at a time. Held as
        // records, two hundred histories took more memory than the data
        // twice over. Empty for an element that is no object.
        QList<QByteArray> histories;  // in the order of object["History"]
        // Where each pool's section stands in the file: a restore copies
        // those bytes, which the check read, as they are, unless the file
        // changed since.
        struct Range
        {
            qint64 start = 0;
            qint64 size = -1;
        };
        Range generalBytes;
        Range legitimateBytes;
        QString path;
        PlatformFile::Identity identity;
        // Each pool's pairs (name and version) as hashes, sorted: 8 bytes a
        // record, where the records themselves are let go. The pairs of
        // the pool read last that the other pool holds too, by name.
        std::vector<quint64> generalPairs;
        std::vector<quint64> legitimatePairs;
        QList<std::pair<QString, int>> inBothPools;
        // Pairs the backup holds in two pools, each as the editor refuses
        // to store it (an older program could make them; the restore takes
        // them as they are, and the operator is told why a program line
        // naming one reads "Duplicate").
        QStringList twofold;
    };
    static Read read(const QString &path);
    // The pairs a read backup holds in two pools, in the editor's words.
    static QStringList twofoldPairs(const Read &read);
    // What a restore says of them, empty for none.
    static QString twofoldText(const QStringList &twofold);
    // The hash a pool's pair is kept by.
    static quint64 pairHash(const QString &name, int version) { return qHashMulti(0x51a7, name, version); }
    // All of a restore on this thread.
    Outcome restore(const Read &read);
    // A restore is refused while a device runs: the restart that ends it
    // would leave the device without the run that supervises it.
    bool refuseWhileRunning();
    // The safety backup and the writing of every section, on the copies, in
    // one batch: beside the window, as for a large backup they take
    // seconds. Nothing here touches the stores the window uses.
    struct Applied
    {
        Outcome outcome = SaveFailed;
        bool landed = false;  // the files hold the backup, or will at the next start
        QString message;
        QString safetyPath;
        Stores stores;
        QStringList replacedClientFiles;
        QStringList sections;  // the sections the backup carried
        QJsonObject settings;  // its settings section
        Read pools;            // where the pools stand in the backup; no records
    };
    static Applied apply(const Read &read, Stores stores, const QString &safetyPath);
    // The client a restore opens, from the restored list and the backup's settings.
    static QString clientOpenedBy(const Clients &restored, const QJsonObject &settings, bool carriesSettings);
    // Back where the stores live: the restored records take their place,
    // and what they replace is let go beside the window. The pools are read
    // again from the files the restore wrote, beside the window too.
    Outcome finish(Applied applied);
    QString nextSafetyPath() const;

    // A restore ends in a restart, which would leave the operator with no
    // word of what happened: the restore leaves it in the data folder, and
    // the program that starts next takes it (once) to tell the operator.
    static bool leaveRestoredNote(const QString &dataFolder, const QString &restoredFrom, const QString &safetyPath,
                                  const QStringList &twofold = {});
    // What the last restore left word of; empty when there is none. It
    // stays until forgotten: a start ended before it showed the word
    // leaves it for the next.
    static QString restoredNote(const QString &dataFolder);
    static void forgetRestoredNote(const QString &dataFolder);
    // The word a restore leaves for the next start from the moment it
    // begins, taken back when it ends with nothing changed: a program ended
    // meanwhile (a signal, a kill) tells at its next start that nothing was.
    // Among the words a start finds with a restored note, it is dropped.
    static QString unfinishedNote(const QString &path);
    static bool isUnfinishedNote(const QString &line);

    // Why a restore did not end in Restored, for the operator.
    QString message() const { return m_message; }
    QString safetyBackupPath() const { return m_safetyPath; }

    // Decodes the bytes as one whole backup object: nothing before or after
    // it, no damaged byte. False, with the reason, otherwise.
    static bool decode(const QByteArray &bytes, QJsonObject &object, QString &why);
    // Whether every section can be applied: the version, each section's type
    // and list, every history's file name, and no store larger than
    // `storeLimit` (what the program reads back). False, with the reason.
    // A store's size is what the sizes give (the bytes it has in the file:
    // the pools and the histories, whose records are not in the object),
    // else that of its object encoded.
    struct Sizes
    {
        QHash<QString, qint64> sections;
        QList<qint64> histories;
    };
    static bool check(const QJsonObject &object, QString &why, qint64 storeLimit = Container::sizeLimit,
                      const Sizes *sizes = nullptr);

private:
    Outcome finishWith(Applied &applied);
    static void applySections(const Read &read, Applied &applied, QStringList &unsaved);
    void afterCommit(const Applied &applied);

    Settings &m_settings;
    Library &m_library;
    WorkList &m_work;
    DeviceSlots &m_devices;
    QString m_message;
    QString m_safetyPath;
};
