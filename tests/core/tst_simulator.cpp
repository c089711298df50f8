#include "device/frame.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <memory>

// Drives the built tavik-sim executable over real sockets.
class TestSimulator : public QObject
{
    Q_OBJECT

    std::unique_ptr<QProcess> m_sim;
    QTemporaryDir m_dir;

    // Starts the simulator and returns its TCP port, 0 on failure.
    quint16 startSim(QStringList arguments)
    {
        m_sim = std::make_unique<QProcess>();
        m_sim->setProcessChannelMode(QProcess::SeparateChannels);
        if (!arguments.contains("--announce-to") && !arguments.contains("--announce-interval-ms"))
            arguments << "--announce-interval-ms" << "0";
        m_sim->start(TAVIK_SIM_PATH, QStringList{"--port", "0"} + arguments);
        if (!m_sim->waitForStarted(5000))
            return 0;
        QByteArray out;
        while (!out.contains('\n') && m_sim->waitForReadyRead(5000))
            out += m_sim->readAllStandardOutput();
        const auto match = QRegularExpression("^listening on port (\\d+)\n").match(QString(out));
        return match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
    }

    static bool connectTo(QTcpSocket &socket, quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(3000);
    }

    // Reads until count frames have come through a FrameReader, or timeout.
    static QList<QByteArray> readFrames(QTcpSocket &socket, int count, FrameReader &reader,
                                        int timeoutMs = 2000)
    {
        QList<QByteArray> frames;
        QElapsedTimer timer;
        timer.start();
        while (frames.size() < count && timer.elapsed() < timeoutMs) {
            if (socket.bytesAvailable() == 0)
                socket.waitForReadyRead(100);
            reader.append(socket.readAll());
            QByteArray frame;
            while (reader.next(frame))
                frames << frame;
        }
        return frames;
    }

    static QByteArray query(quint8 selector)
    {
        return Frame::encode(0x31, QByteArray(1, char(selector)));
    }

    static quint32 statusBits(const QByteArray &frame)
    {
        QDataStream in(frame.mid(3, 4));
        in.setByteOrder(QDataStream::LittleEndian);
        quint32 bits = 0;
        in >> bits;
        return bits;
    }

    QStringList traceLines(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private Q_SLOTS:
    void cleanup()
    {
        if (m_sim) {
            m_sim->kill();
            m_sim->waitForFinished(3000);
            m_sim.reset();
        }
    }

    void helpListsEveryOption()
    {
        QProcess help;
        help.start(TAVIK_SIM_PATH, {"--help"});
        QVERIFY(help.waitForFinished(5000));
        QCOMPARE(help.exitCode(), 0);
        const QString text = help.readAllStandardOutput();
        for (const char *option : {"--port", "--serial", "--firmware", "--name", "--model",
                                   "--announce-to", "--announce-interval-ms", "--time-scale",
                                   "--silent-after", "--drop-after-s", "--garbage", "--split",
                                   "--merge", "--bad-crc", "--trace", "--help"})
            QVERIFY2(text.contains(option), option);
    }

    void answersQueriesAndTracesFrames()
    {
        const QString trace = m_dir.filePath("trace.txt");
        const quint16 port = startSim({"--trace", trace, "--serial", "4242", "--firmware", "356",
                                       "--time-scale", "20"});
        QVERIFY(port != 0);
        QTcpSocket socket;
        QVERIFY(connectTo(socket, port));

        const QByteArray statusRequest = QByteArray::fromHex("000231018479");
        QCOMPARE(query(1), statusRequest);
        FrameReader reader;
        socket.write(statusRequest);
        QList<QByteArray> frames = readFrames(socket, 1, reader);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0].size(), 17);  // code, two u32, u16, two u8
        QCOMPARE(quint8(frames[0].at(2)), quint8(0x32));
        QCOMPARE(statusBits(frames[0]), 0x1u);  // stand-by after power-on

