#include "device/frame.h"

#include "support/simprocess.h"

#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

// The simulator as other programs and people meet it: its options, one
// client at a time, and its announcements. What it says on the wire is
// covered by the controller's tests against it.
class TestSimulator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondClientIsRefused()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        QTcpSocket first, second;
        first.connectToHost(QHostAddress::LocalHost, sim.port());
        QVERIFY(first.waitForConnected(3000));
        second.connectToHost(QHostAddress::LocalHost, sim.port());  // may connect and be closed, or fail
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QAbstractSocket::UnconnectedState, 3000);

        // The first is still served: a status request gets its reply.
        first.write(QByteArray::fromHex("000231018479"));
        FrameReader reader;
        QByteArray frame;
        QVERIFY(QTest::qWaitFor([&] {
            reader.append(first.readAll());
            return reader.next(frame);
        }, 3000));
        QCOMPARE(quint8(frame.at(2)), quint8(0x32));
    }

    void announcesItself()
    {
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
        SimProcess sim;
        QVERIFY(sim.start({"--announce-to", QString("127.0.0.1:%1").arg(listener.localPort()),
                           "--announce-interval-ms", "100", "--model", "Tavik7", "--name", "Bench",
                           "--address", "127.0.0.3"}));
        QList<QByteArray> datagrams;
        QVERIFY(QTest::qWaitFor([&] {
            while (listener.hasPendingDatagrams())
                datagrams << listener.receiveDatagram().data();
            return datagrams.size() >= 2;
        }, 3000));
        const QByteArray signature = QByteArray::fromHex("22EF441A33E9F134549E78");
        // The first says the device has just started.
        QVERIFY(datagrams[0].startsWith(signature));
        QCOMPARE(datagrams[0].mid(27, 11), QByteArray("BootTavik7\0", 11));
        const QByteArray &regular = datagrams[1];
        QCOMPARE(regular.size(), 48);
        QVERIFY(regular.startsWith(signature));
        // It announces, and listens at, the address it was given, so that
        // several can share the device port on one machine.
        QCOMPARE(regular.mid(11, 4), QByteArray::fromHex("7F000003"));
        QTcpSocket client;
        client.connectToHost("127.0.0.3", sim.port());
        QVERIFY(client.waitForConnected(3000));
        QCOMPARE(quint16(quint8(regular.at(25)) << 8 | quint8(regular.at(26))), sim.port());
        QCOMPARE(regular.mid(27, 7), QByteArray("Tavik7\0", 7));
        QCOMPARE(regular.mid(36, 6), QByteArray("Bench\0", 6));
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
