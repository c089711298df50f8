#include "data/untoldnotice.h"

#include "data/container.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace {

const char *const noticeFile = "untold.dat";
const char *const linesKey = "Lines";

} // namespace

namespace UntoldNotice {

bool leave(const QString &dataFolder, const QStringList &lines)
{
    return Container::writeFile(dataFolder + QLatin1String(noticeFile),
                                QJsonObject {{QStringLiteral("version"), QStringLiteral("1")},
                                             {QLatin1String(linesKey), QJsonArray::fromStringList(lines)}});
}

QStringList read(const QString &dataFolder)
{
    const QString path = dataFolder + QLatin1String(noticeFile);
    if (!QFileInfo::exists(path))
        return {};
    QJsonObject note;
    QStringList lines;
    if (Container::readFile(path, note) == Container::ReadStatus::Read) {
        for (const QJsonValue &line : note.value(QLatin1String(linesKey)).toArray()) {
            if (line.isString())
                lines << line.toString();
        }
    }
    return lines;
}

void forget(const QString &dataFolder)
{
    QFile::remove(dataFolder + QLatin1String(noticeFile));
}

} // namespace UntoldNotice
