#include "discovery/machines.h"

#include "data/textforms.h"

bool Machines::readBase()
{
    if (!RecordStore::readBase())
        return false;
    numberSlots();
    return true;
}

void Machines::replaceAll(const QList<Machine> &records)
{
    replaceRecords(records);
    numberSlots();
}

void Machines::numberSlots()
{
    for (int i = 0; i < count(); ++i)
        editRecords()[i].slot = i < slotNumbersRead ? i : -1;
    first();
}

static bool slotHeld(const QList<Machine> &records, int slot)
{
    for (const Machine &machine : records) {
        if (machine.slot == slot)
            return true;
    }
    return false;
}

static int lowestFreeSlot(const QList<Machine> &records, int slotCount)
{
    for (int slot = 0; slot < slotCount; ++slot) {
        if (!slotHeld(records, slot))
            return slot;
    }
    return -1;
}

bool Machines::addMachine(int slotCount, const QDateTime &now)
{
    return addMachine(slotCount, [](int) { return true; }, now);
}

bool Machines::addMachine(int slotCount, const std::function<bool(int index)> &evictable,
                          const QDateTime &now)
{
    const QList<Machine> &list = records();
    if (lowestFreeSlot(list, slotCount) < 0) {
        int dropped = -1;
        for (int i = count() - 1; i >= 0 && dropped < 0; --i) {
            if (list.at(i).slot >= 0 && list.at(i).slot < slotCount && evictable(i))
                dropped = i;
        }
        if (dropped < 0)
            return false;
        removeRecordAt(dropped);
    }
    setCurrent(0);
    Machine machine(now);
    machine.slot = lowestFreeSlot(list, slotCount);
    insertRecord(machine);
    return true;
}

void Machines::updateFromAnnouncement(bool isNew, const Machine &announced)
{
    if (!hasCurrent())
        return;
    changeAt(current(), [&](Machine &record) {
    Machine *machine = &record;
    machine->booting = announced.booting;
    machine->free = announced.free;
    machine->scanAddress = announced.scanAddress;
    machine->mask = announced.mask;
    machine->port = announced.port;
    machine->mac = announced.mac;
    machine->serialNumber = announced.serialNumber;
    if (isNew) {
        machine->name = announced.serialNumber;
        machine->connectAddress = announced.scanAddress;
    }
    machine->type = announced.type;
    if (announced.hasMaster)
        machine->masterAddress = announced.masterAddress;
    machine->hasMaster = announced.hasMaster;
    machine->announcedWord = announced.announcedWord;
    machine->occupancy = announced.occupancy;
    machine->announcedValue1 = announced.announcedValue1;
    machine->announcedValue2 = announced.announcedValue2;
    });
}

void Machines::touch(const QDateTime &now)
{
    if (hasCurrent())
        changeAt(current(), [&](Machine &machine) { machine.touch(now); });
}

QString Machines::typeText() const
{
    return hasCurrent() ? typeTextOf(*currentRecord()) : QString();
}

QString Machines::typeTextOf(const Machine &machine)
{
    return Machine::typeWord(machine.type);
}

QString Machines::scanAddressText() const
{
    return hasCurrent() ? scanAddressTextOf(*currentRecord()) : QString();
}

QString Machines::scanAddressTextOf(const Machine &machine)
{
    return AddressText::fromIpv4(machine.scanAddress);
}

void Machines::setScanAddressText(const QString &text)
{
    if (hasCurrent())
        changeAt(current(), [&](Machine &machine) { AddressText::parseIpv4(text, machine.scanAddress); });
}

QString Machines::connectAddressText() const
{
    return hasCurrent() ? connectAddressTextOf(*currentRecord()) : QString();
}

QString Machines::connectAddressTextOf(const Machine &machine)
{
    return AddressText::fromIpv4(machine.connectAddress);
}

bool Machines::setConnectAddressText(const QString &text)
{
    Ipv4 address{};
    if (!hasCurrent() || !AddressText::parseIpv4(text, address) || !AddressText::isDeviceAddress(address))
        return false;
    changeAt(current(), [&](Machine &machine) { machine.connectAddress = address; });
    return true;
}

QString Machines::masterAddressText() const
{
    return hasCurrent() ? masterAddressTextOf(*currentRecord()) : QString();
}

QString Machines::masterAddressTextOf(const Machine &machine)
{
    return machine.hasMaster ? AddressText::fromIpv4(machine.masterAddress) : QString();
}

QString Machines::portText() const
{
    return hasCurrent() ? TextForm::fromInt(currentRecord()->port) : QString();
}

void Machines::setPortText(const QString &text)
{
    bool ok = false;
    const int port = text.toInt(&ok, 10);
    if (hasCurrent() && ok)
        changeAt(current(), [&](Machine &machine) { machine.port = port; });
}

QString Machines::macText() const
{
    return hasCurrent() ? AddressText::fromMac(currentRecord()->mac) : QString();
}

void Machines::setMacText(const QString &text)
{
    if (hasCurrent())
        changeAt(current(), [&](Machine &machine) { AddressText::parseMac(text, machine.mac); });
}

QString Machines::lastContactText() const
{
    return hasCurrent() ? lastContactTextOf(*currentRecord()) : QString();
}

QString Machines::lastContactTextOf(const Machine &machine)
{
    return TextForm::stampText(machine.lastContact, Machine::lastContactPattern);
}

QString Machines::autoconnectText() const
{
    return hasCurrent() ? autoconnectTextOf(*currentRecord()) : QString();
}

QString Machines::autoconnectTextOf(const Machine &machine)
{
    return machine.autoconnect ? QStringLiteral("1") : QStringLiteral("0");
}

QString Machines::statusText(const QDateTime &now) const
{
    return hasCurrent() ? currentRecord()->statusText(now) : QString();
}

bool Machines::responsive(const QDateTime &now) const
{
    return hasCurrent() && currentRecord()->responsive(now);
}
