#pragma once

#include "editors/librarysession.h"

#include <QObject>
#include <QString>

#include <functional>

class ClientFieldsPanel;
class ClientSelectionTab;
class ClientTab;
class DeviceSlots;
class DialogNotes;
class LibraryEditors;
class PresetSelectionTab;
class ProgramSelectionTab;
class RecordEditorBase;

// Connects the library tabs' New/Open/Add/To-work requests and the client
// history's buttons to the editors, and the notes dialog to the open note.
// Tabs stay unaware of each other: whatever must change tab, tell the user or
// refill the work list leaves here as a signal for the window to route.
class LibraryWiring : public QObject
{
    Q_OBJECT
public:
    struct Tabs {
        ClientSelectionTab *clientSelection = nullptr;
        ClientTab *client = nullptr;
        ProgramSelectionTab *programSelection = nullptr;
        PresetSelectionTab *presetSelection = nullptr;
        // Where the window shows each editor and the work list.
        int clientIndex = -1;
        int presetIndex = -1;
        int programIndex = -1;
        int workIndex = -1;
    };

    LibraryWiring(LibraryEditors &editors, LibrarySession &session, DeviceSlots &devices, const Tabs &tabs,
                  DialogNotes *notesDialog, QObject *parent = nullptr);

    // The notes dialog is not modal: an accepted note is stored on the tick after OK.
    void takeNote();

    // Asked before an edit an editor refused is let go; true lets it go. A
    // question box by default; tests answer it themselves.
    void setDiscardQuestion(std::function<bool(const QString &)> question) { m_discardQuestion = std::move(question); }
    // True when no editor holds a refused edit or the operator lets them
    // go; otherwise the editor is shown and the answer is false. Before
    // another client, only the editors of the open client's pools count;
    // otherwise also clients whose file refused them.
    bool mayDiscardRefused(bool clientSwitch = false);

Q_SIGNALS:
    void showTabRequested(int index);
    void noticeRequested(const QString &text);
    void workListChanged();

private:
    void connectClient();
    void connectPresets();
    void connectPrograms();
    void openNoteDialog();
    bool mayLetGo(const RecordEditorBase &editor, const QString &what, int tab);
    bool mayLetGo(bool holds, const QString &message, const QString &what, int tab);
    bool mayLetGoOfClients();
    bool mayDelete(LibrarySession::List list, quint64 key);

    LibraryEditors &m_editors;
    LibrarySession &m_session;
    DeviceSlots &m_devices;
    Tabs m_tabs;
    DialogNotes *m_notesDialog = nullptr;
    ClientFieldsPanel *m_clientFields = nullptr;
    std::function<bool(const QString &)> m_discardQuestion;
};
