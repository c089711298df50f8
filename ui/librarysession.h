#pragma once

#include <QObject>
#include <QString>

#include <array>

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

    // ---- the current client -------------------------------------------
    // The client whose history is loaded, found in the clients by name.
    // Starts as the clients' current record when the session is made.
    QString currentClientName() const { return m_currentClientName; }
    void setCurrentClientName(const QString &name);
    // The client that was current before New, for when the new one is dropped.
    QString previousClientName() const { return m_previousClientName; }
    void setPreviousClientName(const QString &name) { m_previousClientName = name; }
    // A client is shown in the client tab (its name field is not empty).
    bool clientOpen() const { return m_clientOpen; }
    void setClientOpen(bool open) { m_clientOpen = open; }
    // A program is open in the program editor.
    bool programOpen() const { return m_programOpen; }
    void setProgramOpen(bool open) { m_programOpen = open; }

    // Opens the client at the client list's row: it becomes current, its
    // history is read, clientOpened is sent. False when the row shows no
    // client.
    bool openClient();

    // Makes the current client the clients' current record; false when no
    // client has that name (current is then 0).
    bool findCurrentClient();
    // Reads the current client's history from its file. When the client is
    // not found the history is emptied, so no other client's entries show.
    bool loadCurrentHistory();
    // Writes the current client's history; nothing is written when the
    // client is not found, so another client's file is never overwritten.
    bool saveCurrentHistory();

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
    // Re-reads the clients and the current client's history from disk, so
    // that the client pool shows what the editors last wrote.
    void prepareProgramList();

    // ---- rows ---------------------------------------------------------
    int row(List list) const { return m_rows.at(list); }
    int &row(List list) { return m_rows[list]; }
    void setRow(List list, int row) { m_rows[list] = row; }

    // Moves the record at the list's row one place up (-1) or down (+1) in
    // its store; the row follows. Memory only: the store is written when
    // its tab is left. True when a record moved.
    bool moveRow(List list, int step);

    // Removes the record at the list's row (nothing when the row shows no
    // record). Presets, programs and history entries are written when the
    // tab is left; a client at once, with its ".json" file.
    void deletePreset();
    void deleteProgram();
    void deleteHistoryEntry();
    void deleteClient();

    // The history entry at the notes' current index takes the note's text
    // and colour; the history is written.
    void storeNote(const QString &text, int colour);

    // ---- tab steps ----------------------------------------------------
    // Leaving the client selection writes the clients.
    void leaveClientSelection();

Q_SIGNALS:
    void currentClientChanged(const QString &name);
    // A client was opened from the client list: the client editor fills
    // itself, the preset and program editors let go of what they hold.
    void clientOpened();
    // The client selection was left: the client editor reloads the client.
    void clientSelectionLeft();
    // The current client was deleted: its editors empty themselves.
    void currentClientRemoved();
    // Sent before the record leaves its store.
    void presetRemoving(int pool, const QString &name, int version);
    void programRemoving(bool generalPool, const QString &name, int version);

private:
    Library &m_library;
    Settings &m_settings;
    QString m_currentClientName;
    QString m_previousClientName;
    bool m_clientOpen = false;
    bool m_programOpen = false;
    int m_presetPool = 0;
    bool m_programPoolGeneral = false;
    std::array<int, ListCount> m_rows{};
};
