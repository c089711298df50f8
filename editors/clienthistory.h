#pragma once

#include <QString>
#include <QStringList>

class DeviceSlots;
class Library;

// Notes added to a client's history by what happens to its runs, and a
// run renewed from it. Starting a run, and recording it, is RunStart's.
namespace ClientHistory {

// A "Notes" entry on top of the history in `path` saying that the run
// recorded there was cut short, and where (see RunHistory::addNote). False
// when nothing was written.
bool recordCutShort(Library &library, const QString &path, const QString &text);
// The same for any note with its colour.
bool addNote(Library &library, const QString &path, const QString &text, int colour);

// Sends the history entry with `key` back to the selected device's work
// list. Returns what the operator is told; empty
// when it was sent or the entry is of a kind that is not renewed.
QString renew(Library &library, DeviceSlots &devices, quint64 key);

} // namespace ClientHistory
