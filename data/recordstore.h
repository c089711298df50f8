#pragma once

#include "data/container.h"
#include "data/searchindex.h"
#include "data/storesignals.h"
#include "data/textforms.h"
#include "data/textmatch.h"
#include "data/writebeside.h"

#include <QByteArray>
#include <QDebug>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <algorithm>
#include <atomic>
#include <type_traits>
#include <utility>
#include <vector>

// A number that names one record in memory, never stored: unique among all
// the records this process reads or makes, so a key kept from one store is
// never found in another.
inline quint64 nextRecordKey()
{
    static std::atomic<quint64> last {0};
    return ++last;
}

// An ordered collection of records with a current record and a search
// filter, stored as one container file: {"version": "1", <listKey>: [...]}.
//
// A record type supplies only its fields:
//   static Record fromJson(const QJsonObject &)  read defaults, then its keys
//   QJsonObject toJson() const
//   const QString &displayText() const           what the filter matches
// and, for countOf(), public `name` and `version` fields.
//
// Each record has a key (see nextRecordKey) that names it for as long as it
// stays in the store, wherever moves take it. A list replaced whole (a read,
// an import, a download, a restore) gives each record that is still there,
// the same name and version as the n-th of its twins, the key it had, so
// that a list's pick and an editor follow their record through it.
//
// Reads are const and move nothing: neither the current record, nor the
// filter, nor the revision. Every change is announced (see StoreSignals)
// once it is made.
template <typename Record>
class RecordStore
{
public:
    RecordStore(const QString &listKey, const QString &debugName)
        : m_listKey(listKey), m_debugName(debugName) {}

    // The records are dropped with the old path; readBase fills them again.
    // The same path read again keeps the keys of the records still there.
    void setPath(const QString &path)
    {
        const bool samePath = path == m_path;
        m_path = path;
        m_besideWrite = {};
        ++m_revision;
        if (samePath)
            keepKeysAside();
        else
            forgetKeys();
        m_records.clear();
        m_keys.clear();
        m_filterActive = 0;
        m_current = 0;
        announceReset();
    }
    // Another list's records come next (another client's history): none of
    // them takes a key of the records now here.
    void forgetKeys()
    {
        m_carried.clear();
        m_carried.shrink_to_fit();
        m_keysRenewed = true;
    }
    QString path() const { return m_path; }

    // False only when the file cannot be opened; the records in memory then
    // stay as they were. A damaged file is kept aside and gives an empty
    // store (see Container).
    bool readBase()
    {
        qDebug().noquote() << "readBase" << m_debugName << m_path;
        QJsonObject rest;
        return Container::opened(readFile(rest));
    }

    // Takes what another store of the same file read (on another thread)
    // as if this one had read it: the filter stays, current is the first
    // record, and the file counts as read when the other's read was whole.
    void adoptRead(RecordStore &&read)
    {
        const bool asFile = !read.changedSinceFile();
        ++m_revision;
        keepKeysAside();
        m_records = std::move(read.m_records);
        m_version = read.m_version;
        if (m_carried.empty() && read.m_keys.size() == m_records.size()) {
            m_keys = std::move(read.m_keys);  // carried where it was read
            m_keysRenewed = false;
        } else {
            carryKeys();
        }
        m_fileRevision = asFile ? m_revision : ~quint64(0) - 1;
        m_besideWrite = {};
        first();
        announceReset();
    }

    // Bytes already in memory (a download): false, with the records
    // unchanged, when they do not decode whole.
    bool readBytes(const QByteArray &bytes)
    {
        Container::ListOf<Record> list(m_listKey);
        QJsonObject rest;
        if (!Container::decode(bytes, rest, {&list}))
            return false;
        ++m_revision;
        keepKeysAside();
        m_records = std::move(list.taken());
        carryKeys();
        m_current = 0;
        announceReset();
        return true;
    }

    bool saveBase() const
    {
        qDebug().noquote() << "saveBase" << m_debugName << m_path;
        return writeFile(QJsonObject());
    }

