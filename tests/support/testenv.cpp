#include "testenv.h"

#include "data/writebeside.h"


#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace TestEnv {

static QTemporaryDir *home()
{
    static QTemporaryDir *dir = new QTemporaryDir; // lives until exit
    return dir;
}

QString useTemporaryHome()
{
    const QString root = home()->path();
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_DATA_HOME", (root + "/.local/share").toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + "/.config").toUtf8());
    qputenv("XDG_CACHE_HOME", (root + "/.cache").toUtf8());
    const QString runtime = root + "/runtime";
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    QCoreApplication::setApplicationName("TavikStudio");
    return root;
}

QString dataFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/data/";
    QDir().mkpath(folder);
    return folder;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    // The file as the program will have it once its writes have landed.
    WriteBeside::waitFor(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace TestEnv
