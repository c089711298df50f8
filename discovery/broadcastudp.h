#pragma once

#include "discovery/machine.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QUdpSocket;

// Listens for the devices' UDP announcements and decodes each into a machine
// record. The socket's signal only raises a flag: the main window's device
// tick polls readAnnouncement() while it returns true.
class BroadcastUDP : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 defaultPort = 11000;
    static constexpr int maxDatagram = 1024;
    static constexpr int signatureSize = 11;
    // Signature, address, netmask, MAC and TCP port.
    static constexpr int headerSize = 27;

    explicit BroadcastUDP(quint16 port = defaultPort, QObject *parent = nullptr);

    // Writes the computer's own IPv4 address, MAC and netmask to the debug
    // log, taken from its network interfaces (no name lookup, which could
    // wait), then binds the port shared with other programs. False when the
    // bind fails.
    bool bindListener();

    // False when no datagram is pending. Otherwise reads one (longer ones are
    // cut to maxDatagram) and decodes it into announced(); a datagram without
    // the signature is read and dropped, leaving announced() and
    // announcementTouched() false.
    bool readAnnouncement();

    const Machine &announced() const { return m_announced; }
    // Whether the last datagram read was an announcement, and whether it
    // differed from the one before in address, mask, MAC, port, type or serial.
    bool announcementTouched() const { return m_touched; }
    bool announcementChanged() const { return m_changed; }

    bool packetReady() const { return m_packetReady; }
    int datagramSize() const { return m_datagramSize; }
    QHostAddress sender() const { return m_sender; }

    // Decodes one datagram of `size` bytes. False, leaving `machine` as it
    // was, without the signature, or when the datagram is too short for the
    // address and port or names no device. Reads nothing beyond `size`: a field the
    // datagram ends before keeps its default.
    static bool decode(const char *data, int size, Machine &machine);

public Q_SLOTS:
    void markFlagReadyPacket();

private:
    QUdpSocket *m_socket;
    quint16 m_port;
    QByteArray m_datagram;
    int m_datagramSize = 0;
    bool m_packetReady = false;
    bool m_touched = false;
    bool m_changed = false;
    Machine m_announced;
    QHostAddress m_sender;
    QHostAddress m_localAddress;
    QString m_localMac;
    QHostAddress m_localNetmask;
};
