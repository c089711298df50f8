#include "device/tavik.h"
#include "discovery/broadcastudp.h"
#include "work/deviceslots.h"
#include "work/runrules.h"
#include "work/sequencer.h"

#include "support/scaledclock.h"
#include "support/simprocess.h"
#include "support/testenv.h"

#include <QFile>
#include <QRandomGenerator>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

// Devices that misbehave at random (the simulator's chaos mode) and an
// operator who clicks at random, against the program's device core with
// its real 25 ms tick. After every step the simulators' traces are held
// against what the program believes:
// - a device the program is connected to is never on air for long without
//   a run of the program on it;
// - a run the program shows as going is on air on its device;
// - every run that ends was completed, stopped by the operator, or is
//   reported as cut short.
// TAVIK_CHAOS_SEEDS ("1,2") and TAVIK_CHAOS_SECONDS (per seed) set the
// campaign; a failure prints its seed and every step taken.

namespace {

constexpr double timeScale = 20;
constexpr int deviceCount = 3;
// How long a wrong belief may last: a lost link takes the watchdog's 3.7 s
// to be noticed, and a stalled device says nothing for up to 6 s.
constexpr qint64 unsupervisedLimitMs = 4000;
constexpr qint64 phantomLimitMs = 6000;

qint64 monotonicNow()
{
    QElapsedTimer timer;
    timer.start();
    return timer.msecsSinceReference();
}

// One simulator and what its trace says of its phase, read as it grows.
struct Device
{
    SimProcess sim;
    QString serial;
    qint64 readTo = 0;    // bytes of the trace read so far
    bool onAir = false;   // warming or on air, as of the last line read

    void readTrace()
    {
        QFile file(sim.tracePath());
        if (!file.open(QIODevice::ReadOnly) || !file.seek(readTo))
            return;
        const QByteArray bytes = file.readAll();
        const qsizetype end = bytes.lastIndexOf('\n');
        if (end < 0)
            return;
        readTo += end + 1;
        for (const QByteArray &line : bytes.left(end).split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.size() >= 3 && words.at(1) == "PHASE")
                onAir = words.at(2) == "Warming" || words.at(2) == "OnAir";
        }
    }
};

struct Campaign
{
    quint32 seed;
    qint64 seconds;
    QRandomGenerator random;
    QStringList steps;
    QString failure;

    quint16 udpPort = freeUdpPort();
    std::unique_ptr<BroadcastUDP> listener;
    std::unique_ptr<DeviceSlots> devices;
    ScaledClock clock {timeScale};
    Device sims[deviceCount];
    // Per device: since when the program's belief and the device disagree.
    qint64 unsupervisedSince[deviceCount] = {};
    qint64 phantomSince[deviceCount] = {};
    bool wasRunning[deviceCount] = {};
    bool stoppedByOperator[deviceCount] = {};
    int runs = 0;
    int cutShort = 0;
    qint64 longestUnsupervised = 0;
    qint64 longestPhantom = 0;

    Campaign(quint32 s, qint64 secs) : seed(s), seconds(secs), random(s) {}

    void step(const QString &what) { steps.append(QStringLiteral("%1 ms: %2").arg(monotonicNow()).arg(what)); }

    bool startSims()
    {
        for (int i = 0; i < deviceCount; ++i) {
            Device &device = sims[i];
            device.serial = QString::number(8100 + i);
            if (!device.sim.start({"--address", QStringLiteral("127.0.0.%1").arg(2 + i), "--port", "8888",
                                   "--serial", device.serial, "--time-scale", QString::number(timeScale),
                                   "--announce-to", QStringLiteral("127.0.0.1:%1").arg(udpPort),
                                   "--announce-interval-ms", "1000", "--chaos", QString::number(seed * 10 + quint32(i)),
                                   "--chaos-gap-s", "3"}))
                return false;
        }
        return true;
    }

