#pragma once

#include <QStringList>

class DeviceSlots;
struct Machine;

// Merges what devices announce into the registry: a new device gets a
// record on top and a device slot, a known one is touched and followed to a
// new address.
class AnnouncementMerge
{
public:
    explicit AnnouncementMerge(DeviceSlots &devices) : m_devices(devices) {}

    // True when the announcement came from a device not known before and
    // was added. An unknown serial announced from the address of a device
    // that reported another serial on its link is that device: it makes no
    // second record. A record whose device is connected or running never
    // takes another address from an announcement (two devices with one
    // serial number); one not on its link follows its device to a new
    // address at once, and that address is the one it is reached at. A
    // sixth device drops only a record that is idle and holds no work list.
    bool merge(const Machine &announced);

    // What the operator should be told (conflicts, devices not added),
    // since the last call.
    QStringList takeNotices() { return std::exchange(m_notices, {}); }

private:
    // Reported once per serial and address: one every two seconds would
    // repeat the notice.
    bool reportOnce(const QString &key, const QString &text);

    DeviceSlots &m_devices;
    QStringList m_notices;
    QStringList m_reported;  // "serial@address"
};
