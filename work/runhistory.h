#pragma once

#include <QString>

class Library;

// The one place where a note goes on top of a client's history on behalf of
// a run or the notes dialog: the open client's history takes it in memory,
// another client's file is appended to; both are written beside the window.
namespace RunHistory {

// False when nothing was asked to be written.
bool addNote(Library &library, const QString &path, const QString &text, int colour = 0);
// Whether the history in `path` already holds a note with exactly this text;
// for a start that finishes what a killed program began.
bool holdsNote(Library &library, const QString &path, const QString &text);

} // namespace RunHistory
