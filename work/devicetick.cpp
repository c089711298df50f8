#include "work/devicetick.h"

#include "device/tavik.h"
#include "discovery/broadcastudp.h"
#include "work/deviceslots.h"

DeviceTick::DeviceTick(BroadcastUDP &listener, DeviceSlots &devices, Library &library)
    : m_listener(listener), m_devices(devices), m_recorder(devices, library), m_merge(devices), m_edits(devices)
{
}

DeviceTick::Outcome DeviceTick::run()
{
    Outcome outcome;
    Machines &registry = m_devices.registry();
    while (m_listener.readAnnouncement()) {
        if (!m_listener.announcementTouched())
            continue;  // not an announcement
        const bool wasEmpty = registry.count() == 0;
        if (m_merge.merge(m_listener.announced()) && wasEmpty)
            outcome.firstSerial = m_listener.announced().serialNumber;
        outcome.registryChanged = true;
    }
    m_devices.tickBound();
    m_recorder.tick();

    if (Tavik *tavik = m_devices.selectedController()) {
        outcome.statusChanged = tavik->takeStatusSnapshot();
        tavik->clearLivetimeReceived();
    }
    const Outcome told = report();
    outcome.runEnded = told.runEnded;
    outcome.notices = told.notices;
    return outcome;
}

DeviceTick::Outcome DeviceTick::report()
{
    Outcome outcome;
    const RunRecorder::Report runs = m_recorder.takeReport();
    outcome.runEnded = runs.ended;
    outcome.notices = m_merge.takeNotices() + m_devices.takeNotices() + runs.notices;
    return outcome;
}

int DeviceTick::stopAll(int waitMs)
{
    const int stopped = m_devices.stopAll(waitMs);
    m_recorder.settle(waitMs);
    return stopped;
}
