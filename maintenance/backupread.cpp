#include "maintenance/backup.h"

#include "maintenance/backupformat.h"
#include "maintenance/cborscan.h"

#include "data/presetlookup.h"

#include <QFile>
#include <QJsonArray>

#include <algorithm>
#include <type_traits>

using namespace BackupFormat;

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
                ok = pool(key, m_read.generalBytes, m_read.generalPairs, m_read.legitimatePairs);
            else if (key == keyGenuinePresets)
                ok = pool(key, m_read.legitimateBytes, m_read.legitimatePairs, m_read.generalPairs);
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

    // What stands in the object for a list whose records are read apart
    // when it holds something that is not a record, for the check to refuse.
    static QJsonArray notRecord() { return QJsonArray{QJsonValue()}; }

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
    // Its pairs go into `pairs`; those `other` (the other pool's, read
    // before) holds too are kept by name. A pool given twice counts with its
    // last section, and so do its pairs.
    bool pool(const QString &key, Backup::Read::Range &range, std::vector<quint64> &pairs, const std::vector<quint64> &other)
    {
        range = {m_scan.offset(), -1};
        pairs.clear();
        m_read.inBothPools.clear();
        m_pairs = &pairs;
        m_other = &other;
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
            qsizetype notRecords = 0;
            const bool listed = list(listKey, records, notRecords, false);
            m_pairs = nullptr;
            if (!listed)
                return false;
            // The check asks only whether the list is there and holds nothing
            // but records; its records are apart.
            section.insert(member, notRecords > 0 ? notRecord() : QJsonArray());
        }
        m_pairs = nullptr;
        if (!closed(head))
            return false;
        std::sort(pairs.begin(), pairs.end());
        m_read.object.insert(key, section);
        range.size = m_scan.offset() - range.start;
        return true;
    }

    // A list's records, decoded a piece of about a mebibyte at a time.
    // The records are kept, or with `keep` false only checked.
    template <typename Record>
    bool list(const QString &key, QList<Record> &records, qsizetype &notRecords, bool keep = true)
    {
        notRecords = 0;
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
                if (!takePiece(key, piece, inPiece, records, notRecords))
                    return false;
                keepPairs(records);
                if (!keep)
                    records.clear();
                piece.resize(0);
                inPiece = 0;
                pieceStart = m_scan.offset();
                m_scan.capture(&piece);
            }
        }
        m_scan.capture(nullptr);
        if (!takePiece(key, piece, inPiece, records, notRecords))
            return false;
        keepPairs(records);
        return closed(head);
    }

    // A pool's pairs, while one is read.
    template <typename Record>
    void keepPairs(const QList<Record> &records)
    {
        if constexpr (std::is_same_v<Record, Preset>) {
            if (!m_pairs)
                return;
            for (const Preset &preset : records) {
                const quint64 pair = Backup::pairHash(preset.name, preset.version);
                m_pairs->push_back(pair);
                if (std::binary_search(m_other->cbegin(), m_other->cend(), pair))
                    m_read.inBothPools.append({preset.name, preset.version});
            }
        }
    }

    // The records of a piece of a list, read as a store reads its file.
    template <typename Record>
    static bool takePiece(const QString &key, const QByteArray &piece, quint64 count, QList<Record> &records,
                          qsizetype &notRecords)
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
        notRecords += taken.notRecords;
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
            if (Container::decode(bytes, header, {&notes, &presets, &programs})) {
                for (const Container::List *list : std::initializer_list<const Container::List *>{&notes, &presets, &programs}) {
                    if (list->notRecords > 0)
                        header.insert(list->key(), notRecord());
                }
                m_read.histories.append(bytes);
                elements.append(header);
            } else {
                // Not an object, which the check refuses once the file is known to be whole.
                QJsonObject holder;
                if (!decodeValue(wrapper() + bytes, holder, wrapperKey()) || holder.value(wrapperKey()).isObject())
                    return false;
                elements.append(holder.value(wrapperKey()));
                m_read.histories.append(QByteArray());
            }
            m_sizes.histories.append(m_scan.offset() - start);
        }
        if (!closed(head))
            return false;
        m_read.object.insert(keyHistory, elements);
        return true;
    }

    static constexpr qint64 pieceSize = qint64(1) << 20;

    CborScan m_scan;
    std::vector<quint64> *m_pairs = nullptr;
    const std::vector<quint64> *m_other = nullptr;
    Backup::Read &m_read;
    Backup::Sizes &m_sizes;
};

} // namespace

