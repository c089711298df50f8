#include "editors/clienteditor.h"

#include "data/library.h"
#include "data/textforms.h"
#include "data/unstorededits.h"
#include "editors/clienthistory.h"

#include <algorithm>
#include <utility>

const char *const ClientEditor::nameTakenMessage = "Will not be saved, client exist, please change name";
const char *const ClientEditor::nameEmptyMessage = "Will not be saved, a client needs a name";

ClientEditor::ClientEditor(Library &library, QObject *parent) : QObject(parent), m_library(library) {}

void ClientEditor::setCaption(const QString &name)
{
    Q_EMIT captionChanged(name.isEmpty() ? QStringLiteral("Client") : QStringLiteral("Client\n") + name);
}

void ClientEditor::empty()
{
    m_fields = ClientFields();
    m_message.clear();
    m_typedName.clear();
    m_loadedName.clear();
    m_loaded = false;
    m_refusedEdit = false;
    m_noteKey = 0;
    m_newNoteFile.clear();
    setCaption(QString());
}

QString ClientEditor::refusal(const QString &name) const
{
    if (name.isEmpty())
        // A new client without a name is simply not made.
        return m_newPending ? QString() : QLatin1String(nameEmptyMessage);
    // Its own stored name stays acceptable, even where an older file gave
    // another client the same one.
    if (!m_newPending && name == m_loadedName)
        return QString();
    const QString own = m_newPending ? QString() : m_library.openClientFile();
    for (const Client &client : m_library.clients().records()) {
        if (client.name == name && (own.isEmpty() || client.file != own))
            return QLatin1String(nameTakenMessage);
    }
    return QString();
}

void ClientEditor::load()
{
    if (m_newPending)
        return;
    const Client *client = m_library.clients().record(m_library.openClientKey());
    if (!client) {
        empty();
        return;
    }
    // A refused edit of the client still open stays with its message.
    if (m_loaded && !m_message.isEmpty() && m_shownFile == m_library.openClientFile())
        return;
    m_loadedName = client->name;
    m_fields = {client->name, client->notes1, client->notes2};
    m_typedName = m_fields.name;
    m_message.clear();
    m_noteKey = 0;
    m_loaded = true;
    m_refusedEdit = false;
    m_shownFile = m_library.openClientFile();
    setCaption(m_loadedName);
}

void ClientEditor::opened()
{
    // Opened from the list: a refused edit was let go by the operator.
    m_newPending = false;
    m_message.clear();
    load();
    Q_EMIT clientSwitched();
}

namespace {

// Where a new record goes: before the one with this key, else before the
// first one its list shows (at the end when it shows none).
template <typename Store>
int placeBefore(Store &store, quint64 before)
{
    const int at = store.indexOfKey(before);
    if (at >= 0)
        return at;
    const QList<int> shown = store.shownRows();
    return shown.isEmpty() ? store.count() : shown.first();
}

} // namespace

void ClientEditor::newClient(quint64 before)
{
    m_newIndex = placeBefore(m_library.clients(), before);
    if (!m_newPending)
        m_previousFile = m_library.openClientFile();
    m_library.closeClient();
    empty();
    m_newPending = true;
    m_loaded = true;
    Q_EMIT clientSwitched();
}

void ClientEditor::forgetDeleted()
{
    m_newPending = false;
    empty();
    Q_EMIT clientSwitched();
}

void ClientEditor::nameEdited(const QString &text)
{
    if (text == m_typedName)
        return;
    m_typedName = text;
    // The caption waits for the commit: it names the client stored, never
    // a name on its way to one refused.
    m_message = refusal(text);
}

bool ClientEditor::commit(const ClientFields &fields)
{
    if (!m_loaded)
        return false;
    // Judged anew: the client that had this name may be gone since it was typed.
    m_typedName = fields.name;
    m_message = refusal(fields.name);
    Clients &clients = m_library.clients();
    if (m_newPending) {
        if (fields.name.isEmpty()) {
            // Left without a name: the client that was open before comes back.
            m_newPending = false;
            m_library.openClient(m_previousFile);
            load();
            Q_EMIT clientSwitched();
            return false;
        }
        if (!m_message.isEmpty()) {
            m_fields = fields;
            m_refusedEdit = true;
            return false;
        }
        Client client = Client::newRecord();
        client.name = fields.name;
        client.notes1 = fields.address;
        client.notes2 = fields.notes;
        clients.insert(m_newIndex, client);
        const QString file = client.file;
        const bool clientsSaved = clients.saveIfChanged();
        m_newPending = false;
        m_library.openClient(file);
        load();
        // Its history file is made now that it has a name.
        return m_library.saveHistory() && clientsSaved;
    }
    const quint64 openKey = m_library.openClientKey();
    if (openKey == 0)
        return false;
    if (!m_message.isEmpty()) {
        // Nothing of the client's own fields is written under a refused
        // name: they stay in the editor with the message. Its history is
        // the client's whatever its name, and is stored as shown.
        m_fields = fields;
        m_refusedEdit = true;
        m_library.saveHistory();
        setCaption(m_loadedName);
        return false;
    }
    const bool historySaved = m_library.saveHistory();
    m_refusedEdit = false;
    // A visit that changed nothing writes nothing: the list of many
    // clients takes its time to write.
    const Client &stored = *clients.record(openKey);
    if (stored.name != fields.name || stored.notes1 != fields.address || stored.notes2 != fields.notes) {
        clients.change(openKey, [&fields](Client &client) {
            client.name = fields.name;
            client.notes1 = fields.address;
            client.notes2 = fields.notes;
        });
    }
    m_loadedName = fields.name;
    m_fields = fields;
    setCaption(m_loadedName);
    return clients.saveIfChanged() && historySaved;
}

