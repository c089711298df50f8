#include "editors/clienthistory.h"

#include "data/library.h"
#include "data/textforms.h"
#include "data/worklist.h"
#include "work/deviceslots.h"
#include "work/sendtowork.h"
#include "work/sequencer.h"

#include <QDebug>

namespace ClientHistory {

namespace {

QString pair(const Note &note)
{
    return TextForm::versioned(note.text, note.version);
}

// Entries go on top of the whole history, not of what a search shows.
template <typename Add>
void addOnTop(History &history, Add add)
{
    const QString filter = history.filter();
    history.setFilter(QString());
    history.setCurrent(0);
    add();
    history.setFilter(filter);
    history.setCurrent(0);
}

} // namespace

bool save(Library &library)
{
    // A history read from no file belongs to no client yet: writing it to
    // whichever client is current would replace that client's entries.
    History &history = library.history();
    return library.hasOpenClient() && !history.path().isEmpty() && history.saveIfChanged();
}

void recordRun(Library &library, const WorkList &work)
{
    // Without an open client there is nobody to record the run for, and no
    // history file may be made for one.
    if (!library.hasOpenClient())
        return;
    History &history = library.history();
    addOnTop(history, [&] {
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
    save(library);
}

RunRules::Outcome startOutcome(DeviceSlots &devices)
{
    Sequencer *sequencer = devices.selectedSequencer();
    const Tavik *tavik = devices.selectedController();
    const WorkList *work = sequencer ? devices.selectedWork() : nullptr;
    return RunRules::check(work, tavik, sequencer);
}

RunRules::Outcome startRun(Library &library, DeviceSlots &devices, QString &notice)
{
    notice.clear();
    const RunRules::Outcome outcome = startOutcome(devices);
    if (outcome != RunRules::Outcome::Ready)
        return outcome;
    Sequencer &sequencer = *devices.selectedSequencer();
    WorkList &work = *devices.selectedWork();
    const int slot = devices.selectedSlot();
    loadWork(work, sequencer);
    // Recorded only once the sequencer has taken the run.
    if (!sequencer.start())
        return outcome;
    if (!library.hasOpenClient()) {
        devices.setRunHistory(slot, QString());
        notice = QStringLiteral(" No client open: this run is not recorded in a history");
        return outcome;
    }
    recordRun(library, work);
    devices.setRunHistory(slot, library.history().path());
    return outcome;
}

bool recordCutShort(Library &library, const QString &path, const QString &text)
{
    return addNote(library, path, text, 0);
}

bool addNote(Library &library, const QString &path, const QString &text, int colour)
{
    if (path.isEmpty())
        return false;
    auto addNote = [&text, colour](History &history) {
        addOnTop(history, [&] {
            history.insertNote(LineType::Notes);
            history.setText(text);
            history.setColour(colour);
        });
    };
    if (library.history().path() == path) {
        addNote(library.history());
        return save(library);
    }
    // The operator has opened another client since the run began.
    History other;
    other.setPath(path.chopped(4));
    if (!other.readBase())
        return false;
    addNote(other);
    return other.saveBase();
}

QStringList recordCutShorts(Library &library, DeviceSlots &devices)
{
    QStringList texts;
    for (const DeviceSlots::RunCutShort &end : devices.takeCutShorts()) {
        const QString text = QStringLiteral("Tavik %1: run ").arg(end.deviceName) + end.cut.text();
        recordCutShort(library, end.historyPath, text);
        texts.append(text);
    }
    return texts;
}

QString renew(Library &library, DeviceSlots &devices, int row)
{
    History &history = library.history();
    history.select(row);
    const Note *entry = history.currentRecord();
    if (!entry)
        return QString();
    qDebug() << "to work on cursor " << row << "name:" << entry->text;

    SendToWork::Outcome outcome = SendToWork::Sent;
    if (entry->type == LineType::Program) {
        Programs &programs = library.programs();
        const int index = programs.indexOf(entry->text, entry->version);
        if (index == -1)
            return QStringLiteral(" No general program %1").arg(pair(*entry));
        if (index < 0)
            return QStringLiteral(" Several general programs %1: nothing sent").arg(pair(*entry));
        outcome = SendToWork::program(library, devices, programs.records().at(index), true);
    } else if (entry->type == LineType::PresetNote) {
        outcome = SendToWork::presetLine(library, devices, entry->text, entry->version,
                                         entry->time);
    } else {
        return QString();
    }
    // Said also when it worked: the Work tab is not in view.
    if (outcome == SendToWork::Sent)
        return entry->type == LineType::Program
                   ? QStringLiteral("Program %1 is on the device's work list").arg(pair(*entry))
                   : QStringLiteral("Preset %1 is on top of the device's work list").arg(pair(*entry));
    return SendToWork::notice(outcome);
}

} // namespace ClientHistory
