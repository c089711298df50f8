#pragma once

#include <QString>

// The real window's longest holds of the GUI thread over a large library.
namespace WindowFreezeBench {

// The window over a library of this size, made in `folder` (a temporary
// one when empty).
void run(int presets, int clients, int history, const QString &folder = QString());
// The same over a million presets a pool, 10,000 clients and a history of
// 100,000, then the load of one pool, a backup and a restore of it all.
void runScale();
// Only the backup and restore of a library whose weight is in its
// histories (`clients` clients of `entries` entries each).
void runHistories(int clients, int entries);
}
