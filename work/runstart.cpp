#include "work/runstart.h"

#include "data/library.h"
#include "data/worklist.h"
#include "work/deviceslots.h"
#include "work/sendtowork.h"
#include "work/sequencer.h"

namespace RunStart {

RunRules::Outcome outcome(DeviceSlots &devices)
{
    const Sequencer *sequencer = devices.selectedSequencer();
    const Tavik *tavik = devices.selectedController();
    const WorkList *work = sequencer ? devices.selectedWork() : nullptr;
    return RunRules::check(work, tavik, sequencer);
}

RunRules::Outcome start(Library &library, DeviceSlots &devices, QString &notice)
{
    notice.clear();
    const RunRules::Outcome checked = outcome(devices);
    if (checked != RunRules::Outcome::Ready)
        return checked;
    Sequencer &sequencer = *devices.selectedSequencer();
    WorkList &work = *devices.selectedWork();
    const int slot = devices.selectedSlot();
    loadWork(work, sequencer);
    // Recorded only once the sequencer has taken the run.
    if (!sequencer.start())
        return checked;
    if (!library.hasOpenClient()) {
        devices.setRunHistory(slot, QString());
        notice = QStringLiteral(" No client open: this run is not recorded in a history");
        return checked;
    }
    recordRun(library, work);
    devices.setRunHistory(slot, library.history().path());
    return checked;
}

void recordRun(Library &library, const WorkList &work)
{
    // Without an open client there is nobody to record the run for, and no
    // history file may be made for one.
    if (!library.hasOpenClient())
        return;
    History &history = library.history();
    history.addOnTop([&] {
        history.insertNote(LineType::Program);
        history.setText(work.programName);
        history.setVersion(work.programVersion);
        history.setColour(Note::ProgramRun);
        int at = 0;
        for (const WorkLine &line : work.records()) {
            history.setCurrent(++at);
            history.insertNote(LineType::PresetNote);
            history.setText(line.name);
            history.setVersion(line.version);
            history.setVariable(line.value);
            history.setTime(line.time);
            history.setColour(Note::PresetRun);
        }
    });
    library.saveHistory();
}

} // namespace RunStart
