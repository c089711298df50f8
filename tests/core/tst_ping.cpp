#include "device/link.h"
#include "device/pingcommand.h"

#include <QtTest>

using Verdict = PingCommand::Verdict;

namespace {

// Gives a bare Link an address the way the controller does.
struct PingLink : Link
{
    void aim(const QString &address) { m_hostAddress = address; }
};

} // namespace

class TestPing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowsPhrases()
    {
        const PingCommand windows = PingCommand::windows();
        QCOMPARE(windows.arguments("10.0.0.7"), QStringList({"-n", "1", "10.0.0.7"}));
        QCOMPARE(windows.judge("\r\nPinging 10.0.0.7 with 32 bytes of data:\r\n"), Verdict::Ignore);
        QCOMPARE(windows.judge("Reply from 10.0.0.7: bytes=32 time<1ms TTL=128\r\n"), Verdict::Reachable);
        QCOMPARE(windows.judge("Request timed out.\r\n"), Verdict::Unreachable);
        QCOMPARE(windows.judge("Reply from 10.0.0.1: Destination host unreachable.\r\n"), Verdict::Unreachable);
        QCOMPARE(windows.judge("PING: transmit failed. General failure.\r\n"), Verdict::Unreachable);
    }

    void linuxPhrases()
    {
        const PingCommand linux = PingCommand::linux();
        QCOMPARE(linux.arguments("10.0.0.7").last(), QString("10.0.0.7"));
        QVERIFY(!linux.arguments("10.0.0.7").contains("-n"));  // numeric output there, not a count
        QCOMPARE(linux.judge("PING 10.0.0.7 (10.0.0.7) 56(84) bytes of data.\n"), Verdict::Ignore);
        QCOMPARE(linux.judge("PING 127.0.0.1 (127.0.0.1) 56(84) bytes of data.\n"
                             "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.03 ms\n\n"
                             "--- 127.0.0.1 ping statistics ---\n"
                             "1 packets transmitted, 1 received, 0% packet loss, time 0ms\n"),
                 Verdict::Reachable);
        QCOMPARE(linux.judge("PING 10.9.9.9 (10.9.9.9) 56(84) bytes of data.\n\n"
                             "--- 10.9.9.9 ping statistics ---\n"
                             "1 packets transmitted, 0 received, 100% packet loss, time 0ms\n"),
                 Verdict::Unreachable);
        QCOMPARE(linux.judge("From 10.0.0.1 icmp_seq=1 Destination Host Unreachable\n"), Verdict::Unreachable);
    }

    void onlyDottedAddressesArePinged()
    {
        QVERIFY(PingCommand::isDottedIPv4("127.0.0.1"));
        QVERIFY(PingCommand::isDottedIPv4("255.255.255.255"));
        for (const char *bad : {"", "-f", "-c 1000 127.0.0.1", "256.1.1.1", "1.2.3", "1.2.3.4.5",
                                "01.2.3.4", "1.2.3.4 ", "host.example", "1..2.3"})
            QVERIFY2(!PingCommand::isDottedIPv4(bad), bad);

        PingLink link;
        QVERIFY(!link.startPing());  // empty address
        link.aim("-i 0.001 127.0.0.1");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ping refused"));
        QVERIFY(!link.startPing());
        QTest::qWait(200);
        QVERIFY(!link.takePingDone());
    }

    void realPingOfLoopback()
    {
        PingLink link;
        link.aim("127.0.0.1");
        QVERIFY(link.startPing());
        QVERIFY(QTest::qWaitFor([&] { return link.takePingDone(); }, 10000));
        QVERIFY(link.pingReachable());
    }
};

QTEST_GUILESS_MAIN(TestPing)
#include "tst_ping.moc"
