#include "work/runstart.h"

#include "data/library.h"
#include "data/worklist.h"
#include "work/deviceslots.h"
#include "work/sequencer.h"

namespace RunStart {

RunRules::Outcome outcome(DeviceSlots &devices)
{
    const Sequencer *sequencer = devices.selectedSequencer();
    const Tavik *tavik = devices.selectedController();
    const WorkList *work = sequencer ? devices.selectedWork() : nullptr;
    return RunRules::check(work, tavik, sequencer);
}

void recordRun(Library &library, const WorkList &work)
{
    // Without an open client there is nobody to record the run for, and no
    // history file may be made for one.
    if (!library.hasOpenClient())
        return;
    History &history = library.history();
    Notes &notes = history.notes();
    history.addOnTop([&] {
        notes.insertNote(LineType::Program);
        notes.setText(work.programName);
        notes.setVersion(work.programVersion);
        notes.setColour(Note::ProgramRun);
        int at = 0;
        for (const WorkLine &line : work.records()) {
            notes.setCurrent(++at);
            notes.insertNote(LineType::PresetNote);
            notes.setText(line.name);
            notes.setVersion(line.version);
            notes.setVariable(line.value);
            notes.setTime(line.time);
            notes.setColour(Note::PresetRun);
        }
    });
    library.saveHistory();
}

} // namespace RunStart
