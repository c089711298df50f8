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
    // The key of the record at `index`, as a list hands it to an editor.
    quint64 presetKey(int pool, int index) { return library.presetPool(pool).keyAt(index); }
    quint64 programKey(bool general, int index)
    {
        return (general ? library.programs() : library.history().programs()).keyAt(index);
    }

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

// Client history file names as the library writes them.
inline const QString anaFile = QStringLiteral("00112233445566778899aabbccddeeff");
inline const QString boFile = QStringLiteral("ffeeddccbbaa99887766554433221100");

// Records of these names, version 1, five minutes, as a list file holds them.
inline QJsonArray namedRecords(const QStringList &names)
{
    QJsonArray list;
    for (const QString &name : names)
        list.append(QJsonObject{{"nam", name}, {"ver", "1"}, {"tim", "5"}});
    return list;
}

// A library folder written by another installation: two records in each
// pool, the first program with one line (G1), and the clients Ana and Bo;
// Ana's history holds the note "hello", presets C1 and C2 and programs CP1
// and CP2.
inline bool writeLibraryFolder(const QString &folder)
{
    const auto write = [&folder](const QString &name, const QJsonObject &object) {
        return TestEnv::writeFile(folder + name, Container::encode(object));
    };
    QJsonArray programs = namedRecords({"P1", "P2"});
    QJsonObject first = programs.at(0).toObject();
    first.insert("program", namedRecords({"G1"}));
    programs.replace(0, first);
    return write("presets.dat", {{"version", "1"}, {"presets", namedRecords({"G1", "G2"})}})
           && write("genpresets.dat", {{"version", "1"}, {"presets", namedRecords({"L1", "L2"})}})
           && write("programs.dat", {{"version", "1"}, {"programs", programs}})
           && write("clients.dat", {{"version", "1"}, {"clients", QJsonArray{
                                        QJsonObject{{"name", "Ana"}, {"file", anaFile}},
                                        QJsonObject{{"name", "Bo"}, {"file", boFile}}}}})
           && write(anaFile + ".dat", {{"version", "1"},
                                       {"history", QJsonArray{QJsonObject{{"typ", "Notes"}, {"not", "hello"}}}},
                                       {"presets", namedRecords({"C1", "C2"})},
                                       {"programs", namedRecords({"CP1", "CP2"})}});
}

// The names of the records under `key` in a stored list file.
inline QStringList namesIn(const QString &path, const QString &key, const char *field = "nam")
{
    QStringList names;
    for (const QJsonValue &record : Container::decode(TestEnv::readFile(path)).value(key).toArray())
        names << record.toObject().value(field).toString();
    return names;
}
