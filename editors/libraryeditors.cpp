#include "editors/libraryeditors.h"

#include "data/textforms.h"
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

QList<UnstoredEdit> LibraryEditors::heldEdits() const
{
    QList<UnstoredEdit> edits;
    UnstoredEdit edit;
    if (preset.heldEdit(edit))
        edits.append(edit);
    if (program.heldEdit(edit))
        edits.append(edit);
    if (client.heldEdit(edit))
        edits.append(edit);
    return edits;
}

bool LibraryEditors::holds(UnstoredEdit::Editor editor) const
{
    switch (editor) {
    case UnstoredEdit::Preset: return preset.holdsRefusedEdit();
    case UnstoredEdit::Program: return program.holdsRefusedEdit();
    case UnstoredEdit::Client: return client.holdsRefusedEdit();
    }
    return false;
}

QStringList LibraryEditors::offer(const QList<UnstoredEdit> &edits)
{
    // The client's pools are those of the client the library opens; a new
    // client, offered first, would close it and let go of them.
    QList<UnstoredEdit> ordered;
    for (const UnstoredEdit &edit : edits) {
        if (edit.editor != UnstoredEdit::Client)
            ordered.append(edit);
    }
    for (const UnstoredEdit &edit : edits) {
        if (edit.editor == UnstoredEdit::Client)
            ordered.append(edit);
    }
    QStringList lines;
    bool offered[3] = {};
    for (const UnstoredEdit &edit : std::as_const(ordered)) {
        if (std::exchange(offered[edit.editor], true))
            continue;  // one edit per editor
        QString what;
        bool found = false;
        switch (edit.editor) {
        case UnstoredEdit::Preset:
            found = preset.offer(edit);
            what = QStringLiteral("The preset");
            break;
        case UnstoredEdit::Program:
            found = program.offer(edit);
            what = QStringLiteral("The program");
            break;
        case UnstoredEdit::Client:
            found = client.offer(edit);
            what = QStringLiteral("The client");
            break;
        }
        const QString gone = edit.editor == UnstoredEdit::Client
                                 ? QStringLiteral("that client is not open")
                                 : TextForm::versioned(edit.storedName, edit.storedVersion) + QStringLiteral(" is gone");
        lines << (found ? QStringLiteral("%1 you were editing when the program ended was not stored: %2").arg(what, edit.reason)
                        : QStringLiteral("%1 you were editing when the program ended was not stored, and %2: what you "
                                         "typed is shown as a new one. %3").arg(what, gone, edit.reason));
    }
    return lines;
}
