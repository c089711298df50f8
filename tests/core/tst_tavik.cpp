#include "data/logs.h"
#include "device/tavik.h"

#include "support/simprocess.h"
#include "support/testenv.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

// Trace lines of requests other than the periodic status polls.
QStringList requestsBesidesPolling(const SimProcess &sim)
{
    QStringList lines = sim.received();
    lines.removeIf([](const QString &line) {
        return line.contains("query=1") || line.contains("query=4");
    });
    return lines;
}

} // namespace

class TestTavik : public QObject
{
    Q_OBJECT

    // A controller aimed at the simulator, auto-connecting, with a log.
    struct Rig
    {
        SimProcess sim;
        Tavik tavik;
        Logs log;

        bool start(const QStringList &arguments = {})
        {
            if (!sim.start(arguments))
                return false;
            tavik.setTCPIP("127.0.0.1", sim.port());
            tavik.setAutoConnect(true);
            return tickUntil(tavik, [this] { return inReadyCycle(tavik); });
        }

        // Asks for a run of this length at this LF value.
        void startRun(quint32 seconds, quint32 lf = 500)
        {
            tavik.setTransmitSeconds(seconds);
            tavik.setLfRequested(lf);
            tavik.requestStart();
        }

        // Ticks at the program's 25 ms until the controller is back in its
        // ready cycle with the device answering; -1 when it never is.
        int ticksUntilAnswering()
        {
            tavik.takeStatusSnapshot();
            bool answered = false;
            int ticks = 0;
            const bool back = tickUntil(tavik, [&] {
                ++ticks;
                answered = tavik.takeStatusSnapshot() || answered;
                return answered && inReadyCycle(tavik);
            }, 15000, 25);
            return back ? ticks : -1;
        }

        // Why the run ended without a stop, as the controller told it; empty
        // when it has not.
        QString interruption()
        {
            QString why;
            RunEvent event;
            while (tavik.runEvents().take(event)) {
                if (event.kind == RunEvent::Interrupted)
                    why = event.text;
            }
            return why;
        }

        // The controller's lines so far, oldest first, moved into the log as
        // the device slots do.
        QStringList logTexts()
        {
            for (const QString &line : tavik.takeLogLines())
                log.add(line);
            QStringList texts;
            for (const LogEntry &entry : log.records())
                texts.prepend(entry.text);
            return texts;
        }
    };

private Q_SLOTS:
    // Connects, initialises, transmits, changes the LF value, stops and
    // disconnects; with either warm-up a device may show.
    void connectsTransmitsAndStops_data()
    {
        QTest::addColumn<QString>("warmUp");
        QTest::newRow("HV first") << "hv-first";
        QTest::newRow("Ready and POW") << "ready-pow";
    }

