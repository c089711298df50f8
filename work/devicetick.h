#pragma once

#include "work/announcements.h"
#include "work/registryedits.h"
#include "work/runrecord.h"

#include <QString>
#include <QStringList>

class BroadcastUDP;
class DeviceSlots;
class Library;

// The device tick of the window, every 25 ms, without its widgets: the
// announcements into the registry, every bound controller and its
// sequencer, the runs' records, and the picked device's status. The window
// calls it and only shows what it returns; the tests and the benchmark call
// the same.
class DeviceTick
{
public:
    DeviceTick(BroadcastUDP &listener, DeviceSlots &devices, Library &library);

    struct Outcome
    {
        bool registryChanged = false;  // announcements merged
        bool statusChanged = false;    // the picked device told its status
        bool runEnded = false;         // a run ended (or what is known of its end grew)
        QString firstSerial;           // the first device announced into an empty registry
        QStringList notices;
    };
    Outcome run();

    // Stops every device that may be on air at once, for a program about
    // to end, and records the runs that ends. Returns how many were sent a
    // stop.
    int stopAll(int waitMs);

    RunRecorder &recorder() { return m_recorder; }
    RegistryEdits &edits() { return m_edits; }
    AnnouncementMerge &announcements() { return m_merge; }

private:
    Outcome report();

    BroadcastUDP &m_listener;
    DeviceSlots &m_devices;
    RunRecorder m_recorder;
    AnnouncementMerge m_merge;
    RegistryEdits m_edits;
};
