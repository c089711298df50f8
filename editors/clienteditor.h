#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

class Library;
struct Note;
struct UnstoredEdit;

struct ClientFields
{
    QString name;
    QString address;
    QString notes;
};

// The rules of the client tab, without widgets: the name rule (a client
// always has a name no other client has), creating and deleting clients,
// and the free notes of the history. Which client is open is the library's
// to say; this editor shows that client, or a new one not yet stored.
class ClientEditor : public QObject
{
    Q_OBJECT

public:
    static const char *const nameTakenMessage;
    static const char *const nameEmptyMessage;

    explicit ClientEditor(Library &library, QObject *parent = nullptr);

    // Shows the library's open client (or nothing); a new client not yet
    // stored stays shown.
    void load();
    // Another client was opened: a new one not yet stored is dropped.
    void opened();
    // A new client before the one with key `before` (the first when none).
    // It is stored
    // at its first commit with an acceptable name; until then no client is
    // open, so nothing can be written into a history for it.
    void newClient(quint64 before);
    // The open client was deleted from the list: nothing of it stays open.
    void forgetDeleted();
    // Every edit of the name field.
    void nameEdited(const QString &text);
    // Writes the fields into the client. A refused name writes nothing: the
    // stored name stays and what was typed stays in the editor.
    bool commit(const ClientFields &fields);

    bool isLoaded() const { return m_loaded; }
    bool isNewPending() const { return m_newPending; }
    QString message() const { return m_message; }
    const ClientFields &fields() const { return m_fields; }
    // The last commit refused what the editor shows; it stays until stored
    // or discarded.
    bool holdsRefusedEdit() const { return m_loaded && m_refusedEdit; }
    // The refused edit held, as unstored.dat keeps it; false when none.
    bool heldEdit(UnstoredEdit &edit) const;
    // Shows an edit kept in unstored.dat as the refused edit it was, of the
    // open client it names, or as a new client when that one is not open
    // (then false).
    bool offer(const UnstoredEdit &edit);

    // Before a note is made for a new client not yet stored: the client is
    // stored first, when its name may be, so that its history can take the
    // note. False when no client is open after it: no name typed yet (the
    // new client stays as it is), or a name refused (message() says why).
    bool storeNewForNote(const ClientFields &fields);
    // A free note for the notes dialog, to go before the history entry with
    // key `before` (the first when none); stored when the dialog is accepted.
    void newNote(quint64 before);
    // Picks the history entry with `key` for the notes dialog; false when it
    // is gone or is not a free note.
    bool editNote(quint64 key);
    // The picked note as it was picked, for the dialog.
    QString noteText() const { return m_noteText; }
    QString noteDate() const { return m_noteDate; }
    int noteColour() const { return m_noteColour; }
    // The dialog's accepted result, written into the picked note; false
    // when that note is no longer in the open history, and for a text of
    // blanks, which is never stored.
    bool takeNoteResult(const QString &text, int colour);

Q_SIGNALS:
    // Another client was opened or made, or the open one deleted: what is
    // edited in its pools must be let go.
    void clientSwitched();
    void captionChanged(const QString &caption);
    // An edit kept from the last run is shown: the fields follow it.
    void editOffered();

private:
    // Why `name` cannot be the shown client's name; empty when it can.
    QString refusal(const QString &name) const;
    void empty();
    void setCaption(const QString &name);
    void pickNote(const Note &note, quint64 key);

    Library &m_library;
    bool m_loaded = false;
    bool m_newPending = false;
    // Where the new client goes in the clients, and whom to reopen when it
    // is dropped.
    int m_newIndex = 0;
    QString m_previousFile;
    QString m_loadedName;
    // The file of the client the fields show.
    QString m_shownFile;
    QString m_typedName;
    QString m_message;
    ClientFields m_fields;
    bool m_refusedEdit = false;

    quint64 m_noteKey = 0;
    // A new note waiting for the dialog: where it goes, and whose it is.
    quint64 m_newNoteBefore = 0;
    QString m_newNoteFile;
    QString m_noteText;
    QString m_noteDate;
    int m_noteColour = 0;
};
