#pragma once

#include "data/textforms.h"

#include <QDateTime>
#include <QString>

#include <algorithm>

// The last record of `store` with this (name, version) other than `except`, or -1.
template <typename Store>
int indexOfPair(const Store &store, const QString &name, int version, int except = -1)
{
    const auto &records = store.records();
    for (int i = records.size() - 1; i >= 0; --i) {
        if (i != except && records.at(i).name == name && records.at(i).version == version)
            return i;
    }
    return -1;
}

// What the preset and the program editors share: the record being edited,
// known by its (name, version) or, while new and uncommitted, by its
// creation time; the pair last checked; and the verdict of that check.
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
        m_saveRefused = false;
        m_overwriteWarned = false;
        m_message.clear();
        return true;
    }

    // Makes the edited record current in `store`; false when it is gone or
    // is new, not stored yet.
    template <typename Store>
    bool locateEditedIn(Store &store)
    {
        if (m_newPending)
            return false;
        const int at = indexOfPair(store, m_savedName, m_savedVersion);
        if (at < 0)
            return false;
        store.setCurrent(at);
        return true;
    }

    // A new record stays out of its store until its first commit, so that
    // no list shows, and no other action writes or resolves, a record that
    // is not stored. It goes where New was pressed: before the record then
    // selected, or at the end when that one is gone.
    // Before the record with `before`, or the first shown when it is gone.
    template <typename Store>
    void keepNewPlace(Store &store, quint64 before)
    {
        if (!store.setCurrentKey(before))
            store.select(0);
        m_newBefore = store.keyAt(store.current());
        m_newPending = true;
    }
    template <typename Store, typename Record>
    void insertNewRecord(Store &store, const Record &record)
    {
        const int before = store.indexOfKey(m_newBefore);
        store.setCurrent(before < 0 ? store.count() : before);
        store.insertRecord(record);
    }

    // At a commit of the located (or just inserted) record: drops the record
    // it was warned to overwrite and makes the edited pair the saved one.
    template <typename Store>
    void takeOverEditedPair(Store &store)
    {
        if (m_overwriteWarned) {
            const int other = indexOfPair(store, m_editName, m_editVersion, store.current());
            if (other >= 0) {
                m_overwriteWarned = false;
                const quint64 edited = store.keyAt(store.current());
                store.setCurrent(other);
                store.removeCurrent();
                store.setCurrent(store.indexOfKey(edited));
            }
        }
        m_savedName = m_editName;
        m_savedVersion = m_editVersion;
        m_newPending = false;
    }

    QString m_author;
    bool m_loaded = false;
    bool m_newPending = false;
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
