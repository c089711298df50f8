#include "editors/libraryeditors.h"

#include "editors/librarysession.h"

LibraryEditors::LibraryEditors(Library &library) : preset(library), program(library), client(library)
{
    QObject::connect(&client, &ClientEditor::clientSwitched, &program, [this] {
        preset.clear();
        program.close();
    });
}

void LibraryEditors::attach(LibrarySession &session)
{
    QObject::connect(&session, &LibrarySession::currentClientRemoved, &client, [this] { client.forgetDeleted(); });
    QObject::connect(&session, &LibrarySession::presetRemoving, &client,
                     [this](int pool, const QString &name, int version) {
                         if (preset.isLoaded() && pool == preset.pool() && name == preset.savedName()
                             && version == preset.savedVersion())
                             preset.clear();
                     });
    QObject::connect(&session, &LibrarySession::programRemoving, &program,
                     [this](bool general, const QString &name, int version) {
                         if (program.isLoaded() && general == program.isGeneral() && name == program.savedName()
                             && version == program.savedVersion())
                             program.close();
                     });
    QObject::connect(&session, &LibrarySession::clientOpened, &client, [this] { client.opened(); });
    QObject::connect(&session, &LibrarySession::clientSelectionLeft, &client, [this] { client.load(); });
    QObject::connect(&program, &ProgramEditor::openChanged, &session,
                     [&session](bool open) { session.setProgramOpen(open); });
    client.load();
}
