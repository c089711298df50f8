#include "data/untoldnotice.h"

#include "data/container.h"
#include "data/ownfiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QMutex>

namespace {

const char *const linesKey = "Lines";

struct Held
{
    QString folder;
    QString line;
};

// Held notices by number; every touch of the file happens under the lock,
// so that the window and a worker never write it over each other.
QMutex &lock()
{
    static QMutex mutex;
    return mutex;
}
QMap<quint64, Held> &held()
{
    static QMap<quint64, Held> notices;
    return notices;
}
quint64 lastHeld = 0;

QStringList heldIn(const QString &folder)
{
    QStringList lines;
    for (const Held &notice : std::as_const(held())) {
        if (notice.folder == folder)
            lines << notice.line;
    }
    return lines;
}

bool write(const QString &folder, const QStringList &lines)
{
    const QString path = folder + OwnFiles::untold;
    if (lines.isEmpty())
        return !QFile::exists(path) || QFile::remove(path);
    return Container::writeFile(path, QJsonObject {{QStringLiteral("version"), QStringLiteral("1")},
                                                   {QLatin1String(linesKey), QJsonArray::fromStringList(lines)}});
}

} // namespace

namespace UntoldNotice {

bool leave(const QString &dataFolder, const QStringList &lines)
{
    const QMutexLocker locked(&lock());
    return write(dataFolder, lines + heldIn(dataFolder));
}

QStringList read(const QString &dataFolder)
{
    QJsonObject note;
    QStringList lines;
    const QMutexLocker locked(&lock());
    if (Container::readFile(dataFolder + OwnFiles::untold, note) == Container::ReadStatus::Read) {
        for (const QJsonValue &line : note.value(QLatin1String(linesKey)).toArray()) {
            if (line.isString())
                lines << line.toString();
        }
    }
    return lines;
}

void forget(const QString &dataFolder)
{
    const QMutexLocker locked(&lock());
    write(dataFolder, heldIn(dataFolder));
}

quint64 hold(const QString &dataFolder, const QString &line)
{
    const QMutexLocker locked(&lock());
    QStringList lines;
    QJsonObject note;
    // What an earlier start left and the window has not shown yet stays.
    if (Container::readFile(dataFolder + OwnFiles::untold, note) == Container::ReadStatus::Read) {
        for (const QJsonValue &left : note.value(QLatin1String(linesKey)).toArray())
            lines << left.toString();
    }
    const quint64 number = ++lastHeld;
    held().insert(number, {dataFolder, line});
    if (!lines.contains(line))
        lines << line;
    write(dataFolder, lines);
    return number;
}

void told(quint64 number)
{
    const QMutexLocker locked(&lock());
    const auto found = held().constFind(number);
    if (found == held().cend())
        return;
    const Held notice = found.value();
    held().erase(found);
    QStringList lines;
    QJsonObject note;
    if (Container::readFile(notice.folder + OwnFiles::untold, note) == Container::ReadStatus::Read) {
        for (const QJsonValue &left : note.value(QLatin1String(linesKey)).toArray())
            lines << left.toString();
    }
    lines.removeOne(notice.line);
    write(notice.folder, lines);
}

} // namespace UntoldNotice
