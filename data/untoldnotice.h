#pragma once

#include <QString>
#include <QStringList>

// What the operator had not yet been told when the program ended (a
// signal or a close before the next UI tick: a damaged file kept aside
// while the pools were still being read, a write that failed on the way
// out, an import that landed after the window was gone). It waits in the
// data folder and is told once, at the next start.
namespace UntoldNotice {

// Leaves these lines, with those still held, in place of any left before.
// False when the file could not be written; the lines are then lost as
// they were before.
bool leave(const QString &dataFolder, const QStringList &lines);
// The lines left; none when there are none or the file cannot be read
// whole. They stay until forget: a start killed before it showed them
// leaves them for the next.
QStringList read(const QString &dataFolder);
// Once they were shown; lines still held stay.
void forget(const QString &dataFolder);

// A notice of work that lands beside the window: in the folder from the
// moment the work lands (a save in a Container::Batch lands with it) until
// the window has shown it. Any thread. Returns what `told` takes.
quint64 hold(const QString &dataFolder, const QString &line);
// The held notice was shown.
void told(quint64 held);

} // namespace UntoldNotice
