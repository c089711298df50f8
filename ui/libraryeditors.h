#pragma once

#include "ui/clienteditor.h"
#include "ui/preseteditor.h"
#include "ui/programeditor.h"

// The three library editors and the one place where they affect each
// other: a client opened, made or deleted lets go of what was edited in
// its pools.
class LibraryEditors
{
public:
    explicit LibraryEditors(Library &library) : preset(library), program(library), client(library)
    {
        QObject::connect(&client, &ClientEditor::clientSwitched, &program, [this] {
            preset.clear();
            program.close();
        });
    }
    LibraryEditors(const LibraryEditors &) = delete;
    LibraryEditors &operator=(const LibraryEditors &) = delete;

    void setAuthor(const QString &author)
    {
        preset.setAuthor(author);
        program.setAuthor(author);
    }

    PresetEditor preset;
    ProgramEditor program;
    ClientEditor client;
};
