#pragma once

#include "data/settings.h"
#include "data/library.h"
#include "work/deviceslots.h"
#include "maintenance/backup.h"
#include "data/worklist.h"

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
