#include "ui/librarywiring.h"

#include "data/container.h"
#include "data/library.h"
#include "data/writebeside.h"
#include "ui/clientfieldspanel.h"
#include "editors/clienthistory.h"
#include "ui/clientselectiontab.h"
#include "ui/clienttab.h"
#include "ui/dialognotes.h"
#include "editors/libraryeditors.h"
#include "editors/librarysession.h"
#include "ui/presetselectiontab.h"
#include "ui/programselectiontab.h"
#include "ui/stopkeys.h"
#include "work/deviceslots.h"
#include "work/sendtowork.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>

LibraryWiring::LibraryWiring(LibraryEditors &editors, LibrarySession &session, DeviceSlots &devices,
                             const Tabs &tabs, DialogNotes *notesDialog, QObject *parent)
    : QObject(parent), m_editors(editors), m_session(session), m_devices(devices), m_tabs(tabs),
      m_notesDialog(notesDialog)
{
    connectClient();
    connectPresets();
    connectPrograms();
    m_discardQuestion = [this](const QString &text) {
        // Asked in the middle of opening or leaving an editor, so it holds
        // the window; the stop keys still answer.
        return QMessageBox::question(qobject_cast<QWidget *>(this->parent()), tr("TavikStudio"),
                                     StopKeys::duringRun(text, m_devices),
                                     QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Cancel)
            == QMessageBox::Discard;
    };
}

bool LibraryWiring::mayLetGo(const RecordEditorBase &editor, const QString &what, int tab)
{
    return mayLetGo(editor.holdsRefusedEdit(), editor.message(), what, tab);
}

bool LibraryWiring::mayLetGo(bool holds, const QString &message, const QString &what, int tab)
{
    if (!holds)
        return true;
    // The editor's message is the reason; its lead-in would say again what
    // the question says.
    static const QRegularExpression leadIn(QStringLiteral("^Will not be saved[:,]\\s*"));
    QString reason = QString(message).remove(leadIn);
    if (!reason.isEmpty())
        reason[0] = reason.at(0).toUpper();
    if (m_discardQuestion(tr("%1 you edited holds changes that are kept only in its editor:\n%2\n\nDiscard your changes?")
                              .arg(what, reason)))
        return true;
    Q_EMIT showTabRequested(tab);
    return false;
}

bool LibraryWiring::mayDiscardRefused(bool clientSwitch)
{
    // Another client lets go only of what the editors hold of the open
    // client's pools: only that is asked about.
    const bool preset = !clientSwitch || m_editors.holdsClientPreset();
    const bool program = !clientSwitch || m_editors.holdsClientProgram();
    const ClientEditor &client = m_editors.client;
    return (!preset || mayLetGo(m_editors.preset, tr("The preset"), m_tabs.presetIndex))
        && (!program || mayLetGo(m_editors.program, tr("The program"), m_tabs.programIndex))
        && mayLetGo(client.holdsRefusedEdit(), client.message(), tr("The client"), m_tabs.clientIndex)
        && (clientSwitch || mayLetGoOfClients());
}

bool LibraryWiring::mayDelete(LibrarySession::List list, quint64 key)
{
    switch (list) {
    case LibrarySession::PresetList:
        return !m_editors.preset.edits(key) || mayLetGo(m_editors.preset, tr("The preset"), m_tabs.presetIndex);
    case LibrarySession::ProgramList:
        return !m_editors.program.edits(key) || mayLetGo(m_editors.program, tr("The program"), m_tabs.programIndex);
    case LibrarySession::ClientList: {
        // The open client takes with it what the editors hold of it.
        Library &library = m_session.library();
        const Client *client = library.clients().record(key);
        return !client || client->file != library.openClientFile() || mayDiscardRefused(true);
    }
    default: return true;
    }
}

bool LibraryWiring::mayLetGoOfClients()
{
    // A client added or changed while its file refused the save (one that
    // cannot be read is never written over) is kept only here.
    const Clients &clients = m_session.library().clients();
    // A write still going beside the window has not told yet whether it failed.
    WriteBeside::waitFor(clients.path());
    if (!clients.changedSinceFile() || clients.saveBase())
        return true;
    const QString why = Container::failureOf(clients.path());
    const QString file = QFileInfo(clients.path()).fileName();
    return m_discardQuestion(tr("The clients you added or changed could not be saved: %1\n\nDiscard your changes?")
                                 .arg(why.isEmpty() ? tr("%1 could not be written").arg(file)
                                                    : tr("%1 could not be written (%2)").arg(file, why)));
}

