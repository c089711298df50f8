#pragma once

#include "data/textforms.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <algorithm>

// The indexes of the records of `store` with this (name, version), in order.
template <typename Store>
QList<int> indexesOfPair(const Store &store, const QString &name, int version)
{
    QList<int> found;
    const auto &records = store.records();
    for (int i = 0; i < records.size(); ++i) {
        if (records.at(i).name == name && records.at(i).version == version)
            found.append(i);
    }
    return found;
}

// The last record of `store` with this (name, version) other than `except`, or -1.
template <typename Store>
int indexOfPair(const Store &store, const QString &name, int version, int except = -1)
{
    QList<int> found = indexesOfPair(store, name, version);
    found.removeOne(except);
    return found.isEmpty() ? -1 : found.last();
}

// What the preset and the program editors share: the record being edited,
// known by its key (or, while new and uncommitted, by the place it is to
// take); the pair last checked; and the verdict of that check.
class LibrarySession;

class RecordEditorBase
{
public:
    // A record of the client's pool while no client is open.
    static constexpr const char *noClientMessage = "Will not be saved: open a client first";

    void setAuthor(const QString &author) { m_author = author; }

    bool isLoaded() const { return m_loaded; }
    bool isNewPending() const { return m_newPending; }
    // The last commit refused what the editor shows: it is kept here, with
    // message() saying why, until stored or discarded by the operator.
    bool holdsRefusedEdit() const { return m_loaded && m_refusedEdit; }
    QString message() const { return m_message; }
    QString savedName() const { return m_savedName; }
    int savedVersion() const { return m_savedVersion; }
    // Where a stored edit becomes a step Ctrl+Z takes back.
    void setSession(LibrarySession *session) { m_session = session; }

protected:
    // Takes an edit of the name or the version as the pair to save and
    // clears the last verdict. False when there is nothing to check again:
    // the pair was checked already or no record is loaded.
    bool takeEditedPair(const QString &name, int version)
    {
        if (name == m_lastName && version == m_lastVersion)
            return false;
        m_lastName = name;
        m_lastVersion = version;
        if (!m_loaded)
            return false;
        m_editName = name;
        m_editVersion = version;
        clearVerdict();
        return true;
    }

    // Before the pair is judged again.
    void clearVerdict()
    {
        m_saveRefused = false;
        m_overwriteWarned = false;
        m_message.clear();
    }

    // The index in `store` of the record being edited; -1 when it is gone
    // or is new, not stored yet. Its key names it through moves and through
    // a whole list replaced (an import, a download, a restore, a pool read
    // again), which keeps the keys of the records still there.
    template <typename Store>
    int editedIndexIn(const Store &store) const
    {
        return m_newPending ? -1 : store.indexOfKey(m_editKey);
    }

    // The edited record as unstored.dat names it: its stored pair and the
    // n-th of its twins, as the keys are carried. False when it is new or gone.
    template <typename Store>
    bool identify(const Store &store, QString &name, int &version, int &twin) const
    {
        const int at = m_loaded ? editedIndexIn(store) : -1;
        if (at < 0)
            return false;
        name = store.records().at(at).name;
        version = store.records().at(at).version;
        twin = int(indexesOfPair(store, name, version).indexOf(at));
        return true;
    }
    // The key of the record so named; 0 when there is none.
    template <typename Store>
    static quint64 keyOfTwin(const Store &store, const QString &name, int version, int twin)
    {
        const QList<int> found = indexesOfPair(store, name, version);
        return twin >= 0 && twin < found.size() ? store.keyAt(found.at(twin)) : 0;
    }

    // Whether the record with `key` in `store` is the one being edited.
    template <typename Store>
    bool editsIn(const Store &store, quint64 key) const
    {
        const int at = m_loaded ? editedIndexIn(store) : -1;
        return at >= 0 && at == store.indexOfKey(key);
    }

    // A new record stays out of its store until its first commit, so that
    // no list shows, and no other action writes or resolves, a record that
    // is not stored. It goes where New was pressed: before the record then
    // selected, or at the end when that one is gone.
    // Before the record with `before`, or the first shown when it is gone.
    template <typename Store>
    void keepNewPlace(Store &store, quint64 before)
    {
        if (!store.record(before)) {
            const QList<int> shown = store.shownRows();
            before = shown.isEmpty() ? 0 : store.keyAt(shown.first());
        }
        m_newBefore = before;
        m_newPending = true;
    }
    // Stores the new record in its place; it is the edited one from now on.
    template <typename Store, typename Record>
    void insertNewRecord(Store &store, const Record &record)
    {
        const int before = store.indexOfKey(m_newBefore);
        m_editKey = store.insert(before < 0 ? store.count() : before, record);
    }

    // At a commit of the edited (or just inserted) record: drops the record
    // it was warned to overwrite and makes the edited pair the saved one.
    template <typename Store>
    void takeOverEditedPair(Store &store)
    {
        if (m_overwriteWarned) {
            const int other = indexOfPair(store, m_editName, m_editVersion, store.indexOfKey(m_editKey));
            if (other >= 0) {
                m_overwriteWarned = false;
                store.remove(store.keyAt(other));
            }
        }
        m_savedName = m_editName;
        m_savedVersion = m_editVersion;
        m_newPending = false;
    }

    QString m_author;
    LibrarySession *m_session = nullptr;
    bool m_loaded = false;
    bool m_newPending = false;
    quint64 m_editKey = 0;
    quint64 m_newBefore = 0;
    QString m_editName;
    int m_editVersion = 0;
    QString m_lastName;
    int m_lastVersion = 0;
    QString m_savedName;
    int m_savedVersion = 0;
    bool m_refusedEdit = false;
    bool m_saveRefused = false;
    bool m_overwriteWarned = false;
    QString m_message;
};