    void open()
    {
        step("open");
        listener = std::make_unique<BroadcastUDP>(udpPort);
        listener->bindListener();
        devices = std::make_unique<DeviceSlots>();
        devices->setClock(&clock);
        for (bool &running : wasRunning)
            running = false;
    }

    void close()
    {
        step("close");
        devices->stopAll(2000);
        devices.reset();
        listener.reset();
    }

    // The record, slot and parts of a simulator's device, when bound.
    int slotOf(int device)
    {
        for (const Machine &machine : devices->registry().records()) {
            if (machine.serialNumber == sims[device].serial && machine.hasDeviceSlot())
                return machine.slot;
        }
        return -1;
    }

    void tick()
    {
        QTest::qWait(3);
        while (listener->readAnnouncement()) {
            if (listener->announcementTouched())
                devices->mergeAnnouncement(listener->announced());
        }
        devices->tickBound();
        devices->takeCutShorts();
        devices->takeNotices();
    }

    void act()
    {
        const int device = int(random.bounded(deviceCount));
        const int slot = slotOf(device);
        const int action = int(random.bounded(100));
        if (slot < 0)
            return;
        Tavik &tavik = devices->controller(slot);
        Sequencer &sequencer = devices->sequencer(slot);
        if (action < 30) {
            Machines &registry = devices->registry();
            for (int row = 0; row < registry.count(); ++row) {
                registry.setCurrent(row);
                if (registry.slot() == slot)
                    break;
            }
            WorkList &work = *registry.work();
            work.editRecords().clear();
            const int lines = 1 + int(random.bounded(3));
            for (int i = 0; i < lines; ++i) {
                work.setCurrent(work.count());
                work.insertNew();
                work.setName(QStringLiteral("L%1").arg(i));
                work.setLinePool(1);
                work.setValue(QString::number(1000 + random.bounded(9000)));
                work.setTime(1 + int(random.bounded(3)));
            }
            if (RunRules::check(&work, &tavik, &sequencer) != RunRules::Outcome::Ready)
                return;
            loadWork(work, sequencer);
            if (sequencer.start()) {
                step(QStringLiteral("start %1 (%2 lines)").arg(sims[device].serial).arg(lines));
                stoppedByOperator[device] = false;
                ++runs;
            }
        } else if (action < 55) {
            if (sequencer.isRunning()) {
                step(QStringLiteral("stop %1").arg(sims[device].serial));
                stoppedByOperator[device] = true;
            }
            sequencer.stop();
        } else if (action < 65) {
            step(QStringLiteral("connect %1").arg(sims[device].serial));
            tavik.requestConnect();
        } else if (action < 72) {
            step(QStringLiteral("disconnect %1").arg(sims[device].serial));
            stoppedByOperator[device] = true;
            tavik.requestDisconnect();
        } else if (action < 77) {
            step(QStringLiteral("delete %1").arg(sims[device].serial));
            stoppedByOperator[device] = true;
            Machines &registry = devices->registry();
            for (int row = 0; row < registry.count(); ++row) {
                registry.setCurrent(row);
                if (registry.slot() == slot) {
                    registry.removeCurrent();
                    break;
                }
            }
            devices->bindDevices();
        } else if (action < 80) {
            close();
            open();
        }
    }

    bool fail(const QString &why)
    {
        failure = why;
        return false;
    }

