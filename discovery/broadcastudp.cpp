#include "discovery/broadcastudp.h"

#include <QDebug>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QUdpSocket>

#include <cstring>

namespace {

const unsigned char signature[BroadcastUDP::signatureSize] = {
    0x22, 0xEF, 0x44, 0x1A, 0x33, 0xE9, 0xF1, 0x34, 0x54, 0x9E, 0x78,
};

struct ModelTag
{
    const char *text;  // compared together with its terminating 0 byte
    int type;
    bool booting;
    int advance;
};

// The advances are not the tag lengths; the devices place the name so.
const ModelTag modelTags[] = {
    {"Tavik5S", Machine::Tavik5, false, 8},
    {"BootTavik5s", Machine::Tavik5, true, 13},
    {"Tavik7", Machine::Tavik7, false, 7},
    {"BootTavik7", Machine::Tavik7, true, 12},
};

constexpr int nameLimit = 30;
// Holder address, a 16-bit value, the occupancy byte and two 32-bit values.
constexpr int holderFieldsSize = 15;

// Every read is checked against the received length: a datagram is
// untrusted and may end anywhere.
class Reader
{
public:
    Reader(const char *data, int size) : m_data(reinterpret_cast<const unsigned char *>(data)), m_size(size) {}

    bool has(int pos, int length) const { return pos >= 0 && length >= 0 && pos <= m_size - length; }
    unsigned char at(int pos) const { return m_data[pos]; }
    bool matches(int pos, const void *bytes, int length) const
    {
        return has(pos, length) && std::memcmp(m_data + pos, bytes, size_t(length)) == 0;
    }

    template <size_t N>
    void bytes(int pos, std::array<quint8, N> &out) const
    {
        if (has(pos, int(N)))
            std::memcpy(out.data(), m_data + pos, N);
    }
    quint32 bigEndian(int pos, int length) const
    {
        quint32 value = 0;
        if (has(pos, length)) {
            for (int i = 0; i < length; ++i)
                value = (value << 8) | m_data[pos + i];
        }
        return value;
    }
    quint32 littleEndian32(int pos) const
    {
        quint32 value = 0;
        if (has(pos, 4)) {
            for (int i = 3; i >= 0; --i)
                value = (value << 8) | m_data[pos + i];
        }
        return value;
    }

private:
    const unsigned char *m_data;
    int m_size;
};

} // namespace

BroadcastUDP::BroadcastUDP(quint16 port, QObject *parent)
    : QObject(parent), m_socket(new QUdpSocket(this)), m_port(port), m_datagram(maxDatagram, '\0')
{
    connect(m_socket, &QUdpSocket::readyRead, this, &BroadcastUDP::markFlagReadyPacket);
}

void BroadcastUDP::markFlagReadyPacket()
{
    m_packetReady = true;
}

bool BroadcastUDP::bindListener()
{
    // The computer's own address, from its interfaces: a lookup of its name
    // could wait on a name server for seconds before the window shows.
    const QString hostName = QHostInfo::localHostName();
    for (const QNetworkInterface &netInterface : QNetworkInterface::allInterfaces()) {
        if (!m_localAddress.isNull() || !netInterface.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry &entry : netInterface.addressEntries()) {
            const QHostAddress address = entry.ip();
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()) {
                m_localAddress = address;
                m_localMac = netInterface.hardwareAddress();
                m_localNetmask = entry.netmask();
                break;
            }
        }
    }
    qDebug().noquote() << "Localhost name: " << hostName;
    qDebug().noquote() << "IP = " << m_localAddress.toString();
    qDebug().noquote() << "MAC = " << m_localMac;
    qDebug().noquote() << "Netmask = " << m_localNetmask.toString();

    return m_socket->bind(QHostAddress::AnyIPv4, m_port,
                          QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
}

