#pragma once

#include "data/recordfields.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QJsonArray>
#include <QCborStreamWriter>
#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QString>

#include <functional>
#include <type_traits>
#include <utility>

// The one file format of the program: a whole file is the CBOR encoding of
// one JSON object, nothing before or after it.
//
// Reading is whole or nothing. A file that exists but does not decode whole
// is damaged: it is renamed to NAME.damaged-YYYYMMDD-hhmmss in its folder
// before anything else happens, so that no later save can replace it, and
// the caller starts from an empty store. A file that exists but cannot be
// opened is never replaced while it stays so.
namespace Container {

// Larger files are damaged without being read, and never written: a
// store that grew past it is refused before it is saved (an import, a
// download), as it could not be read back. A library of a million presets
// is about 180 MiB; anything beyond this is not ours.
inline constexpr qint64 sizeLimit = qint64(256) * 1024 * 1024;

// Maps and arrays nested deeper than this make a file damaged; the deepest
// file we write (the registry's logs) nests six levels.
inline constexpr int depthLimit = 64;

enum class ReadStatus {
    Read,        // decoded whole
    Missing,     // no file: the store starts empty
    Unreadable,  // exists but cannot be opened or read; left in place, not replaced
    Damaged,     // did not decode whole; kept aside (see keptAside)
};
// "read", "missing", "unreadable", "damaged".
QString statusWord(ReadStatus status);
// Whether the caller goes on with what was read (nothing, for a damaged
// file): a store reports success for these two.
inline bool opened(ReadStatus status) { return status == ReadStatus::Read || status == ReadStatus::Damaged; }

// A list of records that is decoded and encoded one element at a time, so
// that a large store never exists as one JSON tree beside its records.
class List
{
public:
    virtual ~List() = default;
    // What the last read met under the key: the list itself (an array),
    // and how many of its elements were not records (not maps). A file
    // whose list is missing or of another kind holds its records where
    // this program cannot find them.
    bool foundInFile = false;
    qsizetype notRecords = 0;
    virtual QString key() const = 0;
    // Reading: the list starts (again, for a repeated key: the last wins),
    // then one call per element in order. Nothing taken is to be used
    // unless the whole decode succeeds.
    virtual void restart() = 0;
    // Room for this many elements, as the file announces them.
    virtual void reserve(qsizetype) {}
    virtual void take(const QJsonObject &element) = 0;
    // The same element as the reader holds it; a record type that reads
    // itself from RecordFields saves building the object.
    virtual void take(const RecordFields &element) { take(element.toObject()); }
    // Writing.
    virtual qsizetype size() const = 0;
    virtual QJsonObject element(qsizetype index) const = 0;
    // Writes element(index) as a map; a record type that lists its texts
    // writes them straight, in the same bytes.
    virtual void write(qsizetype index, QCborStreamWriter &writer) const;
};

// A record type may provide
//   static Record fromFields(const RecordFields &)  the same as fromJson
//   Texts texts() const                              its keys (QLatin1StringView,
//       in the order QJsonObject sorts them) with their texts, which is all
//       toJson holds
// and the lists then read and write it without a QJsonObject per record.
template <typename Record, typename = void>
struct ReadsFields : std::false_type {};
template <typename Record>
struct ReadsFields<Record, std::void_t<decltype(Record::fromFields(std::declval<const RecordFields &>()))>>
    : std::true_type {};
template <typename Record, typename = void>
struct ListsTexts : std::false_type {};
template <typename Record>
struct ListsTexts<Record, std::void_t<decltype(std::declval<const Record &>().texts())>> : std::true_type {};

// A record type that holds lists of its own provides
//   qsizetype notRecordsRead() const   how many of their elements fromJson
//       met that were not records
// and the list counts them among its own notRecords: a file or a backup
// with such a record is another form than ours, as one whose own list
// holds them.
template <typename Record, typename = void>
struct NestsLists : std::false_type {};
template <typename Record>
struct NestsLists<Record, std::void_t<decltype(std::declval<const Record &>().notRecordsRead())>> : std::true_type {};

// The records of one store as such a list: built over the store's records
// for writing, or empty to collect the records being read.
template <typename Record>
class ListOf final : public List
{
public:
    explicit ListOf(const QString &key) : m_key(key), m_records(&m_taken) {}
    ListOf(const QString &key, const QList<Record> &records) : m_key(key), m_records(&records) {}
    ListOf(const ListOf &) = delete;
    ListOf &operator=(const ListOf &) = delete;

