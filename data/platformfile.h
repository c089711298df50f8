#pragma once

#include <QtGlobal>

class QFile;
class QString;

// The two file operations whose form differs between Windows and the
// others; everything else goes through Qt.
namespace PlatformFile {

// Pushes what was written to the file down to the disk, so that a power
// cut after the rename that follows cannot leave an empty file behind.
// On failure `why` says what the system said.
bool sync(QFile &file, QString *why = nullptr);

enum class Opened {
    Plain,     // a plain file, open for reading
    Missing,   // nothing there (a link to nothing included)
    NotPlain,  // a folder, a pipe, a device: nothing of ours, and may never end
    Refused    // there, but the system would not open it (see `why`)
};
// Opens a file for reading only when it is a plain file, without ever
// waiting on a pipe or following into a device.
Opened openForReading(QFile &file, const QString &path, QString *why = nullptr);

// Whether the file system of `folder` has no room left: a failure there
// is told as a full disk, whatever the call that met it said.
bool diskFull(const QString &folder);

// Renames `from` over `to` in one step: `to` is either the old file or the
// new one, never missing. Both are in the same folder.
bool replace(const QString &from, const QString &to);

// What tells one version of a file from another written over it: a save
// by another program replaces the file or changes its size or time.
struct Identity
{
    bool exists = false;
    quint64 device = 0;
    quint64 node = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    bool operator==(const Identity &other) const
    {
        return exists == other.exists && device == other.device && node == other.node && size == other.size
               && modifiedNs == other.modifiedNs;
    }
    bool operator!=(const Identity &other) const { return !(*this == other); }
};
Identity identity(const QString &path);

} // namespace PlatformFile
