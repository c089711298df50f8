#include "work/announcements.h"

#include "device/tavik.h"
#include "work/deviceslots.h"

bool AnnouncementMerge::reportOnce(const QString &key, const QString &text)
{
    if (m_reported.contains(key))
        return false;
    m_reported.append(key);
    m_notices.append(text);
    return true;
}

bool AnnouncementMerge::merge(const Machine &announced)
{
    Machines &registry = m_devices.registry();
    registry.setFilter(QString());
    int match = -1;
    QList<Machine> &records = registry.editRecords();
    for (int i = 0; i < records.size(); ++i) {
        if (records.at(i).serialNumber == announced.serialNumber)
            match = i;
    }
    const QString announcedAt = AddressText::fromIpv4(announced.scanAddress);
    const QString key = announced.serialNumber + QLatin1Char('@') + announcedAt;

    if (match < 0) {
        for (int i = 0; i < records.size(); ++i) {
            Machine &machine = records[i];
            const QString onLink = m_devices.bound(i) ? m_devices.linkSerial(machine.slot) : QString();
            if (onLink.isEmpty() || machine.scanAddress != announced.scanAddress || machine.port != announced.port)
                continue;
            const QString text = QStringLiteral("Tavik %1 is announced from %2, where the device reports serial number %3 "
                                                "on its link: no second record")
                                     .arg(announced.serialNumber, announcedAt, onLink);
            if (reportOnce(key, text))
                machine.logs.add(text);
            registry.setCurrent(i);
            registry.touch();
            return false;
        }
        // Records in use stay: a connected or running device, or a list
        // the operator sent, is never dropped for a device passing by.
        const auto evictable = [this](int index) {
            return m_devices.registry().records().at(index).work.count() == 0 && !m_devices.slotBusy(index);
        };
        if (!registry.addMachine(Machine::deviceSlots, evictable)) {
            reportOnce(key, QStringLiteral("Tavik %1 not added: all five places hold devices in use or with a work list")
                                .arg(announced.serialNumber));
            return false;
        }
        registry.updateFromAnnouncement(true, announced);
        registry.setAutoconnect(true);
        m_devices.bindDevices();
        registry.setCurrent(0);
        registry.touch();
        return true;
    }

    Machine &machine = records[match];
    if (machine.scanAddress != announced.scanAddress && m_devices.onLink(match)) {
        // Two devices with one serial number, or a device that moved while
        // its old address still answers: the device in use keeps the record.
        const QString text = QStringLiteral("Tavik %1 is also announced from %2; the device at %3 in use is kept")
                                 .arg(announced.serialNumber, announcedAt, AddressText::fromIpv4(machine.scanAddress));
        if (reportOnce(key, text))
            machine.logs.add(text);
        return false;
    }
    const bool moved = machine.scanAddress != announced.scanAddress;
    registry.setCurrent(match);
    registry.updateFromAnnouncement(false, announced);
    registry.touch();
    if (moved) {
        // The device is there now: that is where it is reached, whatever
        // address it was reached at before.
        machine.connectAddress = machine.scanAddress;
        machine.logs.add(QStringLiteral("Announced from a new address: ") + announcedAt);
        if (m_devices.bound(match))
            m_devices.controller(machine.slot).followDevice(announcedAt, Link::defaultPort);
    }
    return false;
}
