#pragma once

#include "editors/undostack.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>

class Clients;
class Library;
class Presets;
class Programs;
class Settings;

// What the library lists share, kept apart from their widgets: the current
// client, the pools the preset and program lists show, each list's selected
// row, and the steps a library tab takes when it is left or entered.
//
// Rows are rows of a list as shown, that is counted among the records that
// pass the list's search, as the store's select counts them.
//
// The editors hook in through the signals: a record about to be removed
// may be the one they hold.
class LibrarySession : public QObject
{
    Q_OBJECT

public:
    enum List { ClientList, HistoryList, ProgramList, PresetList, ListCount };

    LibrarySession(Library &library, Settings &settings, QObject *parent = nullptr);

    Library &library() { return m_library; }

    // ---- the open client ----------------------------------------------
    // The library says which client is open; these only ask it.
    bool clientOpen() const;
    QString openClientName() const;
    // A program is open in the program editor.
    bool programOpen() const { return m_programOpen; }
    void setProgramOpen(bool open) { m_programOpen = open; }

    // Opens the client selected in the client list: its history is read,
    // clientOpened is sent. False when nothing is selected, or when the
    // guard (an editor holding a refused edit the operator keeps) says no.
    bool openClient();
    void setClientSwitchGuard(std::function<bool()> guard) { m_switchGuard = std::move(guard); }
    // Asked before the record with this key leaves the list: an editor
    // holding a refused edit of it (or of the client's pools) keeps it
    // unless the operator lets it go. False keeps the record.
    void setDeleteGuard(std::function<bool(List, quint64)> guard) { m_deleteGuard = std::move(guard); }
    // Writes the open client's history into its own file; false when no
    // client is open or the write failed.
    bool saveOpenHistory();

    // ---- pools --------------------------------------------------------
    // 0 "Client", 1 "General", 2 "Legitimate".
    int presetPool() const { return m_presetPool; }
    Presets &presetListStore();
    // Writes the pool shown, then shows `pool` (kept in the settings).
    void switchPresetPool(int pool);
    // Writes the preset pool shown: Legitimate, General, or the client's history.
    bool savePresetList();

    // True: the general programs; false: the current client's programs.
    bool programPoolGeneral() const { return m_programPoolGeneral; }
    Programs &programListStore();
    // Writes the pool shown, then shows the other one (kept in the settings)
    // and prepares the program list.
    void switchProgramPool(bool general);
    bool saveProgramList();

    // ---- selections -----------------------------------------------------
    // Each list's selection is the key of its record (see RecordStore), 0
    // for none, so it follows the record through moves and never slides
    // onto another one. Rows are rows as shown, -1 for none.
    quint64 &selectedKey(List list) { return m_selected[list]; }
    int row(List list);
    void selectRow(List list, int row);

    // Moves the selected record one place up (-1) or down (+1) in its
    // store; the selection follows it. Memory only: the store is written when
    // its tab is left. True when a record moved. A step of the undo stack.
    bool moveRow(List list, int step);

    // Removes the selected record (nothing when none is selected, or when
    // the delete guard keeps it). Presets, programs and history entries are
    // written when the tab is left; a client at once, with its ".json" file.
    // A step of the undo stack.
    void deletePreset() { deletePicked(PresetList); }
    void deleteProgram() { deletePicked(ProgramList); }
    void deleteHistoryEntry() { deletePicked(HistoryList); }
    void deleteClient() { deletePicked(ClientList); }
    void deletePicked(List list);

    // Deletes, moves and stored edits, taken back and made again. Each
    // step that comes back is written at once, whichever tab it came from.
    UndoStack &undoStack() { return m_undoStack; }
    // Puts the last step back, or makes the last one taken back again.
    // `what` names the step; `why` says why it was not (empty: there is
    // none). A delete's record comes back only while no other pool holds
    // its name and version; such a step stays, to come back later.
    bool undo(QString &what, QString *why = nullptr);
    bool redo(QString &what, QString *why = nullptr);

    // A record's name as notices and tooltips say it: a long one cut short.
    static QString shortName(const QString &name)
    {
        return name.size() > 40 ? name.left(39) + QChar(0x2026) : name;
    }
    // A list as a step depends on it; taken before the step changes it.
    template <typename Store>
    UndoStack::List watch(Store &store)
    {
        // The open client's lists are read anew for another client: their
        // revision moves then, and the steps on them go. Every other list is
        // everyone's, whichever client is open.
        return UndoStack::list(&store, [&store] { return store.revision(); });
    }
    // An edit an editor stored into the record with `key`: taken back by
    // putting `before` in its place, made again with `after`, each only when
    // `check` has no reason against it (the rule for a name and version, an
    // editor holding a refused edit of it); `followed` lets the editor show
    // what the record is now.
    template <typename Store, typename Record>
    void pushEdit(Store &store, quint64 key, const QString &what, const UndoStack::List &list, const Record &before,
                  const Record &after, std::function<QString(const Record &)> check, std::function<void()> followed)
    {
        const auto put = [this, &store, key, check, followed](const Record &record) -> QString {
            if (store.indexOfKey(key) < 0)
                return tr("the record is gone");
            const QString why = check ? check(record) : QString();
            if (!why.isEmpty())
                return why;
            store.change(key, [&record](Record &stored) { stored = record; });
            writeNow(store);
            if (followed)
                followed();
            return {};
        };
        m_undoStack.push({tr("edit of %1").arg(what), tr("%1 is as before its edit.").arg(what),
                          tr("%1 is edited again.").arg(what), {list}, [put, before] { return put(before); },
                          [put, after] { return put(after); }});
    }

    // ---- tab steps ----------------------------------------------------
    // Leaving the client selection writes the clients.
    void leaveClientSelection();

Q_SIGNALS:
    // A client was opened from the client list: the client editor fills
    // itself, the preset and program editors let go of what they hold.
    void clientOpened();
    // A client of the list could not be opened, and why.
    void clientRefused(const QString &why);
    // The client selection was left: the client editor reloads the client.
    void clientSelectionLeft();
    // The current client was deleted: its editors empty themselves.
    void currentClientRemoved();
    // Sent before the record with this key leaves its store.
    void presetRemoving(quint64 key);
    void programRemoving(quint64 key);
    // A record left its list; `what` names it for the operator.
    void recordDeleted(const QString &what);

private:
    Library &m_library;
    Settings &m_settings;
    bool m_programOpen = false;
    int m_presetPool = 0;
    bool m_programPoolGeneral = false;
    std::array<quint64, ListCount> m_selected{};
    std::function<bool()> m_switchGuard;
    std::function<bool(List, quint64)> m_deleteGuard;
    UndoStack m_undoStack;

    template <typename Store>
    bool writeNow(Store &store);
    template <typename Store>
    void deleteFrom(Store &store, List list, const QString &what, std::function<QString()> refusal);
    QString named(List list, quint64 key);

    template <typename F>
    auto withStore(List list, F f);
};
