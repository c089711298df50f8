#pragma once

#include "work/runrules.h"

#include <QString>

class DeviceSlots;
class Library;
class WorkList;

// Starting the picked device's work list, and the record of the run in the
// open client's history that goes with it.
namespace RunStart {

// Whether the picked device's work list may start now. Starting it, with
// its journal entry before its record, is RunRecorder::start.
RunRules::Outcome outcome(DeviceSlots &devices);

// A "Program" entry on top, then one "PresetNote" entry per line, saved at
// once. Without an open client nothing is recorded.
void recordRun(Library &library, const WorkList &work);

} // namespace RunStart
