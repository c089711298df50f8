#pragma once

#include <QString>
#include <QStringList>

// The files the program keeps in its data folder, by name. Every name made
// from stored or outside text (a client's history file, an entry of the
// restore's journal) is checked here: a history under one of these names
// would be written over one of the library's own files, and the next
// start would read it as that file.
namespace OwnFiles {

inline const QString settings = QStringLiteral("settings.dat");
inline const QString presets = QStringLiteral("presets.dat");
inline const QString genpresets = QStringLiteral("genpresets.dat");
inline const QString programs = QStringLiteral("programs.dat");
inline const QString clients = QStringLiteral("clients.dat");
inline const QString work = QStringLiteral("work.dat");
inline const QString machines = QStringLiteral("machines.dat");
inline const QString restored = QStringLiteral("restored.dat");
inline const QString untold = QStringLiteral("untold.dat");
inline const QString unstored = QStringLiteral("unstored.dat");
inline const QString runs = QStringLiteral("runs.dat");
inline const QString journal = QStringLiteral("pending-saves.journal");
inline const QString lock = QStringLiteral("TavikStudio.lock");

// Every name above.
QStringList names();
// Whether the name is one of them, as the file system compares names
// (letter case counts for nothing on Windows, so here neither), or a name
// Windows gives to a device whatever its extension ("con", "nul", "com1").
bool isOwn(const QString &fileName);
// Whether a client's file identifier can name its files: letters and
// digits only, and "<identifier>.dat" none of the names above.
bool isHistoryIdentifier(const QString &identifier);

} // namespace OwnFiles
