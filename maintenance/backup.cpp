#include "maintenance/backup.h"

#include "data/settings.h"
#include "data/container.h"
#include "data/library.h"
#include "work/deviceslots.h"
#include "maintenance/offthread.h"
#include "maintenance/wholeobject.h"
#include "work/sequencer.h"
#include "data/worklist.h"
#include "data/writebeside.h"

#include <QDateTime>
#include <QDir>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>

namespace {

const QString keyVersion = QStringLiteral("Version");
const QString keyClients = QStringLiteral("Clients");
const QString keyHistory = QStringLiteral("History");
const QString keyPrograms = QStringLiteral("Programs");
const QString keyPresets = QStringLiteral("Presets");
const QString keyGenuinePresets = QStringLiteral("GenuinePresets");
const QString keyWork = QStringLiteral("Work");
const QString keyMachines = QStringLiteral("Machines");
const QString keySettings = QStringLiteral("Settings");
const QString keyFileName = QStringLiteral("FileName");

// The object sections and the list each must carry; an object without its
// list would empty the store it replaces.
struct Section
{
    const QString &key;
    const char *list;
};
const Section storeSections[] = {
    {keyClients, "clients"}, {keyPrograms, "programs"}, {keyPresets, "presets"},
    {keyGenuinePresets, "presets"}, {keyWork, "program"}, {keyMachines, "machines"},
    {keySettings, nullptr},
};

template <typename Store>
QJsonObject storeObject(const Store &store)
{
    QJsonObject object;
    store.toJson(object);
    return object;
}

} // namespace

Backup::Backup(Settings &settings, Library &library, WorkList &work, DeviceSlots &devices)
    : m_settings(settings), m_library(library), m_work(work), m_devices(devices)
{
}

Backup::Stores Backup::stores() const
{
    Stores stores;
    stores.clients = m_library.clients();
    stores.programs = m_library.programs();
    stores.general = m_library.generalPresets();
    stores.legitimate = m_library.legitimatePresets();
    stores.work = m_work;
    stores.machines = m_devices.registry();
    m_settings.toJson(stores.settings);
    stores.settingsPath = m_settings.settingsPath();
    stores.dataFolder = m_settings.dataFolder();
    return stores;
}

QJsonObject Backup::build(const Stores &stores, QString *unreadable)
{
    QJsonObject backup;
    backup.insert(keyVersion, QStringLiteral("1"));
    const Clients &clients = stores.clients;
    backup.insert(keyClients, storeObject(clients));

    // Each history is read into a store of its own, so that the current
    // client's loaded history is never swapped out by a backup.
    QJsonArray histories;
    for (const Client &client : clients.records()) {
        if (!Client::isPlainIdentifier(client.file)) {
            qWarning().noquote() << "Client" << client.name << "has an unusable file identifier; its history is not backed up";
            continue;
        }
        History history;
        history.setPath(clients.folder() + client.file);
        // A client without a history file yet has an empty history; one whose
        // file is there but cannot be read whole must not be backed up empty.
        if (!history.readBase() && QFileInfo::exists(history.path()) && unreadable && unreadable->isEmpty())
            *unreadable = history.path();
        QJsonObject element;
        history.toJson(element);
        element.insert(keyFileName, client.file);
        histories.append(element);
    }
    backup.insert(keyHistory, histories);

    backup.insert(keyPrograms, storeObject(stores.programs));
    backup.insert(keyPresets, storeObject(stores.general));
    backup.insert(keyGenuinePresets, storeObject(stores.legitimate));
    backup.insert(keyWork, storeObject(stores.work));
    backup.insert(keyMachines, storeObject(stores.machines));
    backup.insert(keySettings, stores.settings);
    return backup;
}

bool Backup::write(const Stores &stores, const QString &path, QString *why)
{
    QString unreadable;
    const QJsonObject backup = build(stores, &unreadable);
    if (!unreadable.isEmpty()) {
        if (why)
            *why = QStringLiteral("the history %1 cannot be read").arg(QFileInfo(unreadable).fileName());
        return false;
    }
    // A backup larger than a restore takes could never be given back.
    const QByteArray bytes = Container::encode(backup);
    if (bytes.size() > maxFileSize) {
        if (why)
            *why = QStringLiteral("the data is larger than a backup may be (%1 MiB)").arg(maxFileSize >> 20);
        return false;
    }
    if (!Container::writeBytes(path, bytes, maxFileSize)) {
        if (why)
            *why = QStringLiteral("couldn't write ") + path;
        return false;
    }
    return true;
}

