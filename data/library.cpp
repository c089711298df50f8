#include "data/library.h"

#include "data/settings.h"

#include <QtConcurrent/QtConcurrentRun>

void Library::load(const QString &dataFolder)
{
    m_generalPresets.setPath(dataFolder + QStringLiteral("presets.dat"));
    m_legitimatePresets.setPath(dataFolder + QStringLiteral("genpresets.dat"));
    m_programs.setFolder(dataFolder);
    m_clients.setFolder(dataFolder);

    // The two pools are the largest files of the start and share nothing:
    // each is read on a core of its own.
    QFuture<void> general = QtConcurrent::run([this] { m_generalPresets.readBase(); });
    m_legitimatePresets.readBase();
    general.waitForFinished();
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
    closeClient();
    if (m_clients.count() > 0)
        openClient(m_clients.records().first().file);
}

QString Library::openClientName() const
{
    return clientName(m_openFile);
}

QString Library::clientName(const QString &file) const
{
    if (file.isEmpty())
        return QString();
    for (const Client &client : m_clients.records()) {
        if (client.file == file)
            return client.name;
    }
    return QString();
}

bool Library::locateOpenClient()
{
    if (m_openFile.isEmpty())
        return false;
    const QList<Client> &records = m_clients.records();
    for (int i = 0; i < records.size(); ++i) {
        if (records.at(i).file == m_openFile) {
            m_clients.setCurrent(i);
            return true;
        }
    }
    return false;
}

bool Library::openClient(const QString &file)
{
    m_openFile = file;
    if (file.isEmpty() || !locateOpenClient() || !m_clients.loadHistory()) {
        closeClient();
        return false;
    }
    return true;
}

void Library::closeClient()
{
    m_openFile.clear();
    m_clients.history().clear();
}

void Library::load(const Settings &settings)
{
    load(settings.dataFolder());
    // The client the operator had open, not merely the first: a run is
    // recorded in the history of the client open.
    if (const std::optional<QString> file = settings.openClient())
        openClient(*file);
}

Presets &Library::presetPool(int pool)
{
    switch (pool) {
    case PresetPool::Client: return history().presets();
    case PresetPool::General: return m_generalPresets;
    default: return m_legitimatePresets;
    }
}
