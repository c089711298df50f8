#pragma once

#include "data/container.h"

#include <QString>

#include <functional>

class QIODevice;

// What the container's files share inside the data layer: what the
// program remembers of each file (keptfiles.cpp), the staged write that
// replaces a file whole (stagedwrite.cpp) and the batch of staged writes a
// restore commits together (savebatch.cpp).
namespace Container::Files {

// A file that exists but could not be read, or was damaged and could not
// be renamed, is guarded: nothing is written over it.
void setGuarded(const QString &path, bool guarded);
bool isGuarded(const QString &path);
// The file as this program has just read or written it.
void remember(const QString &path);
// Tells the operator, once per file, that it is as it was; false always.
bool writeFailed(const QString &path, const QString &why);
// A damaged file renamed aside (NAME.damaged-DATE-TIME), or guarded when
// it cannot be. With `why`, a file of a form we do not read, renamed
// NAME.foreign-DATE-TIME.
void keepAside(const QString &path, const QString &why = QString());
// A file there that could not be read: guarded, and told once.
void noteUnreadable(const QString &path, const QString &why);
// A save refused over a guarded file: told once while it stays guarded,
// so that an operator's edit is never dropped without a word. False.
bool refuseOverGuarded(const QString &path);
// A line for the operator about what the start cleaned up.
void noteCleanup(const QString &line);
// Another program wrote the file since this one read it: its version is
// copied aside before ours takes the path. False when it could not be.
bool keepOtherVersion(const QString &path);

// NAME.tavik-new beside the file.
QString staged(const QString &path);
// What `produce` writes, whole in the staged file and on the disk, or no
// such file. A producer that gives up (false) leaves no file and no notice.
bool writeStaged(const QString &path, const std::function<bool(QIODevice &)> &produce, qint64 limit);
bool replaceWithStaged(const QString &path);

} // namespace Container::Files