bool Backup::decode(const QByteArray &bytes, QJsonObject &object, QString &why)
{
    return WholeObject::decode(bytes, object, why);
}

bool Backup::check(const QJsonObject &object, QString &why, qint64 storeLimit)
{
    const QJsonValue version = object.value(keyVersion);
    if (!version.isUndefined() && version != QJsonValue(QStringLiteral("1"))) {
        why = QStringLiteral("the backup has version %1, which this program does not know")
                  .arg(version.isString() ? version.toString() : QStringLiteral("(not a text)"));
        return false;
    }
    bool any = false;
    for (const Section &section : storeSections) {
        const QJsonValue value = object.value(section.key);
        if (value.isUndefined())
            continue;
        any = true;
        if (!value.isObject() || (section.list && !value.toObject().value(QLatin1String(section.list)).isArray())) {
            why = QStringLiteral("the section \"%1\" is damaged").arg(section.key);
            return false;
        }
    }
    const QJsonValue history = object.value(keyHistory);
    if (history.isUndefined() != object.value(keyClients).isUndefined()) {
        why = QStringLiteral("the clients and their histories must come together");
        return false;
    }
    if (!history.isUndefined()) {
        if (!history.isArray()) {
            why = QStringLiteral("the section \"History\" is damaged");
            return false;
        }
        // Each client names its own history file, and each history is a
        // client's: two writers of one file, or a history under a name the
        // library uses for itself, would lose records.
        QSet<QString> clientFiles;
        const QJsonArray clients = object.value(keyClients).toObject().value(QStringLiteral("clients")).toArray();
        for (qsizetype i = 0; i < clients.size(); ++i) {
            const QString file = clients.at(i).toObject().value(QStringLiteral("file")).toString();
            if (!Client::isPlainIdentifier(file) || clientFiles.contains(file.toLower())) {
                why = QStringLiteral("client %1 of the backup has no file of its own").arg(i + 1);
                return false;
            }
            clientFiles.insert(file.toLower());
        }
        QSet<QString> historyFiles;
        const QJsonArray elements = history.toArray();
        for (qsizetype i = 0; i < elements.size(); ++i) {
            const QJsonValue fileName = elements.at(i).toObject().value(keyFileName);
            const QString file = fileName.toString().toLower();
            if (!elements.at(i).isObject() || !fileName.isString() || !Client::isPlainIdentifier(fileName.toString())
                || historyFiles.contains(file) || !clientFiles.contains(file)) {
                why = QStringLiteral("history %1 of the backup names no usable file").arg(i + 1);
                return false;
            }
            // A list of another kind would restore as an empty one.
            for (const char *list : {"history", "presets", "programs"}) {
                const QJsonValue value = elements.at(i).toObject().value(QLatin1String(list));
                if (!value.isUndefined() && !value.isArray()) {
                    why = QStringLiteral("history %1 of the backup is damaged (\"%2\")").arg(i + 1).arg(QLatin1String(list));
                    return false;
                }
            }
            historyFiles.insert(file);
        }
        // A client whose history the backup does not carry would take over
        // whatever file of that name the data folder still has.
        for (qsizetype i = 0; i < clients.size(); ++i) {
            if (!historyFiles.contains(clients.at(i).toObject().value(QStringLiteral("file")).toString().toLower())) {
                why = QStringLiteral("client %1 of the backup has no history in it").arg(i + 1);
                return false;
            }
        }
    }
    if (!any) {
        why = QStringLiteral("the file holds no backup");
        return false;
    }
    // Nothing is written that the program would refuse to read back.
    for (const Section &section : storeSections) {
        const QJsonValue value = object.value(section.key);
        if (value.isObject() && Container::encode(value.toObject()).size() > storeLimit) {
            why = QStringLiteral("the section \"%1\" is larger than the program reads").arg(section.key);
            return false;
        }
    }
    const QJsonArray histories = object.value(keyHistory).toArray();
    for (qsizetype i = 0; i < histories.size(); ++i) {
        if (Container::encode(histories.at(i).toObject()).size() > storeLimit) {
            why = QStringLiteral("history %1 of the backup is larger than the program reads").arg(i + 1);
            return false;
        }
    }
    return true;
}

namespace {

const char *const restoredNoteFile = "restored.dat";

} // namespace

bool Backup::leaveRestoredNote(const QString &dataFolder, const QString &restoredFrom, const QString &safetyPath)
{
    return Container::writeFile(dataFolder + QLatin1String(restoredNoteFile),
                                QJsonObject {{QStringLiteral("version"), QStringLiteral("1")},
                                             {QStringLiteral("Backup"), restoredFrom},
                                             {QStringLiteral("Safety"), safetyPath}});
}