    // Whether the records may differ from the file as this store last read
    // or wrote it (or asked to write it beside, unless that failed). Every
    // operation that may change a record counts.
    bool changedSinceFile() const { return m_revision != m_fileRevision || m_besideWrite.failed(); }
    // Leaving a list writes it only when something changed, and beside the
    // window: a large pool takes longer to write than a tab change may hold
    // up the window and the device tick. A failed write is told by
    // Container::takeFailedWrites, and the next call tries again.
    bool saveIfChanged() const
    {
        return !changedSinceFile() || saveBeside();
    }
    // The same whether or not a change was counted: a store whose records
    // change where the revision does not see (the registry's logs, bound to
    // the controllers) is written whole each time. Always true.
    bool saveBeside() const
    {
        qDebug().noquote() << "saveBeside" << m_debugName << m_path;
        const quint64 revision = m_revision;
        QJsonObject header {{QStringLiteral("version"), m_version}};
        m_besideWrite = WriteBeside::write(m_path, [records = m_records, key = m_listKey, header] {
            const Container::ListOf<Record> list(key, records);
            return Container::encode(header, {&list});
        });
        m_fileRevision = revision;
        return true;
    }

    // The bytes saveBase writes.
    QByteArray encoded(QJsonObject header = {}) const
    {
        header.insert(QStringLiteral("version"), m_version);
        const Container::ListOf<Record> list(m_listKey, m_records);
        return Container::encode(header, {&list});
    }

    void toJson(QJsonObject &object) const
    {
        QJsonArray list;
        for (const Record &record : m_records)
            list.append(record.toJson());
        object.insert(QStringLiteral("version"), m_version);
        object.insert(m_listKey, list);
    }

    void fromJson(const QJsonObject &object)
    {
        ++m_revision;
        keepKeysAside();
        m_records.clear();
        m_current = 0;
        m_notRecords = 0;
        const QJsonValue list = object.value(m_listKey);
        if (list.isArray()) {
            const QJsonArray array = list.toArray();
            m_records.reserve(array.size());
            for (const QJsonValue &element : array) {
                m_notRecords += element.isObject() ? 0 : 1;
                m_records.append(Record::fromJson(element.toObject()));
            }
        } else if (!list.isUndefined()) {
            // A list of another kind: its records are not where we look.
            m_notRecords = 1;
        }
        carryKeys();
        announceReset();
    }

    // How many elements of the list fromJson last read were not records,
    // each read as a blank one: a record that holds such a list (a
    // program's lines, a device's log) is another form than ours, which
    // read so and saved back would lose what stood there.
    qsizetype notRecordsRead() const { return m_notRecords; }

    void setFilter(const QString &text)
    {
        m_filter = text;
        m_filterActive = text.isEmpty() ? 0 : 1;
        m_index.setPattern(text);
    }
    QString filter() const { return m_filter; }
    bool filterActive() const { return m_filterActive == 1; }

    void first()
    {
        m_current = 0;
        if (m_filterActive && !matchesAt(0))
            next();
    }

    bool next()
    {
        ++m_current;
        if (m_current >= count())
            return false;
        if (!m_filterActive)
            return true;
        for (; m_current < count(); ++m_current) {
            if (matchesAt(m_current))
                return true;
        }
        return false;
    }

    // The n-th record counting from the first, matching records only while
    // a filter is active; past the last one, or for a negative n (a list
    // with nothing selected), current is count: there is no current record.
    void select(int n)
    {
        if (n < 0) {
            m_current = count();
            return;
        }
        first();
        if (n == 0 || n > count())
            return;
        if (!m_filterActive) {
            m_current = n;
            return;
        }
        const QList<int> &rows = matchingRows();
        m_current = n < rows.size() ? rows.at(n) : count();
    }

    // The indexes of the records a list shows: those passing the filter
    // while it is active, else all. The list is a snapshot (implicitly
    // shared, so keeping it is cheap); it goes stale when the store changes.
    QList<int> shownRows()
    {
        if (m_filterActive)
            return matchingRows();
        return m_index.allRows(count());
    }

