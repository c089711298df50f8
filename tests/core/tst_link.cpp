#include "device/frame.h"
#include "device/link.h"

#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A Link talking to a plain loopback server that stands in for the far end,
// so frames are checked as bytes on a real socket.
struct LoopbackPair
{
    QTcpServer server;
    Link link;
    QTcpSocket *peer = nullptr;

    bool open()
    {
        if (!server.listen(QHostAddress::LocalHost))
            return false;
        // The address and port are the controller's to set; a bare Link
        // reaches them through a subclass in the program, here directly.
        struct Access : Link
        {
            static void aim(Link &l, quint16 port)
            {
                static_cast<Access &>(l).m_hostAddress = QStringLiteral("127.0.0.1");
                static_cast<Access &>(l).m_port = port;
            }
        };
        Access::aim(link, server.serverPort());
        link.connectToDevice();
        if (!server.waitForNewConnection(5000))
            return false;
        peer = server.nextPendingConnection();
        return QTest::qWaitFor([this] { return link.isConnected(); }, 5000);
    }

    QByteArray receivedByPeer(int count)
    {
        QByteArray bytes;
        (void)QTest::qWaitFor([&] {
            bytes += peer->readAll();
            return bytes.size() >= count;
        }, 5000);
        return bytes;
    }

    // Sends bytes from the far end and lets the link read them.
    void deliver(const QByteArray &bytes)
    {
        peer->write(bytes);
        peer->flush();
        QVERIFY(QTest::qWaitFor([this] { return link.takePacketReady(); }, 5000));
        link.readPacket();
    }
};

