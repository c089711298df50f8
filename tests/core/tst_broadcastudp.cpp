#include "discovery/broadcastudp.h"

#include <QTest>
#include <QUdpSocket>

#include <memory>

namespace {

struct Tag
{
    const char *text;
    int advance;
};
const Tag tavik5 {"Tavik5S", 8};
const Tag boot5 {"BootTavik5s", 13};
const Tag tavik7 {"Tavik7", 7};

// Signature, 10.0.0.9, 255.255.255.0, MAC, port 8080, the tag and the name.
QByteArray announcement(const Tag &tag, const QByteArray &name, bool terminated = true)
{
    QByteArray bytes = QByteArray::fromHex("22EF441A33E9F134549E78" "0A000009" "FFFFFF00" "A1B2C3D4E5F6" "1F90");
    bytes.append(tag.text).append('\0');
    bytes.append(27 + tag.advance + 2 - bytes.size(), '\0');
    bytes.append(name);
    if (terminated)
        bytes.append('\0');
    return bytes;
}

// Holder 10.0.0.2, word 0x1234, occupancy, two little-endian values.
QByteArray longForm(char occupancy)
{
    return announcement(tavik7, "T7-0042") + QByteArray::fromHex("0A000002" "1234") + occupancy
        + QByteArray::fromHex("04030201" "08070605");
}

// Decodes from a buffer of exactly the datagram's size, so that a read past
// it is caught by the address sanitizer.
bool decodeExact(const QByteArray &bytes, int size, Machine &machine)
{
    std::unique_ptr<char[]> exact(new char[size_t(qMax(size, 1))]);
    memcpy(exact.get(), bytes.constData(), size_t(size));
    return BroadcastUDP::decode(exact.get(), size, machine);
}

// type|booting|free|holder named|holder|serial|address|mask|MAC|port
QString describe(const Machine &m)
{
    return QStringList{QString::number(m.type), QString::number(m.booting), QString::number(m.free),
                       QString::number(m.hasMaster), AddressText::fromIpv4(m.masterAddress), m.serialNumber,
                       AddressText::fromIpv4(m.scanAddress), AddressText::fromIpv4(m.mask), AddressText::fromMac(m.mac),
                       QString::number(m.port)}.join('|');
}

} // namespace

class TestBroadcastUDP : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void forms()
    {
        QByteArray short7 = announcement(tavik7, "T7-0042");
        short7.append(48 - short7.size(), '\0');
        Machine machine;
        QVERIFY(decodeExact(short7, 48, machine));
        QCOMPARE(describe(machine), QString("7|0|1|0|0.0.0.0|T7-0042|10.0.0.9|255.255.255.0|a1:b2:c3:d4:e5:f6|8080"));

        const QByteArray occupied = longForm(1);
        QVERIFY(decodeExact(occupied, occupied.size(), machine));
        QCOMPARE(describe(machine), QString("7|0|0|1|10.0.0.2|T7-0042|10.0.0.9|255.255.255.0|a1:b2:c3:d4:e5:f6|8080"));
        QCOMPARE(machine.announcedWord, quint16(0x1234));
        QCOMPARE(machine.announcedValue1, quint32(0x01020304));
        QCOMPARE(machine.announcedValue2, quint32(0x05060708));
        QVERIFY(decodeExact(longForm(0), occupied.size(), machine));
        QVERIFY(machine.free);
        QVERIFY(!machine.hasMaster);

        const QByteArray boot = announcement(boot5, "T5-9") + QByteArray(20, '\x7f');
        QVERIFY(decodeExact(boot, boot.size(), machine));
        QCOMPARE(machine.type, 5);
        QVERIFY(machine.booting);
        QCOMPARE(machine.serialNumber, QString("T5-9"));
        QCOMPARE(machine.announcedValue1, 0u);
        QCOMPARE(machine.occupancy, quint8(0));

        const QByteArray longName = announcement(tavik5, QByteArray(40, 'N'), false) + QByteArray(15, '\0');
        QVERIFY(decodeExact(longName, longName.size(), machine));
        QCOMPARE(machine.type, 5);
        QCOMPARE(machine.serialNumber, QString(30, 'N'));

        QByteArray foreign = occupied;
        foreign[0] = 0x23;
        QVERIFY(!decodeExact(foreign, foreign.size(), machine));
        QCOMPARE(machine.serialNumber, QString(30, 'N'));
        QCOMPARE(machine.type, 5);
    }

    // A datagram shorter than a whole announcement registers nothing: a
    // name cut off by its end ("v" from 30 bytes), holder fields cut short,
    // the signature alone (11 bytes, or padded with zeros to 48).
    void truncated()
    {
        const QByteArray full = longForm(0);
        for (int size = 0; size <= full.size(); ++size) {
            Machine machine;
            machine.serialNumber = "before";
            const bool decoded = decodeExact(full, size, machine);
            // The 48-byte form, or the whole long form.
            QCOMPARE(decoded, size == 48 || size == full.size());
            if (!decoded) {
                QCOMPARE(machine.serialNumber, QString("before"));
                continue;
            }
            QCOMPARE(machine.port, 8080);
            QCOMPARE(machine.type, 7);
            QCOMPARE(machine.serialNumber, QString("T7-0042"));
            QVERIFY(machine.free);
            QCOMPARE(machine.announcedValue2, size == full.size() ? quint32(0x05060708) : 0u);
        }
        QByteArray zeros = full.left(11);
        zeros.append(48 - 11, '\0');
        Machine machine;
        QVERIFY(!decodeExact(zeros, 11, machine));
        QVERIFY(!decodeExact(zeros, 48, machine));
        // Nor does a name of control characters.
        for (const QByteArray &name : {QByteArray("\x1b[2J"), QByteArray("T7\n42"), QByteArray("\x7f\x85")}) {
            QByteArray odd = announcement(tavik7, name);
            odd.append(48 - odd.size(), '\0');
            QVERIFY2(!decodeExact(odd, 48, machine), name.toHex().constData());
        }
    }

    void overLoopback()
    {
        quint16 port = 0;
        {
            QUdpSocket probe;
            QVERIFY(probe.bind(QHostAddress::LocalHost, 0));
            port = probe.localPort();
        }
        BroadcastUDP listener(port);
        QVERIFY(listener.bindListener());
        QVERIFY(!listener.readAnnouncement());

        QUdpSocket sender;
        QByteArray foreign = longForm(1);
        foreign[3] = 0;
        const QByteArray big = longForm(1) + QByteArray(2000, 'x');
        QCOMPARE(sender.writeDatagram(foreign, QHostAddress::LocalHost, port), qint64(foreign.size()));
        QCOMPARE(sender.writeDatagram(big, QHostAddress::LocalHost, port), qint64(big.size()));
        QTRY_VERIFY(listener.packetReady());

        QVERIFY(listener.readAnnouncement());
        QVERIFY(!listener.announcementTouched());
        QCOMPARE(listener.announced().serialNumber, QString("---"));
        QVERIFY(QTest::qWaitFor([&] { return listener.readAnnouncement(); }, 5000));
        QVERIFY(listener.announcementTouched());
        QVERIFY(listener.announcementChanged());
        QCOMPARE(listener.datagramSize(), BroadcastUDP::maxDatagram);
        QCOMPARE(listener.announced().serialNumber, QString("T7-0042"));
        QVERIFY(listener.announced().hasMaster);
    }
};

QTEST_GUILESS_MAIN(TestBroadcastUDP)
#include "tst_broadcastudp.moc"
