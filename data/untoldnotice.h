#pragma once

#include <QString>
#include <QStringList>

// What the operator had not yet been told when the program ended (a
// signal or a close before the next UI tick: a damaged file kept aside
// while the pools were still being read, a write that failed on the way
// out). It waits in the data folder and is told once, at the next start.
namespace UntoldNotice {

// Leaves these lines, in place of any left before. False when the file
// could not be written; the lines are then lost as they were before.
bool leave(const QString &dataFolder, const QStringList &lines);
// The lines left; none when there are none or the file cannot be read
// whole. They stay until forget: a start killed before it showed them
// leaves them for the next.
QStringList read(const QString &dataFolder);
// Once they were shown.
void forget(const QString &dataFolder);

} // namespace UntoldNotice
