#pragma once

#include "data/container.h"
#include "data/library.h"
#include "data/textforms.h"

#include "support/testenv.h"

#include <QJsonArray>
#include <QTemporaryDir>

// A library over an empty temporary data folder, filled through the
// stores' own operations.
struct LibraryFixture
{
    QTemporaryDir dir;
    Library library;

    LibraryFixture()
    {
        const QString folder = dir.path() + QStringLiteral("/");
        library.generalPresets().setPath(folder + QStringLiteral("presets.dat"));
        library.legitimatePresets().setPath(folder + QStringLiteral("genpresets.dat"));
        library.programs().setFolder(folder);
        library.clients().setFolder(folder);
    }

    QString folder() const { return dir.path() + QStringLiteral("/"); }

    // A client at the end of the list, opened, with its (empty) history
    // written. Returns its file identifier.
    QString addClient(const QString &name)
    {
        Clients &clients = library.clients();
        clients.setCurrent(clients.count());
        clients.insertNew();
        clients.setName(name);
        clients.saveBase();
        const QString file = clients.file();
        library.openClient(file);
        library.history().saveBase();
        return file;
    }

    void addPreset(int pool, const QString &name, int version, int minutes = 5, const QString &variable = "5000.0")
    {
        Presets &presets = library.presetPool(pool);
        presets.setCurrent(presets.count());
        presets.insertNew();
        presets.setName(name);
        presets.setVersion(version);
        presets.setTime(minutes);
        presets.setVariable(variable);
    }
};

// A client history file name as the library writes them.
inline const QString anaFile = QStringLiteral("00112233445566778899aabbccddeeff");

// Records of these names, version 1, five minutes, as a list file holds them.
inline QJsonArray namedRecords(const QStringList &names)
{
    QJsonArray list;
    for (const QString &name : names)
        list.append(QJsonObject{{"nam", name}, {"ver", "1"}, {"tim", "5"}});
    return list;
}

// The names of the records under `key` in a stored list file.
inline QStringList namesIn(const QString &path, const QString &key, const char *field = "nam")
{
    QStringList names;
    for (const QJsonValue &record : Container::decode(TestEnv::readFile(path)).value(key).toArray())
        names << record.toObject().value(field).toString();
    return names;
}
