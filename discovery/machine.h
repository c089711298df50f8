#pragma once

#include "data/logs.h"
#include "data/worklist.h"

#include "data/textforms.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <array>

using Ipv4 = std::array<quint8, 4>;
using MacAddress = std::array<quint8, 6>;

// Text forms of addresses. The parsers accept only a complete, valid text
// and otherwise leave the value as it was.
namespace AddressText {

QString fromIpv4(const Ipv4 &address);
// Exactly four parts, each a decimal number 0..255 ("1..2.3" has an empty part).
bool parseIpv4(const QString &text, Ipv4 &address);
// An address one device can be reached at: 0.0.0.0 names none and
// 255.255.255.255 every device on the link.
bool isDeviceAddress(const Ipv4 &address);

QString fromMac(const MacAddress &mac);
// Exactly six parts, each a hexadecimal number 0..255 in either case.
bool parseMac(const QString &text, MacAddress &mac);

} // namespace AddressText

// One known generator device: how to reach it, what its last announcement
// said, and its own work list and log.
struct Machine
{
    static constexpr int deviceSlots = 5;
    static constexpr int responsiveSeconds = 30;
    static constexpr const char *lastContactPattern = "dd.MM.yyyy hh:mm:ss";

    enum Type { Unknown = 0, Tavik5 = 5, Tavik7 = 7 };

    Logs logs;
    WorkList work;
    Ipv4 scanAddress {169, 254, 88, 88};
    Ipv4 connectAddress {169, 254, 88, 88};
    Ipv4 masterAddress {0, 0, 0, 0};
    int slot = -1;
    // Carried from the announcement; nothing here interprets them.
    quint16 announcedWord = 0;
    quint8 occupancy = 0;
    quint32 announcedValue1 = 0;
    quint32 announcedValue2 = 0;
    bool hasMaster = false;
    Ipv4 mask {255, 255, 0, 0};
    MacAddress mac {0x12, 0x34, 0x56, 0x78, 0x90, 0x11};
    int port = 8888;
    QString serialNumber = QStringLiteral("---");
    QString name;
    int type = Unknown;
    TextForm::Stamp lastContact;
    // Responsive until this time. A new record starts 3 s past it, so a
    // device added by hand is "Unresponsive" until it announces itself.
    QDateTime deadline;
    bool booting = false;
    bool free = false;
    bool autoconnect = false;

    Machine() : Machine(QDateTime::currentDateTime()) {}
    explicit Machine(const QDateTime &created);

    static Machine fromJson(const QJsonObject &object);
    // Elements of its work list and log that were not records (see
    // RecordStore::notRecordsRead).
    qsizetype notRecordsRead() const { return logs.notRecordsRead() + work.notRecordsRead(); }
    QJsonObject toJson() const;
    QString displayText() const { return serialNumber; }

    static QString typeWord(int type);
    static int typeFromWord(const QString &word);

    // An invalid deadline (a "LastConnected" that did not parse) counts as
    // not passed.
    bool responsive(const QDateTime &now = QDateTime::currentDateTime()) const;
    // Whether the device may be connected, as its announcements tell.
    enum class Availability { Unresponsive, Starting, ReadyToConnect, Occupied };
    Availability availability(const QDateTime &now = QDateTime::currentDateTime()) const;
    static QString availabilityWord(Availability availability);
    QString statusText(const QDateTime &now = QDateTime::currentDateTime()) const
    {
        return availabilityWord(availability(now));
    }
    void touch(const QDateTime &now = QDateTime::currentDateTime());

    // Only records with a slot 0..4 may be bound to a device controller; a
    // file with more records than slots leaves the rest without one.
    bool hasDeviceSlot() const { return slot >= 0 && slot < deviceSlots; }

private:
};
