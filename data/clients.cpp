#include "data/clients.h"

#include "data/ownfiles.h"
#include "data/textforms.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUuid>

Client Client::newRecord()
{
    Client client;
    client.file = newFileIdentifier();
    return client;
}

Client Client::fromJson(const QJsonObject &object)
{
    Client client;
    TextForm::readText(object, "name", client.name);
    TextForm::readText(object, "notes1", client.notes1);
    TextForm::readText(object, "notes2", client.notes2);
    TextForm::readText(object, "file", client.file);
    return client;
}

QJsonObject Client::toJson() const
{
    return {
        {"name", name},
        {"notes1", notes1},
        {"notes2", notes2},
        {"file", file},
    };
}

QString Client::newFileIdentifier()
{
    static const QRegularExpression separators(QStringLiteral("{|}|-"));
    return QUuid::createUuid().toString(QUuid::WithBraces).remove(separators);
}

bool Client::isPlainIdentifier(const QString &file)
{
    return OwnFiles::isHistoryIdentifier(file);
}

Clients::Clients() : RecordStore<Client>(QStringLiteral("clients"), QStringLiteral("clients")) {}

void Clients::setFolder(const QString &folder)
{
    m_folder = folder;
    setPath(folder + OwnFiles::clients);
}

void Clients::insertNew()
{
    insertRecord(Client::newRecord());
}

QString Clients::currentFileBase() const
{
    const Client *client = currentRecord();
    return client ? fileBase(client->file, client->name) : QString();
}

QString Clients::fileBase(const QString &file, const QString &clientName) const
{
    if (!Client::isPlainIdentifier(file)) {
        qWarning().noquote() << "Client" << clientName
                             << "has an unusable file identifier; its history is not used";
        return QString();
    }
    if (!clientName.isEmpty())
        nameHistory(m_folder + file, clientName);
    return m_folder + file;
}

void Clients::nameHistory(const QString &base, const QString &clientName)
{
    const QString path = base + QStringLiteral(".dat");
    Container::nameFile(path, QStringLiteral("the history of \"%1\" (%2)").arg(clientName, QFileInfo(path).fileName()));
}

bool Clients::setHistoryFile(const QString &file)
{
    const QString base = fileBase(file, QString());
    if (base.isEmpty())
        return false;
    m_history.setPath(base + QStringLiteral(".dat"));
    return true;
}

bool Clients::loadHistory()
{
    if (!hasCurrent())
        return false;
    const QString base = currentFileBase();
    if (base.isEmpty()) {
        m_history.clear();
        return false;
    }
    m_history.setPath(base + QStringLiteral(".dat"));
    m_history.readBase();
    return true;
}

bool Clients::saveHistory()
{
    const QString base = currentFileBase();
    if (base.isEmpty())
        return false;
    m_history.setPath(base + QStringLiteral(".dat"));
    return m_history.saveBase();
}

bool Clients::removeJsonFile(quint64 key)
{
    const Client *client = record(key);
    const QString base = client ? fileBase(client->file, client->name) : QString();
    return !base.isEmpty() && QFile::remove(base + QStringLiteral(".json"));
}
