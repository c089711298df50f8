#pragma once

#include "data/clients.h"
#include "data/presets.h"
#include "data/programs.h"

class Settings;

// The operator's library: the General and Legitimate presets, the general
// programs and the clients with the current client's history.
class Library
{
public:
    Library() = default;
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    // Reads the library files from the folder (ending in "/"). A file that
    // cannot be opened leaves its store empty; loading goes on. Afterwards
    // every store is unfiltered at its first record and the first client's
    // history is loaded.
    void load(const QString &dataFolder);
    void load(const Settings &settings);

    Presets &generalPresets() { return m_generalPresets; }
    Presets &legitimatePresets() { return m_legitimatePresets; }
    Programs &programs() { return m_programs; }
    Clients &clients() { return m_clients; }
    History &history() { return m_clients.history(); }

    // The store of a preset pool: 0 the current client's, 1 General, 2 Legitimate.
    Presets &presetPool(int pool);

    // ---- the open client: the one whose history is loaded -------------
    // Known by its file identifier, never by its name or a row: names repeat
    // in older files and are retyped, rows move.
    QString openClientFile() const { return m_openFile; }
    bool hasOpenClient() const { return !m_openFile.isEmpty(); }
    // The open client's stored name; empty when none is open.
    QString openClientName() const;
    // The name of the client whose history file has this identifier;
    // empty when no client has it.
    QString clientName(const QString &file) const;
    // Makes the open client's record the clients' current one; false, with
    // current unchanged, when none is open or its record is gone.
    bool locateOpenClient();
    // Opens the client with this identifier and reads its history. False,
    // with no client open, when no client has it or it is unusable in a path.
    bool openClient(const QString &file);
    // No client open: the history is emptied and belongs to no file.
    void closeClient();

private:
    Presets m_generalPresets;
    Presets m_legitimatePresets;
    Clients m_clients;
    Programs m_programs;
    QString m_openFile;
};
