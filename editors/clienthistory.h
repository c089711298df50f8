#pragma once

#include "work/runrules.h"

#include <QString>
#include <QStringList>

class DeviceSlots;
class Library;
class WorkList;

// The current client's history: writing it, recording a run into it and
// renewing a run from it, kept together so that all of them read and write
// the history one way.
namespace ClientHistory {

// Writes the history into the file it was read from, whatever client a
// list has selected meanwhile, when it changed, beside the window; false
// for a history read from no file (a new client's, written by its first
// commit).
bool save(Library &library);

// A "Program" entry on top, then one "PresetNote" entry per line, saved at
// once. Without an open client nothing is recorded.
void recordRun(Library &library, const WorkList &work);

// Whether the picked device's work list may start now.
RunRules::Outcome startOutcome(DeviceSlots &devices);
// Starts it: the rules checked, the list loaded into the device's
// sequencer, and, once the sequencer has taken the run, the run recorded
// in the open client's history (whose file the cut-short note of this run
// goes to). `notice` says when there is no client to record it for.
RunRules::Outcome startRun(Library &library, DeviceSlots &devices, QString &notice);

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

// Sends the entry at `row` (as the history's filter shows it) back to the
// selected device's work list. Returns what the operator is told; empty
// when it was sent or the entry is of a kind that is not renewed.
QString renew(Library &library, DeviceSlots &devices, int row);

} // namespace ClientHistory