Backup::Read Backup::read(const QString &path)
{
    Read read;
    QFile file;
    // A pipe or a device chosen by mistake must neither hold the restore
    // in open() nor be read without end.
    switch (Container::openPlain(file, path, maxFileSize, &read.why)) {
    case Container::ReadStatus::Read:
        break;
    case Container::ReadStatus::Missing:
        read.why = QStringLiteral("the file is not there");
        return read;
    case Container::ReadStatus::Damaged:
        read.why = QStringLiteral("the file is too large");
        return read;
    case Container::ReadStatus::Unreadable:
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
    } else {
        read.twofold = twofoldPairs(read);
    }
    return read;
}

QStringList Backup::twofoldPairs(const Read &read)
{
    // Counted as the editor counts a pair when it stores one, and judged by
    // the same rule: twins within one pool are that pool's own affair.
    const auto inPool = [](const std::vector<quint64> &pairs, const QString &name, int version) {
        const auto [from, to] = std::equal_range(pairs.cbegin(), pairs.cend(), pairHash(name, version));
        return int(to - from);
    };
    const auto presetCounts = [&](const QString &name, int version) {
        PresetLookup::Counts counts;
        counts.general = inPool(read.generalPairs, name, version);
        counts.legitimate = inPool(read.legitimatePairs, name, version);
        return counts;
    };
    QStringList twofold;
    const auto told = [&twofold](const QString &what, const QString &why) {
        const QString line = what + QStringLiteral(": ") + why;
        if (!why.isEmpty() && !twofold.contains(line))
            twofold << line;
    };
    for (const auto &[name, version] : read.inBothPools)
        told(QStringLiteral("General preset \"%1\" version %2").arg(name).arg(version),
             PresetLookup::refusal(presetCounts(name, version), PresetPool::General));

    Programs general;
    general.fromJson(read.object.value(keyPrograms).toObject());
    const QJsonArray clients = read.object.value(keyClients).toObject().value(QStringLiteral("clients")).toArray();
    const QJsonArray histories = read.object.value(keyHistory).toArray();
    const History keys;
    for (qsizetype i = 0; i < histories.size() && i < read.histories.size(); ++i) {
        const QString file = histories.at(i).toObject().value(keyFileName).toString();
        QString client = file;
        for (const QJsonValue &c : clients) {
            if (c.toObject().value(QStringLiteral("file")).toString() == file)
                client = c.toObject().value(QStringLiteral("name")).toString();
        }
        Container::ListOf<Preset> presets(keys.presets().listKey());
        Container::ListOf<Program> programs(keys.programs().listKey());
        QJsonObject header;
        if (!Container::decode(read.histories.at(i), header, {&presets, &programs}))
            continue;
        for (const Preset &preset : presets.taken()) {
            told(QStringLiteral("Preset \"%1\" version %2 of client \"%3\"").arg(preset.name).arg(preset.version).arg(client),
                 PresetLookup::refusal(presetCounts(preset.name, preset.version), PresetPool::Client));
        }
        for (const Program &program : programs.taken()) {
            PresetLookup::ProgramCounts counts;
            counts.general = general.countOf(program.name, program.version);
            told(QStringLiteral("Program \"%1\" version %2 of client \"%3\"").arg(program.name).arg(program.version).arg(client),
                 PresetLookup::programRefusal(counts, false));
        }
    }
    return twofold;
}

QString Backup::twofoldText(const QStringList &twofold)
{
    if (twofold.isEmpty())
        return {};
    return QStringLiteral("The backup holds these in two pools, as an older version could store them; they were "
                          "restored as they were, and a program line naming one reads \"Duplicate\" until one of "
                          "the two is renamed or deleted:\n")
           + twofold.join(QLatin1Char('\n'));
}
