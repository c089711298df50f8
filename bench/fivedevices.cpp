// Five simulated devices against the window's own device tick (DeviceTick):
// the CPU it costs to keep five devices connected and polled, and how late a
// new LF value reaches a device after its item boundary. Also what a link
// costs when its peer sends nothing but noise, and how long a run's end
// holds the window while it is written into a long history.

#include "fivedevices.h"
#include "measure.h"

#include "device/frame.h"
#include "device/tavik.h"
#include "discovery/broadcastudp.h"
#include "data/clients.h"
#include "data/library.h"
#include "work/deviceslots.h"
#include "work/devicetick.h"
#include "work/runhistory.h"
#include "work/clock.h"
#include "work/sequencer.h"
#include "data/worklist.h"
#include "app/mainwindow.h"

#include <QTabWidget>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <array>
#include <ctime>
#include <memory>

using Measure::print;

namespace {


double cpuMs()
{
    return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

QString percent(double share)
{
    return QString::number(share * 100.0, 'f', 2) + QStringLiteral("%");
}

// A reader fed one second of noise at 200 KB/s, in the 5 KB a 25 ms tick
// would find.
void benchNoise(bool quick)
{
    const int seconds = quick ? 2 : 10;
    QRandomGenerator random(99);
    for (bool randomNoise : {false, true}) {
        QList<QByteArray> chunks;
        for (int i = 0; i < 40; ++i) {
            QByteArray chunk(5000, char(0xFF));
            if (randomNoise)
                for (char &byte : chunk)
                    byte = char(random.bounded(256));
            chunks.append(chunk);
        }
        FrameReader reader;
        QByteArray frame;
        QElapsedTimer timer;
        timer.start();
        for (int s = 0; s < seconds; ++s) {
            for (const QByteArray &chunk : chunks) {
                reader.append(chunk);
                while (reader.next(frame)) {
                }
            }
        }
        const double share = double(timer.nsecsElapsed()) / 1e9 / seconds;
        print(QStringLiteral("link under 200 KB/s of %1: share of one core")
                  .arg(randomNoise ? "random bytes" : "0xFF bytes"),
              percent(share));
    }
}

#ifdef TAVIK_SIM_PATH
constexpr int deviceCount = 5;
constexpr double timeScale = 30;  // an item of one minute lasts 2 s
constexpr int firstSerial = 9101;

// The sequencers' clock, as fast as the simulators' device time, with its
// start on the system's monotonic clock so that its times can be set beside
// the simulators' traces.
class BenchClock : public Clock
{
public:
    BenchClock() { m_timer.start(); }
    qint64 msecs() const override { return qint64(double(m_timer.nsecsElapsed()) / 1e6 * timeScale); }
    qint64 realMsUntil(qint64 ms) const override { return qint64(double(ms - msecs()) / timeScale + 0.999); }
    // The monotonic time, in ms, at which this clock reads `ms`.
    double monotonicAt(qint64 ms) const { return double(m_timer.msecsSinceReference()) + double(ms) / timeScale; }

private:
    QElapsedTimer m_timer;
};

struct Simulator
{
    QProcess process;
    QString tracePath;
};

bool startSimulators(std::array<Simulator, deviceCount> &sims, const QString &folder, double scale = timeScale)
{
    for (int i = 0; i < deviceCount; ++i) {
        Simulator &sim = sims[size_t(i)];
        sim.tracePath = folder + QStringLiteral("/sim%1.txt").arg(i + 1);
        sim.process.setProcessChannelMode(QProcess::SeparateChannels);
        sim.process.start(QStringLiteral(TAVIK_SIM_PATH),
                          {"--address", QStringLiteral("127.0.0.%1").arg(i + 1), "--port", "8888",
                           "--serial", QString::number(firstSerial + i), "--time-scale", QString::number(scale),
                           "--announce-interval-ms", "2000", "--trace", sim.tracePath});
        QByteArray out;
        while (!out.contains('\n') && sim.process.waitForReadyRead(5000))
            out += sim.process.readAllStandardOutput();
        if (!out.contains("listening on port"))
            return false;
    }
    return true;
}

// Where the trace's time 0 lies on the monotonic clock, and when each LF
// value first reached the device, in monotonic ms.
QHash<quint32, double> lfArrivals(const QString &tracePath)
{
    QFile file(tracePath);
    QHash<quint32, double> arrivals;
    if (!file.open(QIODevice::ReadOnly))
        return arrivals;
    static const QRegularExpression clockLine(QStringLiteral("^\\d+ CLOCK monotonic-ms=(\\d+)"));
    static const QRegularExpression lfLine(QStringLiteral("^(\\d+) RX REQ_SET_LF .*lf=(\\d+)"));
    double zero = -1;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const auto clock = clockLine.match(line);
        if (clock.hasMatch())
            zero = clock.captured(1).toDouble();
        const auto lf = lfLine.match(line);
        if (lf.hasMatch() && zero >= 0 && !arrivals.contains(lf.captured(2).toUInt()))
            arrivals.insert(lf.captured(2).toUInt(), zero + lf.captured(1).toDouble());
    }
    return arrivals;
}

// The window's device tick, timed, and every tenth tick the connection
// events the UI tick takes.
struct TimedTick
{
    DeviceTick &work;
    DeviceSlots &devices;
    int ticks = 0;
    qint64 spentNs = 0;