    QList<Record> &taken() { return m_taken; }

    QString key() const override { return m_key; }
    void restart() override { m_taken.clear(); }
    void reserve(qsizetype count) override { m_taken.reserve(count); }
    void take(const QJsonObject &element) override { keep(Record::fromJson(element)); }
    void take(const RecordFields &element) override
    {
        if constexpr (ReadsFields<Record>::value)
            keep(Record::fromFields(element));
        else
            keep(Record::fromJson(element.toObject()));
    }
    qsizetype size() const override { return m_records->size(); }
    QJsonObject element(qsizetype index) const override { return m_records->at(index).toJson(); }
    void write(qsizetype index, QCborStreamWriter &writer) const override
    {
        if constexpr (ListsTexts<Record>::value) {
            const auto texts = m_records->at(index).texts();
            writer.startMap(qsizetype(texts.size()));
            for (const auto &[key, text] : texts) {
                writer.append(key);
                writer.append(text);
            }
            writer.endMap();
        } else {
            List::write(index, writer);
        }
    }

private:
    void keep(Record &&record)
    {
        if constexpr (NestsLists<Record>::value)
            notRecords += record.notRecordsRead();
        m_taken.append(std::move(record));
    }

    QString m_key;
    QList<Record> m_taken;
    const QList<Record> *m_records;
};

// Whether every element of a list read from JSON is a record, and every
// list a record holds (see NestsLists) holds records alone: what a store
// would read from its file without keeping it aside.
template <typename Record>
bool onlyRecords(const QJsonArray &list)
{
    for (const QJsonValue &element : list) {
        if (!element.isObject())
            return false;
        if constexpr (NestsLists<Record>::value) {
            if (Record::fromJson(element.toObject()).notRecordsRead() > 0)
                return false;
        }
    }
    return true;
}

// The key of the first list the object keeps beside `ownLists`, or empty
// when there is none: a store that met such a list in its file would take
// the file for another version's form and keep it aside.
QString strayList(const QJsonObject &object, const QStringList &ownLists = {});

// Default-option CBOR of the object, as QCborValue::fromJsonValue gives
// it. Each list is written as the object's member of its key.
QByteArray encode(const QJsonObject &object, const QList<const List *> &lists = {});
// The same onto a writer that is already under way (one value of a larger
// file).
void encode(QCborStreamWriter &writer, const QJsonObject &object, const QList<const List *> &lists = {});

// True only when the bytes are exactly one well-formed CBOR map with text
// keys, valid UTF-8 text and nothing after it. The lists' keys go to the
// lists (when their value is an array), every other key into `object`.
// On false, `object` is untouched and what the lists took is to be dropped.
bool decode(const QByteArray &bytes, QJsonObject &object, const QList<List *> &lists = {});

// The object, or an empty one when the bytes do not decode whole.
QJsonObject decode(const QByteArray &bytes);

// The one way a file is opened to be read, ours or one the operator
// chose: a plain file of at most `limit` bytes. Read: `file` is open.
// Missing: nothing there. Unreadable: there but not a plain file (a
// folder, a pipe, a device, which may block or never end) or not to be
// opened, `why` says which. Damaged: larger than `limit`, not opened.
ReadStatus openPlain(QFile &file, const QString &path, qint64 limit, QString *why = nullptr);
// The same, read whole: `bytes` hold the file when Read.
ReadStatus readPlain(const QString &path, QByteArray &bytes, qint64 limit, QString *why = nullptr);

// Reads and decodes the whole file (see ReadStatus). A file not there yet
// is no failure: the store starts empty, quietly. One there that cannot be
// read logs the warning "Couldn't open save file." and is told to the
// operator once (see takeNotices); a damaged one is kept aside with a
// warning naming both files. So is a file that decodes but keeps its
// records where none of the lists find them (the first list missing, or
// any of them not an array of records): another version's file, which
// read as empty would be saved over.
ReadStatus readFile(const QString &path, QJsonObject &object, const QList<List *> &lists = {});

// Replaces the file by writing NAME.tavik-new beside it and renaming that
// over it, so that a failed write, a full disk or a crash never leaves a
// truncated file behind: either the new bytes are at the path or the old
// file is. No other program makes files of that name, so one left by a kill
// between the two steps is ours to remove (the next save of the file
// replaces it; finishPending removes them all). Refuses (false, with a
// warning) to replace a file that could not be read or kept aside.
bool writeFile(const QString &path, const QJsonObject &object, const QList<const List *> &lists = {});
// The same for bytes already encoded; more than `limit` bytes are refused
// (a backup has a larger limit than a store).
bool writeBytes(const QString &path, const QByteArray &bytes, qint64 limit = sizeLimit);
// The same for a file too large to encode in memory first: `produce` writes
// it to the device, and false from it gives up, leaving the file as it was
// (and no notice: the producer tells why). More than `limit` bytes fail.
bool writeStream(const QString &path, const std::function<bool(QIODevice &)> &produce, qint64 limit = sizeLimit);
// Why a store of this many bytes cannot be saved, or empty when it can.
QString tooLarge(qint64 bytes, qint64 limit = sizeLimit);

inline constexpr char stagedSuffix[] = ".tavik-new";

// Saves that land together or not at all (a restore). While a Batch is
// open, every save of its thread into its folder is written whole as NAME.tavik-new and
// replaces nothing. commit() writes a journal naming those files, then
// renames each over its file: a kill before the journal is written leaves
// every file as it was, a kill after it is finished by finishPending at the
// next start. A Batch not committed removes what it wrote.
class Batch
{
public:
    explicit Batch(const QString &folder);
    ~Batch();
    Batch(const Batch &) = delete;
    Batch &operator=(const Batch &) = delete;