// Replies written out byte by byte, checksum worked out by hand, so that an
// encoder and a reader wrong in the same way cannot pass together.
// Status replies (0x32): status 0x13, error 6, time 75, rf 200, mod 17; then
// status 8 (time 5) and 0x10, all else 0.
const char statusFull[] = "000d3213000000060000004b00c8112ab5";
const char status8[] = "000d32080000000000000005000000d232";
const char status16[] = "000d32100000000000000000000000428f";

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checksumAndRequestBytes()
    {
        QCOMPARE(Frame::crc16("123456789", 9), quint16(0x29B1));

        LoopbackPair pair;
        QVERIFY(pair.open());
        pair.link.beginPacket();
        pair.link.putU8(0x31);
        pair.link.putU8(1);
        QVERIFY(pair.link.sendPacket());
        QCOMPARE(pair.receivedByPeer(6), hex("000231018479"));

        pair.link.beginPacket();
        pair.link.putU8(0x08);
        pair.link.putU16(100);
        QVERIFY(pair.link.sendPacket());
        const QByteArray setTime = pair.receivedByPeer(7);
        QCOMPARE(setTime, hex("00030864007153"));
        // The simulator speaks through the same encoder.
        QCOMPARE(Frame::encode(0x08, hex("6400")), setTime);

        // A request longer than the length byte can describe is refused,
        // not written past the frame buffer.
        pair.link.beginPacket();
        for (int i = 0; i < 300; ++i)
            pair.link.putU8(0xAA);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("request not sent"));
        QVERIFY(!pair.link.sendPacket());
    }

    void decodesReplies()
    {
        LoopbackPair pair;
        QVERIFY(pair.open());
        quint8 code = 0;

        pair.deliver(hex(statusFull));
        QVERIFY(pair.link.nextReply(code));
        QCOMPARE(code, quint8(0x32));
        Link &l = pair.link;  // a braced list reads its fields in order
        QCOMPARE((QList<quint32>{l.getU32(), l.getU32(), l.getU16(), l.getU8(), l.getU8()}),
                 (QList<quint32>{0x13, 0x6, 75, 200, 17}));
        // Past the end of the data the getters give 0 and read nothing.
        QCOMPARE(pair.link.getU32(), 0u);
        QVERIFY(!pair.link.nextReply(code));

        // Two replies in one read are both decoded, in order.
        // Configuration 357, 1700000000; livetime twelve bytes of 1.
        pair.deliver(hex("0009356501000000f153658913") + hex("000d3e01010101010101010101010156a5"));
        QVERIFY(pair.link.nextReply(code));
        QCOMPARE(code, quint8(0x35));
        QCOMPARE(pair.link.getU32(), 357u);
        QCOMPARE(pair.link.getU32(), 1700000000u);
        QVERIFY(pair.link.nextReply(code));
        QCOMPARE(code, quint8(0x3E));
        QCOMPARE(pair.link.replyBytesLeft(), 12);

        // A reply split across two reads is decoded once complete.
        const QByteArray whole = hex(status8);
        pair.deliver(whole.left(7));
        QVERIFY(!pair.link.nextReply(code));
        pair.deliver(whole.mid(7));
        QVERIFY(pair.link.nextReply(code));
        QCOMPARE(pair.link.getU32(), 0x8u);

        // A reply shorter than its layout reads as far as it goes, then 0.
        pair.deliver(hex("000332010087e8"));
        QVERIFY(pair.link.nextReply(code));
        QCOMPARE(pair.link.replyBytesLeft(), 2);
        QCOMPARE(pair.link.getU32(), 1u);
    }

    void readerDropsDamagedFrames()
    {
        FrameReader reader;
        QByteArray frame;
        QByteArray bad = hex(status8);
        bad[bad.size() - 1] = char(bad.at(bad.size() - 1) ^ 0x55);
        const QByteArray good = hex(status16);

        // A corrupted checksum costs that frame only; the next one is found.
        reader.append(bad + good);
        QVERIFY(reader.next(frame));
        QCOMPARE(frame, good);
        QVERIFY(reader.droppedBytes() >= bad.size());
        QVERIFY(!reader.next(frame));

        // Noise whose "length" points past the data must not hold back a
        // complete frame behind it for ever.
        reader.append(hex("00ff") + good);
        QVERIFY(reader.next(frame));
        QCOMPARE(frame, good);

        // A backlog that never forms a frame is bounded.
        reader.append(QByteArray(FrameReader::maxBuffered * 2, char(0x01)));
        QVERIFY(reader.buffered() <= FrameReader::maxBuffered);

        // Noise between replies, and reads that cut anywhere, cost no reply;
        // finding the replies again costs checksum work in proportion to the
        // noise, not a checksum per byte offset, for random bytes and for a
        // flood of 0xFF (a length of 255 everywhere) alike.
        QRandomGenerator cuts(4711);
        for (bool flood : {false, true}) {
            QByteArray stream;
            for (quint32 i = 0; i < 1000; ++i) {
                for (int k = flood ? 200 : cuts.bounded(1, 9); k > 0; --k)
                    stream.append(flood ? char(0xFF) : char(cuts.bounded(256)));
                stream.append(hex(status16));
            }
            FrameReader noisy;
            int replies = 0;
            for (int pos = 0; pos < stream.size();) {
                const int size = qMin(int(cuts.bounded(1, 257)), int(stream.size()) - pos);
                noisy.append(stream.mid(pos, size));
                pos += size;
                while (noisy.next(frame))
                    replies += frame.size() == 17 && frame.at(2) == 0x32 ? 1 : 0;
            }
            QVERIFY2(replies >= 998, qPrintable(QString::number(replies)));
            QVERIFY2(noisy.checkedBytes() < stream.size() * 4, qPrintable(QString::number(noisy.checkedBytes())));
        }

        // More noise after each reply than the backlog holds, all read in
        // one go between two ticks: the cap drops noise, never a reply.
        QByteArray burst;
        for (quint32 i = 0; i < 20; ++i) {
            burst.append(hex(status16));
            for (int k = 0; k < 5000; ++k)
                burst.append(char(cuts.bounded(256)));
        }
        FrameReader flooded;
        flooded.append(burst);
        int found = 0;
        while (flooded.next(frame))
            found += frame.size() == 17 && frame.at(2) == 0x32 ? 1 : 0;
        QVERIFY2(found >= 19, qPrintable(QString::number(found)));
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
