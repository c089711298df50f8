#include "maintenance/backup.h"

#include "data/settings.h"
#include "data/container.h"
#include "data/library.h"
#include "work/deviceslots.h"
#include "maintenance/cborscan.h"
#include "maintenance/offthread.h"
#include "maintenance/wholeobject.h"
#include "work/sequencer.h"
#include "data/worklist.h"
#include "data/writebeside.h"

#include <QCborStreamWriter>
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

// The backup opened at a pool's section, when it is still the file that
// was checked.
bool openAt(const Backup::Read &read, const Backup::Read::Range &range, QFile &from)
{
    from.setFileName(read.path);
    return range.size >= 0 && PlatformFile::identity(read.path) == read.identity && from.open(QIODevice::ReadOnly)
           && from.seek(range.start);
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

// The head of a CBOR item with its argument, as every encoder writes it.
void appendHead(QByteArray &bytes, int major, quint64 argument)
{
    const char initial = char(major << 5);
    if (argument < 24) {
        bytes.append(char(initial | char(argument)));
        return;
    }
    const int width = argument <= 0xff ? 1 : argument <= 0xffff ? 2 : argument <= 0xffffffffu ? 4 : 8;
    bytes.append(char(initial | char(width == 1 ? 24 : width == 2 ? 25 : width == 4 ? 26 : 27)));
    for (int i = width - 1; i >= 0; --i)
        bytes.append(char(argument >> (8 * i)));
}

// A text as QCborStreamWriter writes one.
void appendText(QByteArray &bytes, QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            const QByteArray utf8 = text.toUtf8();
            appendHead(bytes, CborScan::Text, quint64(utf8.size()));
            bytes.append(utf8);
            return;
        }
    }
    appendHead(bytes, CborScan::Text, quint64(text.size()));
    const qsizetype at = bytes.size();
    bytes.resize(at + text.size());
    char *out = bytes.data() + at;
    for (const QChar c : text)
        *out++ = char(c.unicode());
}

void appendText(QByteArray &bytes, QLatin1StringView text)
{
    for (const char c : text) {
        if (uchar(c) >= 0x80) {
            appendText(bytes, QString(text));
            return;
        }
    }
    appendHead(bytes, CborScan::Text, quint64(text.size()));
    bytes.append(text.data(), text.size());
}

// A pool as the value of its section, the bytes its own file has, in pieces
// of about a mebibyte: the general writer's cost for each of a million
// records' twenty items was most of the time a backup took.
bool writePoolTo(QIODevice &device, const Presets &pool)
{
    constexpr qsizetype pieceSize = qsizetype(1) << 20;
    QByteArray piece;
    piece.reserve(pieceSize + 64 * 1024);
    const QList<Preset> &records = pool.records();
    const QString version = QStringLiteral("version");
    const bool listFirst = pool.listKey() < version;  // the keys as a JSON object orders them
    const auto versionEntry = [&] {
        appendText(piece, version);
        appendText(piece, pool.fileVersion());
    };
    appendHead(piece, CborScan::Map, 2);
    if (!listFirst)
        versionEntry();
    appendText(piece, pool.listKey());
    appendHead(piece, CborScan::Array, quint64(records.size()));
    for (const Preset &preset : records) {
        const Preset::Texts texts = preset.texts();
        appendHead(piece, CborScan::Map, quint64(texts.size()));
        for (const auto &[key, text] : texts) {
            appendText(piece, key);
            appendText(piece, text);
        }
        if (piece.size() >= pieceSize) {
            if (device.write(piece) != piece.size())
                return false;
            piece.resize(0);
        }
    }
    if (listFirst)
        versionEntry();
    return device.write(piece) == piece.size();
}

