#pragma once

#include "editors/clienteditor.h"
#include "editors/preseteditor.h"
#include "editors/programeditor.h"

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

    PresetEditor preset;
    ProgramEditor program;
    ClientEditor client;
};