    // Folds the names that changed since the last search, so that the next
    // keystroke only compares; many of them beside the window. A list calls
    // this once it is on screen, and again now and then: true when keys
    // arrived, after which a search may show more.
    bool prepareSearch()
    {
        const void *data = std::as_const(m_records).constData();
        if (m_indexedRevision == m_revision && m_indexedData == data && m_indexedCount == count())
            return m_index.collect();
        bool seen = false;
        const bool arrived = m_index.prepare(count(), [this](int i) -> const QString & { return textOf(i); }, seen);
        if (seen) {
            m_indexedRevision = m_revision;
            m_indexedData = data;
            m_indexedCount = count();
        }
        return arrived;
    }
    // Whether names in other scripts are still being given Latin spellings.
    bool searchPending() const { return m_index.transliterating(); }

    // Number of records with exactly this name and version, and the index
    // of the last of them in `last` (-1 when there is none).
    int countOf(const QString &name, int version, int *last = nullptr) const
    {
        int found = 0;
        if (last)
            *last = -1;
        for (int i = 0; i < count(); ++i) {
            const Record &record = m_records.at(i);
            if (record.name == name && record.version == version) {
                ++found;
                if (last)
                    *last = i;
            }
        }
        return found;
    }

    void removeCurrent()
    {
        if (!hasCurrent())
            return;
        const int removed = m_current;
        removeRecordAt(removed);
        m_current = m_records.isEmpty() ? 0 : std::min(removed, count() - 1);
    }

    int current() const { return m_current; }
    void setCurrent(int index) { m_current = index; }
    int count() const { return int(m_records.size()); }
    bool hasCurrent() const { return m_current >= 0 && m_current < count(); }

    // The record at current, or null when current is outside the records.
    const Record *currentRecord() const { return hasCurrent() ? &m_records.at(m_current) : nullptr; }
    // The record at `index` to change in place, without moving the cursor;
    // null outside the records. Its key stays. Nobody is told: only the
    // registry's device side changes its records so, for the logs and work
    // lists bound to the controllers.
    Record *recordAt(int index)
    {
        ++m_revision;
        return index >= 0 && index < count() ? &m_records[index] : nullptr;
    }

    const QList<Record> &records() const { return m_records; }
    // The records' fields to change in place: each record stays where it is
    // and keeps its key; the search index checks the texts anew. A list
    // whose length the holder changes gets new keys for every record; a
    // reorder goes through swapRecords. Nobody is told: for the registry's
    // device side and for filling a store before anyone shows it.
    QList<Record> &editRecords()
    {
        ++m_revision;
        return m_records;
    }
    // The whole list becomes these records; those still there keep their
    // keys. The old list is handed back (to be let go where it costs the
    // window nothing). An empty list keeps the keys aside for the records
    // that fill the store next: a pool read again is let go before it is
    // read, so that old and new records never fill memory together.
    QList<Record> replaceRecords(QList<Record> records)
    {
        ++m_revision;
        keepKeysAside();
        std::swap(m_records, records);
        carryKeys();
        announceReset();
        return records;
    }
    // The same for records its file already holds, written by whoever made
    // them (an import beside the window): they are not written again.
    QList<Record> replaceRecordsWritten(QList<Record> records)
    {
        records = replaceRecords(std::move(records));
        m_fileRevision = m_revision;
        m_besideWrite = {};
        return records;
    }
    // The record at `index` removed, or two records swapped; the others keep
    // their keys and places, and the cursor its index.
    void removeRecordAt(int index)
    {
        if (index < 0 || index >= count())
            return;
        ensureKeys();
        ++m_revision;
        m_records.removeAt(index);
        m_keys.removeAt(index);
        if (StoreSignals *listening = m_announcer.listening())
            Q_EMIT listening->removed(index);
    }
    void swapRecords(int a, int b)
    {
        if (a < 0 || b < 0 || a >= count() || b >= count() || a == b)
            return;
        ensureKeys();
        ++m_revision;
        m_records.swapItemsAt(a, b);
        m_keys.swapItemsAt(a, b);
        if (StoreSignals *listening = m_announcer.listening())
            Q_EMIT listening->swapped(a, b);
    }