void LibraryWiring::connectClient()
{
    // The client's own fields sit above its history; leaving the tab commits them.
    m_clientFields = new ClientFieldsPanel(m_editors.client, m_tabs.client);
    m_tabs.client->addFields(m_clientFields);
    m_tabs.client->setCommit([this] {
        m_clientFields->commit();
        // The typed name stays in the editor; the operator, now on another
        // tab, is told that nothing of it was stored.
        if (m_editors.client.holdsRefusedEdit())
            Q_EMIT noticeRequested(tr(" Client: %1").arg(m_editors.client.message()));
    });
    connect(&m_editors.client, &ClientEditor::clientSwitched, m_clientFields, &ClientFieldsPanel::fill);
    connect(&m_editors.client, &ClientEditor::editOffered, m_clientFields, &ClientFieldsPanel::fill);
    connect(&m_session, &LibrarySession::clientSelectionLeft, m_clientFields, &ClientFieldsPanel::fill);
    // Another client lets go of what the editors hold in the pools of the one open.
    m_session.setClientSwitchGuard([this] { return mayDiscardRefused(true); });
    m_session.setDeleteGuard([this](LibrarySession::List list, quint64 key) { return mayDelete(list, key); });
    connect(m_tabs.clientSelection, &ClientSelectionTab::clientNewRequested, this, [this](quint64 key) {
        if (!mayDiscardRefused(true))
            return;
        m_editors.client.newClient(key);
        Q_EMIT showTabRequested(m_tabs.clientIndex);
        m_clientFields->focusName();
    });
    connect(m_tabs.client, &ClientTab::historyNewRequested, this, [this](quint64 key) {
        const bool typedNew = m_editors.client.isNewPending();
        if (!m_clientFields->storeNewForNote()) {
            const QString refused = m_editors.client.message();
            Q_EMIT noticeRequested(!typedNew            ? tr(" Open a client first")
                                   : refused.isEmpty() ? tr(" Type the client's name first: the note goes into its history")
                                                       : tr(" Client: %1").arg(refused));
            return;
        }
        // A note accepted since the last tick goes where it was opened
        // for before the dialog is filled for another.
        takeNote();
        m_editors.client.newNote(key);
        openNoteDialog();
    });
    connect(m_tabs.client, &ClientTab::historyEditRequested, this, [this](quint64 key) {
        takeNote();
        if (m_editors.client.editNote(key))
            openNoteDialog();
    });
    connect(m_tabs.client, &ClientTab::historyRenewRequested, this, [this](quint64 key) {
        const QString notice = ClientHistory::renew(m_session.library(), m_devices, key);
        if (!notice.isEmpty())
            Q_EMIT noticeRequested(notice);
        Q_EMIT workListChanged();
    });
}

void LibraryWiring::connectPresets()
{
    connect(m_tabs.presetSelection, &PresetSelectionTab::presetNewRequested, this, [this](int pool, quint64 key) {
        // A client's preset can be stored only in the history of an open client.
        if (pool == PresetPool::Client && !m_session.clientOpen()) {
            Q_EMIT noticeRequested(tr(" Open a client first"));
            return;
        }
        if (!mayLetGo(m_editors.preset, tr("The preset"), m_tabs.presetIndex))
            return;
        m_editors.preset.newPreset(pool, key);
        Q_EMIT showTabRequested(m_tabs.presetIndex);
    });
    connect(m_tabs.presetSelection, &PresetSelectionTab::presetOpenRequested, this, [this](int pool, quint64 key) {
        if (!mayLetGo(m_editors.preset, tr("The preset"), m_tabs.presetIndex))
            return;
        if (m_editors.preset.open(pool, key))
            Q_EMIT showTabRequested(m_tabs.presetIndex);
    });
    connect(m_tabs.presetSelection, &PresetSelectionTab::presetAddToProgramRequested, this, [this](int pool, quint64 key) {
        const Preset *preset = m_session.library().presetPool(pool).record(key);
        if (!preset)
            return;
        Q_EMIT noticeRequested(
            m_editors.program.addResultText(m_editors.program.addPreset(pool, preset->name, preset->version)));
    });
}

void LibraryWiring::connectPrograms()
{
    connect(m_tabs.programSelection, &ProgramSelectionTab::programNewRequested, this, [this](bool general, quint64 key) {
        if (!general && !m_session.clientOpen()) {
            Q_EMIT noticeRequested(tr(" Open a client first"));
            return;
        }
        if (!mayLetGo(m_editors.program, tr("The program"), m_tabs.programIndex))
            return;
        m_editors.program.newProgram(general, key);
        Q_EMIT showTabRequested(m_tabs.programIndex);
    });
    connect(m_tabs.programSelection, &ProgramSelectionTab::programOpenRequested, this, [this](bool general, quint64 key) {
        if (!mayLetGo(m_editors.program, tr("The program"), m_tabs.programIndex))
            return;
        if (m_editors.program.open(general, key))
            Q_EMIT showTabRequested(m_tabs.programIndex);
    });
    connect(m_tabs.programSelection, &ProgramSelectionTab::programToWorkRequested, this, [this](bool general, quint64 key) {
        Library &library = m_session.library();
        const Programs &programs = general ? library.programs() : library.history().programs();
        const Program *program = programs.record(key);
        if (!program)
            return;
        const SendToWork::Outcome outcome = SendToWork::program(library, m_devices, *program, general);
        if (outcome != SendToWork::Sent) {
            Q_EMIT noticeRequested(SendToWork::notice(outcome));
            return;
        }
        Q_EMIT workListChanged();
        Q_EMIT showTabRequested(m_tabs.workIndex);
    });
}

void LibraryWiring::openNoteDialog()
{
    const ClientEditor &client = m_editors.client;
    m_notesDialog->setData(client.noteText(), client.noteDate(), client.noteColour());
    m_notesDialog->show();
}

void LibraryWiring::takeNote()
{
    if (!m_notesDialog->takeAccepted())
        return;
    // Written into the note the dialog was opened for, wherever it is now.
    m_editors.client.takeNoteResult(m_notesDialog->text(), m_notesDialog->colour());
}
