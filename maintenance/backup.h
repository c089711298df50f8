#pragma once

#include "data/container.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

class DeviceSlots;
class Library;
class Settings;
class WorkList;

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

    // Backup files larger than this are not read.
    static constexpr qint64 maxFileSize = qint64(512) * 1024 * 1024;

    Backup(Settings &settings, Library &library, WorkList &work, DeviceSlots &devices);

    // Every store as one object. The histories are read from their files;
    // the current client and its loaded history stay as they are.
    // `unreadable`, when given, names the first history file that exists
    // but could not be read whole (it is in the backup as empty).
    QJsonObject build(QString *unreadable = nullptr) const;
    // Writes build() to the path through an atomic save; false, with why,
    // when a history cannot be read or the file cannot be written.
    bool write(const QString &path, QString *why = nullptr) const;

    Outcome restore(const QString &path);
    // The same in two steps. Reading, decoding and checking the whole file
    // touch nothing else, so they can run on a worker thread; the restore
    // of what was read runs where the stores live.
    struct Read
    {
        QJsonObject object;
        QString why;  // empty when the file passed the check
    };
    static Read read(const QString &path);
    Outcome restore(const Read &read);
    // Why a restore did not end in Restored, for the operator.
    QString message() const { return m_message; }
    QString safetyBackupPath() const { return m_safetyPath; }

    // Decodes the bytes as one whole backup object: nothing before or after
    // it, no damaged byte. False, with the reason, otherwise.
    static bool decode(const QByteArray &bytes, QJsonObject &object, QString &why);
    // Whether every section can be applied: the version, each section's type
    // and list, every history's file name, and no store larger than
    // `storeLimit` (what the program reads back). False, with the reason.
    static bool check(const QJsonObject &object, QString &why, qint64 storeLimit = Container::sizeLimit);

private:
    void apply(const QJsonObject &object, QStringList &unsaved);
    // The stores in memory as their files are, after a restore that failed.
    void reload();
    void afterCommit(const QJsonObject &object);
    QString nextSafetyPath() const;

    Settings &m_settings;
    Library &m_library;
    WorkList &m_work;
    DeviceSlots &m_devices;
    QString m_message;
    QString m_safetyPath;
    QStringList m_replacedClientFiles;
};
