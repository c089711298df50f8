#include "work/runstart.h"

#include "data/library.h"
#include "data/worklist.h"
#include "work/deviceslots.h"
#include "work/sequencer.h"

#include <QDebug>

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
    // On top of the whole history, whatever its list's search shows: the
    // program's entry, then its lines under it.
    Notes &notes = library.history().notes();
    Note program = Note::newRecord(LineType::Program);
    program.text = work.programName;
    program.version = work.programVersion;
    program.colour = Note::ProgramRun;
    qDebug().noquote() << "create record typ:" << LineType::Program;
    notes.insert(0, program);
    int at = 0;
    for (const WorkLine &line : work.records()) {
        Note preset = Note::newRecord(LineType::PresetNote);
        preset.text = line.name;
        preset.version = line.version;
        preset.variable = line.value;
        preset.time = line.time;
        preset.colour = Note::PresetRun;
        qDebug().noquote() << "create record typ:" << LineType::PresetNote;
        notes.insert(++at, preset);
    }
    library.saveHistory();
}

} // namespace RunStart
