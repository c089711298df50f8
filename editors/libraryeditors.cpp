#include "editors/libraryeditors.h"

#include "editors/librarysession.h"

bool LibraryEditors::holdsClientPreset() const
{
    return preset.isLoaded() && preset.pool() == PresetPool::Client;
}

bool LibraryEditors::holdsClientProgram() const
{
    return program.isLoaded() && !program.isGeneral();
}

LibraryEditors::LibraryEditors(Library &library) : preset(library), program(library), client(library)
{
    QObject::connect(&client, &ClientEditor::clientSwitched, &program, [this] {
        // A General or Legitimate record is no client's: it stays in its
        // editor, a refused edit of it with its reason.
        if (holdsClientPreset())
            preset.clear();
        if (holdsClientProgram())
            program.close();
    });
}

void LibraryEditors::attach(LibrarySession &session)
{
    preset.setSession(&session);
    program.setSession(&session);
    QObject::connect(&session, &LibrarySession::currentClientRemoved, &client, [this] { client.forgetDeleted(); });
    QObject::connect(&session, &LibrarySession::presetRemoving, &client, [this](quint64 key) {
        if (preset.edits(key))
            preset.clear();
    });
    QObject::connect(&session, &LibrarySession::programRemoving, &program, [this](quint64 key) {
        if (program.edits(key))
            program.close();
    });
    QObject::connect(&session, &LibrarySession::clientOpened, &client, [this] { client.opened(); });
    QObject::connect(&session, &LibrarySession::clientSelectionLeft, &client, [this] { client.load(); });
    QObject::connect(&program, &ProgramEditor::openChanged, &session,
                     [&session](bool open) { session.setProgramOpen(open); });
    client.load();
}