QString Backup::takeRestoredNote(const QString &dataFolder)
{
    const QString path = dataFolder + QLatin1String(restoredNoteFile);
    if (!QFileInfo::exists(path))
        return QString();
    QJsonObject note;
    const bool read = Container::readFile(path, note) == Container::ReadStatus::Read;
    // Told once, whatever the file held.
    QFile::remove(path);
    if (!read)
        return QString();
    return QStringLiteral("Data restored from %1. The data as it was before the restore is in %2")
        .arg(QDir::toNativeSeparators(note.value(QStringLiteral("Backup")).toString()),
             QDir::toNativeSeparators(note.value(QStringLiteral("Safety")).toString()));
}

QString Backup::nextSafetyPath() const
{
    const QString base = m_settings.backupFolder() + QStringLiteral("before-restore-")
                         + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_hh-mm-ss"));
    QString path = base + QStringLiteral(".bkp");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = base + QStringLiteral("-%1.bkp").arg(n);
    return path;
}

Backup::Read Backup::read(const QString &path)
{
    Read read;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.why = file.errorString();
        return read;
    }
    if (file.size() > maxFileSize) {
        read.why = QStringLiteral("the file is too large");
        return read;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    if (decode(bytes, read.object, read.why) && check(read.object, read.why)) {
        read.why.clear();
    } else {
        read.object = QJsonObject();
        if (read.why.isEmpty())
            read.why = QStringLiteral("the file is damaged");
    }
    return read;
}

Backup::Outcome Backup::restore(const QString &path)
{
    return restore(read(path));
}

Backup::Outcome Backup::restore(const Read &read)
{
    m_message.clear();
    m_safetyPath.clear();
    if (read.why.isEmpty() && refuseWhileRunning())
        return Refused;
    return finish(apply(read, stores(), nextSafetyPath()));
}

bool Backup::refuseWhileRunning()
{
    // A run being stopped is still going: its end is written into the
    // history it was recorded in, which the restore is about to replace.
    bool going = m_devices.anyRunGoing();
    for (int slot = 0; slot < DeviceSlots::count && !going; ++slot)
        going = m_devices.sequencer(slot).isRunning();
    if (!going)
        return false;
    m_message = QStringLiteral("Restore refused: a device is running; stop it first. Nothing was changed.");
    return true;
}

Backup::Applied Backup::apply(const Read &read, Stores stores, const QString &safetyPath)
{
    Applied applied;
    if (!read.why.isEmpty()) {
        applied.outcome = Refused;
        applied.message = QStringLiteral("Restore refused: %1. Nothing was changed.").arg(read.why);
        return applied;
    }
    // A store still being written beside the window would land over the
    // restored file after the commit.
    WriteBeside::waitForAll();
    applied.safetyPath = safetyPath;
    QString unsafe;
    if (!write(stores, safetyPath, &unsafe)) {
        applied.outcome = SafetyFailed;
        applied.message = QStringLiteral("Restore stopped: the current data could not be saved to %1 first (%2). "
                                         "Nothing was changed.").arg(safetyPath, unsafe);
        return applied;
    }

    // Every file is written beside its old one first and the old ones are
    // replaced only when all are there: a failure or a kill leaves the data
    // whole, either as it was or as the backup has it.
    applied.stores = std::move(stores);
    applied.sections = read.object.keys();
    applied.settings = read.object.value(keySettings).toObject();
    QStringList unsaved;
    Container::Batch::Result result = Container::Batch::NothingChanged;
    {
        Container::Batch batch(applied.stores.dataFolder);
        applySections(read.object, applied, unsaved);
        if (unsaved.isEmpty())
            result = batch.commit();
    }
    applied.landed = result == Container::Batch::Committed || result == Container::Batch::Pending;
    if (result == Container::Batch::Pending) {
        applied.outcome = SaveFailed;
        applied.message = QStringLiteral("Restore incomplete: the restored files could not all take the place of the old "
                                         "ones. The program finishes this at its next start.");
    } else if (result != Container::Batch::Committed) {
        applied.outcome = SaveFailed;
        applied.message = QStringLiteral("Restore failed: %1 could not be written. Nothing was changed.")
                              .arg(unsaved.isEmpty() ? QStringLiteral("the data") : unsaved.join(QStringLiteral(", ")));
    } else {
        applied.outcome = Restored;
    }
    return applied;
}

namespace {

// The store's records become these; the old ones are let go off the GUI thread.
template <typename Store, typename Record>
void replaceRecords(Store &store, const QList<Record> &records)
{
    releaseOffThread(std::exchange(store.editRecords(), records));
}

} // namespace

