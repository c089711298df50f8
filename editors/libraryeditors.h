#pragma once

#include "editors/clienteditor.h"
#include "editors/preseteditor.h"
#include "editors/programeditor.h"
#include "data/unstorededits.h"

class LibrarySession;

// The three library editors and the one place where they affect each
// other and the lists: a client opened, made or deleted lets go of what
// was edited in its own pools (and of nothing else); a record deleted from
// a list is let go by the editor that holds it.
class LibraryEditors
{
public:
    explicit LibraryEditors(Library &library);
    LibraryEditors(const LibraryEditors &) = delete;
    LibraryEditors &operator=(const LibraryEditors &) = delete;

    // Follows the lists' session, and shows the client the library starts with.
    void attach(LibrarySession &session);

    void setAuthor(const QString &author)
    {
        preset.setAuthor(author);
        program.setAuthor(author);
    }

    // The editor holds a record of the open client's pools: another client
    // lets go of it.
    bool holdsClientPreset() const;
    bool holdsClientProgram() const;

    // The refused edits the editors hold, as unstored.dat keeps them.
    QList<UnstoredEdit> heldEdits() const;
    // Whether the editor holds a refused edit.
    bool holds(UnstoredEdit::Editor editor) const;
    // Shows each edit kept in unstored.dat in its editor, as the refused edit
    // it was; what the operator is told of them.
    QStringList offer(const QList<UnstoredEdit> &edits);

    PresetEditor preset;
    ProgramEditor program;
    ClientEditor client;
};
