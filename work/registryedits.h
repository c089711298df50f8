#pragma once

#include <QDateTime>
#include <QString>

class DeviceSlots;

// The operator's edits of the registry. Each keeps the devices bound to
// their records and the pick on its record, or, when the picked record
// went, on the one now in its row. A record leaving the list at the
// operator's word ends its run like any other: stopped, and recorded as cut
// short where it stood, while its log is still there to take it.
class RegistryEdits
{
public:
    explicit RegistryEdits(DeviceSlots &devices) : m_devices(devices) {}

    // A device added by hand at this address goes on top and is picked.
    void addByHand(const QString &address);
    // A record with the factory address and port, named "--", on top.
    void addFactoryDefault();
    void removeSelected();
    void removeUnresponsive(const QDateTime &now = QDateTime::currentDateTime());
    void removeAll();
    // Moves the picked record one place up (-1) or down (+1); false when
    // there is no such place. The slots move with their records.
    bool moveSelected(int step);
    // The picked device is reached at this address from now on: the
    // record's one address, which binding, Connect and the table use too.
    // False, and nothing changed, when the text is no device's address.
    bool setAddress(const QString &text);

private:
    void pickAfterRemoval(int rowBefore);
    void endRunOfRemoved(int index);

    DeviceSlots &m_devices;
};
