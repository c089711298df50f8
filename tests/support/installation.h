#pragma once

#include "data/settings.h"
#include "data/library.h"
#include "work/deviceslots.h"
#include "maintenance/backup.h"
#include "data/worklist.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

// The stores as the program's start-up reads them from the data folder of
// the home the environment names (a temporary one: see TestEnv).
struct Installation
{
    Settings settings;
    Library library;
    WorkList work;
    DeviceSlots devices;
    Backup backup{settings, library, work, devices};

    Installation()
    {
        settings.init("settings.dat");
        settings.readSettings();
        library.load(settings);
        work.setPath(settings.dataFolder() + "work.dat");
        work.readBase();
        devices.registry().setFolder(settings.dataFolder());
        devices.registry().readBase();
    }
};

// A folder's files by name, with their bytes.
using Files = QMap<QString, QByteArray>;

// With `part`, only the files that `part` has.
inline Files filesIn(const QString &folder, const Files &part = {})
{
    Files result;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        QFile file(folder + "/" + name);
        if ((part.isEmpty() || part.contains(name)) && file.open(QIODevice::ReadOnly))
            result.insert(name, file.readAll());
    }
    return result;
}

// The folder holding exactly these files.
inline void putBack(const QString &folder, const Files &files)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    for (auto it = files.begin(); it != files.end(); ++it) {
        QFile file(folder + "/" + it.key());
        if (file.open(QIODevice::WriteOnly))
            file.write(it.value());
    }
}

// A data folder the program wrote, every store marked with the tag: one
// client per name with `notes` notes in its history (the newest "note of
// <name>"), `presets` General presets and one Legitimate, a device and the
// operator.
inline Files seedFolder(const QStringList &clientNames, const QString &tag, int notes = 1, int presets = 1)
{
    QDir(TestEnv::dataFolder()).removeRecursively();
    {
        Installation in;
        Clients &clients = in.library.clients();
        for (const QString &name : clientNames) {
            clients.setCurrent(clients.count());
            clients.insertNew();
            clients.setName(name);
            clients.history().clear();
            for (int n = notes - 1; n >= 0; --n) {
                clients.history().notes().insertNote(0);
                clients.history().notes().setText(n ? QStringLiteral("%1 note %2").arg(tag).arg(n) : "note of " + name);
            }
            clients.saveHistory();
        }
        clients.saveBase();
        for (int p = 0; p < presets; ++p) {
            in.library.generalPresets().insertNew();
            in.library.generalPresets().setName(tag);
        }
        in.library.legitimatePresets().insertNew();
        in.library.legitimatePresets().setName(tag);
        in.library.generalPresets().saveBase();
        in.library.legitimatePresets().saveBase();
        in.work.programName = tag;
        in.devices.registry().addMachine(DeviceSlots::count);
        in.devices.registry().setName(tag);
        in.settings.setOperatorName(tag);
        in.work.saveBase() && in.devices.registry().saveBase() && in.settings.saveSettings();
    }
    return filesIn(TestEnv::dataFolder());
}
