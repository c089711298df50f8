#pragma once

#include "work/runrules.h"

#include <QString>

class DeviceSlots;
class Library;
class WorkList;

// Starting the picked device's work list, and the record of the run in the
// open client's history that goes with it.
namespace RunStart {

// Whether the picked device's work list may start now.
RunRules::Outcome outcome(DeviceSlots &devices);
// Starts it: the rules checked, the list loaded into the device's
// sequencer, and, once the sequencer has taken the run, the run recorded
// in the open client's history (whose file the cut-short note of this run
// goes to). `notice` says when there is no client to record it for.
RunRules::Outcome start(Library &library, DeviceSlots &devices, QString &notice);

// A "Program" entry on top, then one "PresetNote" entry per line, saved at
// once. Without an open client nothing is recorded.
void recordRun(Library &library, const WorkList &work);

} // namespace RunStart
