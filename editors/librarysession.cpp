#include "editors/librarysession.h"

#include "data/settings.h"
#include "data/library.h"
#include "data/presetlookup.h"

#include <QDebug>

#include <type_traits>
#include <utility>

LibrarySession::LibrarySession(Library &library, Settings &settings, QObject *parent)
    : QObject(parent), m_library(library), m_settings(settings)
{
    // Out-of-range stored values were already mapped to 0 when read.
    m_presetPool = settings.presetsPool();
    m_programPoolGeneral = settings.programsGeneral();
}

bool LibrarySession::clientOpen() const
{
    return m_library.hasOpenClient();
}

QString LibrarySession::openClientName() const
{
    return m_library.openClientName();
}

template <typename F>
auto LibrarySession::withStore(List list, F f)
{
    switch (list) {
    case ClientList: return f(m_library.clients());
    case HistoryList: return f(m_library.history().notes());
    case ProgramList: return f(programListStore());
    case PresetList:
    case ListCount: break;
    }
    return f(presetListStore());
}

int LibrarySession::row(List list)
{
    const quint64 key = m_selected.at(list);
    return withStore(list, [key](auto &store) { return store.rowOfKey(key); });
}

void LibrarySession::selectRow(List list, int row)
{
    m_selected[list] = withStore(list, [row](auto &store) {
        const QList<int> shown = store.shownRows();
        return row >= 0 && row < shown.size() ? store.keyAt(shown.at(row)) : quint64(0);
    });
}

bool LibrarySession::openClient()
{
    Clients &clients = m_library.clients();
    const int at = clients.indexOfKey(m_selected[ClientList]);
    if (at < 0 || (m_switchGuard && !m_switchGuard()))
        return false;
    const Client &client = clients.records().at(at);
    // Its file would be a path or one of the library's own files: never
    // opened, and the operator is told why rather than shown a blank client.
    if (!Client::isPlainIdentifier(client.file)) {
        Q_EMIT clientRefused(QStringLiteral("Client \"%1\" cannot be opened: clients.dat names its file \"%2\", "
                                            "which is not a file of a client. The record is kept as it is.")
                                 .arg(client.name, client.file));
        return false;
    }
    m_library.openClient(client.file);
    Q_EMIT clientOpened();
    return true;
}

bool LibrarySession::saveOpenHistory()
{
    return m_library.hasOpenClient() && m_library.saveHistory();
}

Presets &LibrarySession::presetListStore()
{
    return m_library.presetPool(m_presetPool);
}

bool LibrarySession::savePresetList()
{
    if (m_presetPool == PresetPool::Client)
        return saveOpenHistory();
    // A pool still being read has not changed; asking for it would wait.
    if (!m_library.poolsInPlace())
        return true;
    return presetListStore().saveIfChanged();
}

void LibrarySession::switchPresetPool(int pool)
{
    savePresetList();
    m_presetPool = (pool == PresetPool::General || pool == PresetPool::Legitimate) ? pool : PresetPool::Client;
    m_settings.setPresetsPool(m_presetPool);
}

Programs &LibrarySession::programListStore()
{
    return m_programPoolGeneral ? m_library.programs() : m_library.history().programs();
}

bool LibrarySession::saveProgramList()
{
    if (m_programPoolGeneral)
        return m_library.programs().saveIfChanged();
    return saveOpenHistory();
}

void LibrarySession::switchProgramPool(bool general)
{
    saveProgramList();
    m_programPoolGeneral = general;
    m_settings.setProgramsGeneral(general);
}

bool LibrarySession::moveRow(List list, int step)
{
    const int from = row(list);
    if (from < 0)
        return false;
    // The key travels with its record: the selection stays on it.
    return withStore(list, [from, step](auto &store) { return store.moveShown(from, step) != from; });
}

