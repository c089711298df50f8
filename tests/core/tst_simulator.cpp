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
