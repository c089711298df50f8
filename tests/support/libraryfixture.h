#pragma once

#include "data/library.h"
#include "data/textforms.h"

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

    // A client at the end of the list, made current with its (empty) history.
    void addClient(const QString &name)
    {
        Clients &clients = library.clients();
        clients.setCurrent(clients.count());
        clients.insertNew();
        clients.setName(name);
        clients.saveBase();
        library.history().clear();
        clients.saveHistory();
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
