#include "maintenance/backup.h"

#include "data/settings.h"
#include "data/container.h"
#include "data/library.h"
#include "data/ownfiles.h"
#include "work/deviceslots.h"
#include "maintenance/backupformat.h"
#include "maintenance/offthread.h"
#include "maintenance/wholeobject.h"
#include "work/sequencer.h"
#include "data/worklist.h"
#include "data/writebeside.h"

#include <algorithm>

#include <QDateTime>
#include <QDir>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>

using namespace BackupFormat;

namespace {

// Whether the list holds records alone, as its store reads them (see
// Container::onlyRecords): a program's lines and a device's work list and
// log are records' own lists.
using RecordsCheck = bool (*)(const QJsonArray &);

// The object sections and the list each must carry; an object without its
// list would empty the store it replaces.
struct Section
{
    const QString &key;
    const char *list;
    RecordsCheck onlyRecords;
};
const Section storeSections[] = {
    {keyClients, "clients", &Container::onlyRecords<Client>},
    {keyPrograms, "programs", &Container::onlyRecords<Program>},
    {keyPresets, "presets", &Container::onlyRecords<Preset>},
    {keyGenuinePresets, "presets", &Container::onlyRecords<Preset>},
    {keyWork, "program", &Container::onlyRecords<WorkLine>},
    {keyMachines, "machines", &Container::onlyRecords<Machine>},
    {keySettings, nullptr, nullptr},
};
// A history's lists.
struct HistoryList
{
    const char *list;
    RecordsCheck onlyRecords;
};
const HistoryList historyLists[] = {
    {"history", &Container::onlyRecords<Note>},
    {"presets", &Container::onlyRecords<Preset>},
    {"programs", &Container::onlyRecords<Program>},
};

// The backup opened at a pool's section, when it is still the file that
// was checked.
bool openAt(const Backup::Read &read, const Backup::Read::Range &range, QFile &from)
{
    return range.size >= 0 && PlatformFile::identity(read.path) == read.identity
           && Container::openPlain(from, read.path, Backup::maxFileSize) == Container::ReadStatus::Read && from.seek(range.start);
}

// A pool's section copied into the pool's file as it stands in the backup:
// the store reads from those bytes the records the check read from them.
// A file changed since it was read is not copied.
bool copyPool(const Backup::Read &read, const Backup::Read::Range &range, const QString &to)
{
    QFile from;
    if (!openAt(read, range, from))
        return false;
    return Container::writeStream(to, [&](QIODevice &device) {
        for (qint64 left = range.size; left > 0;) {
            const QByteArray block = from.read(qMin<qint64>(left, qint64(1) << 20));
            if (block.isEmpty() || device.write(block) != block.size())
                return false;
            left -= block.size();
        }
        return PlatformFile::identity(read.path) == read.identity;
    });
}

// A pool's records read from its section in the backup, when the backup is
// still the file that was checked.
void poolFromBackup(const Backup::Read &read, const Backup::Read::Range &range, Presets &pool)
{
    QFile from;
    if (!openAt(read, range, from))
        return;
    const QByteArray bytes = from.read(range.size);
    if (bytes.size() == range.size)
        pool.readBytes(bytes);
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
    // The settings keep the open client for the next start, and are told
    // it only at the end; a backup carries the one open now.
    m_settings.setOpenClient(m_library.openClientFile());
    m_settings.toJson(stores.settings);
    stores.settingsPath = m_settings.settingsPath();
    stores.dataFolder = m_settings.dataFolder();
    return stores;
}

bool Backup::decode(const QByteArray &bytes, QJsonObject &object, QString &why)
{
    return WholeObject::decode(bytes, object, why);
}

bool Backup::check(const QJsonObject &object, QString &why, qint64 storeLimit, const Sizes *sizes)
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
        const QJsonValue list = section.list ? value.toObject().value(QLatin1String(section.list)) : QJsonValue();
        if (!value.isObject() || (section.list && !list.isArray())) {
            why = QStringLiteral("the section \"%1\" is damaged").arg(section.key);
            return false;
        }
        // The store would read its own file as another program's and keep
        // it aside: the restored library would not be the one backed up.
        if (section.list && !section.onlyRecords(list.toArray())) {
            why = QStringLiteral("the section \"%1\" is damaged (its \"%2\" list holds something that is not a record)")
                      .arg(section.key, QLatin1String(section.list));
            return false;
        }
        // Nor is a file with a second list beside its own (another
        // version's form): a pool's section, copied as it stands, would be
        // kept aside at the next start, and another store would drop it.
        if (const QString stray = section.list ? Container::strayList(value.toObject(), {QLatin1String(section.list)}) : QString();
            !stray.isEmpty()) {
            why = QStringLiteral("the section \"%1\" is damaged (it keeps a list under \"%2\" beside its \"%3\" list)")
                      .arg(section.key, stray, QLatin1String(section.list));
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
            // A list of another kind would restore as an empty one, and
            // one with other things among its records as not what it was.
            for (const HistoryList &list : historyLists) {
                const QJsonValue value = elements.at(i).toObject().value(QLatin1String(list.list));
                if (!value.isUndefined() && (!value.isArray() || !list.onlyRecords(value.toArray()))) {
                    why = QStringLiteral("history %1 of the backup is damaged (\"%2\")").arg(i + 1).arg(QLatin1String(list.list));
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
        const qint64 given = sizes ? sizes->sections.value(section.key, -1) : -1;
        if (value.isObject() && (given >= 0 ? given : Container::encode(value.toObject()).size()) > storeLimit) {
            why = QStringLiteral("the section \"%1\" is larger than the program reads").arg(section.key);
            return false;
        }
    }
    const QJsonArray histories = object.value(keyHistory).toArray();
    for (qsizetype i = 0; i < histories.size(); ++i) {
        const qint64 given = sizes && i < sizes->histories.size() ? sizes->histories.at(i) : -1;
        if ((given >= 0 ? given : Container::encode(histories.at(i).toObject()).size()) > storeLimit) {
            why = QStringLiteral("history %1 of the backup is larger than the program reads").arg(i + 1);
            return false;
        }
    }
    return true;
}

bool Backup::leaveRestoredNote(const QString &dataFolder, const QString &restoredFrom, const QString &safetyPath,
                               const QStringList &twofold)
{
    QJsonObject note {{QStringLiteral("version"), QStringLiteral("1")},
                      {QStringLiteral("Backup"), restoredFrom},
                      {QStringLiteral("Safety"), safetyPath}};
    if (!twofold.isEmpty())
        note.insert(QStringLiteral("Twofold"), QJsonArray::fromStringList(twofold));
    return Container::writeFile(dataFolder + OwnFiles::restored, note);
}

QString Backup::restoredNote(const QString &dataFolder)
{
    const QString path = dataFolder + OwnFiles::restored;
    if (!QFileInfo::exists(path))
        return QString();
    QJsonObject note;
    if (Container::readFile(path, note) != Container::ReadStatus::Read)
        return QString();
    QStringList twofold;
    for (const QJsonValue &line : note.value(QStringLiteral("Twofold")).toArray())
        twofold << line.toString();
    const QString said = QStringLiteral("Data restored from %1. The data as it was before the restore is in %2")
                             .arg(QDir::toNativeSeparators(note.value(QStringLiteral("Backup")).toString()),
                                  QDir::toNativeSeparators(note.value(QStringLiteral("Safety")).toString()));
    return twofold.isEmpty() ? said : said + QStringLiteral(".\n") + twofoldText(twofold);
}

void Backup::forgetRestoredNote(const QString &dataFolder)
{
    QFile::remove(dataFolder + OwnFiles::restored);
}

namespace {
const QString unfinishedEnd = QStringLiteral(" did not happen: the program ended before it was done. Nothing was changed.");
}

QString Backup::unfinishedNote(const QString &path)
{
    return QStringLiteral("The restore from ") + QDir::toNativeSeparators(path) + unfinishedEnd;
}

bool Backup::isUnfinishedNote(const QString &line)
{
    return line.startsWith(QLatin1String("The restore from ")) && line.endsWith(unfinishedEnd);
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
    applied.pools.path = read.path;
    applied.pools.identity = read.identity;
    applied.pools.generalBytes = read.generalBytes;
    applied.pools.legitimateBytes = read.legitimateBytes;
    QStringList unsaved;
    Container::Batch::Result result = Container::Batch::NothingChanged;
    {
        Container::Batch batch(applied.stores.dataFolder);
        applySections(read, applied, unsaved);
        // The word of the restore lands with it: a restore that ends with
        // the program (a signal while it writes) is told at the next start.
        if (unsaved.isEmpty() && !leaveRestoredNote(applied.stores.dataFolder, read.path, safetyPath, read.twofold))
            unsaved << QStringLiteral("the note of the restore");
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
    releaseOffThread(store.replaceRecords(records));
}

} // namespace

Backup::Outcome Backup::finish(Applied applied)
{
    const Outcome outcome = finishWith(applied);
    // What the restore read (pools of a million presets) goes where
    // freeing it holds up no window tick.
    releaseOffThread(std::move(applied));
    return outcome;
}

Backup::Outcome Backup::finishWith(Applied &applied)
{
    m_message = applied.message;
    m_safetyPath = applied.safetyPath;
    if (!applied.landed)
        return applied.outcome;  // the stores here were never touched
    // The files hold the backup whole, and the program starts again on
    // them: nothing here is read or saved any more.
    if (applied.outcome == Restored) {
        afterCommit(applied);
        return Restored;
    }

    // The files hold the backup now, or will at the next start: so do the
    // stores, so that a save before then writes what the restore wrote.
    const Stores &restored = applied.stores;
    const auto carried = [&applied](const QString &section) { return applied.sections.contains(section); };
    if (carried(keyClients)) {
        Clients &clients = m_library.clients();
        m_library.closeClient();
        replaceRecords(clients, restored.clients.records());
        clients.setFilter(QString());
        // The one open before may not be in the restored list.
        const bool named = m_library.openClient(clientOpenedBy(clients, applied.settings, carried(keySettings)));
        if (!named && clients.count() > 0)
            m_library.openClient(clients.records().first().file);
    }
    if (carried(keyPrograms))
        replaceRecords(m_library.programs(), restored.programs.records());
    // Still the old files: the pools are taken from the backup itself.
    if (carried(keyPresets))
        poolFromBackup(applied.pools, applied.pools.generalBytes, m_library.generalPresets());
    if (carried(keyGenuinePresets))
        poolFromBackup(applied.pools, applied.pools.legitimateBytes, m_library.legitimatePresets());
    if (carried(keyWork))
        m_work = restored.work;
    if (carried(keySettings))
        m_settings.fromJson(applied.settings);
    if (carried(keyClients))
        m_settings.setOpenClient(m_library.openClientFile());
    if (carried(keyMachines)) {
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
        for (const QString &file : applied.replacedClientFiles)
            QFile::remove(applied.stores.dataFolder + file + QStringLiteral(".json"));
    }
}

QString Backup::clientOpenedBy(const Clients &restored, const QJsonObject &settings, bool carriesSettings)
{
    // The client the backup had open, else the restored list's first, as at
    // a first start; with no client open at the backup there is no choice
    // of the operator's to keep.
    Settings backedUp;
    backedUp.fromJson(settings);
    const QString named = carriesSettings ? backedUp.openClient().value_or(QString()) : QString();
    const QList<Client> &clients = restored.records();
    if (!named.isEmpty() && std::any_of(clients.cbegin(), clients.cend(), [&](const Client &c) { return c.file == named; }))
        return named;
    return clients.isEmpty() ? QString() : clients.first().file;
}

void Backup::applySections(const Read &read, Applied &applied, QStringList &unsaved)
{
    const QJsonObject &object = read.object;
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
        const QJsonArray elements = object.value(keyHistory).toArray();
        for (qsizetype i = 0; i < elements.size(); ++i) {
            History history;
            history.setPath(clients.folder() + elements.at(i).toObject().value(keyFileName).toString() + QStringLiteral(".dat"));
            // Decoded whole by the check: this takes the same records apart.
            Container::ListOf<Note> notes(history.notes().listKey());
            Container::ListOf<Preset> presets(history.presets().listKey());
            Container::ListOf<Program> programs(history.programs().listKey());
            QJsonObject header;
            Container::decode(read.histories.at(i), header, {&notes, &presets, &programs});
            // A client that has never had a history has no file for it, and
            // an empty history needs none; a file there is replaced.
            if (notes.taken().isEmpty() && presets.taken().isEmpty() && programs.taken().isEmpty()
                && !QFileInfo::exists(history.path()))
                continue;
            history.notes().replaceRecords(std::move(notes.taken()));
            history.presets().replaceRecords(std::move(presets.taken()));
            history.programs().replaceRecords(std::move(programs.taken()));
            saved(history.saveBase(), QStringLiteral("a client's history"));
        }
        clients.fromJson(object.value(keyClients).toObject());
        saved(clients.saveBase(), QStringLiteral("the clients"));
    }
    if (object.contains(keyPrograms)) {
        stores.programs.fromJson(object.value(keyPrograms).toObject());
        saved(stores.programs.saveBase(), QStringLiteral("the programs"));
    }
    // The check asked for each pool's list, so its section was read whole
    // and its bytes are copied.
    if (object.contains(keyPresets))
        saved(copyPool(read, read.generalBytes, stores.general.path()), QStringLiteral("the General presets"));
    if (object.contains(keyGenuinePresets))
        saved(copyPool(read, read.legitimateBytes, stores.legitimate.path()), QStringLiteral("the Legitimate presets"));
    if (object.contains(keyWork)) {
        stores.work.fromJson(object.value(keyWork).toObject());
        saved(stores.work.saveBase(), QStringLiteral("the work list"));
    }
    if (object.contains(keyMachines)) {
        stores.machines.fromJson(object.value(keyMachines).toObject());
        saved(stores.machines.saveBase(), QStringLiteral("the devices"));
    }
    if (object.contains(keySettings) || object.contains(keyClients)) {
        // The settings file is the current settings with the backup's over
        // them. The next start opens the client the restore opened: named
        // as none, it would open none, although the restore opened one.
        Settings merged;
        merged.fromJson(stores.settings);
        merged.fromJson(object.value(keySettings).toObject());
        if (object.contains(keyClients))
            merged.setOpenClient(clientOpenedBy(clients, object.value(keySettings).toObject(), object.contains(keySettings)));
        QJsonObject written;
        merged.toJson(written);
        saved(Container::writeFile(stores.settingsPath, written), QStringLiteral("the settings"));
    }
}
