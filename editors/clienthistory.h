#pragma once

#include <QString>
#include <QStringList>

class DeviceSlots;
class Library;

// Notes added to a client's history by what happens to its runs, and a
// run renewed from it. Starting a run, and recording it, is RunStart's.
namespace ClientHistory {

// A "Notes" entry on top of the history in `path` saying that the run
// recorded there was cut short, and where. The open client's history takes
// it in memory; another client's file is read whole first and left alone
// when it cannot be. False when nothing was written.
bool recordCutShort(Library &library, const QString &path, const QString &text);
// The same for any note with its colour.
bool addNote(Library &library, const QString &path, const QString &text, int colour);
// Every run the devices cut short since the last call, each recorded in
// the history its run was recorded in. Returns what the operator is told,
// one text per run, as the history has it.
QStringList recordCutShorts(Library &library, DeviceSlots &devices);

// Sends the history entry with `key` back to the selected device's work
// list. Returns what the operator is told; empty
// when it was sent or the entry is of a kind that is not renewed.
QString renew(Library &library, DeviceSlots &devices, quint64 key);

} // namespace ClientHistory
