#include "data/containerfiles.h"
#include "data/ownfiles.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

namespace Container {

namespace {

// A batch takes the saves of the thread that opened it only.
thread_local Batch *openBatch = nullptr;

const QString keyReplace = QStringLiteral("replace");
// A journal names a restore's files: a few dozen names, never megabytes.
constexpr qint64 journalLimit = qint64(4) << 20;

// A plain name of a file in the folder, nothing that leads elsewhere.
bool isFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QLatin1Char(':'));
}

// What a journal may name: the library's own files, or a client's history.
bool isStoreName(const QString &name)
{
    if (!isFileName(name) || name == OwnFiles::journal || name == OwnFiles::lock)
        return false;
    return OwnFiles::names().contains(name)
           || (name.endsWith(QLatin1String(".dat")) && OwnFiles::isHistoryIdentifier(name.chopped(4)));
}

} // namespace

using namespace Files;

Batch *Batch::openHere()
{
    return openBatch;
}

Batch::Batch(const QString &folder) : m_folder(QDir::cleanPath(QDir(folder).absolutePath()) + QLatin1Char('/'))
{
    Q_ASSERT(!openBatch);
    openBatch = this;
}

Batch::~Batch()
{
    openBatch = nullptr;
    if (!m_done) {
        for (const QString &path : std::as_const(m_staged))
            QFile::remove(staged(path));
    }
}

bool Batch::takes(const QString &path) const
{
    const QFileInfo info(path);
    return QDir::cleanPath(info.absolutePath()) + QLatin1Char('/') == m_folder && isFileName(info.fileName());
}

Batch::Result Batch::commit()
{
    openBatch = nullptr;
    QJsonArray names;
    for (const QString &path : std::as_const(m_staged))
        names.append(QFileInfo(path).fileName());
    const QString journal = m_folder + OwnFiles::journal;
    if (!writeBytes(journal, encode(QJsonObject{{keyReplace, names}})))
        return NothingChanged;
    m_done = true;
    for (const QString &path : std::as_const(m_staged)) {
        if (!replaceWithStaged(path))
            return Pending;
        setGuarded(path, false);
        remember(path);
    }
    QFile::remove(journal);
    return Committed;
}

bool finishPending(const QString &folderPath)
{
    const QString folder = QDir(folderPath).absolutePath() + QLatin1Char('/');
    const QString journal = folder + OwnFiles::journal;
    QByteArray bytes;
    // Read as every store is: a plain file of bounded size. A pipe or a
    // device in its place would hold up the start for ever.
    const ReadStatus status = readPlain(journal, bytes, journalLimit);
    if (status != ReadStatus::Missing) {
        // Only we write it, whole and small; anything else is not a journal.
        QJsonObject object;
        bool named = status == ReadStatus::Read && decode(bytes, object) && object.value(keyReplace).isArray();
        for (const QJsonValue &name : object.value(keyReplace).toArray())
            named = named && isStoreName(name.toString());
        if (!named) {
            qWarning().noquote() << "Unreadable journal" << journal << "; the saves it names are dropped";
            keepAside(journal);
            noteCleanup(QStringLiteral("A restore or an import cut short by the end of the program left a journal this "
                                       "program cannot read; it is kept aside, and the data is as it was before"));
        } else {
            int finished = 0;
            for (const QJsonValue &name : object.value(keyReplace).toArray()) {
                const QString path = folder + name.toString();
                if (!QFileInfo::exists(staged(path)))
                    continue;  // already renamed before the kill
                if (!replaceWithStaged(path))
                    return false;
                ++finished;
            }
            if (!QFile::remove(journal))
                return false;
            noteCleanup(QStringLiteral("A restore or an import cut short by the end of the program was finished now "
                                       "(%1 files put in place)").arg(finished));
        }
    }
    const QStringList leftovers = QDir(folder).entryList({QLatin1String("*") + QLatin1String(stagedSuffix)},
                                                         QDir::Files | QDir::Hidden | QDir::System);
    QStringList dropped;
    for (const QString &name : leftovers) {
        qInfo().noquote() << "Removing the unfinished save" << folder + name;
        QFile::remove(folder + name);
        dropped << name.chopped(int(qstrlen(stagedSuffix)));
    }
    if (!dropped.isEmpty())
        noteCleanup(QStringLiteral("The program ended while saving %1; the unfinished save was dropped and the file "
                                   "is as it was last saved").arg(dropped.join(QStringLiteral(", "))));
    return true;
}

} // namespace Container
