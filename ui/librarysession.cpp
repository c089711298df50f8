#include "ui/librarysession.h"

#include "app/settings.h"
#include "data/library.h"

#include <QDebug>

LibrarySession::LibrarySession(Library &library, Settings &settings, QObject *parent)
    : QObject(parent), m_library(library), m_settings(settings)
{
    m_currentClientName = library.currentClientName();
    m_clientOpen = !m_currentClientName.isEmpty();
    // Out-of-range stored values were already mapped to 0 when read.
    m_presetPool = settings.presetsPool();
    m_programPoolGeneral = settings.programsGeneral();
}

void LibrarySession::setCurrentClientName(const QString &name)
{
    if (name == m_currentClientName)
        return;
    m_currentClientName = name;
    Q_EMIT currentClientChanged(name);
}

bool LibrarySession::openClient()
{
    Clients &clients = m_library.clients();
    clients.select(row(ClientList));
    if (!clients.hasCurrent())
        return false;
    setCurrentClientName(clients.name());
    clients.loadHistory();
    m_clientOpen = true;
    Q_EMIT clientOpened();
    return true;
}

bool LibrarySession::findCurrentClient()
{
    return !m_currentClientName.isEmpty() && m_library.clients().find(m_currentClientName, 0) > 0;
}

bool LibrarySession::loadCurrentHistory()
{
    if (findCurrentClient())
        return m_library.clients().loadHistory();
    m_library.history().clear();
    return false;
}

bool LibrarySession::saveCurrentHistory()
{
    return findCurrentClient() && m_library.clients().saveHistory();
}

Presets &LibrarySession::presetListStore()
{
    return m_library.presetPool(m_presetPool);
}

bool LibrarySession::savePresetList()
{
    if (m_presetPool == PresetPool::Client)
        return saveCurrentHistory();
    return presetListStore().saveBase();
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
        return m_library.programs().saveBase();
    return saveCurrentHistory();
}

void LibrarySession::switchProgramPool(bool general)
{
    saveProgramList();
    m_programPoolGeneral = general;
    m_settings.setProgramsGeneral(general);
    prepareProgramList();
}

void LibrarySession::prepareProgramList()
{
    m_library.clients().readBase();
    loadCurrentHistory();
}

namespace {

template <typename Store>
bool moveIn(Store &store, int &row, int step)
{
    const int before = row;
    row = store.moveShown(row, step);
    return row != before;
}

} // namespace

bool LibrarySession::moveRow(List list, int step)
{
    int &selected = m_rows[list];
    switch (list) {
    case ClientList: return moveIn(m_library.clients(), selected, step);
    case HistoryList: return moveIn(m_library.history(), selected, step);
    case ProgramList: return moveIn(programListStore(), selected, step);
    case PresetList: return moveIn(presetListStore(), selected, step);
    case ListCount: break;
    }
    return false;
}

void LibrarySession::deletePreset()
{
    Presets &presets = presetListStore();
    presets.select(row(PresetList));
    if (!presets.hasCurrent())
        return;
    Q_EMIT presetRemoving(m_presetPool, presets.name(), presets.version());
    presets.removeCurrent();
}

void LibrarySession::deleteProgram()
{
    qDebug() << "delete program";
    Programs &programs = programListStore();
    programs.select(row(ProgramList));
    if (!programs.hasCurrent())
        return;
    Q_EMIT programRemoving(m_programPoolGeneral, programs.name(), programs.version());
    programs.removeCurrent();
}

void LibrarySession::deleteHistoryEntry()
{
    History &history = m_library.history();
    history.select(row(HistoryList));
    history.removeCurrent();
}

void LibrarySession::deleteClient()
{
    Clients &clients = m_library.clients();
    clients.select(row(ClientList));
    if (!clients.hasCurrent())
        return;
    const bool wasCurrent = clients.name() == m_currentClientName;
    clients.removeJsonFile();
    clients.removeCurrent();
    clients.saveBase();
    if (!wasCurrent)
        return;
    // Its history file stays on disk; nothing of it stays on screen.
    m_library.history().clear();
    m_clientOpen = false;
    setCurrentClientName(QString());
    Q_EMIT currentClientRemoved();
}

void LibrarySession::storeNote(const QString &text, int colour)
{
    History &history = m_library.history();
    if (!history.hasCurrent())
        return;
    history.setText(text);
    history.setColour(colour);
    saveCurrentHistory();
}

void LibrarySession::leaveClientSelection()
{
    m_library.clients().saveBase();
    Q_EMIT clientSelectionLeft();
}
