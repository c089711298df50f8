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
    const Client *picked = m_library.clients().record(m_selected[ClientList]);
    if (!picked || (m_switchGuard && !m_switchGuard()))
        return false;
    // A copy: opening the client may write the list it stands in.
    const Client client = *picked;
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

QString LibrarySession::named(List list, quint64 key)
{
    switch (list) {
    case ClientList: {
        const Client *client = m_library.clients().record(key);
        return tr("Client %1").arg(shortName(client ? client->name : QString()));
    }
    case HistoryList: return tr("History entry");
    case ProgramList: {
        const Program *program = programListStore().record(key);
        return tr("Program %1").arg(shortName(program ? program->name : QString()));
    }
    case PresetList:
    case ListCount: break;
    }
    const Preset *preset = presetListStore().record(key);
    return tr("Preset %1").arg(shortName(preset ? preset->name : QString()));
}

template <typename Store>
bool LibrarySession::writeNow(Store &store)
{
    // The operator may take a step back from another tab and close the
    // program from there: what came back is stored at once.
    const History &history = m_library.history();
    const void *const written = &store;
    if (written == &history.notes() || written == &history.presets() || written == &history.programs())
        return saveOpenHistory();
    return store.saveIfChanged();
}

template bool LibrarySession::writeNow(Presets &);
template bool LibrarySession::writeNow(Programs &);

bool LibrarySession::moveRow(List list, int step)
{
    // The first row shown stays first, whatever a search hides above it.
    const int from = row(list);
    if (from < 0 || (step != -1 && step != 1) || (step < 0 && from == 0))
        return false;
    const quint64 key = m_selected[list];
    const QString what = named(list, key);
    // The key travels with its record: the selection stays on it.
    return withStore(list, [&](auto &store) {
        const UndoStack::List watched = watch(store);
        // Past its neighbour in the whole list, shown or hidden by a search.
        if (!store.move(key, step))
            return false;
        // Taken back by moving it past the record it passed again: nothing
        // else changed the list in between, or the step is gone.
        const auto move = [this, &store, key](int by) -> QString {
            store.move(key, by);
            writeNow(store);
            return {};
        };
        m_undoStack.push({step < 0 ? tr("move up of %1").arg(what) : tr("move down of %1").arg(what),
                          tr("%1 is back in its place.").arg(what), tr("%1 is moved again.").arg(what),
                          {watched}, [move, step] { return move(-step); }, [move, step] { return move(step); }});
        return true;
    });
}

template <typename Store>
void LibrarySession::deleteFrom(Store &store, List list, const QString &what, std::function<QString()> refusal)
{
    using Record = std::decay_t<decltype(*store.record(0))>;
    const quint64 key = m_selected[list];
    const int index = store.indexOfKey(key);
    if (index < 0)
        return;
    const Record record = *store.record(key);
    // It comes back before the record that followed it (at the end when
    // none did), which the step finds by its key.
    const quint64 follower = store.keyAt(index + 1);
    const UndoStack::List watched = watch(store);
    // The delete itself and its redo: the editors let go of the record, a
    // client takes its ".json" file and, when open, its history off screen.
    const auto remove = [this, &store, list, key] {
        if (list == PresetList)
            Q_EMIT presetRemoving(key);
        else if (list == ProgramList)
            Q_EMIT programRemoving(key);
        bool wasOpen = false;
        if constexpr (std::is_same_v<Store, Clients>) {
            const Client *client = store.record(key);
            wasOpen = client && client->file == m_library.openClientFile();
            store.removeJsonFile(key);
        }
        store.remove(key);
        if (wasOpen) {
            // Its history file stays on disk; nothing of it stays on screen.
            m_library.closeClient();
            Q_EMIT currentClientRemoved();
        }
    };
    remove();
    if (std::is_same_v<Store, Clients>)
        store.saveIfChanged();
    const auto undo = [this, &store, follower, record, key, refusal]() -> QString {
        // Another pool may have taken the pair since: the record stays out,
        // and can still come back once the pair is free again.
        const QString why = refusal ? refusal() : QString();
        if (!why.isEmpty())
            return why;
        // Put back in its place under its own key, the other records keeping
        // theirs (and the lists their picks).
        const int before = store.indexOfKey(follower);
        store.insert(before < 0 ? store.count() : before, record, key);
        writeNow(store);
        return {};
    };
    const auto redo = [this, &store, list, key, remove]() -> QString {
        // An editor holding a refused edit of it asks first, as the delete did.
        if (m_deleteGuard && !m_deleteGuard(list, key))
            return tr("its editor keeps what you typed into it");
        remove();
        writeNow(store);
        return {};
    };
    m_undoStack.push({tr("delete of %1").arg(what), tr("%1 is back.").arg(what), tr("%1 is deleted again.").arg(what),
                      {watched}, undo, redo});
    Q_EMIT recordDeleted(what);
}

bool LibrarySession::undo(QString &what, QString *why)
{
    QString refused;
    return (m_undoStack.undo(what, why ? *why : refused) == UndoStack::Done);
}

bool LibrarySession::redo(QString &what, QString *why)
{
    QString refused;
    return (m_undoStack.redo(what, why ? *why : refused) == UndoStack::Done);
}

void LibrarySession::deletePicked(List list)
{
    const quint64 key = m_selected[list];
    const bool there = withStore(list, [key](auto &store) { return store.indexOfKey(key) >= 0; });
    if (!there || (m_deleteGuard && !m_deleteGuard(list, key)))
        return;
    const QString what = named(list, key);
    switch (list) {
    case ClientList: deleteFrom(m_library.clients(), list, what, {}); break;
    case HistoryList: deleteFrom(m_library.history().notes(), list, what, {}); break;
    case ProgramList: {
        const Program &program = *programListStore().record(key);
        deleteFrom(programListStore(), list, what,
                   [this, general = m_programPoolGeneral, name = program.name, version = program.version] {
                       return PresetLookup::programRefusal(m_library, general, name, version);
                   });
        break;
    }
    case PresetList:
    case ListCount: {
        const Preset &preset = *presetListStore().record(key);
        deleteFrom(presetListStore(), PresetList, what,
                   [this, pool = m_presetPool, name = preset.name, version = preset.version] {
                       return PresetLookup::refusal(m_library, pool, name, version);
                   });
        break;
    }
    }
}

void LibrarySession::leaveClientSelection()
{
    m_library.clients().saveIfChanged();
    Q_EMIT clientSelectionLeft();
}
