#include "announcer.h"

#include <cstdio>

namespace {

const char signature[] = "\x22\xEF\x44\x1A\x33\xE9\xF1\x34\x54\x9E\x78";
constexpr int headerSize = 27;  // signature, address, netmask, MAC, port

// The name sits two bytes past the position a listener reaches after the
// tag, and listeners advance by a fixed amount per tag.
int tagAdvance(const QString &tag)
{
    if (tag == QLatin1String("Tavik5S")) return 8;
    if (tag == QLatin1String("BootTavik5s")) return 13;
    if (tag == QLatin1String("Tavik7")) return 7;
    if (tag == QLatin1String("BootTavik7")) return 12;
    return -1;
}

void appendIPv4(QByteArray &bytes, quint32 address)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char((address >> shift) & 0xFF));
}

void appendLittle32(QByteArray &bytes, quint32 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(char((value >> shift) & 0xFF));
}

}  // namespace

QStringList Announcer::modelTags()
{
    return {QStringLiteral("Tavik5S"), QStringLiteral("BootTavik5s"),
            QStringLiteral("Tavik7"), QStringLiteral("BootTavik7")};
}

bool Announcer::isStartUpTag(const QString &tag)
{
    return tag.startsWith(QLatin1String("Boot"));
}

QString Announcer::startUpTagFor(const QString &tag)
{
    if (isStartUpTag(tag))
        return tag;
    return tag == QLatin1String("Tavik7") ? QStringLiteral("BootTavik7")
                                          : QStringLiteral("BootTavik5s");
}

QByteArray Announcer::datagram(const Identity &identity, bool startUp)
{
    startUp = startUp || isStartUpTag(identity.model);
    const QString tag = startUp ? startUpTagFor(identity.model) : identity.model;
    const int advance = tagAdvance(tag);
    if (advance < 0)
        return {};

    QByteArray bytes(signature, 11);
    appendIPv4(bytes, identity.address.toIPv4Address());
    appendIPv4(bytes, 0xFF000000);  // 255.0.0.0, the loopback net
    // A locally administered MAC address made from the serial number.
    bytes.append(char(0x02));
    bytes.append(char(0x54));
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char((identity.serial >> shift) & 0xFF));
    bytes.append(char(identity.tcpPort >> 8));
    bytes.append(char(identity.tcpPort & 0xFF));

    bytes.append(tag.toLatin1());
    bytes.append(char(0));
    bytes.resize(headerSize + advance + 2, char(0));

    const bool shortForm = !startUp && identity.holder.isNull();
    int room = nameMax;
    if (shortForm)
        room = qMin(room, datagramShortSize - int(bytes.size()) - 1);
    bytes.append(identity.name.toLatin1().left(room));
    bytes.append(char(0));

    if (shortForm) {
        bytes.resize(datagramShortSize, char(0));
    } else if (!startUp) {
        const quint32 holder = identity.holder.toIPv4Address();
        appendIPv4(bytes, holder);
        bytes.append(char((identity.firmware >> 8) & 0xFF));
        bytes.append(char(identity.firmware & 0xFF));
        bytes.append(char(holder != 0 ? 1 : 0));  // occupied when someone holds it
        appendLittle32(bytes, identity.serial);
        appendLittle32(bytes, 0);
    }
    return bytes;
}

Announcer::Announcer(const Identity &identity, const QHostAddress &to, quint16 port,
                     int intervalMs, QObject *parent)
    : QObject(parent), m_identity(identity), m_to(to), m_port(port)
{
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { send(false); });
}

void Announcer::setAddress(const QHostAddress &address)
{
    m_identity.address = address;
    send(false);
}

void Announcer::setHolder(const QHostAddress &holder)
{
    m_identity.holder = holder;
    send(false);
}

void Announcer::sendTwin(const QHostAddress &address)
{
    Identity twin = m_identity;
    twin.address = address;
    m_socket.writeDatagram(datagram(twin, false), m_to, m_port);
}

void Announcer::start()
{
    send(true);
    m_timer.start();
}

void Announcer::send(bool startUp)
{
    const QByteArray bytes = datagram(m_identity, startUp);
    if (m_socket.writeDatagram(bytes, m_to, m_port) != bytes.size())
        std::fprintf(stderr, "tavik-sim: announcement not sent: %s\n",
                     qPrintable(m_socket.errorString()));
}
