#include "data/containerfiles.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

namespace Container {

namespace {

// A batch takes the saves of the thread that opened it only.
thread_local Batch *openBatch = nullptr;

const char journalName[] = "pending-saves.journal";
const QString keyReplace = QStringLiteral("replace");

// A plain name of a file in the folder, nothing that leads elsewhere.
bool isFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QLatin1Char(':'));
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
    const QString journal = m_folder + QLatin1String(journalName);
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
    const QString journal = folder + QLatin1String(journalName);
    QFile file(journal);
    if (file.exists()) {
        // Only we write it, whole and small; anything else is not a journal.
        QJsonObject object;
        const bool read = file.size() < sizeLimit && file.open(QIODevice::ReadOnly) && decode(file.readAll(), object);
        file.close();
        if (!read || !object.value(keyReplace).isArray()) {
            qWarning().noquote() << "Unreadable journal" << journal << "; the saves it names are dropped";
            keepAside(journal);
        } else {
            int finished = 0;
            for (const QJsonValue &name : object.value(keyReplace).toArray()) {
                const QString path = folder + name.toString();
                if (!isFileName(name.toString()) || !QFileInfo::exists(staged(path)))
                    continue;  // already renamed before the kill
                if (!replaceWithStaged(path))
                    return false;
                ++finished;
            }
            qInfo().noquote() << "Finished an interrupted batch of saves:" << finished << "files replaced";
            if (!QFile::remove(journal))
                return false;
        }
    }
    const QStringList leftovers = QDir(folder).entryList({QLatin1String("*") + QLatin1String(stagedSuffix)},
                                                         QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : leftovers) {
        qInfo().noquote() << "Removing the unfinished save" << folder + name;
        QFile::remove(folder + name);
    }
    return true;
}

} // namespace Container
