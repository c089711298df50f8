#include "ui/clienteditor.h"

#include "data/library.h"
#include "ui/clienthistory.h"

const char *const ClientEditor::nameTakenMessage = "Will not be saved, client exist, please change name";

ClientEditor::ClientEditor(Library &library, QObject *parent) : QObject(parent), m_library(library) {}

void ClientEditor::setCaption(const QString &name)
{
    Q_EMIT captionChanged(QStringLiteral("Client\n") + name);
}

bool ClientEditor::locateOpen()
{
    Clients &clients = m_library.clients();
    if (m_openFile.isEmpty())
        return false;
    const QList<Client> &records = clients.records();
    for (int i = 0; i < records.size(); ++i) {
        if (records.at(i).file == m_openFile) {
            clients.setCurrent(i);
            return true;
        }
    }
    return false;
}

void ClientEditor::empty()
{
    m_fields = ClientFields();
    m_message.clear();
    m_typedName.clear();
    m_loaded = false;
    m_notePicked = false;
}

void ClientEditor::setCurrentName(const QString &name)
{
    m_currentName = name;
    Q_EMIT currentNameChanged(name);
}

void ClientEditor::open(int row)
{
    Clients &clients = m_library.clients();
    clients.select(row);
    if (!clients.hasCurrent())
        return;
    m_openFile = clients.file();
    m_newPending = false;
    load();
    Q_EMIT clientSwitched();
}

void ClientEditor::openNamed(const QString &name)
{
    if (name.isEmpty())
        return;
    for (const Client &client : m_library.clients().records()) {
        if (client.name == name) {
            m_openFile = client.file;
            m_newPending = false;
            load();
            return;
        }
    }
}

void ClientEditor::load()
{
    Clients &clients = m_library.clients();
    if (clients.count() == 0)
        return;
    m_nameTaken = false;
    if (!m_newPending) {
        if (m_openFile.isEmpty() || !locateOpen()) {
            clients.first();
            m_openFile.clear();
            setCurrentName(QString());
            empty();
            return;
        }
        clients.loadHistory();
    } else if (!locateOpen()) {
        return;
    }
    m_loadedName = clients.name();
    setCurrentName(m_loadedName);
    setCaption(m_currentName);
    m_fields.name = clients.name();
    m_fields.address = clients.notes1();
    m_fields.notes = clients.notes2();
    m_typedName = m_fields.name;
    m_message.clear();
    m_notePicked = false;
    m_loaded = true;
}

void ClientEditor::nameEdited(const QString &text)
{
    if (text == m_typedName)
        return;
    m_typedName = text;
    bool taken = false;
    if (text != m_loadedName) {
        const QList<Client> &records = m_library.clients().records();
        for (const Client &client : records) {
            if (client.name == text && client.file != m_openFile) {
                taken = true;
                break;
            }
        }
    }
    if (taken) {
        m_message = QLatin1String(nameTakenMessage);
        m_nameTaken = true;
        return;
    }
    m_message.clear();
    setCurrentName(text);
    setCaption(text);
    m_nameTaken = false;
}

bool ClientEditor::commit(const ClientFields &fields)
{
    Clients &clients = m_library.clients();
    if (clients.count() == 0 || !m_loaded)
        return false;
    nameEdited(fields.name);
    if (!locateOpen())
        return false;

    if (m_newPending && m_currentName.isEmpty()) {
        clients.removeJsonFile();
        clients.removeCurrent();
        clients.saveBase();
        empty();
        m_newPending = false;
        m_openFile = m_previousFile;
        if (!locateOpen())
            m_openFile.clear();
        load();
        return false;
    }
    m_newPending = false;
    if (m_nameTaken) {
        // Edits made under a name that another client has are dropped.
        clients.loadHistory();
        m_fields.name = m_loadedName;
        m_typedName = m_loadedName;
        setCurrentName(m_loadedName);
        setCaption(m_loadedName);
        return false;
    }
    // A new client's history gets its file here, under the located client.
    const bool historySaved = m_library.history().path().isEmpty() ? clients.saveHistory()
                                                                   : ClientHistory::save(m_library);
    setCurrentName(fields.name);
    setCaption(m_currentName);
    clients.setName(fields.name);
    clients.setNotes1(fields.address);
    clients.setNotes2(fields.notes);
    m_loadedName = fields.name;
    m_fields = fields;
    return clients.saveBase() && historySaved;
}

void ClientEditor::newClient(int row)
{
    Clients &clients = m_library.clients();
    clients.select(row);
    m_previousFile = m_openFile;
    clients.insertNew();
    m_openFile = clients.file();
    setCurrentName(QString());
    // The new client's history is empty and belongs to no file until its
    // first commit.
    m_library.history().clear();
    m_newPending = true;
    load();
    Q_EMIT clientSwitched();
}

void ClientEditor::forgetDeleted()
{
    m_openFile.clear();
    setCurrentName(QString());
    m_newPending = false;
    empty();
    setCaption(QString());
}

void ClientEditor::pickNote()
{
    const History &history = m_library.history();
    const Note *note = history.currentRecord();
    m_notePicked = note != nullptr;
    if (!note)
        return;
    m_noteCreated = note->created;
    m_noteText = note->text;
    m_noteDate = history.createdText();
    m_noteColour = history.colour();
}

void ClientEditor::newNote(int row)
{
    History &history = m_library.history();
    if (history.count() > 0)
        history.select(row);
    else
        history.setCurrent(0);
    history.insertNote(Note::Notes);
    pickNote();
    ClientHistory::save(m_library);
}

bool ClientEditor::editNote(int row)
{
    History &history = m_library.history();
    history.select(row);
    if (history.type() != Note::Notes) {
        m_notePicked = false;
        return false;
    }
    pickNote();
    return true;
}

bool ClientEditor::takeNoteResult(const QString &text, int colour)
{
    if (!m_notePicked)
        return false;
    // The dialog does not block: the history may have been searched,
    // moved or replaced since the note was picked.
    History &history = m_library.history();
    const QList<Note> &notes = history.records();
    for (int i = 0; i < notes.size(); ++i) {
        const Note &note = notes.at(i);
        if (note.type == Note::Notes && note.created == m_noteCreated && note.text == m_noteText) {
            history.setCurrent(i);
            history.setText(text);
            history.setColour(colour);
            m_noteText = text;
            m_noteColour = colour;
            return ClientHistory::save(m_library);
        }
    }
    m_notePicked = false;
    return false;
}