    // ---- by key ---------------------------------------------------------
    // The keys of all records, in the store's order.
    QList<quint64> keys() const
    {
        ensureKeys();
        return m_keys;
    }
    // The record with this key; null when it is not in the store.
    const Record *record(quint64 key) const
    {
        const int index = indexOfKey(key);
        return index < 0 ? nullptr : &m_records.at(index);
    }
    // Changes the record with this key by `change(Record &)`, in one call,
    // and tells whoever listens; false when it is not in the store.
    template <typename Change>
    bool change(quint64 key, Change &&change)
    {
        const int index = indexOfKey(key);
        if (index < 0)
            return false;
        changeAt(index, std::forward<Change>(change));
        return true;
    }
    // Puts `record` at `index` (clamped to the list); its new key is handed
    // back. The current record stays the one it was.
    quint64 insert(int index, const Record &record) { return insert(index, record, 0); }
    // The same, under `key` when no record here has it (a record put back
    // where it was keeps the key every pick and step knew it by).
    quint64 insert(int index, const Record &record, quint64 key)
    {
        index = std::clamp(index, 0, count());
        ensureKeys();
        ++m_revision;
        if (key == 0 || m_keys.contains(key))
            key = nextRecordKey();
        m_keys.insert(index, key);
        m_records.insert(index, record);
        if (m_current >= index && m_current < count() - 1)
            ++m_current;
        if (StoreSignals *listening = m_announcer.listening())
            Q_EMIT listening->inserted(index);
        return key;
    }
    // Moves the record with this key one place up (step -1) or down (+1),
    // past its neighbour whether or not a search shows it; false when it
    // is not here or has no neighbour that way. Both keep their keys.
    bool move(quint64 key, int step)
    {
        const int index = indexOfKey(key);
        if (index < 0 || (step != -1 && step != 1) || index + step < 0 || index + step >= count())
            return false;
        swapRecords(index, index + step);
        return true;
    }
    // False when the record with this key is not in the store.
    bool remove(quint64 key)
    {
        const int index = indexOfKey(key);
        if (index < 0)
            return false;
        removeRecordAt(index);
        if (m_current > index)
            --m_current;
        return true;
    }
    // Whoever shows the records listens here.
    StoreSignals *announcements() { return m_announcer.listen(); }