        socket.write(query(2));
        frames = readFrames(socket, 1, reader);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0].mid(2, 13),
                 QByteArray::fromHex("35" "64010000") + frames[0].mid(7, 4)
                     + QByteArray::fromHex("92100000"));

        // Bring-up, 2 s on air, which at 20 times speed ends after warm-up
        // (250 ms) and 100 ms of countdown.
        QByteArray lf;
        Frame::appendU32(lf, 10000);
        socket.write(Frame::encode(0x05, lf));
        socket.write(Frame::encode(0x08, QByteArray::fromHex("0200")));
        socket.write(Frame::encode(0x38, QByteArray(1, 1)));
        socket.write(Frame::encode(0x38, QByteArray(1, 2)));
        socket.write(QByteArray::fromHex("000231010000"));  // spoilt checksum: no answer
        bool sawOnAir = false;
        quint32 bits = 0;
        QElapsedTimer timer;
        timer.start();
        do {
            QTest::qWait(20);
            socket.write(query(1));
            frames = readFrames(socket, 1, reader);
            QCOMPARE(frames.size(), 1);
            bits = statusBits(frames[0]);
            sawOnAir = sawOnAir || (bits & 0x18) == 0x18;  // HV and OSC
        } while ((!sawOnAir || (bits & 0x18)) && timer.elapsed() < 3000);
        QVERIFY(sawOnAir);
        QCOMPARE(bits, 0x6u);  // off air again, output still up
        QCOMPARE(frames[0].mid(11, 2), QByteArray(2, 0));  // time used up

        socket.disconnectFromHost();
        QTRY_VERIFY(traceLines(trace).last().endsWith(" DISCONNECT"));
        const QStringList lines = traceLines(trace);
        QVERIFY(QRegularExpression("^\\d+ CONNECT$").match(lines.value(0)).hasMatch());
        QVERIFY(QRegularExpression("^\\d+ RX REQ_QUERY data=01 query=1$").match(lines.value(1)).hasMatch());
        for (const QString &expected : {QString(" RX REQ_SET_LF data=10270000 lf=10000"),
                                        QString(" RX REQ_SET_TIME data=0200 time=2"),
                                        QString(" RX REQ_COMMAND data=02 command=2"),
                                        QString(" RX BAD_CRC data=000231010000")})
            QVERIFY2(lines.filter(QRegularExpression("^\\d+" + QRegularExpression::escape(expected) + "$"))
                         .size() == 1, qPrintable(expected));
    }

    void faultyRepliesStillCutIntoFrames_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("decoded");
        QTest::newRow("split") << QStringList{"--split"} << 4;
        QTest::newRow("merge") << QStringList{"--merge"} << 4;
        QTest::newRow("garbage") << QStringList{"--garbage"} << 4;
        QTest::newRow("bad-crc") << QStringList{"--bad-crc", "2"} << 2;
        QTest::newRow("silent") << QStringList{"--silent-after", "3"} << 3;
    }

    void faultyRepliesStillCutIntoFrames()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, decoded);
        const quint16 port = startSim(arguments);
        QVERIFY(port != 0);
        QTcpSocket socket;
        QVERIFY(connectTo(socket, port));
        FrameReader reader;
        // One request alone, then three at once; a merged lone reply must
        // still come out after its wait.
        socket.write(query(1));
        QList<QByteArray> frames = readFrames(socket, 1, reader, 1000);
        socket.write(query(1) + query(2) + query(1));
        frames += readFrames(socket, 4 - int(frames.size()), reader, 1000);
        QCOMPARE(int(frames.size()), decoded);
        for (const QByteArray &frame : frames)
            QVERIFY(quint8(frame.at(2)) == 0x32 || quint8(frame.at(2)) == 0x35);
        QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
    }

    void secondClientIsRefused()
    {
        const quint16 port = startSim({});
        QVERIFY(port != 0);
        QTcpSocket first, second;
        QVERIFY(connectTo(first, port));
        connectTo(second, port);  // may connect and be closed, or fail at once
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QAbstractSocket::UnconnectedState, 3000);
        FrameReader reader;
        first.write(query(1));
        QCOMPARE(readFrames(first, 1, reader).size(), 1);
    }

    void announcesItself()
    {
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
        const QString to = QString("127.0.0.1:%1").arg(listener.localPort());
        const quint16 port = startSim({"--announce-to", to, "--announce-interval-ms", "100",
                                       "--model", "Tavik7", "--name", "Bench"});
        QVERIFY(port != 0);
        QList<QByteArray> datagrams;
        QElapsedTimer timer;
        timer.start();
        while (datagrams.size() < 2 && timer.elapsed() < 3000) {
            if (!listener.hasPendingDatagrams())
                listener.waitForReadyRead(100);
            while (listener.hasPendingDatagrams())
                datagrams << listener.receiveDatagram().data();
        }
        QVERIFY(datagrams.size() >= 2);
        const QByteArray signature = QByteArray::fromHex("22EF441A33E9F134549E78");
        // The first says the device has just started.
        QVERIFY(datagrams[0].startsWith(signature));
        QCOMPARE(datagrams[0].mid(27, 11), QByteArray("BootTavik7\0", 11));
        const QByteArray &regular = datagrams[1];
        QCOMPARE(regular.size(), 48);
        QVERIFY(regular.startsWith(signature));
        QCOMPARE(regular.mid(11, 4), QByteArray::fromHex("7F000001"));
        QCOMPARE(quint16(quint8(regular.at(25)) << 8 | quint8(regular.at(26))), port);
        QCOMPARE(regular.mid(27, 7), QByteArray("Tavik7\0", 7));
        QCOMPARE(regular.mid(36, 6), QByteArray("Bench\0", 6));
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
