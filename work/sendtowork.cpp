#include "work/sendtowork.h"

#include "data/library.h"
#include "data/presetlookup.h"
#include "data/textforms.h"
#include "work/deviceslots.h"
#include "work/sequencer.h"
#include "data/worklist.h"

#include <QDebug>

namespace SendToWork {

namespace {

// The selected device's work list, or why there is none to write.
WorkList *target(DeviceSlots &devices, Outcome &outcome)
{
    WorkList *work = devices.selectedWork();
    if (!work) {
        outcome = NoDevice;
        return nullptr;
    }
    // A list on air is not replaced under the run that shows it.
    if (Sequencer *sequencer = devices.selectedSequencer(); sequencer && !sequencer->canStart()) {
        outcome = DeviceBusy;
        return nullptr;
    }
    outcome = Sent;
    return work;
}

// Fills the line from its preset (`code` and `preset` as the lookup gave
// them): pool code, notes, LF value and time.
void fillFrom(WorkLine &line, int code, const Preset &preset, int ownMinutes)
{
    line.pool = code;
    line.note = preset.notes;
    line.value = PresetLookup::isUsable(code) ? preset.variable : QString();
    line.time = ProgramLine::runMinutes(ownMinutes, preset.time);
    line.orgTime = line.time;
}

void resolveInto(Library &library, WorkLine &line, int ownMinutes)
{
    Preset preset;
    preset.time = TextForm::noMinutes;
    const int code = PresetLookup::resolve(library, line.name, line.version, preset);
    fillFrom(line, code, preset, ownMinutes);
}

Outcome save(DeviceSlots &devices)
{
    // Where the last run was cut short is a line of the list just replaced.
    if (Sequencer *sequencer = devices.selectedSequencer())
        sequencer->forgetCutShort();
    // Beside the window, as every save; a failure is told as each is.
    devices.registry().saveBeside();
    return Sent;
}

} // namespace

Outcome program(Library &library, DeviceSlots &devices, const Program &program, bool general)
{
    Outcome outcome = Sent;
    WorkList *work = target(devices, outcome);
    if (!work)
        return outcome;
    // Sent, it would empty the device's list for nothing, and say nothing.
    if (program.records().isEmpty())
        return NoLines;

    work->pool = general ? PresetPool::General : PresetPool::Client;
    work->programName = program.name;
    work->programVersion = program.version;
    work->programNotes = program.notes;
    work->totalTime = TextForm::noMinutes;

    // Every line looked up at once: line by line, a program of ten lines
    // passed over two pools of a million presets ten times each.
    QList<std::pair<QString, int>> pairs;
    for (const ProgramLine &programLine : program.records())
        pairs.append({programLine.name, programLine.version});
    Preset prepared;
    prepared.time = TextForm::noMinutes;
    QList<Preset> presets(pairs.size(), prepared);
    const QList<int> codes = PresetLookup::resolveAll(library, pairs, presets);
    QList<WorkLine> lines;
    for (int i = 0; i < program.records().size(); ++i) {
        const ProgramLine &programLine = program.records().at(i);
        WorkLine line;
        line.name = programLine.name;
        line.version = programLine.version;
        if (LineType::isOneOf(programLine.type, WorkLine::kinds))
            line.type = programLine.type;
        fillFrom(line, codes.at(i), presets.at(i), programLine.time);
        lines.append(line);
    }
    work->replaceRecords(lines);
    return save(devices);
}

Outcome presetLine(Library &library, DeviceSlots &devices, const QString &name, int version, int minutes)
{
    Outcome outcome = Sent;
    WorkList *work = target(devices, outcome);
    if (!work)
        return outcome;
    WorkLine line;
    line.name = name;
    line.version = version;
    line.type = LineType::Preset;
    resolveInto(library, line, minutes);
    work->insert(0, line, 0);
    return save(devices);
}

QString notice(Outcome outcome)
{
    switch (outcome) {
    case Sent: break;
    case NoDevice: return QStringLiteral(" No device to send to: add or pick one on the Tavik tab");
    case DeviceBusy: return QStringLiteral(" The device is running: stop it first");
    case NotWritten: return QStringLiteral(" Couldn't save the work list");
    case NotSaved: return QStringLiteral(" Nothing sent: the program cannot be saved as shown");
    case NoLines: return QStringLiteral(" Nothing sent: the program has no lines. The device's work list stays as it was");
    }
    return QString();
}

} // namespace SendToWork