    bool check()
    {
        const qint64 now = monotonicNow();
        for (int device = 0; device < deviceCount; ++device) {
            Device &sim = sims[device];
            sim.readTrace();
            const int slot = slotOf(device);
            const Tavik *tavik = slot >= 0 ? &devices->controller(slot) : nullptr;
            const Sequencer *sequencer = slot >= 0 ? &devices->sequencer(slot) : nullptr;
            const bool connected = tavik && tavik->isConnected() && tavik->isLinkUp();
            const bool run = tavik && (tavik->hasRun() || !sequencer->canStart());
            const bool shownOnAir = sequencer && sequencer->state() == Sequencer::S_SEND_LF;

            // On air, connected, and no run of ours on it.
            if (sim.onAir && connected && !run) {
                if (unsupervisedSince[device] == 0)
                    unsupervisedSince[device] = now;
                longestUnsupervised = qMax(longestUnsupervised, now - unsupervisedSince[device]);
                if (now - unsupervisedSince[device] > unsupervisedLimitMs)
                    return fail(QStringLiteral("%1 on air for %2 ms, connected, with no run on it")
                                    .arg(sim.serial).arg(now - unsupervisedSince[device]));
            } else {
                unsupervisedSince[device] = 0;
            }

            // A run shown as on air that the device has ended.
            if (shownOnAir && !sim.onAir) {
                if (phantomSince[device] == 0)
                    phantomSince[device] = now;
                longestPhantom = qMax(longestPhantom, now - phantomSince[device]);
                if (now - phantomSince[device] > phantomLimitMs)
                    return fail(QStringLiteral("%1 shown transmitting for %2 ms while off air")
                                    .arg(sim.serial).arg(now - phantomSince[device]));
            } else {
                phantomSince[device] = 0;
            }

            // A run that ended by itself ended complete or cut short.
            const bool running = sequencer && sequencer->isRunning();
            if (wasRunning[device] && !running && sequencer && !stoppedByOperator[device]) {
                bool complete = true;
                for (int item = 0; item < sequencer->count(); ++item)
                    complete = complete && sequencer->progress(item) == 100;
                if (sequencer->cutShort().item >= 0)
                    ++cutShort;
                else if (!complete)
                    return fail(QStringLiteral("a run on %1 ended neither complete nor cut short").arg(sim.serial));
            }
            wasRunning[device] = running;
        }
        return true;
    }

    bool run()
    {
        if (!startSims())
            return fail("the simulators did not start");
        open();
        QElapsedTimer elapsed;
        elapsed.start();
        while (elapsed.elapsed() < seconds * 1000) {
            act();
            const int ticks = 20 + int(random.bounded(180));
            for (int i = 0; i < ticks; ++i) {
                tick();
                if (!check())
                    return false;
            }
        }
        close();
        return true;
    }
};

QList<quint32> seedsFromEnvironment()
{
    QList<quint32> seeds;
    const QString text = qEnvironmentVariable("TAVIK_CHAOS_SEEDS", QStringLiteral("1,2"));
    for (const QString &word : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        seeds.append(word.trimmed().toUInt());
    return seeds;
}

} // namespace

class TestChaos : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void devicesAndOperatorAtRandom()
    {
        const qint64 seconds = qEnvironmentVariableIntValue("TAVIK_CHAOS_SECONDS") > 0
            ? qEnvironmentVariableIntValue("TAVIK_CHAOS_SECONDS")
            : 40;
        for (const quint32 seed : seedsFromEnvironment()) {
            Campaign campaign(seed, seconds);
            const bool ok = campaign.run();
            qInfo().noquote() << QStringLiteral("chaos seed %1: %2 device-seconds, %3 runs, %4 cut short, %5 steps, "
                                                "longest on air unsupervised %6 ms, shown on air while off %7 ms")
                                     .arg(seed).arg(seconds * deviceCount).arg(campaign.runs).arg(campaign.cutShort)
                                     .arg(campaign.steps.size()).arg(campaign.longestUnsupervised)
                                     .arg(campaign.longestPhantom);
            if (!ok) {
                for (const QString &step : campaign.steps)
                    qInfo().noquote() << "  " << step;
                QFAIL(qPrintable(QStringLiteral("chaos seed %1: %2 (replay: TAVIK_CHAOS_SEEDS=%1 TAVIK_CHAOS_SECONDS=%3)")
                                     .arg(seed).arg(campaign.failure).arg(seconds)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestChaos)
#include "tst_chaos.moc"
