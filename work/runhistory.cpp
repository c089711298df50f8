#include "work/runhistory.h"

#include "data/library.h"

#include <QDebug>

namespace RunHistory {

namespace {

bool holds(const History &history, const QString &text)
{
    for (const Note &note : history.notes().records()) {
        if (note.text == text)
            return true;
    }
    return false;
}

} // namespace

bool addNote(Library &library, const QString &path, const QString &text, int colour)
{
    if (path.isEmpty())
        return false;
    Note entry = Note::newRecord(LineType::Notes);
    entry.text = text;
    entry.colour = colour;
    if (library.history().path() == path) {
        // On top of the whole history, whatever its list's search shows.
        qDebug().noquote() << "create record typ:" << LineType::Notes;
        library.history().notes().insert(0, entry);
        return library.saveHistory();
    }
    // The operator has opened another client since the run began: the
    // entry goes into that client's file beside the window, which a long
    // history would otherwise hold up with every device's tick.
    History::appendBeside(path, entry);
    return true;
}

bool holdsNote(Library &library, const QString &path, const QString &text)
{
    if (path.isEmpty())
        return false;
    if (library.history().path() == path)
        return holds(library.history(), text);
    History other;
    other.setPath(path);
    return other.readBase() && holds(other, text);
}

} // namespace RunHistory