    // ---- keys carried beside the window ----------------------------------
    // A large list replaced whole costs the carrying of its keys a pass over
    // both lists: where the new records are made beside the window (a read,
    // an import, a download), so are their keys.
    //
    // Identity and key of each record, sorted by identity, twins in list
    // order: what a replacement needs of the records it lets go.
    using KeysAside = std::vector<std::pair<quint64, quint64>>;
    static KeysAside keysAside(const QList<Record> &records, const QList<quint64> &keys)
    {
        KeysAside kept;
        if (keys.size() != records.size())
            return kept;
        kept.reserve(size_t(records.size()));
        for (int i = 0; i < records.size(); ++i)
            kept.emplace_back(identityOf(records.at(i)), keys.at(i));
        std::stable_sort(kept.begin(), kept.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        return kept;
    }
    // Keys for `records`: the n-th twin of an identity kept aside takes the
    // n-th key kept for it, every other record a new one.
    static QList<quint64> keysFor(const QList<Record> &records, const KeysAside &kept)
    {
        QList<quint64> keys(records.size());
        std::vector<std::pair<quint64, int>> order;
        order.reserve(size_t(records.size()));
        for (int i = 0; i < records.size(); ++i)
            order.emplace_back(identityOf(records.at(i)), i);
        std::stable_sort(order.begin(), order.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        auto next = kept.cbegin();
        for (const auto &[identity, index] : order) {
            while (next != kept.cend() && next->first < identity)
                ++next;
            keys[index] = next != kept.cend() && next->first == identity ? (next++)->second : nextRecordKey();
        }
        return keys;
    }
    // The keys `records` take when they replace `old`, whose keys are `oldKeys`.
    static QList<quint64> carriedKeys(const QList<Record> &records, const QList<Record> &old,
                                      const QList<quint64> &oldKeys)
    {
        return keysFor(records, keysAside(old, oldKeys));
    }
    // The whole list replaced by records whose keys were carried beside the
    // window from this store's list at `revision`; carried here when the
    // store changed since (or the keys do not fit).
    QList<Record> replaceRecords(QList<Record> records, QList<quint64> keys, quint64 revision)
    {
        if (revision != m_revision || keys.size() != records.size() || !m_carried.empty())
            return replaceRecords(std::move(records));
        ++m_revision;
        std::swap(m_records, records);
        m_keys = std::move(keys);
        m_keysRenewed = false;
        announceReset();
        return records;
    }
    QList<Record> replaceRecordsWritten(QList<Record> records, QList<quint64> keys, quint64 revision)
    {
        records = replaceRecords(std::move(records), std::move(keys), revision);
        m_fileRevision = m_revision;
        m_besideWrite = {};
        return records;
    }
    // The records let go whole, for a read beside the window that carries
    // their keys (see takeKeysOf); the store is left empty.
    struct LetGo
    {
        QList<Record> records;
        QList<quint64> keys;
        KeysAside carried;
    };
    LetGo letGo()
    {
        LetGo gone;
        ensureKeys();
        ++m_revision;
        if (!m_keysRenewed) {
            gone.keys = std::move(m_keys);
            gone.carried = std::move(m_carried);
        }
        gone.records = std::move(m_records);
        m_records = QList<Record>();
        m_keys.clear();
        m_carried.clear();
        m_current = 0;
        announceReset();
        return gone;
    }
    // Everything the store holds, taken at its owner's end: a million
    // records take longer to free than the window's end may hold its
    // thread, so the owner frees them where they hold up nobody. Nothing is
    // announced; whatever shows the store is going as well.
    struct Held
    {
        QList<Record> records;
        QList<quint64> keys;
        KeysAside carried;
        SearchIndex index;
    };
    Held takeHeld()
    {
        Held held {std::exchange(m_records, {}), std::exchange(m_keys, {}), std::exchange(m_carried, {}),
                   std::exchange(m_index, {})};
        ++m_revision;
        m_current = 0;
        m_filterActive = 0;
        return held;
    }
    // Beside the window, before this store reads: the records it reads take
    // the keys of those let go, which are freed here.
    void takeKeysOf(LetGo &&gone)
    {
        KeysAside kept = keysAside(gone.records, gone.keys);
        gone.records = QList<Record>();
        gone.keys = QList<quint64>();
        mergeKeysAside(kept, std::move(gone.carried));
        m_carried = std::move(kept);
        m_keysRenewed = false;
    }

    // The key of the record at `index` (0 for none). A key names its record
    // for as long as it stays in this store, wherever moves take it; a list's
    // selection holds it rather than a row.
    quint64 keyAt(int index) const
    {
        ensureKeys();
        return index >= 0 && index < count() ? m_keys.at(index) : 0;
    }
    // The index of the record with this key, -1 when it is not in the store.
    int indexOfKey(quint64 key) const
    {
        if (key == 0)
            return -1;
        ensureKeys();
        return int(m_keys.indexOf(key));
    }
    // The row (as select counts) showing the record with this key, -1 when
    // it is gone or the search hides it.
    int rowOfKey(quint64 key)
    {
        const int index = indexOfKey(key);
        return index < 0 ? -1 : int(shownRows().indexOf(index));
    }

    QString listKey() const { return m_listKey; }
    // Changes with every change to the records: whoever holds on to a
    // state of the store can tell that it is no longer the state now.
    quint64 revision() const { return m_revision; }
    // The file format's version; named apart from the records' own version().
    QString fileVersion() const { return m_version; }

    // Inserts before the current record, or at the end when current is past
    // it; current then names the new record.
    void insertRecord(const Record &record)
    {
        m_current = std::clamp(m_current, 0, count());
        ++m_revision;
        ensureKeys();
        m_keys.insert(m_current, nextRecordKey());
        m_records.insert(m_current, record);
        if (StoreSignals *listening = m_announcer.listening())
            Q_EMIT listening->inserted(m_current);
    }

protected:
    // The file whole: the records from the list, every other top-level key
    // into `rest`. Records are replaced only by a whole read, and emptied
    // for a damaged file; otherwise they stay.
    Container::ReadStatus readFile(QJsonObject &rest)
    {
        Container::ListOf<Record> list(m_listKey);
        const Container::ReadStatus status = Container::readFile(m_path, rest, {&list});
        if (Container::opened(status)) {
            ++m_revision;
            keepKeysAside();
            m_records = status == Container::ReadStatus::Read ? std::move(list.taken()) : QList<Record>();
            carryKeys();
            m_current = 0;
            m_fileRevision = m_revision;
            m_besideWrite = {};
            announceReset();
        } else if (status == Container::ReadStatus::Unreadable && m_records.isEmpty()) {
            // Nothing read and nothing edited: there is no change to save.
            m_fileRevision = m_revision;
        }
        return status;
    }
    // The records under the list key and "version", beside the header keys.
    bool writeFile(QJsonObject header) const
    {
        const quint64 revision = m_revision;
        if (!Container::writeBytes(m_path, encoded(std::move(header))))
            return false;
        m_fileRevision = revision;
        m_besideWrite = {};
        return true;
    }


    // Getter and setter helpers for the accessors of the current record.
    template <typename T>
    T field(T Record::*member) const
    {
        const Record *record = currentRecord();
        return record ? record->*member : T();
    }
    template <typename T>
    void setField(T Record::*member, const T &value)
    {
        if (hasCurrent())
            changeAt(m_current, [&](Record &record) { record.*member = value; });
    }
    template <typename Change>
    void changeAt(int index, Change &&change)
    {
        ++m_revision;
        change(m_records[index]);
        if (StoreSignals *listening = m_announcer.listening())
            Q_EMIT listening->changed(index);
    }
    void announceReset()
    {
        if (StoreSignals *listening = m_announcer.listening())
            Q_EMIT listening->reset();
    }

    // The text forms the editors show and take, shared by every record
    // type: empty (or 0) without a current record; a text that is not a
    // whole number leaves the field as it was.
    QString intText(int Record::*member) const
    {
        return hasCurrent() ? TextForm::fromInt(field(member)) : QString();
    }
    void setIntText(int Record::*member, const QString &text)
    {
        bool ok = false;
        const int value = text.toInt(&ok, 10);
        if (ok)
            setField(member, value);
    }
    int minutes(int Record::*member) const
    {
        return hasCurrent() ? field(member) : 0;
    }
    QString minutesText(int Record::*member) const
    {
        return hasCurrent() ? TextForm::fromInt(minutes(member)) : QString();
    }
    void setMinutes(int Record::*member, int value) { setField(member, value); }
    void setMinutesText(int Record::*member, const QString &text)
    {
        bool ok = false;
        const int value = text.toInt(&ok, 10);
        if (ok)
            setMinutes(member, value);
    }
    QString dateTimeText(TextForm::Stamp Record::*member) const
    {
        return hasCurrent() ? TextForm::fromDateTime(field(member)) : QString();
    }
    // A text from outside the store (an import): one that is not a date
    // gives no date.
    void setDateTimeText(TextForm::Stamp Record::*member, const QString &text)
    {
        setField(member, TextForm::Stamp(TextForm::toDateTime(text)));
    }
    void setNow(TextForm::Stamp Record::*member) { setField(member, TextForm::Stamp(TextForm::now())); }

private:
    void renewKeys() const
    {
        m_keys.resize(m_records.size());
        for (quint64 &key : m_keys)
            key = nextRecordKey();
    }

    // The identities and keys of the records now here join those kept
    // aside before (a list emptied and not filled since).
    void keepKeysAside()
    {
        if (m_keysRenewed || m_records.isEmpty())
            return;
        ensureKeys();
        mergeKeysAside(m_carried, keysAside(m_records, m_keys));
    }
    // Keys for the records now here from those kept aside; an empty list
    // leaves what was kept for the records that come next.
    void carryKeys()
    {
        m_keysRenewed = false;
        if (m_records.isEmpty()) {
            m_keys.clear();
            return;
        }
        if (m_carried.empty()) {
            renewKeys();
            return;
        }
        m_keys = keysFor(m_records, m_carried);
        m_carried.clear();
        m_carried.shrink_to_fit();
    }
    // What a record is known by across a whole-list replacement: its name
    // (the text its list shows) and version, hashed, so that a million keys
    // kept aside take 16 bytes each rather than their names.
    template <typename R, typename = void>
    struct HasVersion : std::false_type {};
    template <typename R>
    struct HasVersion<R, std::void_t<decltype(std::declval<const R &>().version)>> : std::true_type {};
    static quint64 identityOf(const Record &record)
    {
        if constexpr (HasVersion<Record>::value)
            return qHashMulti(0x7a1c, record.displayText(), int(record.version));
        else
            return qHash(record.displayText(), 0x7a1c);
    }
    static void mergeKeysAside(KeysAside &into, KeysAside &&more)
    {
        if (more.empty())
            return;
        if (into.empty()) {
            into = std::move(more);
            return;
        }
        KeysAside merged;
        merged.reserve(into.size() + more.size());
        std::merge(into.begin(), into.end(), more.begin(), more.end(), std::back_inserter(merged),
                   [](const auto &a, const auto &b) { return a.first < b.first; });
        into.swap(merged);
    }

    void ensureKeys() const
    {
        if (m_keys.size() != m_records.size())
            renewKeys();
    }

    // The display text of record `i`, not copied where the record keeps it:
    // the search index compares a million of them for one changed name, and
    // a copy touches each text's shared data.
    const QString &textOf(int i) const
    {
        if constexpr (std::is_reference_v<decltype(std::declval<const Record &>().displayText())>) {
            return m_records.at(i).displayText();
        } else {
            m_textHeld = m_records.at(i).displayText();
            return m_textHeld;
        }
    }

    bool matchesAt(int index) const
    {
        // An empty store matches as the empty text does.
        const QString text = index < count() ? m_records.at(index).displayText() : QString();
        return m_index.matches(index, text);
    }
    const QList<int> &matchingRows()
    {
        syncIndex();
        return m_index.matching();
    }
    void syncIndex()
    {
        // A list replaced whole (a read) has another buffer even where the
        // replacing code forgot the revision.
        const void *data = std::as_const(m_records).constData();
        if (m_indexedRevision != m_revision || m_indexedData != data || m_indexedCount != count()) {
            m_index.sync(count(), [this](int i) -> const QString & { return textOf(i); });
            m_indexedRevision = m_revision;
            m_indexedData = data;
            m_indexedCount = count();
        }
    }

    QString m_filter;
    int m_filterActive = 0;
    int m_current = 0;
    QString m_listKey;
    QString m_version = QStringLiteral("1");
    QList<Record> m_records;
    qsizetype m_notRecords = 0;
    // In step with m_records; renewed whole when the list is replaced, or
    // when its length was changed through editRecords.
    mutable QList<quint64> m_keys;
    // Identities and keys of the records a replacement let go, until the
    // next records take them (see keepKeysAside).
    KeysAside m_carried;
    // Set by forgetKeys: the records here take no part in the next carry.
    bool m_keysRenewed = false;
    StoreAnnouncer m_announcer;
    QString m_path;
    QString m_debugName;
    // Every operation that may change a record counts; the index is synced
    // only when the count moved since it last was.
    quint64 m_revision = 0;
    // m_revision when the file was last read or written whole.
    mutable quint64 m_fileRevision = ~quint64(0) - 1;
    mutable WriteBeside::Ticket m_besideWrite;
    quint64 m_indexedRevision = ~quint64(0);
    const void *m_indexedData = nullptr;
    int m_indexedCount = -1;
    SearchIndex m_index;
    mutable QString m_textHeld;
};
