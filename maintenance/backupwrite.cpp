#include "maintenance/backup.h"

#include "maintenance/backupformat.h"
#include "maintenance/cborscan.h"

#include <QCborStreamWriter>
#include <QFileInfo>
#include <QSet>

using namespace BackupFormat;

namespace {

template <typename Store>
QJsonObject storeObject(const Store &store)
{
    QJsonObject object;
    store.toJson(object);
    return object;
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

namespace {

// The clients as a backup carries them: each with a file of its own that a
// restore accepts. A client whose file is not one the program may use (a
// path, one of the library's own names) or is another client's too gets a
// fresh one in the backup; `from` keeps where its history is to be read:
// nowhere for an unusable file, which is never opened.
struct BackupClients
{
    QList<Client> records;
    QStringList from;
    QStringList remarks;
};

BackupClients backupClients(const Clients &clients)
{
    BackupClients taken;
    QSet<QString> used;
    for (const Client &client : clients.records()) {
        Client copy = client;
        const bool usable = Client::isPlainIdentifier(client.file);
        if (!usable || used.contains(client.file.toLower())) {
            copy.file = Client::newFileIdentifier();
            taken.remarks << (usable ? QStringLiteral("Client \"%1\" shares its history file with another client; "
                                                      "it is in the backup with a copy of that history")
                                     : QStringLiteral("Client \"%1\" names a file the program does not use (\"%2\"); "
                                                      "it is in the backup with an empty history"))
                                 .arg(client.name, client.file);
        }
        used.insert(copy.file.toLower());
        taken.from << (usable ? client.file : QString());
        taken.records << copy;
    }
    return taken;
}

} // namespace

bool Backup::write(const Stores &stores, const QString &path, QString *why, QStringList *remarks)
{
    QString problem;
    const BackupClients clients = backupClients(stores.clients);
    // The sections in the order the file has always had them (that of a
    // JSON object's keys), each written as its store writes its own file.
    const bool written = Container::writeStream(path, [&stores, &clients, &problem](QIODevice &device) {
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
        head(CborScan::Map, 9);
        text(keyClients);
        value([&](QCborStreamWriter &writer) {
            const Container::ListOf<Client> list(stores.clients.listKey(), clients.records);
            Container::encode(writer, {{QStringLiteral("version"), stores.clients.fileVersion()}}, {&list});
        });
        text(keyGenuinePresets);
        if (!writePoolTo(device, stores.legitimate) || tooLarge())
            return false;

        text(keyHistory);
        head(CborScan::Array, quint64(clients.records.size()));
        for (qsizetype i = 0; i < clients.records.size(); ++i) {
            // Each history is read into a store of its own, so that the
            // current client's loaded history is never swapped out.
            History history;
            if (!clients.from.at(i).isEmpty()) {
                Clients::nameHistory(stores.clients.folder() + clients.from.at(i), clients.records.at(i).name);
                history.setPath(stores.clients.folder() + clients.from.at(i) + QStringLiteral(".dat"));
                // A client without a history file yet has an empty history; one whose
                // file is there but cannot be read whole must not be backed up empty.
                if (!history.readBase() && QFileInfo::exists(history.path())) {
                    problem = QStringLiteral("the history of client \"%1\" (%2) cannot be read")
                                  .arg(clients.records.at(i).name, QFileInfo(history.path()).fileName());
                    return false;
                }
            }
            const Container::ListOf<Note> notes(history.notes().listKey(), history.notes().records());
            const Container::ListOf<Preset> presets(history.presets().listKey(), history.presets().records());
            const Container::ListOf<Program> programs(history.programs().listKey(), history.programs().records());
            value([&](QCborStreamWriter &writer) {
                Container::encode(writer, {{keyFileName, clients.records.at(i).file},
                                           {QStringLiteral("version"), history.notes().fileVersion()}},
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
        *why = !problem.isEmpty() ? problem
               : Container::failureOf(path).isEmpty()
                   ? QStringLiteral("couldn't write ") + path
                   : QStringLiteral("couldn't write %1 (%2)").arg(path, Container::failureOf(path));
    if (written && remarks)
        *remarks = clients.remarks;
    for (const QString &remark : clients.remarks)
        qWarning().noquote() << "Backup" << path << ":" << remark;
    return written;
}