    void operator()()
    {
        QElapsedTimer spent;
        spent.start();
        work.run();
        if (++ticks % 10 == 0)
            devices.takeConnectionEvents();
        spentNs += spent.nsecsElapsed();
    }
};

// Lets the event loop run, sleeping between events, as the program's does.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool allReady(DeviceSlots &devices)
{
    int ready = 0;
    for (int slot = 0; slot < deviceCount; ++slot) {
        const Tavik::State state = devices.controller(slot).state();
        ready += state == Tavik::M_MACHINE_GET_STATUS || state == Tavik::M_MACHINE_COMMAND_BRING_UP;
    }
    return ready == deviceCount;
}

double quantile(QList<double> values, double q)
{
    std::sort(values.begin(), values.end());
    return values.at(qMin(int(values.size()) - 1, int(q * double(values.size()))));
}

} // namespace
#endif

void benchFiveDevices(bool quick)
{
    benchNoise(quick);
#ifndef TAVIK_SIM_PATH
    print("five devices", "skipped, built without tavik-sim");
}
#else

    const int measureMs = quick ? 10000 : 60000;
    QTemporaryDir folder;
    std::array<Simulator, deviceCount> sims;
    if (!startSimulators(sims, folder.path())) {
        print("five devices", "skipped, the simulators did not start (run in a network namespace of your own)");
        return;
    }
    BroadcastUDP listener;
    BenchClock clock;  // outlives the devices, whose end reads it
    DeviceSlots devices;
    Library library;
    DeviceTick work(listener, devices, library);
    devices.setClock(&clock);
    if (!listener.bindListener()) {
        print("five devices", "skipped, UDP port 11000 is taken");
        return;
    }
    TimedTick tick {work, devices};
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&tick] { tick(); });
    timer.start(25);

    QElapsedTimer connecting;
    connecting.start();
    while (!allReady(devices) && connecting.elapsed() < 60000)
        runFor(100);
    if (!allReady(devices)) {
        print("five devices", "skipped, not all five reached the ready cycle");
        return;
    }
    print("five devices: s until all five were connected and ready", double(connecting.elapsed()) / 1000.0, 1);

    // Polling only.
    double cpu = cpuMs();
    QElapsedTimer wall;
    wall.start();
    tick.spentNs = 0;
    runFor(measureMs);
    print(QStringLiteral("five devices polled for %1 s: CPU as a share of one core (goal <= 1%)").arg(measureMs / 1000),
          percent((cpuMs() - cpu) / double(wall.elapsed())));
    print("five devices polled: of which inside the device tick",
          percent(double(tick.spentNs) / 1e6 / double(wall.elapsed())));

    // Every device runs a list of one-minute items, each with its own LF
    // value, item boundaries every 2 s.
    const int items = measureMs / int(60000 / timeScale) + 2;
    Machines &registry = devices.registry();
    for (int row = 0; row < registry.count(); ++row) {
        registry.setCurrent(row);
        WorkList &list = *registry.work();
        const int device = registry.slot() + 1;
        for (int k = 0; k < items; ++k) {
            list.setCurrent(list.count());
            list.insertNew();
            list.setName(QStringLiteral("Item"));
            list.setLineVersion(1);
            list.setLinePool(1);
            list.setValue(QString::number(device * 1000 + k));
            list.setTime(1);
        }
        // Started as the Work tab starts it (with no client open).
        devices.setSelectedRow(row);
        QString notice;
        tick.work.recorder().start(notice);
    }
    // The first item begins in the tick that sees the device on air; every
    // later one a minute of sequencer time after the one before it.
    std::array<qint64, deviceCount> firstItemAt;
    firstItemAt.fill(-1);
    std::array<int, deviceCount> simOfSlot;
    simOfSlot.fill(-1);
    for (const Machine &machine : registry.records()) {
        const int sim = machine.serialNumber.toInt() - firstSerial;
        if (machine.hasDeviceSlot() && sim >= 0 && sim < deviceCount)
            simOfSlot[size_t(machine.slot)] = sim;
    }
    QObject::connect(&timer, &QTimer::timeout, [&] {
        for (int slot = 0; slot < deviceCount; ++slot) {
            if (firstItemAt[size_t(slot)] < 0 && devices.sequencer(slot).state() == Sequencer::S_SEND_LF)
                firstItemAt[size_t(slot)] = clock.msecs();
        }
    });
    cpu = cpuMs();
    wall.restart();
    runFor(measureMs);
    const double runCpu = (cpuMs() - cpu) / double(wall.elapsed());
    const qint64 stoppedAt = clock.msecs();
    for (int slot = 0; slot < deviceCount; ++slot)
        devices.sequencer(slot).stop();
    runFor(1000);

    QList<double> latencies;
    int missing = 0;
    for (int slot = 0; slot < deviceCount; ++slot) {
        if (firstItemAt[size_t(slot)] < 0 || simOfSlot[size_t(slot)] < 0)
            continue;
        const QHash<quint32, double> arrivals = lfArrivals(sims[size_t(simOfSlot[size_t(slot)])].tracePath);
        for (int k = 1; k < items; ++k) {
            const qint64 boundary = firstItemAt[size_t(slot)] + qint64(k) * 60000;
            if (boundary > stoppedAt - qint64(1000 * timeScale))
                break;  // not reached, or within a second of the stop
            const auto arrival = arrivals.constFind(quint32((slot + 1) * 1000 + k));
            if (arrival == arrivals.constEnd())
                ++missing;
            else
                latencies.append(*arrival - clock.monotonicAt(boundary));
        }
    }
    print(QStringLiteral("five devices running lists for %1 s: CPU as a share of one core (goal <= 1%)").arg(measureMs / 1000),
          percent(runCpu));
    if (latencies.isEmpty()) {
        print("item boundary to REQ_SET_LF at the device", "no item boundary seen");
    } else {
        print(QStringLiteral("item boundary to REQ_SET_LF at the device, ms p50 (%1 boundaries)").arg(latencies.size()),
              quantile(latencies, 0.5), 0);
        print("item boundary to REQ_SET_LF at the device, ms p99 (goal <= 10)", quantile(latencies, 0.99), 0);
    }
    if (missing > 0)
        print("item boundaries whose LF value never reached the device", missing);

    timer.stop();
    for (int slot = 0; slot < deviceCount; ++slot)
        devices.controller(slot).disconnectFromDevice();
    for (Simulator &sim : sims) {
        sim.process.kill();
        sim.process.waitForFinished(3000);
    }
}
#endif