// A record store as the value of its section: the bytes its own file has.
template <typename Record>
void writeStore(QCborStreamWriter &writer, const RecordStore<Record> &store)
{
    const Container::ListOf<Record> list(store.listKey(), store.records());
    Container::encode(writer, {{QStringLiteral("version"), store.fileVersion()}}, {&list});
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

bool Backup::write(const Stores &stores, const QString &path, QString *why)
{
    QString problem;
    // The sections in the order the file has always had them (that of a
    // JSON object's keys), each written as its store writes its own file.
    const bool written = Container::writeStream(path, [&stores, &problem](QIODevice &device) {
        // A backup larger than a restore takes could never be given back.
        const auto tooLarge = [&device, &problem] {
            if (device.pos() <= maxFileSize)
                return false;
            problem = QStringLiteral("the data is larger than a backup may be (%1 MiB)").arg(maxFileSize >> 20);
            return true;
        };
        // The keys and the heads of the file and of its list of histories
        // (a failed write is the device's to tell, at its end).
        const auto head = [&device](int major, quint64 argument) {
            QByteArray bytes;
            appendHead(bytes, major, argument);
            device.write(bytes);
        };
        const auto text = [&device](const QString &value) {
            QByteArray bytes;
            appendText(bytes, value);
            device.write(bytes);
        };
        // Each value is one item of a writer of its own.
        const auto value = [&device](const auto &write) {
            QCborStreamWriter writer(&device);
            write(writer);
        };
        const Clients &clients = stores.clients;
        head(CborScan::Map, 9);
        text(keyClients);
        value([&](QCborStreamWriter &writer) { writeStore(writer, clients); });
        text(keyGenuinePresets);
        if (!writePoolTo(device, stores.legitimate) || tooLarge())
            return false;

        text(keyHistory);
        qsizetype usable = 0;
        for (const Client &client : clients.records())
            usable += Client::isPlainIdentifier(client.file) ? 1 : 0;
        head(CborScan::Array, quint64(usable));
        for (const Client &client : clients.records()) {
            if (!Client::isPlainIdentifier(client.file)) {
                qWarning().noquote() << "Client" << client.name << "has an unusable file identifier; its history is not backed up";
                continue;
            }
            // Each history is read into a store of its own, so that the
            // current client's loaded history is never swapped out.
            History history;
            history.setPath(clients.folder() + client.file + QStringLiteral(".dat"));
            // A client without a history file yet has an empty history; one whose
            // file is there but cannot be read whole must not be backed up empty.
            if (!history.readBase() && QFileInfo::exists(history.path())) {
                problem = QStringLiteral("the history %1 cannot be read").arg(QFileInfo(history.path()).fileName());
                return false;
            }
            const Container::ListOf<Note> notes(history.notes().listKey(), history.notes().records());
            const Container::ListOf<Preset> presets(history.presets().listKey(), history.presets().records());
            const Container::ListOf<Program> programs(history.programs().listKey(), history.programs().records());
            value([&](QCborStreamWriter &writer) {
                Container::encode(writer, {{keyFileName, client.file}, {QStringLiteral("version"), history.notes().fileVersion()}},
                                  {&notes, &presets, &programs});
            });
            if (tooLarge())
                return false;
        }

        text(keyMachines);
        value([&](QCborStreamWriter &writer) { Container::encode(writer, storeObject(stores.machines)); });
        text(keyPresets);
        if (!writePoolTo(device, stores.general) || tooLarge())
            return false;
        text(keyPrograms);
        value([&](QCborStreamWriter &writer) { writeStore(writer, stores.programs); });
        text(keySettings);
        value([&](QCborStreamWriter &writer) { Container::encode(writer, stores.settings); });
        text(keyVersion);
        text(QStringLiteral("1"));
        text(keyWork);
        value([&](QCborStreamWriter &writer) { Container::encode(writer, storeObject(stores.work)); });
        return !tooLarge();
    }, maxFileSize);
    if (!written && why)
        *why = problem.isEmpty() ? QStringLiteral("couldn't write ") + path : problem;
    return written;
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

namespace {

// Reads a backup file section by section from the disk. The small sections
// are decoded whole, as values of a one-entry object; the pools and the
// histories are taken apart record by record into the stores' own record
// lists, a piece at a time, so that no section is ever in memory as a JSON
// tree or as its bytes whole. Every byte is decoded by the stores' reader,
// and the nesting allowed is that of the whole-file reader, so the file is
// refused exactly where decoding it whole refuses it.
class SectionReader
{
public:
    SectionReader(QFile &file, Backup::Read &read, Backup::Sizes &sizes)
        : m_scan(file, file.size()), m_read(read), m_sizes(sizes)
    {
    }

    bool top()
    {
        int major = 0;
        Head head;
        if (!m_scan.tags() || !m_scan.head(major, head.count, head.indefinite) || major != CborScan::Map)
            return false;
        for (quint64 i = 0; more(head, i); ++i) {
            QString key;
            if (!plainKey(key))
                return false;
            // A key given twice counts with its last value, as in a JSON object.
            const qint64 start = m_scan.offset();
            bool ok = false;
            if (key == keyPresets)
                ok = pool(key, m_read.generalBytes);
            else if (key == keyGenuinePresets)
                ok = pool(key, m_read.legitimateBytes);
            else if (key == keyHistory)
                ok = histories();
            else
                ok = whole(topDepth, m_read.object, key);
            if (!ok)
                return false;
            // The pools' sizes as they stand in the file; the small sections
            // are measured encoded, as they always were.
            if (key == keyPresets || key == keyGenuinePresets)
                m_sizes.sections.insert(key, m_scan.offset() - start);
        }
        return closed(head) && m_scan.atEnd();
    }

private:
    // The depths the whole-file reader gives a section, a value in it, a
    // history and a record of a list in a section.
    static constexpr int topDepth = 2;
    static constexpr int inSection = 4;
    static constexpr int historyDepth = 3;
    static constexpr int inList = 5;

    bool plainKey(QString &key)
    {
        int major = 0;
        return m_scan.peek(major) && major == CborScan::Text && m_scan.text(key);
    }

    static bool decodeValue(const QByteArray &entry, QJsonObject &into, const QString &key)
    {
        QJsonObject object;
        if (!Container::decode(entry, object))
            return false;
        into.insert(key, object.value(wrapperKey()));
        return true;
    }

    // The next item decoded whole, as the value `key` of `into`. `entry`
    // already holds what was taken of it (its tags).
    bool whole(int depth, QJsonObject &into, const QString &key, QByteArray entry = wrapper())
    {
        m_scan.capture(&entry);
        const bool taken = m_scan.skip(depth);
        m_scan.capture(nullptr);
        return taken && decodeValue(entry, into, key);
    }

    // An object of one entry, whose value follows.
    static QByteArray wrapper() { return QByteArray("\xa1\x61v", 3); }
    static QString wrapperKey() { return QStringLiteral("v"); }

    // Takes the tags before a section and says whether a container of the
    // wanted type follows; when not, `entry` holds the tags taken.
    bool opens(int wanted, QByteArray &entry, bool &opened)
    {
        m_scan.capture(&entry);
        int major = 0;
        const bool ok = m_scan.tags() && m_scan.peek(major);
        m_scan.capture(nullptr);
        opened = ok && major == wanted;
        return ok;
    }

    // The head of the list or map the scan stands on: its length, or none
    // when a break ends it.
    struct Head
    {
        quint64 count = 0;
        bool indefinite = false;
    };
    bool readHead(Head &head)
    {
        int major = 0;
        return m_scan.head(major, head.count, head.indefinite);
    }
    bool more(const Head &head, quint64 read) { return head.indefinite ? !m_scan.atBreak() : read < head.count; }
    // Takes the break that ends an indefinite list or map.
    bool closed(const Head &head) { return !head.indefinite || m_scan.takeBreak(); }

    // A section's container of the wanted type, opened with its head read;
    // a value of another type is taken whole into the object (the check
    // refuses it).
    enum class Section { Failed, TakenWhole, Opened };
    Section openSection(int wanted, const QString &key, Head &head)
    {
        QByteArray entry = wrapper();
        bool opened = false;
        if (!opens(wanted, entry, opened))
            return Section::Failed;
        if (!opened)
            return whole(topDepth, m_read.object, key, entry) ? Section::TakenWhole : Section::Failed;
        return readHead(head) ? Section::Opened : Section::Failed;
    }

    // A pool's section: an object whose list is read record by record, each
    // piece let go once it has read whole.
    bool pool(const QString &key, Backup::Read::Range &range)
    {
        range = {m_scan.offset(), -1};
        Head head;
        if (const Section open = openSection(CborScan::Map, key, head); open != Section::Opened)
            return open == Section::TakenWhole;
        const QString listKey = Presets().listKey();
        QJsonObject section;
        for (quint64 i = 0; more(head, i); ++i) {
            QString member;
            if (!plainKey(member))
                return false;
            if (member != listKey) {
                if (!whole(inSection, section, member))
                    return false;
                continue;
            }
            QByteArray tags = wrapper();
            bool isList = false;
            if (!opens(CborScan::Array, tags, isList))
                return false;
            if (!isList) {
                if (!whole(inSection, section, member, tags))
                    return false;
                continue;
            }
            QList<Preset> records;
            if (!list(listKey, records, false))
                return false;
            // The check asks only whether the list is there; its records are apart.
            section.insert(member, QJsonArray());
        }
        if (!closed(head))
            return false;
        m_read.object.insert(key, section);
        range.size = m_scan.offset() - range.start;
        return true;
    }

    // A list's records, decoded a piece of about a mebibyte at a time.
    // The records are kept, or with `keep` false only checked.
    template <typename Record>
    bool list(const QString &key, QList<Record> &records, bool keep = true)
    {
        Head head;
        if (!readHead(head))
            return false;
        // A hostile length reserves no more than the bytes left could hold.
        if (keep)
            records.reserve(qsizetype(qMin<quint64>(head.count, quint64(m_scan.left()) / 64)));
        QByteArray piece;
        quint64 inPiece = 0;
        qint64 pieceStart = m_scan.offset();
        m_scan.capture(&piece);
        for (quint64 i = 0; more(head, i); ++i) {
            if (!m_scan.skipRecord(inList)) {
                m_scan.capture(nullptr);
                return false;
            }
            ++inPiece;
            if (m_scan.offset() - pieceStart >= pieceSize) {
                m_scan.capture(nullptr);
                if (!takePiece(key, piece, inPiece, records))
                    return false;
                if (!keep)
                    records.clear();
                piece.resize(0);
                inPiece = 0;
                pieceStart = m_scan.offset();
                m_scan.capture(&piece);
            }
        }
        m_scan.capture(nullptr);
        return takePiece(key, piece, inPiece, records) && closed(head);
    }

    // The records of a piece of a list, read as a store reads its file.
    template <typename Record>
    static bool takePiece(const QString &key, const QByteArray &piece, quint64 count, QList<Record> &records)
    {
        if (count == 0)
            return true;
        const QByteArray utf8 = key.toUtf8();
        QByteArray bytes;
        bytes.reserve(piece.size() + utf8.size() + 32);
        appendHead(bytes, CborScan::Map, 1);
        appendHead(bytes, CborScan::Text, quint64(utf8.size()));
        bytes.append(utf8);
        appendHead(bytes, CborScan::Array, count);
        bytes.append(piece);
        Container::ListOf<Record> taken(key);
        QJsonObject rest;
        if (!Container::decode(bytes, rest, {&taken}))
            return false;
        records.append(std::move(taken.taken()));
        return true;
    }

    // The histories, each an object of its own with three lists.
    bool histories()
    {
        m_read.histories.clear();
        m_sizes.histories.clear();
        Head head;
        if (const Section open = openSection(CborScan::Array, keyHistory, head); open != Section::Opened)
            return open == Section::TakenWhole;
        const History keys;
        QJsonArray elements;
        for (quint64 i = 0; more(head, i); ++i) {
            QByteArray bytes;
            const qint64 start = m_scan.offset();
            m_scan.capture(&bytes);
            const bool taken = m_scan.skip(historyDepth);
            m_scan.capture(nullptr);
            if (!taken)
                return false;
            Container::ListOf<Note> notes(keys.notes().listKey());
            Container::ListOf<Preset> presets(keys.presets().listKey());
            Container::ListOf<Program> programs(keys.programs().listKey());
            QJsonObject header;
            Backup::Read::HistoryRecords records;
            if (Container::decode(bytes, header, {&notes, &presets, &programs})) {
                records = {std::move(notes.taken()), std::move(presets.taken()), std::move(programs.taken())};
                elements.append(header);
            } else {
                // Not an object, which the check refuses once the file is known to be whole.
                QJsonObject holder;
                if (!decodeValue(wrapper() + bytes, holder, wrapperKey()) || holder.value(wrapperKey()).isObject())
                    return false;
                elements.append(holder.value(wrapperKey()));
            }
            m_read.histories.append(std::move(records));
            m_sizes.histories.append(m_scan.offset() - start);
        }
        if (!closed(head))
            return false;
        m_read.object.insert(keyHistory, elements);
        return true;
    }

    static constexpr qint64 pieceSize = qint64(1) << 20;

    CborScan m_scan;
    Backup::Read &m_read;
    Backup::Sizes &m_sizes;
};

} // namespace

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
    if (file.size() == 0) {
        read.why = QStringLiteral("the file is empty");
        return read;
    }
    read.path = path;
    read.identity = PlatformFile::identity(path);
    Sizes sizes;
    if (!SectionReader(file, read, sizes).top()) {
        read = Read();
        read.why = QStringLiteral("the file is damaged or not in the program's format");
    } else if (!check(read.object, read.why, Container::sizeLimit, &sizes)) {
        const QString why = read.why;
        read = Read();
        read.why = why.isEmpty() ? QStringLiteral("the file is damaged") : why;
    } else if (PlatformFile::identity(path) != read.identity) {
        read = Read();
        read.why = QStringLiteral("the file changed while it was read");
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
    applied.pools.path = read.path;
    applied.pools.identity = read.identity;
    applied.pools.generalBytes = read.generalBytes;
    applied.pools.legitimateBytes = read.legitimateBytes;
    QStringList unsaved;
    Container::Batch::Result result = Container::Batch::NothingChanged;
    {
        Container::Batch batch(applied.stores.dataFolder);
        applySections(read, applied, unsaved);
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
        // The client the backup had open, else the first: the one open
        // before may not be in the restored list.
        Settings backedUp;
        backedUp.fromJson(applied.settings);
        const bool named = carried(keySettings) && m_library.openClient(backedUp.openClient().value_or(QString()));
        if (!named && clients.count() > 0)
            m_library.openClient(clients.records().first().file);
    }
    if (carried(keyPrograms))
        replaceRecords(m_library.programs(), restored.programs.records());
    const bool general = carried(keyPresets);
    const bool legitimate = carried(keyGenuinePresets);
    if (applied.outcome == Restored) {
        m_library.rereadPools(general, legitimate);
    } else {
        // Still the old files: the pools are taken from the backup itself.
        if (general)
            poolFromBackup(applied.pools, applied.pools.generalBytes, m_library.generalPresets());
        if (legitimate)
            poolFromBackup(applied.pools, applied.pools.legitimateBytes, m_library.legitimatePresets());
    }
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
            const Read::HistoryRecords &records = read.histories.at(i);
            History history;
            history.setPath(clients.folder() + elements.at(i).toObject().value(keyFileName).toString() + QStringLiteral(".dat"));
            // A client that has never had a history has no file for it, and
            // an empty history needs none; a file there is replaced.
            if (records.notes.isEmpty() && records.presets.isEmpty() && records.programs.isEmpty()
                && !QFileInfo::exists(history.path()))
                continue;
            history.notes().replaceRecords(records.notes);
            history.presets().replaceRecords(records.presets);
            history.programs().replaceRecords(records.programs);
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
