#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

class Library;

struct ClientFields
{
    QString name;
    QString address;
    QString notes;
};

// The rules of the client tab, without widgets: which client is open, the
// rule that two clients never share a name, creating and deleting clients,
// and the free notes of the history.
class ClientEditor : public QObject
{
    Q_OBJECT

public:
    static const char *const nameTakenMessage;

    explicit ClientEditor(Library &library, QObject *parent = nullptr);

    // The client at `row` of the client list (as its filter shows it).
    void open(int row);
    void load();
    // The client with this name, as the program starts with it.
    void openNamed(const QString &name);
    void newClient(int row);
    // The open client was deleted from the list: nothing of it stays open.
    void forgetDeleted();
    // Every edit of the name field.
    void nameEdited(const QString &text);
    bool commit(const ClientFields &fields);

    bool isLoaded() const { return m_loaded; }
    bool isNewPending() const { return m_newPending; }
    QString currentName() const { return m_currentName; }
    QString message() const { return m_message; }
    const ClientFields &fields() const { return m_fields; }

    // A free note before the entry at `row` of the history; it is saved at
    // once and is the one the notes dialog then edits.
    void newNote(int row);
    // Picks the entry at `row` for the notes dialog; false when it is not a
    // free note.
    bool editNote(int row);
    // The picked note as it was picked, for the dialog.
    QString noteText() const { return m_noteText; }
    QString noteDate() const { return m_noteDate; }
    int noteColour() const { return m_noteColour; }
    // The dialog's accepted result, written into the picked note; false
    // when that note is no longer in the open history.
    bool takeNoteResult(const QString &text, int colour);

Q_SIGNALS:
    // Another client was opened or made, or the open one deleted: what is
    // edited in its pools must be let go.
    void clientSwitched();
    void captionChanged(const QString &caption);
    // The name under which the open client is now found; empty for none.
    void currentNameChanged(const QString &name);

private:
    bool locateOpen();
    void empty();
    void setCaption(const QString &name);
    void setCurrentName(const QString &name);
    void pickNote();

    Library &m_library;
    // The open client's file identifier: unlike its name it never changes,
    // so the record is found again whatever the list selected meanwhile.
    QString m_openFile;
    QString m_previousFile;
    QString m_currentName;
    QString m_loadedName;
    QString m_typedName;
    bool m_loaded = false;
    bool m_newPending = false;
    bool m_nameTaken = false;
    QString m_message;
    ClientFields m_fields;

    QDateTime m_noteCreated;
    QString m_noteText;
    QString m_noteDate;
    int m_noteColour = 0;
    bool m_notePicked = false;
};