void benchWindowDevices(bool quick)
{
#ifndef TAVIK_SIM_PATH
    Q_UNUSED(quick);
    print("window with five devices", "skipped, built without tavik-sim");
#else
    // The window's files go to a folder of this run, never the user's.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("share")).toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    std::array<Simulator, deviceCount> sims;
    if (!startSimulators(sims, home.path(), 1.0)) {
        print("window with five devices", "skipped, the simulators did not start (run in a network namespace of your own)");
        return;
    }
    const int measureMs = quick ? 10000 : 30000;
    {
        MainWindow window;
        window.resize(1280, 800);
        window.show();
        window.findChild<QTabWidget *>(QStringLiteral("MainPage"))->setCurrentIndex(MainWindow::TabTavik);
        DeviceSlots &devices = window.devices();
        QElapsedTimer connecting;
        connecting.start();
        while ((devices.registry().count() < deviceCount || !allReady(devices)) && connecting.elapsed() < 60000)
            runFor(100);
        if (!allReady(devices)) {
            print("window with five devices", "skipped, not all five reached the ready cycle");
            return;
        }
        // Every device's log full, as after a long day.
        Machines &registry = devices.registry();
        for (Machine &machine : registry.editRecords()) {
            for (int i = 0; i < 500; ++i)
                machine.logs.add(QStringLiteral("Status: READY POWER %1").arg(i));
        }
        runFor(1000);
        double cpu = cpuMs();
        QElapsedTimer wall;
        wall.start();
        runFor(measureMs);
        print(QStringLiteral("window, Tavik tab shown, five devices idle with full logs, %1 s: CPU (goal <= 1%)")
                  .arg(measureMs / 1000),
              percent((cpuMs() - cpu) / double(wall.elapsed())));

        for (int row = 0; row < registry.count(); ++row) {
            registry.setCurrent(row);
            WorkList &work = *registry.work();
            for (int k = 0; k < 10; ++k) {
                work.setCurrent(work.count());
                work.insertNew();
                work.setName(QStringLiteral("Item"));
                work.setLineVersion(1);
                work.setLinePool(1);
                work.setValue(QString::number(1000 + k));
                work.setTime(10);
            }
            devices.setSelectedRow(row);
            QString notice;
            window.deviceWork().recorder().start(notice);
        }
        QElapsedTimer warming;
        warming.start();
        auto allOnAir = [&devices] {
            for (int slot = 0; slot < deviceCount; ++slot) {
                if (!devices.controller(slot).isTransmitting())
                    return false;
            }
            return true;
        };
        while (!allOnAir() && warming.elapsed() < 30000)
            runFor(100);
        cpu = cpuMs();
        wall.restart();
        runFor(measureMs);
        print(QStringLiteral("window, Tavik tab shown, five devices transmitting with full logs, %1 s: CPU (goal <= 1%)")
                  .arg(measureMs / 1000),
              percent((cpuMs() - cpu) / double(wall.elapsed())));
        window.setQuitQuestion([] { return true; });
        window.close();
    }
    for (Simulator &sim : sims) {
        sim.process.kill();
        sim.process.waitForFinished(3000);
    }
#endif
}

