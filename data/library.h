#pragma once

#include "data/clients.h"
#include "data/presets.h"
#include "data/programs.h"

#include <QFuture>

#include <memory>
#include <optional>

class Settings;

// The operator's library: the General and Legitimate presets, the general
// programs and the clients with the current client's history.
class Library
{
public:
    Library();
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    // Reads the library files from the folder (ending in "/"). A file that
    // cannot be opened leaves its store empty; loading goes on. Afterwards
    // every store is unfiltered at its first record and the history of
    // `openFile` (the settings' open client), or of the first client, is
    // loaded.
    //
    // The General and Legitimate pools, the largest files by far, are read
    // beside the caller: the window ticks while they load. Whatever asks
    // for a pool before then waits for its reading, so no one ever sees a
    // pool half read or empty for want of time.
    void load(const QString &dataFolder, const std::optional<QString> &openFile = std::nullopt);
    void load(const Settings &settings);
    ~Library();

    // True once both pools are in place; false while they are being read.
    bool poolsInPlace() const { return !m_poolReads; }
    // Whether the pools' reading is over, so that taking them waits for nothing.
    bool poolsRead() const;
    // Puts the pools read beside in place, first waiting for their reading.
    void takePools();
    // Lets go of the chosen pools' records and reads them from their files
    // again, beside the caller as load does: their files were replaced.
    void rereadPools(bool general, bool legitimate);

    Presets &generalPresets()
    {
        takePools();
        return m_generalPresets;
    }
    Presets &legitimatePresets()
    {
        takePools();
        return m_legitimatePresets;
    }
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
    // The key of the open client's record; 0 when none is open or its
    // record is gone.
    quint64 openClientKey() const;
    // Opens the client with this identifier and reads its history. False,
    // with no client open, when no client has it or it is unusable in a path.
    bool openClient(const QString &file);
    // No client open: the history is emptied and belongs to no file.
    void closeClient();
    // Writes the open client's history into the file it was read from,
    // whatever client a list has selected meanwhile, when it changed,
    // beside the caller; false with no client open or for a history read
    // from no file (a new client's, written by its first commit).
    bool saveHistory();

private:
    // Makes the open client's record the clients' current one (its history
    // is read through it); false, with current unchanged, when none is open
    // or its record is gone.
    bool locateOpenClient();
    // Every store read, the pools begun; no client open.
    void readStores(const QString &dataFolder);
    void readPools(bool general, bool legitimate);

    struct PoolReads;
    std::unique_ptr<PoolReads> m_poolReads;
    Presets m_generalPresets;
    Presets m_legitimatePresets;
    Clients m_clients;
    Programs m_programs;
    QString m_openFile;
};
