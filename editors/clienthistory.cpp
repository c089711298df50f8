#include "editors/clienthistory.h"

#include "data/library.h"
#include "data/textforms.h"
#include "data/worklist.h"
#include "work/deviceslots.h"
#include "work/runhistory.h"
#include "work/sendtowork.h"

#include <QDebug>

namespace ClientHistory {

namespace {

QString pair(const Note &note)
{
    return TextForm::versioned(note.text, note.version);
}

} // namespace

bool recordCutShort(Library &library, const QString &path, const QString &text)
{
    return addNote(library, path, text, 0);
}

bool addNote(Library &library, const QString &path, const QString &text, int colour)
{
    return RunHistory::addNote(library, path, text, colour);
}

QString renew(Library &library, DeviceSlots &devices, quint64 key)
{
    const Note *entry = std::as_const(library.history().notes()).record(key);
    if (!entry)
        return QString();
    qDebug() << "to work: history entry" << entry->text;

    SendToWork::Outcome outcome = SendToWork::Sent;
    if (entry->type == LineType::Program) {
        const Programs &programs = library.programs();
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