bool ClientEditor::storeNewForNote(const ClientFields &fields)
{
    // Without a name the commit would drop the new client and reopen the
    // one before it, whose history would then get the note.
    if (m_newPending && !fields.name.isEmpty())
        commit(fields);
    return !m_newPending && m_library.hasOpenClient();
}

void ClientEditor::pickNote(const Note &note, quint64 key)
{
    m_noteKey = key;
    m_noteText = note.text;
    m_noteDate = TextForm::fromDateTime(note.created);
    // The stored value is kept as read; only 0 to 6 name a colour.
    m_noteColour = note.colour >= 0 && note.colour <= 6 ? note.colour : 0;
}

void ClientEditor::newNote(quint64 before)
{
    if (!m_library.hasOpenClient())
        return;
    // Stored only when the dialog is accepted: Cancel leaves no empty note.
    Notes &notes = m_library.history().notes();
    m_newNoteBefore = notes.keyAt(placeBefore(notes, before));
    m_newNoteFile = m_library.history().path();
    m_noteKey = 0;
    const Note note = Note::newRecord(LineType::Notes);
    m_noteText = note.text;
    m_noteDate = TextForm::fromDateTime(note.created);
    m_noteColour = note.colour;
}

bool ClientEditor::editNote(quint64 key)
{
    m_newNoteFile.clear();
    const Note *note = m_library.history().notes().record(key);
    if (!note || note->type != LineType::Notes) {
        m_noteKey = 0;
        return false;
    }
    pickNote(*note, key);
    return true;
}

bool ClientEditor::takeNoteResult(const QString &text, int colour)
{
    // A note of blanks says nothing: a new one is not made, an old one
    // keeps its text.
    if (text.trimmed().isEmpty()) {
        m_newNoteFile.clear();
        return false;
    }
    // The dialog does not block: the history may have been searched, moved
    // or replaced since the note was picked, so the note is found by its key.
    Notes &notes = m_library.history().notes();
    if (!m_newNoteFile.isEmpty()) {
        // Into the history of the client it was made for, even when that
        // client is no longer the open one.
        if (m_newNoteFile != m_library.history().path()) {
            const QString path = std::exchange(m_newNoteFile, QString());
            return ClientHistory::addNote(m_library, path, text, colour);
        }
        const int before = notes.indexOfKey(m_newNoteBefore);
        qDebug().noquote() << "create record typ:" << LineType::Notes;
        m_noteKey = notes.insert(before < 0 ? 0 : before, Note::newRecord(LineType::Notes));
        m_newNoteFile.clear();
    }
    const bool found = notes.change(m_noteKey, [&](Note &note) {
        note.text = text;
        note.colour = colour;
    });
    if (!found) {
        m_noteKey = 0;
        return false;
    }
    m_noteText = text;
    m_noteColour = colour;
    return m_library.saveHistory();
}

bool ClientEditor::heldEdit(UnstoredEdit &edit) const
{
    if (!holdsRefusedEdit())
        return false;
    edit = UnstoredEdit();
    edit.editor = UnstoredEdit::Client;
    edit.isNew = m_newPending;
    if (!m_newPending)
        edit.client = m_shownFile;
    edit.reason = m_message;
    edit.name = m_fields.name;
    edit.address = m_fields.address;
    edit.notes = m_fields.notes;
    return true;
}

bool ClientEditor::offer(const UnstoredEdit &edit)
{
    const bool found = !edit.isNew && !edit.client.isEmpty() && edit.client == m_library.openClientFile();
    if (found) {
        load();
    } else {
        m_newPending = false;
        newClient(0);
    }
    m_fields = {edit.name, edit.address, edit.notes};
    m_typedName = edit.name;
    m_message = edit.reason;
    m_refusedEdit = true;
    m_loaded = true;
    Q_EMIT editOffered();
    return found || edit.isNew;
}
