#include "data/library.h"

#include "data/ownfiles.h"
#include "data/releaseoffthread.h"
#include "data/settings.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

struct Library::PoolReads
{
    Presets general;
    Presets legitimate;
    QFuture<void> generalRead;
    QFuture<void> legitimateRead;
    bool readsGeneral = false;
    bool readsLegitimate = false;
    // Threads of their own: the shared pool folds the lists' search texts,
    // which the window waits for, and must not queue behind a second of
    // reading. Declared last, so that it is gone first: its destructor
    // waits for the reads before the stores they fill go.
    QThreadPool threads;
};

Library::Library() = default;
Library::~Library()
{
    // Two pools of a million presets take longer to free than the window's
    // end may hold its thread, and a restart waits for that end. Where an
    // application waits for its workers at its own end, they go on one.
    if (!QCoreApplication::instance() || QCoreApplication::closingDown())
        return;
    History &history = m_clients.history();
    releaseOffThread(std::make_tuple(m_generalPresets.takeHeld(), m_legitimatePresets.takeHeld(), m_clients.takeHeld(),
                                     history.notes().takeHeld(), history.presets().takeHeld(),
                                     history.programs().takeHeld()));
}

void Library::load(const QString &dataFolder, const std::optional<QString> &openFile)
{
    readStores(dataFolder);
    // The client the operator had open, not merely the first: a run is
    // recorded in the history of the client open. A large history is read
    // once, for the client that stays open.
    if (openFile)
        openClient(*openFile);
    else if (m_clients.count() > 0)
        openClient(m_clients.records().first().file);
}

void Library::load(const Settings &settings)
{
    load(settings.dataFolder(), settings.openClient());
}

void Library::readStores(const QString &dataFolder)
{
    // A read still going is for the folder before: waited for and dropped.
    m_poolReads.reset();
    m_generalPresets.setPath(dataFolder + OwnFiles::presets);
    m_legitimatePresets.setPath(dataFolder + OwnFiles::genpresets);
    m_programs.setFolder(dataFolder);
    m_clients.setFolder(dataFolder);

    readPools(true, true);
    m_programs.readBase();
    m_clients.readBase();

    m_generalPresets.setFilter(QString());
    m_legitimatePresets.setFilter(QString());
    m_programs.setFilter(QString());
    m_programs.first();
    m_clients.setFilter(QString());
    m_clients.first();
    closeClient();
}

void Library::readPools(bool general, bool legitimate)
{
    // Each pool is read into a store of its own on a core of its own; the
    // stores in use stay untouched until takePools.
    m_poolReads = std::make_unique<PoolReads>();
    PoolReads &reads = *m_poolReads;
    const auto begin = [&reads](Presets &from, Presets &into) {
        into.setPath(from.path());
        // The records in use are let go on the reading thread before it
        // reads, so that the old and the new never fill memory together;
        // their keys are carried there for the records still in the file.
        return QtConcurrent::run(&reads.threads, [&into, old = from.letGo()]() mutable {
            into.takeKeysOf(std::move(old));
            into.readBase();
        });
    };
    reads.readsGeneral = general;
    reads.readsLegitimate = legitimate;
    if (general)
        reads.generalRead = begin(m_generalPresets, reads.general);
    if (legitimate)
        reads.legitimateRead = begin(m_legitimatePresets, reads.legitimate);
}

void Library::rereadPools(bool general, bool legitimate)
{
    takePools();
    if (general || legitimate)
        readPools(general, legitimate);
}

bool Library::poolsRead() const
{
    return !m_poolReads || (m_poolReads->generalRead.isFinished() && m_poolReads->legitimateRead.isFinished());
}

void Library::takePools()
{
    if (!m_poolReads)
        return;
    const std::unique_ptr<PoolReads> reads = std::move(m_poolReads);
    reads->generalRead.waitForFinished();
    reads->legitimateRead.waitForFinished();
    if (reads->readsGeneral)
        m_generalPresets.adoptRead(std::move(reads->general));
    if (reads->readsLegitimate)
        m_legitimatePresets.adoptRead(std::move(reads->legitimate));
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

quint64 Library::openClientKey() const
{
    if (m_openFile.isEmpty())
        return 0;
    const QList<Client> &records = m_clients.records();
    for (int i = 0; i < records.size(); ++i) {
        if (records.at(i).file == m_openFile)
            return m_clients.keyAt(i);
    }
    return 0;
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

bool Library::saveHistory()
{
    // A history read from no file belongs to no client yet: writing it to
    // whichever client is current would replace that client's entries.
    return hasOpenClient() && !history().path().isEmpty() && history().saveIfChanged();
}

Presets &Library::presetPool(int pool)
{
    switch (pool) {
    case PresetPool::Client: return history().presets();
    case PresetPool::General: return generalPresets();
    default: return legitimatePresets();
    }
}
