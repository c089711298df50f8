#pragma once

#include <functional>

#include "data/recordstore.h"
#include "discovery/machine.h"

// The registry of known devices, "machines.dat". It is kept to the number of
// device slots; each record's slot names the controller and sequencer that
// serve it.
//
// Records live by value in the list: a pointer to a record's log or work
// list is valid only until the next addMachine, removal or read.
class Machines : public RecordStore<Machine>
{
public:
    static constexpr const char *fileName = "machines.dat";

    Machines() : RecordStore(QStringLiteral("machines"), QStringLiteral("machines")) {}

    void setFolder(const QString &folder) { setPath(folder + QLatin1String(fileName)); }

    // How many records a read numbers: more than there are device slots,
    // as older files were numbered.
    static constexpr int slotNumbersRead = 10;

    // Slots are numbered in list order for the first ten records; a file
    // with more records than device slots leaves the extra ones without a
    // device slot (see Machine::hasDeviceSlot).
    bool readBase();
    // The whole list becomes these records (a restore), with device slots
    // numbered as a read numbers them.
    void replaceAll(const QList<Machine> &records);

    // A new record with the defaults goes on top and becomes current, with
    // the lowest device slot no other record holds. When every slot is held,
    // the last record holding one is dropped first (in a registry of five,
    // simply its last record); records without a device slot are kept.
    bool addMachine(int slotCount, const QDateTime &now = QDateTime::currentDateTime());
    // The same, but with every slot taken only a record the predicate lets
    // go is dropped (the lowest in the list); false, and nothing added,
    // when there is none.
    bool addMachine(int slotCount, const std::function<bool(int index)> &evictable,
                    const QDateTime &now = QDateTime::currentDateTime());

    // Copies what a decoded announcement says into the current record; a
    // new device is named by its serial number and connected at the address
    // it announced from. The deadline is left to touch().
    void updateFromAnnouncement(bool isNew, const Machine &announced);
    void touch(const QDateTime &now = QDateTime::currentDateTime());

    // Accessors of the current record: empty, 0 or false without one.
    QString name() const { return field(&Machine::name); }
    void setName(const QString &v) { setField(&Machine::name, v); }
    QString serialNumber() const { return field(&Machine::serialNumber); }
    void setSerialNumber(const QString &v) { setField(&Machine::serialNumber, v); }
    QString typeText() const;
    void setTypeText(const QString &word) { setField(&Machine::type, Machine::typeFromWord(word)); }
    QString scanAddressText() const;
    void setScanAddressText(const QString &text);
    QString connectAddressText() const;
    // False, and the address kept, when the text is not an IPv4 address.
    bool setConnectAddressText(const QString &text);
    QString masterAddressText() const;
    QString portText() const;
    void setPortText(const QString &text);
    QString macText() const;
    void setMacText(const QString &text);
    QString lastContactText() const;
    bool autoconnect() const { return field(&Machine::autoconnect); }
    QString autoconnectText() const;
    void setAutoconnect(bool v) { setField(&Machine::autoconnect, v); }
    QString statusText(const QDateTime &now = QDateTime::currentDateTime()) const;
    bool responsive(const QDateTime &now = QDateTime::currentDateTime()) const;
    int slot() const { return hasCurrent() ? currentRecord()->slot : 0; }
    bool hasDeviceSlot() const { return hasCurrent() && currentRecord()->hasDeviceSlot(); }

    // The same texts of any record, for whoever reads the registry without
    // moving its current record (the devices table).
    static QString typeTextOf(const Machine &machine);
    static QString scanAddressTextOf(const Machine &machine);
    static QString connectAddressTextOf(const Machine &machine);
    static QString masterAddressTextOf(const Machine &machine);
    static QString lastContactTextOf(const Machine &machine);
    static QString autoconnectTextOf(const Machine &machine);

    Logs *logs() { return hasCurrent() ? &recordAt(current())->logs : nullptr; }
    WorkList *work() { return hasCurrent() ? &recordAt(current())->work : nullptr; }

private:
    void numberSlots();
};