void benchRunEndHistory(bool quick)
{
    const int entries = quick ? 10000 : 100000;
    QTemporaryDir folder;
    const QString data = folder.path() + QLatin1Char('/');
    Clients clients;
    clients.setFolder(data);
    for (const char *name : {"Open", "Long"}) {
        clients.insertNew();
        clients.setName(QLatin1String(name));
    }
    if (!clients.saveBase()) {
        print("run's end into a long history", "skipped, the clients could not be saved");
        return;
    }
    // The client whose history the run went to has a long one and is not
    // the one open now.
    QString longFile;
    QString openFile;
    for (const Client &client : clients.records())
        (client.name == QLatin1String("Long") ? longFile : openFile) = client.file;
    History history;
    history.setPath(data + longFile + QStringLiteral(".dat"));
    QList<Note> &notes = history.notes().editRecords();
    notes.reserve(entries);
    for (int i = 0; i < entries; ++i) {
        Note note = Note::newRecord(LineType::Notes);
        note.text = QStringLiteral("Session note %1").arg(i);
        notes.append(note);
    }
    if (!history.saveBase()) {
        print("run's end into a long history", "skipped, the history could not be saved");
        return;
    }
    Library library;
    library.load(data, openFile);

    // The device tick's 25 ms timer, and the longest gap between its ticks
    // while the end is written; written the way every run's end is.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longestGap = qMax(longestGap, sinceTick.restart());
    });
    const auto run = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    ticks.start(25);
    sinceTick.start();
    run(200);
    longestGap = 0;
    QTimer::singleShot(50, [&] {
        RunHistory::addNote(library, history.path(),
                            QStringLiteral("Tavik 9101: run cut short at line 1 (Item.v.1, 50 %): HV dropped"));
    });
    run(quick ? 2000 : 6000);
    print(QStringLiteral("run's end into a history of %1 entries of a client not open: longest gap between 25 ms "
                         "ticks, ms (goal <= 100)").arg(entries),
          double(longestGap), 0);
}
