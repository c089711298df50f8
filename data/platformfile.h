#pragma once

class QFile;
class QString;

// The two file operations whose form differs between Windows and the
// others; everything else goes through Qt.
namespace PlatformFile {

// Pushes what was written to the file down to the disk, so that a power
// cut after the rename that follows cannot leave an empty file behind.
bool sync(QFile &file);

// Renames `from` over `to` in one step: `to` is either the old file or the
// new one, never missing. Both are in the same folder.
bool replace(const QString &from, const QString &to);

} // namespace PlatformFile
