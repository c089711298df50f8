#pragma once

#include "app/settings.h"
#include "data/library.h"
#include "discovery/deviceslots.h"
#include "maintenance/backup.h"
#include "support/testenv.h"
#include "work/worklist.h"

#include <QDir>
#include <QMap>

// The stores as the program's start-up reads them from the data folder of
// the temporary home.
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
        if (part.isEmpty() || part.contains(name))
            result.insert(name, TestEnv::readFile(folder + "/" + name));
    }
    return result;
}

// The folder holding exactly these files.
inline void putBack(const QString &folder, const Files &files)
{
    QDir(folder).removeRecursively();
    for (auto it = files.begin(); it != files.end(); ++it)
        TestEnv::writeFile(folder + "/" + it.key(), it.value());
}
