#pragma once

#include "data/library.h"
#include "data/worklist.h"
#include "maintenance/backup.h"
#include "work/deviceslots.h"

class Presets;
class Settings;

// Store load and save against their goals, and the window's start-up.
void benchStores(bool quick);

// Presets as a maker's pool holds them: every field filled, accented names.
void fillPresets(Presets &presets, int count);

// The stores a start sets up over the settings' data folder, read from it,
// with a backup over them.
struct InstalledStores
{
    explicit InstalledStores(Settings &settings);
    Library library;
    WorkList work;
    DeviceSlots devices;
    Backup backup;
};
