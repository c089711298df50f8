#pragma once

#include <QByteArray>
#include <QString>

// What a backup file's writer, its reader and its check share: the names
// of its sections, and the head of a CBOR item as every encoder writes it.
namespace BackupFormat {

inline const QString keyVersion = QStringLiteral("Version");
inline const QString keyClients = QStringLiteral("Clients");
inline const QString keyHistory = QStringLiteral("History");
inline const QString keyPrograms = QStringLiteral("Programs");
inline const QString keyPresets = QStringLiteral("Presets");
inline const QString keyGenuinePresets = QStringLiteral("GenuinePresets");
inline const QString keyWork = QStringLiteral("Work");
inline const QString keyMachines = QStringLiteral("Machines");
inline const QString keySettings = QStringLiteral("Settings");
inline const QString keyFileName = QStringLiteral("FileName");

inline void appendHead(QByteArray &bytes, int major, quint64 argument)
{
    const char initial = char(major << 5);
    if (argument < 24) {
        bytes.append(char(initial | char(argument)));
        return;
    }
    const int width = argument <= 0xff ? 1 : argument <= 0xffff ? 2 : argument <= 0xffffffffu ? 4 : 8;
    bytes.append(char(initial | char(width == 1 ? 24 : width == 2 ? 25 : width == 4 ? 26 : 27)));
    for (int i = width - 1; i >= 0; --i)
        bytes.append(char(argument >> (8 * i)));
}

} // namespace BackupFormat