    enum Result {
        Committed,       // every file replaced
        NothingChanged,  // the journal could not be written; every file as it was
        Pending          // a rename failed: the journal stays for the next start
    };
    Result commit();

private:
    friend bool writeStream(const QString &, const std::function<bool(QIODevice &)> &, qint64);
    // The batch open on this thread, if any.
    static Batch *openHere();
    bool takes(const QString &path) const;

    QString m_folder;
    QStringList m_staged;
    bool m_done = false;
};

// Run at start, before any store of the folder is read: finishes a batch
// whose journal is there, then removes the NAME.tavik-new files left by a
// kill. False when a batch could not be finished (its journal stays).
bool finishPending(const QString &folder);

struct KeptAside
{
    QString path;    // where the damaged file was
    QString keptAs;  // where it is now
    QString why;     // empty for a damaged file; else what made it unreadable to us
};
// Every damaged file kept aside since the program started, oldest first.
QList<KeptAside> keptAside();
// Those kept aside since the last call, for the operator's notice.
QList<KeptAside> takeNewlyKeptAside();
// Files another program wrote since this one read them, each copied aside
// as NAME.changed-YYYYMMDD-hhmmss before a save of ours replaced it; since
// the last call, for the operator's notice.
QList<KeptAside> takeChangedElsewhere();
// The files whose writing failed since the last call (each kept as it was)
// and why, for the operator's notice.
struct FailedWrite
{
    QString path;
    QString why;
    bool existed = true;  // whether there was a file to keep as it was
};
QList<FailedWrite> takeFailedWrites();
// Why the last write of this file failed, while that is still to be told;
// empty otherwise. Takes nothing.
QString failureOf(const QString &path);
// Files there that could not be read since the last call, and why; each
// told once while it stays so (nothing is saved over it meanwhile).
QList<FailedWrite> takeUnreadable();
// What the start did about an earlier end that cut saves short (see
// finishPending), since the last call.
QStringList takeCleanups();
// All of the above since the last calls, as lines for the operator.
QStringList takeNotices();
// How those lines name the file at `path` when its name tells the operator
// nothing (a client's history: "the history of "Ann"").
void nameFile(const QString &path, const QString &name);

} // namespace Container