    void connectsTransmitsAndStops()
    {
        QFETCH(QString, warmUp);
        Rig rig;
        QVERIFY(rig.start({"--serial", "4711", "--firmware", "357", "--time-scale", "10", "--warm-up", warmUp}));
        QVERIFY(rig.tavik.isLinkUp());
        QVERIFY(rig.tavik.pingReachable());
        // The simulator writes its trace as it reads; let it catch up.
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.sim.received().filter("query=1").size() >= 3; }, 3000));
        // The bring-up from stand-by may follow at once; it belongs to the
        // ready cycle.
        const QStringList init = requestsBesidesPolling(rig.sim).filter(QRegularExpression("^(?!RX REQ_COMMAND)"));
        const QStringList expected{"^RX REQ_QUERY data=02", "^RX REQ_QUERY data=03", "^RX REQ_SET_CLOCK",
                                   "^RX REQ_QUERY data=03", "REQ_SET_LF.*lf=12774", "REQ_SET_TIME.*time=100",
                                   "^RX REQ_QUERY data=06"};
        QVERIFY2(init.size() == expected.size(), qPrintable(init.join(" / ")));
        for (int i = 0; i < init.size(); ++i)
            QVERIFY2(init.at(i).contains(QRegularExpression(expected.at(i))), qPrintable(init.at(i)));

        QCOMPARE(rig.tavik.serialNumberText(), QString("4711"));
        QVERIFY(rig.tavik.takeConfigReceived());
        QVERIFY(!rig.tavik.takeConfigReceived());
        // The simulator's trace runs ahead of its replies: on a loaded
        // machine the livetime reply may still be on its way.
        QVERIFY(tickUntil(rig.tavik, [&] { return !rig.logTexts().filter("Livetime tube:").isEmpty(); }, 3000));
        const QStringList log = rig.logTexts();
        QCOMPARE(log.first(), QString("Try to connect"));
        QVERIFY(log.contains("Connecting"));
        QVERIFY(log.contains("Connected"));
        QVERIFY(log.filter(QRegularExpression("^SN:4711 compiled:\\d\\d\\.\\d\\d\\.\\d{4} .* version:357$")).size() == 1);
        QVERIFY(log.filter("Livetime tube:").size() == 1);
        QVERIFY(log.filter("Status:").size() >= 1);

        // The ready cycle keeps polling and brings the output up from stand-by.
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.sim.received().filter("command=1").size() > 0; }, 5000));
        const QList<Tavik::Event> events = rig.tavik.takeConnectionEvents();
        QVERIFY(events.contains(Tavik::Event::TryToConnect) && events.contains(Tavik::Event::Ready));
        QVERIFY(events.indexOf(Tavik::Event::Connected) < events.indexOf(Tavik::Event::Ready));

        QVERIFY(tickUntil(rig.tavik, [&] { return rig.tavik.takeStatusSnapshot(); }));
        QCOMPARE(rig.tavik.stateText(), QString("Ready"));

        // The first value of a list [10000, 2000]: the same as the
        // controller's value before any run, yet it must reach the device
        // before the start, not the value sent while initialising.
        rig.startRun(600, 10000);
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.tavik.state() == Tavik::M_MACHINE_WARMING; }));
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.sim.received().filter("time=603").size() == 1; }, 3000));
        QVERIFY(rig.logTexts().contains("Request transmit, preset time:603"));
        const QStringList sent = requestsBesidesPolling(rig.sim);
        const int firstLf = sent.indexOf(QRegularExpression(".*lf=10000$"));
        QVERIFY2(firstLf >= 0 && firstLf < sent.indexOf(QRegularExpression(".*command=2$")), qPrintable(sent.join(" / ")));
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.tavik.isTransmitting(); }));

        // A new value goes out on the very next tick, not at the next poll.
        rig.tavik.setLfRequested(4321);
        tickDevice(rig.tavik);
        QCOMPARE(rig.tavik.lfSent(), 4321u);
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.sim.received().filter("lf=4321").size() == 1; }, 3000));
        QVERIFY(rig.logTexts().contains("Preset lf:4321"));
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.tavik.isTransmitting(); }));

        rig.tavik.requestStop();
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.sim.received().filter("command=3").size() == 1; }, 3000));
        QVERIFY(rig.logTexts().contains("Stop transmit"));
        QVERIFY(tickUntil(rig.tavik, [&] { return inReadyCycle(rig.tavik); }));
        QVERIFY(tickUntil(rig.tavik, [&] {
            rig.tavik.takeStatusSnapshot();
            return !(rig.tavik.snapshot().statusBits & Protocol::HighVoltage);
        }));

        // Once the user disconnects, the state word says so.
        rig.tavik.requestDisconnect();
        QVERIFY(tickUntil(rig.tavik, [&] { return !rig.tavik.isConnected(); }));
        QVERIFY(!rig.tavik.isLinkUp());
        QCOMPARE(rig.tavik.stateText(), QString("Disconnected"));
    }

    void oldFirmwareAndLongTime()
    {
        Rig rig;
        rig.tavik.requestStart();  // before any connection: must not start one
        QVERIFY(rig.start({"--firmware", "356"}));
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.sim.received().filter("query=1").size() >= 4; }, 3000));
        QCOMPARE(rig.sim.received().filter("REQ_QUERY data=06").size(), 0);
        QVERIFY(rig.sim.received().filter("command=2").isEmpty());
        QVERIFY(rig.logTexts().filter("Livetime").isEmpty());

        // With no LF value given by a run, a start is refused: nothing may
        // go on air at a value nobody asked for.
        QVERIFY(!rig.interruption().isEmpty());  // the start before connecting
        rig.tavik.requestStart();
        QCOMPARE(rig.interruption(), QString("No LF value to transmit"));
        QVERIFY(!rig.tavik.hasRun());

        // A time beyond what the device holds is sent as its maximum.
        rig.startRun(70000);
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.sim.received().filter("REQ_SET_TIME").size() == 2; }));
        QVERIFY(rig.sim.received().filter("REQ_SET_TIME").last().contains("time=65535"));
        QVERIFY(rig.logTexts().filter("too long").size() == 1);
    }

    // A device that restarts closes the connection: the controller says so
    // at once and all along, and is back within moments of the device. A
    // device that stops answering is declared lost by the watchdog; once it
    // answers again the controller initialises it anew and is ready.
    void recoversFromRestartedOrSilentDevice()
    {
        Rig rig;
        QVERIFY(rig.start());
        const quint16 port = rig.sim.port();
        rig.sim.stop();
        QStringList shown;
        for (int i = 0; i < 80; ++i) {
            tickDevice(rig.tavik, 25);
            if (i > 2)
                shown.append(rig.tavik.stateText());
        }
        QCOMPARE(shown.filter("Disconnected").size(), shown.size());
        QVERIFY(rig.sim.start({"--port", QString::number(port), "--silent-after", "40"}));
        const int ticks = rig.ticksUntilAnswering();
        QVERIFY(ticks >= 0);
        // The initialisation takes 61 ticks (1.5 s).
        QVERIFY2(ticks < 100, qPrintable(QString::number(ticks)));

        QVERIFY(tickUntil(rig.tavik, [&] { return rig.tavik.state() == Tavik::M_MACHINE_RECONNECT_DISCONNECT; }));
        QVERIFY(rig.logTexts().contains("Lost connection disconnected"));
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.tavik.state() == Tavik::M_MACHINE_RECONNECTED; }));
        QVERIFY(tickUntil(rig.tavik, [&] { return inReadyCycle(rig.tavik); }));
        // The configuration is asked for again.
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.sim.received().filter("REQ_QUERY data=02").size() >= 2; }, 3000));
    }

    // The link is lost while the device is on air: the device closes it, or
    // falls silent while still acting on what it is sent. Nobody supervises
    // that transmission any more: the run ends as interrupted, the stop goes
    // out on the old connection while it lasts and first thing on the next,
    // and the controller gets the device back as soon as it answers, though
    // the device first turns it away while it holds the old connection. An
    // operator who disconnects meanwhile lets the device go only once it
    // has had its stop.
    void lostLinkWhileOnAir_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("disconnect");
        QTest::newRow("closed on air, then Disconnect")
            << QStringList{"--time-scale", "10", "--drop-after-s", "3"} << true;
        QTest::newRow("silent on air") << QStringList{"--time-scale", "10", "--silent-after", "14"} << false;
    }

    void lostLinkWhileOnAir()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, disconnect);
        Rig rig;
        QVERIFY(rig.start(arguments));
        rig.startRun(600);
        // At the program's own tick from here: its waits last as long as
        // they do there.
        const int tickMs = 25;
        QVERIFY(tickUntil(rig.tavik, [&] { return !rig.tavik.hasRun(); }, 8000, tickMs));
        QVERIFY(!rig.interruption().isEmpty());
        QCOMPARE(rig.tavik.stateText(), QString("Disconnected"));
        if (disconnect) {
            rig.tavik.requestDisconnect();
            QVERIFY(tickUntil(rig.tavik, [&] { return rig.sim.timeOf("PHASE Ready stop") >= 0; }, 8000, tickMs));
            QVERIFY(tickUntil(rig.tavik, [&] { return rig.tavik.state() == Tavik::M_IDLE; }, 8000, tickMs));
            QVERIFY(!rig.tavik.isConnected() && !rig.tavik.autoConnect());
            return;
        }
        // Back in the ready cycle with the device answering on the new
        // connection, after 61 ticks of initialisation and not many more.
        const int ticks = rig.ticksUntilAnswering();
        QVERIFY(ticks >= 0);
        QVERIFY2(ticks < 120, qPrintable(QString::number(ticks)));
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.sim.timeOf("PHASE Ready stop") >= 0; }, 3000));

        const QList<QByteArray> trace = TestEnv::readFile(rig.sim.tracePath()).split('\n');
        int connects = 0;
        QStringList onFirst, afterReconnect;
        for (const QByteArray &line : trace) {
            connects += line.endsWith(" CONNECT") ? 1 : 0;
            (connects <= 1 ? onFirst : afterReconnect).append(QString::fromUtf8(line));
        }
        // A device that still reads hears the stop on the old connection.
        QVERIFY2(onFirst.filter(QRegularExpression("command=3$")).size() == 1, qPrintable(onFirst.join(" / ")));
        // The next connection begins with the stop, not with values for a
        // transmission nobody supervises.
        const int stop = afterReconnect.indexOf(QRegularExpression(".*command=3$"));
        QVERIFY2(stop > 0, qPrintable(afterReconnect.join(" / ")));
        for (const QString &line : afterReconnect.mid(0, stop))
            QVERIFY2(!line.contains("REQ_SET_LF") && !line.contains("REQ_SET_TIME"), qPrintable(line));
        QVERIFY(rig.logTexts().filter("no run supervising it").isEmpty());
    }

    // The device ends a run by itself. On air: stopped by another host (all
    // off, time left, no error), a tube error, its own time runs out. Warming
    // up, which ends only with OSC: stand-by or an error bit, or a warm-up
    // that never ends. The controller says why at once, stops whatever is
    // left on, sends no later value and starts nothing by itself.
    void deviceEndsTheRun_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("reason");
        const QStringList cutOff{"--cut-off-after-s", "30", "--cut-off-errors"};
        QTest::newRow("stopped elsewhere") << cutOff + QStringList{"0"} << 600
                                           << "Stopped by another host: the device left the air with time left and no error";
        QTest::newRow("tube error") << cutOff + QStringList{"2"} << 600 << "Error: TUBE";
        QTest::newRow("own time") << cutOff + QStringList{"0"} << 20 << "The device's own time ran out";
        // One of the three bits drops and the device stays on air without it.
        const QStringList dropAt{"--cut-off-after-s", "30", "--drop-bit"};
        QTest::newRow("HV alone") << dropAt + QStringList{"hv"} << 600 << "HV dropped";
        QTest::newRow("OSC alone") << dropAt + QStringList{"osc"} << 600 << "The oscillator stopped";
        QTest::newRow("Transmit alone") << dropAt + QStringList{"transmit"} << 600 << "Transmit cleared";
        QTest::newRow("stand-by warming") << QStringList{"--warm-up", "ready-pow", "--warm-up-fault", "standby"} << 600
                                          << "The device fell to stand-by during its warm-up";
        QTest::newRow("error warming") << QStringList{"--warm-up-fault", "128"} << 600 << "Error: HEAT";
        QTest::newRow("no OSC") << QStringList{"--warm-up", "ready-pow", "--warm-up-s", "100000"} << 600
                                << "The device showed no OSC within 120 s of its start";
    }

    void deviceEndsTheRun()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, seconds);
        QFETCH(QString, reason);
        const bool warming = !arguments.contains("--cut-off-after-s");
        Rig rig;
        QVERIFY(rig.start(arguments << "--time-scale" << "10"));
        rig.startRun(quint32(seconds));
        QVERIFY(warming || tickUntil(rig.tavik, [&] { return rig.tavik.isTransmitting(); }));
        QString why;
        // A warm-up's two minutes of ticks run faster than the program's.
        QVERIFY(tickUntil(rig.tavik, [&] { return !(why = rig.interruption()).isEmpty(); },
                          warming ? 30000 : 8000, warming ? 1 : 2));
        QCOMPARE(why, reason);
        QVERIFY(!rig.tavik.isTransmitting());
        QVERIFY(!rig.tavik.hasRun());
        QVERIFY(inReadyCycle(rig.tavik));
        if (warming) {
            QVERIFY(tickUntil(rig.tavik, [&] { return rig.sim.received().filter("command=3").size() == 1; }, 3000));
            QCOMPARE(rig.sim.timeOf("PHASE OnAir"), -1);
            return;
        }
        // What the status line shows last is where the device is now: off
        // air, whatever it still had on switched off.
        QCOMPARE(rig.tavik.takeConnectionEvents().last(), Tavik::Event::Ready);
        QVERIFY(tickUntil(rig.tavik, [&] {
            const QByteArray trace = TestEnv::readFile(rig.sim.tracePath());
            return trace.mid(trace.lastIndexOf(" PHASE ")).startsWith(" PHASE Ready");
        }, 3000));
        rig.tavik.setLfRequested(600);  // a sequencer that has not noticed
        for (int i = 0; i < 80; ++i)
            tickDevice(rig.tavik);
        QVERIFY(rig.sim.received().filter("lf=600").isEmpty());
        QCOMPARE(rig.sim.received().filter("command=2").size(), 1);
        QVERIFY(rig.logTexts().filter("no run supervising it").isEmpty());
    }

    // Devices that do not serve this program as they should. One that
    // accepts the connection and never answers is not taken for ready, and
    // no run starts on it. One held by another host turns every connection
    // away: it is tried less and less often, and the log says so once. One
    // that answers out of order keeps its run on air: a late reply from the
    // warm-up tells nothing about now.
    void devicesThatDoNotServeUs()
    {
        Rig silent;
        QVERIFY(silent.sim.start({"--silent-after", "0"}));
        silent.tavik.setTCPIP("127.0.0.1", silent.sim.port());
        silent.tavik.setState(Tavik::M_MACHINE_CONNECT);
        QVERIFY(tickUntil(silent.tavik, [&] { return inReadyCycle(silent.tavik); }));
        for (int i = 0; i < 40; ++i)
            tickDevice(silent.tavik);
        QVERIFY(inReadyCycle(silent.tavik) && !silent.tavik.isLinkUp());
        QCOMPARE(silent.tavik.stateText(), QString("Disconnected"));
        silent.startRun(600);
        QCOMPARE(silent.interruption(), QString("The device has not answered on its connection yet"));
        for (int i = 0; i < 20; ++i)
            tickDevice(silent.tavik);
        QVERIFY(silent.sim.received().filter("command=2").isEmpty());

        Rig held;
        QVERIFY(held.sim.start({"--held"}));
        held.tavik.setTCPIP("127.0.0.1", held.sim.port());
        held.tavik.setState(Tavik::M_MACHINE_CONNECT);
        for (int i = 0; i < 320; ++i)
            tickDevice(held.tavik, 25);
        const qsizetype refused = TestEnv::readFile(held.sim.tracePath()).count("REFUSED");
        const QStringList log = held.logTexts();
        QVERIFY2(refused >= 3 && refused <= 8, qPrintable(QString::number(refused)));
        QVERIFY2(log.size() <= 8 && log.filter("has not answered").size() == 1, qPrintable(log.join(" / ")));

        Rig swapped;
        QVERIFY(swapped.start({"--swap-replies", "--time-scale", "10"}));
        swapped.startRun(600);
        QVERIFY2(tickUntil(swapped.tavik, [&] { return swapped.tavik.isTransmitting(); }, 8000, 25),
                 qPrintable(swapped.interruption()));
        for (int i = 0; i < 120; ++i)
            tickDevice(swapped.tavik, 25);
        QCOMPARE(swapped.interruption(), QString());
        QVERIFY(swapped.tavik.isTransmitting());
    }

    // A device that goes on air by itself, and answers slowly (200 ms, long
    // after the ready cycle has moved on), is stopped by its reply.
    void slowDeviceOnAirByItself()
    {
        Rig rig;
        QVERIFY(rig.start({"--reply-delay-ms", "200", "--on-air-at-s", "4"}));
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.sim.timeOf("PHASE OnAir self-start") >= 0; }, 8000));
        QVERIFY(tickUntil(rig.tavik, [&] { return rig.sim.timeOf("PHASE Ready stop") >= 0; }, 3000));
        QVERIFY(rig.sim.timeOf("PHASE Ready stop") - rig.sim.timeOf("PHASE OnAir self-start") < 1500);
        QCOMPARE(rig.logTexts().filter("no run supervising it").size(), 1);

        // One that goes on air by itself while its connection is being set
        // up is stopped within a step of the set-up, and no set-up value
        // reaches it on air.
        SimProcess sim;
        QElapsedTimer sinceStart;
        QVERIFY(sim.start({"--on-air-at-s", "1"}));
        sinceStart.start();
        Tavik tavik;
        tavik.setTCPIP("127.0.0.1", sim.port());
        QTest::qWait(qMax(0, 550 - int(sinceStart.elapsed())));
        tavik.setState(Tavik::M_MACHINE_CONNECT);
        QVERIFY(tickUntil(tavik, [&] { return sim.timeOf("PHASE Ready stop") >= 0; }, 8000, 25));
        const qint64 onAir = sim.timeOf("PHASE OnAir self-start");
        const qint64 stopped = sim.timeOf("PHASE Ready stop");
        QVERIFY2(sim.timeOf("REQ_QUERY data=02") < onAir && sim.timeOf("PHASE Ready bring-up") < 0, "not during the set-up");
        QVERIFY2(stopped - onAir < 600, qPrintable(QString::number(stopped - onAir)));
        for (const QByteArray &line : TestEnv::readFile(sim.tracePath()).split('\n')) {
            const qint64 at = line.split(' ').first().toLongLong();
            if (line.contains("REQ_SET_LF") || line.contains("REQ_SET_TIME"))
                QVERIFY2(at < onAir || at > stopped, line.constData());
        }
    }

    void requestsWhileUnconnected()
    {
        Tavik tavik;
        tavik.setTCPIP("127.0.0.1", 1);  // nothing listens there
        tavik.setState(Tavik::M_PING);
        tavik.requestDisconnect();
        tickDevice(tavik);
        QCOMPARE(tavik.state(), Tavik::M_IDLE);
        QVERIFY(!tavik.autoConnect());

        // An unchanged address keeps the old port and does not disconnect.
        tavik.setTCPIP("127.0.0.1", 2);
        QCOMPARE(tavik.port(), quint16(1));

        // A connect request waits for a successful ping.
        Tavik unreachable;
        unreachable.setTCPIP("127.0.0.9", 8888);  // nothing listens there
        unreachable.requestConnect();
        tickDevice(unreachable);
        QCOMPARE(unreachable.state(), Tavik::M_IDLE);

        // Stop and start with no connection count for nothing: no ready
        // cycle without a socket (and no later transmission, see above).
        tavik.requestStop();
        tavik.requestStart();
        for (int i = 0; i < 5; ++i)
            tickDevice(tavik);
        QCOMPARE(tavik.state(), Tavik::M_IDLE);
        QVERIFY(!tavik.isLinkUp());

        // A disconnect calls off a connection attempt still under way (the
        // listener's queue is full, so the attempt hangs).
        QTcpServer full;
        full.setListenBacklogSize(0);
        QVERIFY(full.listen(QHostAddress::LocalHost));
        QTcpSocket filler;
        filler.connectToHost(QHostAddress::LocalHost, full.serverPort());
        QVERIFY(filler.waitForConnected(3000));
        Tavik pending;
        pending.setTCPIP("127.0.0.1", full.serverPort());
        pending.setState(Tavik::M_MACHINE_CONNECT);
        auto *socket = pending.findChild<QTcpSocket *>();
        QVERIFY(socket);
        tickDevice(pending, 50);
        QCOMPARE(socket->state(), QAbstractSocket::ConnectingState);
        pending.requestDisconnect();
        tickDevice(pending);
        QCOMPARE(pending.state(), Tavik::M_IDLE);
        QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(!pending.isConnecting());
    }
};

QTEST_GUILESS_MAIN(TestTavik)
#include "tst_tavik.moc"
