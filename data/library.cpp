#include "data/library.h"

#include "app/settings.h"

void Library::load(const QString &dataFolder)
{
    m_generalPresets.setPath(dataFolder + QStringLiteral("presets.dat"));
    m_legitimatePresets.setPath(dataFolder + QStringLiteral("genpresets.dat"));
    m_programs.setFolder(dataFolder);
    m_clients.setFolder(dataFolder);

    m_generalPresets.readBase();
    m_legitimatePresets.readBase();
    m_programs.readBase();
    m_clients.readBase();

    m_generalPresets.setFilter(QString());
    m_generalPresets.first();
    m_legitimatePresets.setFilter(QString());
    m_legitimatePresets.first();
    m_programs.setFilter(QString());
    m_programs.first();
    m_clients.setFilter(QString());
    m_clients.first();
    m_clients.loadHistory();
}

void Library::load(const Settings &settings)
{
    load(settings.dataFolder());
}

Presets &Library::presetPool(int pool)
{
    switch (pool) {
    case PresetPool::Client: return history().presets();
    case PresetPool::General: return m_generalPresets;
    default: return m_legitimatePresets;
    }
}