bool BroadcastUDP::readAnnouncement()
{
    // A port another program holds leaves the socket unbound: nothing can
    // arrive, and asking would warn on every tick.
    if (m_socket->state() != QAbstractSocket::BoundState || !m_socket->hasPendingDatagrams()) {
        m_packetReady = false;
        return false;
    }
    m_touched = false;
    m_changed = false;
    quint16 senderPort = 0;
    const qint64 size = m_socket->readDatagram(m_datagram.data(), maxDatagram, &m_sender, &senderPort);
    if (size < 0) {
        // Nothing was read; stop rather than spin on a failing socket.
        m_datagramSize = 0;
        return false;
    }
    m_datagramSize = int(size);
    const Machine before = m_announced;
    if (!decode(m_datagram.constData(), m_datagramSize, m_announced))
        return true;
    m_touched = true;
    m_changed = before.scanAddress != m_announced.scanAddress || before.mask != m_announced.mask
        || before.mac != m_announced.mac || before.port != m_announced.port || before.type != m_announced.type
        || before.serialNumber != m_announced.serialNumber;
    return true;
}

bool BroadcastUDP::decode(const char *data, int size, Machine &machine)
{
    // Without the address and port there is no device to reach; such a
    // datagram (the signature alone, say) must not make a record.
    if (!data || size < headerSize)
        return false;
    const Reader datagram(data, size);
    if (!datagram.matches(0, signature, signatureSize))
        return false;

    // Every announcement stands on its own: what it does not carry is reset,
    // never left over from another device's datagram.
    Machine decoded;
    datagram.bytes(11, decoded.scanAddress);
    datagram.bytes(15, decoded.mask);
    datagram.bytes(19, decoded.mac);
    decoded.port = int(datagram.bigEndian(25, 2));

    int pos = 27;
    for (const ModelTag &tag : modelTags) {
        if (datagram.matches(pos, tag.text, int(std::strlen(tag.text)) + 1)) {
            decoded.type = tag.type;
            decoded.booting = tag.booting;
            pos += tag.advance;
        }
    }

    const int nameStart = pos + 2;
    int length = 0;
    while (length < nameLimit && datagram.has(nameStart + length, 1) && datagram.at(nameStart + length) != 0)
        ++length;
    QByteArray name;
    for (int i = 0; i < length; ++i)
        name.append(char(datagram.at(nameStart + i)));
    // A device is known by the name it announces; a datagram with none, or
    // with no address or port, is zeros after a signature, not a device.
    if (name.isEmpty() || decoded.port == 0 || decoded.scanAddress == Ipv4 {0, 0, 0, 0})
        return false;
    // A name cut off by the datagram's end is a fragment, not a device's
    // name: it must end at its 0 byte (or at the longest a name may be).
    if (length < nameLimit && !datagram.has(nameStart + length, 1))
        return false;
    // Nor is one with control characters: it would be the identity of a
    // record, shown in tables and written into logs.
    for (const char byte : name) {
        const uchar code = uchar(byte);
        if (code < 0x20 || (code >= 0x7F && code < 0xA0))
            return false;
    }
    decoded.serialNumber = QString::fromLatin1(name);
    // One byte past the terminator, or past where it would be after the
    // thirtieth character.
    const int q = nameStart + length + 1;

    if (size == 48) {
        decoded.free = true;
    } else if (!decoded.booting) {
        // The holder's fields come whole, or the datagram is not an
        // announcement.
        if (!datagram.has(q, holderFieldsSize))
            return false;
        datagram.bytes(q, decoded.masterAddress);
        decoded.announcedWord = quint16(datagram.bigEndian(q + 4, 2));
        decoded.announcedValue1 = datagram.littleEndian32(q + 7);
        decoded.announcedValue2 = datagram.littleEndian32(q + 11);
        decoded.occupancy = datagram.at(q + 6);
        decoded.free = decoded.occupancy == 0;
        decoded.hasMaster = decoded.occupancy != 0;
    }
    machine = decoded;
    return true;
}