template <typename Store>
void LibrarySession::removeKeepingUndo(Store &store, const QString &what, bool saveNow,
                                       std::function<QString()> refusal)
{
    const int index = store.current();
    const auto record = *store.currentRecord();
    store.removeCurrent();
    if (saveNow)
        store.saveIfChanged();
    const quint64 revision = store.revision();
    // A list of the open client's history is not put back into another
    // client's; the other lists are everyone's, whichever client is open.
    const History &history = m_library.history();
    const void *const list = &store;
    const bool ofClient = list == &history.notes() || list == &history.presets() || list == &history.programs();
    const QString client = ofClient ? m_library.openClientFile() : QString();
    m_undoWhat = what;
    m_undo = [this, &store, index, record, revision, ofClient, client, saveNow, refusal](QString &why) {
        if (store.revision() != revision || (ofClient && m_library.openClientFile() != client)) {
            why = tr("its list changed since it was deleted");
            return false;
        }
        // Another pool may have taken the pair since: the record stays out,
        // and can still come back once the pair is free again.
        why = refusal ? refusal() : QString();
        if (!why.isEmpty())
            return false;
        // Put back in its place, the other records keeping their keys (and
        // the lists their picks).
        store.setCurrent(qBound(0, index, store.count()));
        store.insertRecord(record);
        // Stored at once whichever way the delete was: the operator may take
        // it back from another tab and close the program from there.
        if (saveNow) {
            store.saveIfChanged();
        } else {
            // The open client's lists are written with its history file.
            const History &history = m_library.history();
            const void *const written = &store;
            if (written == &history.notes() || written == &history.presets() || written == &history.programs())
                saveOpenHistory();
            else
                store.saveIfChanged();
        }
        return true;
    };
    Q_EMIT recordDeleted(what);
}

bool LibrarySession::undoDelete(QString &what, QString *why)
{
    QString refused;
    const bool done = m_undo && m_undo(refused);
    if (!refused.isEmpty()) {
        what = m_undoWhat;
        if (why)
            *why = refused;
        return false;
    }
    m_undo = {};
    if (done)
        what = m_undoWhat;
    return done;
}

void LibrarySession::deletePicked(List list)
{
    const quint64 key = m_selected[list];
    const bool there = withStore(list, [key](auto &store) { return store.indexOfKey(key) >= 0; });
    if (!there || (m_deleteGuard && !m_deleteGuard(list, key)))
        return;
    switch (list) {
    case ClientList: deleteClient(); break;
    case HistoryList: deleteHistoryEntry(); break;
    case ProgramList: deleteProgram(); break;
    case PresetList: deletePreset(); break;
    case ListCount: break;
    }
}

void LibrarySession::deletePreset()
{
    Presets &presets = presetListStore();
    if (!presets.setCurrentKey(m_selected[PresetList]))
        return;
    Q_EMIT presetRemoving(m_selected[PresetList]);
    removeKeepingUndo(presets, tr("Preset %1").arg(presets.name()), false,
                      [this, pool = m_presetPool, name = presets.name(), version = presets.version()] {
                          return PresetLookup::refusal(m_library, pool, name, version);
                      });
}

void LibrarySession::deleteProgram()
{
    Programs &programs = programListStore();
    if (!programs.setCurrentKey(m_selected[ProgramList]))
        return;
    Q_EMIT programRemoving(m_selected[ProgramList]);
    removeKeepingUndo(programs, tr("Program %1").arg(programs.name()), false,
                      [this, general = m_programPoolGeneral, name = programs.name(), version = programs.version()] {
                          return PresetLookup::programRefusal(m_library, general, name, version);
                      });
}

void LibrarySession::deleteHistoryEntry()
{
    Notes &history = m_library.history().notes();
    if (history.setCurrentKey(m_selected[HistoryList]))
        removeKeepingUndo(history, tr("History entry"));
}

void LibrarySession::deleteClient()
{
    Clients &clients = m_library.clients();
    if (!clients.setCurrentKey(m_selected[ClientList]))
        return;
    const bool wasOpen = clients.file() == m_library.openClientFile();
    clients.removeJsonFile();
    removeKeepingUndo(clients, tr("Client %1").arg(clients.name()), true);
    if (!wasOpen)
        return;
    // Its history file stays on disk; nothing of it stays on screen.
    m_library.closeClient();
    Q_EMIT currentClientRemoved();
}

void LibrarySession::leaveClientSelection()
{
    m_library.clients().saveIfChanged();
    Q_EMIT clientSelectionLeft();
}
