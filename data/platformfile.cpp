#include "data/platformfile.h"

#include <QDir>
#include <QFile>
#include <QString>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QDateTime>
#include <QFileInfo>

namespace PlatformFile {

#ifdef Q_OS_WIN

bool sync(QFile &file)
{
    return _commit(file.handle()) == 0;
}

bool replace(const QString &from, const QString &to)
{
    const QString source = QDir::toNativeSeparators(from);
    const QString target = QDir::toNativeSeparators(to);
    return MoveFileExW(reinterpret_cast<const wchar_t *>(source.utf16()), reinterpret_cast<const wchar_t *>(target.utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

Identity identity(const QString &path)
{
    const QFileInfo info(path);
    Identity id;
    id.exists = info.exists();
    if (id.exists) {
        id.size = info.size();
        id.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
        id.node = quint64(info.birthTime().toMSecsSinceEpoch());
    }
    return id;
}

#else

Identity identity(const QString &path)
{
    Identity id;
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return id;
    id.exists = true;
    id.device = quint64(status.st_dev);
    id.node = quint64(status.st_ino);
    id.size = qint64(status.st_size);
    id.modifiedNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return id;
}

bool sync(QFile &file)
{
    return ::fsync(file.handle()) == 0;
}

bool replace(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

#endif

} // namespace PlatformFile