Backup::Outcome Backup::finish(Applied applied)
{
    m_message = applied.message;
    m_safetyPath = applied.safetyPath;
    if (!applied.landed)
        return applied.outcome;  // the stores here were never touched

    // The files hold the backup now, or will at the next start: so do the
    // stores, so that a save before then writes what the restore wrote.
    const Stores &restored = applied.stores;
    const auto carried = [&applied](const QString &section) { return applied.sections.contains(section); };
    if (carried(keyClients)) {
        Clients &clients = m_library.clients();
        m_library.closeClient();
        replaceRecords(clients, restored.clients.records());
        clients.setFilter(QString());
        clients.first();
        // The client that was open may not be in the restored list.
        if (clients.count() > 0)
            m_library.openClient(clients.records().first().file);
    }
    if (carried(keyPrograms))
        replaceRecords(m_library.programs(), restored.programs.records());
    if (carried(keyPresets))
        replaceRecords(m_library.generalPresets(), restored.general.records());
    if (carried(keyGenuinePresets))
        replaceRecords(m_library.legitimatePresets(), restored.legitimate.records());
    if (carried(keyWork))
        m_work = restored.work;
    if (carried(keySettings))
        m_settings.fromJson(applied.settings);
    if (applied.outcome == Restored) {
        afterCommit(applied);
    } else if (carried(keyMachines)) {
        // The files change only at the next start, but until then the
        // devices are served from these records: they need their slots.
        m_devices.registry().replaceAll(restored.machines.records());
        m_devices.bindDevices();
    }
    return applied.outcome;
}

void Backup::afterCommit(const Applied &applied)
{
    if (applied.sections.contains(keyClients)) {
        // Files of an older version of the program, which nothing reads.
        Clients &clients = m_library.clients();
        for (const QString &file : applied.replacedClientFiles)
            QFile::remove(clients.folder() + file + QStringLiteral(".json"));
    }
    if (applied.sections.contains(keyMachines)) {
        // Read back from the saved file: reading is what numbers the device
        // slots, which the controllers are then bound to.
        m_devices.registry().readBase();
        m_devices.bindDevices();
    }
}

void Backup::applySections(const QJsonObject &object, Applied &applied, QStringList &unsaved)
{
    const auto saved = [&unsaved](bool ok, const QString &what) {
        if (!ok && !unsaved.contains(what))
            unsaved << what;
    };

    Stores &stores = applied.stores;
    Clients &clients = stores.clients;
    if (object.contains(keyClients)) {
        for (const Client &client : clients.records()) {
            if (Client::isPlainIdentifier(client.file))
                applied.replacedClientFiles << client.file;
        }
        for (const QJsonValue &element : object.value(keyHistory).toArray()) {
            const QJsonObject entry = element.toObject();
            History history;
            history.setPath(clients.folder() + entry.value(keyFileName).toString());
            history.fromJson(entry);
            saved(history.saveBase(), QStringLiteral("a client's history"));
        }
        clients.fromJson(object.value(keyClients).toObject());
        saved(clients.saveBase(), QStringLiteral("the clients"));
    }
    if (object.contains(keyPrograms)) {
        stores.programs.fromJson(object.value(keyPrograms).toObject());
        saved(stores.programs.saveBase(), QStringLiteral("the programs"));
    }
    if (object.contains(keyPresets)) {
        stores.general.fromJson(object.value(keyPresets).toObject());
        saved(stores.general.saveBase(), QStringLiteral("the General presets"));
    }
    if (object.contains(keyGenuinePresets)) {
        stores.legitimate.fromJson(object.value(keyGenuinePresets).toObject());
        saved(stores.legitimate.saveBase(), QStringLiteral("the Legitimate presets"));
    }
    if (object.contains(keyWork)) {
        stores.work.fromJson(object.value(keyWork).toObject());
        saved(stores.work.saveBase(), QStringLiteral("the work list"));
    }
    if (object.contains(keyMachines)) {
        stores.machines.fromJson(object.value(keyMachines).toObject());
        saved(stores.machines.saveBase(), QStringLiteral("the devices"));
    }
    if (object.contains(keySettings)) {
        // The settings file is the current settings with the backup's over them.
        Settings merged;
        merged.fromJson(stores.settings);
        merged.fromJson(object.value(keySettings).toObject());
        QJsonObject written;
        merged.toJson(written);
        saved(Container::writeFile(stores.settingsPath, written), QStringLiteral("the settings"));
    }
}
