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
#include <QStorageInfo>

#include <cerrno>
#include <cstring>
#ifndef Q_OS_WIN
#include <fcntl.h>
#endif

namespace PlatformFile {

#ifdef Q_OS_WIN

bool sync(QFile &file, QString *why)
{
    if (_commit(file.handle()) == 0)
        return true;
    if (why)
        *why = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

Opened openForReading(QFile &file, const QString &path, QString *why)
{
    const QFileInfo info(path);
    if (!info.exists())
        return Opened::Missing;
    if (!info.isFile())
        return Opened::NotPlain;
    file.setFileName(path);
    if (file.open(QIODevice::ReadOnly))
        return Opened::Plain;
    if (why)
        *why = file.errorString();
    return Opened::Refused;
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

bool sync(QFile &file, QString *why)
{
    if (::fsync(file.handle()) == 0)
        return true;
    if (why)
        *why = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

Opened openForReading(QFile &file, const QString &path, QString *why)
{
    // Not blocking: opening a pipe for reading would otherwise wait for a
    // writer that never comes. What was opened is then asked what it is.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return Opened::Missing;
        if (why)
            *why = QString::fromLocal8Bit(std::strerror(error));
        return Opened::Refused;
    }
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return Opened::NotPlain;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (why)
            *why = file.errorString();
        return Opened::Refused;
    }
    return Opened::Plain;
}

bool replace(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

#endif

bool diskFull(const QString &folder)
{
    const QStorageInfo storage(folder);
    // A few blocks left are as good as none: nothing of ours fits in them.
    return storage.isValid() && storage.bytesAvailable() < 16 * 1024;
}

} // namespace PlatformFile
