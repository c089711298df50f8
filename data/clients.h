#pragma once

#include "data/history.h"
#include "data/recordstore.h"

// A person treated by the user. `file` names the client's own files in the
// data folder and never changes, even when the client is renamed.
struct Client
{
    QString name;
    QString notes1;
    QString notes2;
    QString file;
    // Clients are identified by name alone.
    static constexpr int version = 0;

    static Client newRecord();
    static Client fromJson(const QJsonObject &object);
    QJsonObject toJson() const;
    const QString &displayText() const { return name; }

    // 32 lower-case hexadecimal digits of a fresh version 4 UUID.
    static QString newFileIdentifier();
    // Only such identifiers are put into file paths: the field comes from a
    // file and could otherwise name a path outside the data folder, or one
    // of the library's own files.
    static bool isPlainIdentifier(const QString &file);
};

class Clients : public RecordStore<Client>
{
public:
    Clients();

    // The file is folder + "clients.dat"; histories live in the same folder.
    void setFolder(const QString &folder);
    QString folder() const { return m_folder; }

    void insertNew();

    QString name() const { return field(&Client::name); }
    void setName(const QString &name) { setField(&Client::name, name); }
    QString notes1() const { return field(&Client::notes1); }
    void setNotes1(const QString &notes) { setField(&Client::notes1, notes); }
    QString notes2() const { return field(&Client::notes2); }
    void setNotes2(const QString &notes) { setField(&Client::notes2, notes); }
    QString file() const { return field(&Client::file); }

    // Replaces the history with the current client's file. False when there
    // is no current client, or when its identifier is not usable in a path
    // (the history is then emptied, so no other client's entries show).
    bool loadHistory();
    // False when there is no current client, its identifier is not usable,
    // or the file could not be written.
    bool saveHistory();
    // Deletes the ".json" file of the client with this key; true when one
    // was deleted.
    bool removeJsonFile(quint64 key);
    // Points the history at the file of this identifier (as a restore does
    // for each client); false, with a warning, when it is not plain.
    bool setHistoryFile(const QString &file);
    // The notices name the history at `base` + ".dat" by its client.
    static void nameHistory(const QString &base, const QString &clientName);

    History &history() { return m_history; }
    const History &history() const { return m_history; }

private:
    // folder + the current client's identifier, or empty (with a warning)
    // when there is no current client or the identifier is not plain.
    QString currentFileBase() const;
    QString fileBase(const QString &file, const QString &clientName) const;

    History m_history;
    QString m_folder;
};
