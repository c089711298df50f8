#include "data/library.h"
#include "device/tavik.h"
#include "discovery/broadcastudp.h"
#include "work/deviceslots.h"
#include "work/devicetick.h"
#include "work/runrecord.h"
#include "work/runrules.h"
#include "work/runstart.h"
#include "work/sequencer.h"
#include "editors/worktablemodel.h"

#include "support/scaledclock.h"
#include "support/simprocess.h"
#include "support/testenv.h"

#include <QFile>
#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <memory>

// Devices that misbehave at random (the simulator's chaos mode: besides
// drops, stalls and noise, a device dropping one of HV, OSC and Transmit
// alone, held by another host, coming back silent, frozen with the stop
// waiting, answering out of order) and an operator who clicks, disconnects,
// deletes, closes the program and holds it up at random, against the
// window's own device tick (DeviceTick) every 25 ms. After every tick each
// device's own trace is held against the program:
// - a transmission the program started is never left on air once no run of
//   the program supervises it (after a run's end, a Disconnect, a close, a
//   delete or a lost link), and the program never closes a connection it
//   used with such a transmission on air; one the device started by itself
//   is stopped while the program is connected; no run is started on a
//   device that has not answered on its connection;
// - a run the operator paused is off air on the device as promptly as one
//   no run supervises;
// - a run the program shows on air is on air on the device;
// - every run is judged against what the device sent: the LF values, in
//   order, and for how long; a run recorded complete sent every line for its
//   time, a run cut short stopped at the line recorded, for a fault of the
//   device or its link (one cut because the device's own time ran out only
//   when the device's time did run out: a run the program was held up in
//   goes on while the device covers it; one the device went on with after
//   its link went is recorded as long as the device says it went on), and
//   the client's history, the device's log and the Work tab say the same;
//   a run the operator ended before its last line is recorded cut short;
//   a run paused and resumed covers its whole list once, across its parts;
//   a run recorded complete saw no bit of the device drop.
// Every limit is in the program's ticks. TAVIK_CHAOS_SEEDS ("1,2") and
// TAVIK_CHAOS_SECONDS (per seed) set the campaign; a failure prints its seed,
// every step taken and the device's last trace lines.

namespace {

constexpr int tickMs = 25;
// Device time runs this much faster than the program's; low enough that the
// ticks the program takes to see the oscillator stay within the 3 s a device
// is given beyond its list, as they do at real speed.
constexpr double timeScale = 3;
constexpr int deviceCount = Machine::deviceSlots;
// Mean seconds between a device's misbehaviours: some devices are hit often,
// some seldom enough to complete their runs.
constexpr double chaosGapS[deviceCount] = {2, 4, 8, 16, 32};

// A stop the program owes at once (a run's end, Disconnect, a close, a
// delete, a lost link, a device found on air): a status poll (15 ticks) and
// a slow reply (10) at most.
constexpr int promptTicks = 40;
// A device that went on air by itself is seen at the next status reply, in
// the ready cycle as in a connection's set-up.
constexpr int selfStartTicks = promptTicks;
// The device closed the link itself, fell silent (a stall of up to 8 s), or
// moved: the watchdog, the rest of the stall, and a fresh connection.
constexpr int reconnectTicks = Tavik::watchdogTicks + 300 + 100 + 50;
// The device moved to another address: its next announcement (40 ticks),
// a ping there (a twin's announcements may send it elsewhere for a while),
// and the connection.
constexpr int moveTicks = 40 + 100 + 50 + promptTicks;
// A run whose link went: the device answers again (after a freeze, a hold by
// another host, a stall) and says how long it went on.
constexpr int awaitTicks = 600;
// A device off air that the program shows on air: a silent device is found
// by the watchdog.
constexpr int noticeTicks = Tavik::watchdogTicks + 50;
// A line's time on the device against its time in the list, in device ms:
// a new value goes out in the tick after its line begins, give or take a
// busy machine's late ticks.
constexpr qint64 lineToleranceMs = qint64(12 * tickMs * timeScale) + 1000;
// The first line also holds the ticks the program takes to see the
// oscillator: two warm-up polls and the entry into the on-air cycle.
constexpr qint64 warmUpLagMs = qint64(45 * tickMs * timeScale);

qint64 monotonicNow()
{
    QElapsedTimer timer;
    timer.start();
    return timer.msecsSinceReference();
}

using Stretch = QPair<quint32, qint64>;  // an LF value and its device ms on air

struct Sent
{
    Stretch stretch;
    bool selfStarted;  // in a transmission the device began by itself
    int starts;        // start commands the device had read when it told it
};

// One simulator and what its trace has told so far.
struct Device
{
    SimProcess sim;
    QString serial;
    qint64 readTo = 0;
    QStringList recent;          // the last trace lines, for a failure report
    bool onAir = false;          // warming or on air
    bool hostStarted = false;    // the transmission on air began with a start command
    int transmissions = 0;       // begun so far, by a start command or by itself
    int starts = 0;              // start commands read
    int onAirSince = 0;          // tick
    QList<Sent> stretches;       // every LF value the device had on air, in order
    QList<int> faults;           // ticks at which the device did something that ends a run
    QList<int> timeOuts;         // ticks at which its own time ended a transmission
    int droppedAt = -1;          // tick the device last closed the link itself
    int movedAt = -1;
    int bitDroppedAt = -1;       // tick one of HV, OSC and Transmit last dropped alone
    int hostHeldUntil = -1;      // tick another host lets go of the device
    int frozenUntil = -1;        // tick the device goes on after freezing
    qint64 muteFromMs = -1;      // a drop after which the device answers nothing until muteUntilMs
    qint64 muteUntilMs = -1;
    qint64 connectMs = -1;       // when the present connection was accepted
    bool startedUnanswered = false;  // a start read on a connection the device never answered
    // The device closed the link during its transmission and the operator
    // let it go (delete, close) before the program was back:
    // out of the program's reach until it connects again.
    bool letGo = false;
    int stallAt = -1;
    int stallTicks = 0;
    bool spokenOn = false;       // the program sent something on this connection
    qint64 heldUntil = 0;        // hung by the test until then (monotonic ms)
    int releasedAt = -1;         // tick it went on after the last hang
    // The program closed a connection that it had used while a
    // transmission it started was on air, and no stop came with it: the
    // device may read what arrived before the close only just after it, so
    // a stop it reads from that connection still counts.
    qint64 closedOnAirMs = -1;
    int closedOnAirTick = -1;
    bool connectedSinceClose = false;
    qint64 lastMs = 0;

    void readTrace(int tick)
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
            recent.append(QString::fromUtf8(line));
            if (recent.size() > 40)
                recent.removeFirst();
            const QList<QByteArray> words = line.split(' ');
            if (words.size() < 3)
                continue;
            const QByteArray &what = words.at(1);
            lastMs = words.at(0).toLongLong();
            if (what == "PHASE" && words.size() >= 4) {
                const bool nowOnAir = words.at(2) == "Warming" || words.at(2) == "OnAir";
                if (nowOnAir && !onAir) {
                    ++transmissions;
                    hostStarted = words.at(3) == "start";
                    onAirSince = tick;
                    letGo = false;
                }
                // Off air by the device's own doing: its time ran out, HV,
                // a tube fault.
                if (!nowOnAir && onAir && words.at(3) != "stop")
                    faults.append(tick);
                if (!nowOnAir && onAir && words.at(3) == "time-out")
                    timeOuts.append(tick);
                // Whatever the device reads of that connection after the
                // close was written before it.
                if (!nowOnAir && closedOnAirMs >= 0 && words.at(3) == "stop" && !connectedSinceClose)
                    closedOnAirMs = -1;
                onAir = nowOnAir;
            } else if (what == "LF" && words.size() >= 4) {
                stretches.append({{words.at(2).toUInt(), words.at(3).toLongLong()}, !hostStarted, starts});
            } else if (what == "CONNECT") {
                spokenOn = false;
                connectedSinceClose = true;
                connectMs = lastMs;
            } else if (what == "RX") {
                spokenOn = true;
                starts += line.endsWith(" command=2") ? 1 : 0;
                if (line.endsWith(" command=2") && lastMs < muteUntilMs && connectMs >= muteFromMs)
                    startedUnanswered = true;
            } else if (what == "DISCONNECT" && words.at(2) == "host") {
                if (onAir && hostStarted && !letGo && spokenOn) {
                    closedOnAirMs = lastMs;
                    closedOnAirTick = tick;
                    connectedSinceClose = false;
                }
            } else if (what == "DISCONNECT" && words.at(2) == "device") {
                droppedAt = tick;
                faults.append(tick);
            } else if (what == "CHAOS" && words.at(2) == "stall" && words.size() >= 4) {
                const int ms = words.at(3).toInt();
                stallAt = tick;
                stallTicks = ms / tickMs;
                // Long enough, with slow replies, for the watchdog.
                if (ms >= 2000)
                    faults.append(tick);
            } else if (what == "CHAOS" && words.at(2) == "move") {
                movedAt = tick;
            } else if (what == "CHAOS" && words.at(2) == "noise") {
                faults.append(tick);
            } else if (what == "CHAOS" && words.at(2) == "drop-bit") {
                faults.append(tick);
                bitDroppedAt = tick;
            } else if (what == "CHAOS" && words.size() >= 4 && words.at(2) == "held") {
                faults.append(tick);
                hostHeldUntil = tick + words.at(3).toInt() / tickMs;
            } else if (what == "CHAOS" && words.size() >= 4 && words.at(2) == "freeze") {
                faults.append(tick);
                frozenUntil = tick + words.at(3).toInt() / tickMs;
            } else if (what == "CHAOS" && words.size() >= 4 && words.at(2) == "mute") {
                // A drop (traced on its own) and a stall in one.
                const int ms = words.at(3).toInt();
                muteFromMs = lastMs;
                muteUntilMs = lastMs + ms;
                stallAt = tick;
                stallTicks = ms / tickMs;
            }
        }
    }
};

// A run the operator started, until it is judged.
struct Run
{
    bool going = false;
    bool ended = false;         // the program's side is over
    bool byOperator = false;    // stopped, disconnected, deleted or closed
    QList<Stretch> lines;       // LF value and device ms of each line
    int startTick = 0;
    int endTick = 0;
    qsizetype firstStretch = 0;
    int startsBefore = 0;       // start commands the device had read before the run
    int transmissionsBefore = 0;
    qsizetype notesBefore = 0;
    QList<int> resumedLines;    // the line each resume went on with
    QList<quint32> numbers;     // the controller's numbers for the run's parts
    RunRecord record;           // as the program recorded it, last seen
    QStringList shownProgress;  // the Work tab's bars when it ended
};

struct Campaign
{
    quint32 seed;
    qint64 seconds;
    QRandomGenerator random;
    QStringList steps;
    QString failure;
    int failedDevice = -1;

    quint16 udpPort = freeUdpPort();
    Library library;
    std::unique_ptr<BroadcastUDP> listener;
    ScaledClock clock {timeScale};  // outlives the devices, whose end reads it
    std::unique_ptr<DeviceSlots> devices;
    std::unique_ptr<DeviceTick> work;  // the window's own device tick
    Device sims[deviceCount];
    Run runs[deviceCount];
    QStringList notes[deviceCount];  // cut-short texts the history took, per device
    int unsupervisedSince[deviceCount];
    int phantomSince[deviceCount];
    int tickCount = 0;
    qint64 lastTickAt = 0;
    int started = 0;
    int completed = 0;
    int cutShort = 0;
    int pauses = 0;
    int resumes = 0;
    int longestUnsupervised = 0;  // ticks
    int longestPhantom = 0;

    Campaign(quint32 s, qint64 secs) : seed(s), seconds(secs), random(s)
    {
        std::fill(std::begin(unsupervisedSince), std::end(unsupervisedSince), -1);
        std::fill(std::begin(phantomSince), std::end(phantomSince), -1);
    }

    void step(const QString &what) { steps.append(QStringLiteral("tick %1: %2").arg(tickCount).arg(what)); }

    bool startSims()
    {
        for (int i = 0; i < deviceCount; ++i) {
            Device &device = sims[i];
            device.serial = QString::number(8100 + i);
            QStringList args = {"--address", QStringLiteral("127.0.0.%1").arg(2 + i), "--port", "8888",
                                "--serial", device.serial, "--time-scale", QString::number(timeScale),
                                "--announce-to", QStringLiteral("127.0.0.1:%1").arg(udpPort),
                                "--announce-interval-ms", "1000", "--chaos", QString::number(seed * 10 + quint32(i)),
                                "--chaos-gap-s", QString::number(chaosGapS[i])};
            // Every other device counts its time from the start, through a
            // warm-up short enough for the 3 s it is given beyond its list.
            if (i % 2 == 1)
                args << "--time-counts" << "warm-up" << "--warm-up-s" << "1";
            if (!device.sim.start(args))
                return false;
        }
        return true;
    }

    bool openLibrary()
    {
        const QString folder = TestEnv::dataFolder();
        Clients clients;
        clients.setFolder(folder);
        clients.insertNew();
        clients.setName(QStringLiteral("Chaos %1").arg(seed));
        if (!clients.saveBase())
            return false;
        library.load(folder);
        return library.openClient(clients.file());
    }

    void open()
    {
        step("open");
        listener = std::make_unique<BroadcastUDP>(udpPort);
        listener->bindListener();
        devices = std::make_unique<DeviceSlots>();
        devices->setClock(&clock);
        work = std::make_unique<DeviceTick>(*listener, *devices, library);
    }

    void close()
    {
        step("close");
        for (int device = 0; device < deviceCount; ++device) {
            markEndedByOperator(device);
            letGo(device);
            keepRecord(device);
        }
        work->stopAll(2000);
        collect(work->recorder().takeReport().notices);
        for (int device = 0; device < deviceCount; ++device)
            keepRecord(device);
        work.reset();
        devices.reset();
        listener.reset();
    }

    // The operator's Stop, Disconnect, delete or close while the run is
    // warming up or on air: it is recorded cut short.
    void markEndedByOperator(int device)
    {
        const int slot = slotOf(device);
        const Sequencer::State state = slot >= 0 ? devices->sequencer(slot).state() : Sequencer::S_IDLE;
        Run &run = runs[device];
        if (run.going && !run.ended
            && (state == Sequencer::S_WAIT_RF_READY || state == Sequencer::S_SEND_LF || state == Sequencer::S_PAUSED))
            run.byOperator = true;
    }

    // The record of the device's last run, as the program has it now.
    const RunRecord *recordOf(int device)
    {
        const int slot = slotOf(device);
        const RunRecord *record = slot >= 0 ? work->recorder().record(slot) : nullptr;
        const Run &run = runs[device];
        const bool ours = record && (record->run == run.record.run || run.numbers.contains(record->run));
        return ours && record->serial == sims[device].serial ? record : nullptr;
    }

    void keepRecord(int device)
    {
        if (const RunRecord *record = recordOf(device))
            runs[device].record = *record;
    }

    // The notes the run ends wrote into the history, per device.
    void collect(const QStringList &notices)
    {
        for (const QString &text : notices) {
            for (int device = 0; device < deviceCount; ++device) {
                if (text.startsWith(QStringLiteral("Tavik %1: run ").arg(sims[device].serial)))
                    notes[device].append(text);
            }
        }
    }

    int rowOf(int device)
    {
        if (!devices)
            return -1;  // the program was closed
        const QList<Machine> &records = devices->registry().records();
        for (int row = 0; row < records.size(); ++row) {
            if (records.at(row).serialNumber == sims[device].serial && records.at(row).hasDeviceSlot())
                return row;
        }
        return -1;
    }

    int slotOf(int device)
    {
        const int row = rowOf(device);
        return row < 0 ? -1 : devices->registry().records().at(row).slot;
    }

    // One device tick of the window, 25 ms after the last one.
    void tick()
    {
        const qint64 now = monotonicNow();
        const qint64 due = lastTickAt + tickMs;
        QTest::qWait(int(qMax<qint64>(1, due - now)));
        const qint64 after = monotonicNow();
        lastTickAt = after - due < tickMs ? due : after;
        ++tickCount;
        for (Device &sim : sims) {
            if (sim.heldUntil != 0 && monotonicNow() >= sim.heldUntil) {
                sim.sim.hold(false);
                sim.heldUntil = 0;
                sim.releasedAt = tickCount;
            }
        }
        collect(work->run().notices);
    }

    // False when judging the device's last run found a fault.
    bool startRun(int device)
    {
        const int row = rowOf(device);
        // A list is sent to a device only while it runs none, as on screen.
        if (!devices->sequencer(slotOf(device)).canStart())
            return true;
        // The last run on this device is judged before this one begins,
        // with all its device sent: not while a device that hung or is slow
        // to obey its stop is still on air after it (its list stays too).
        if (runs[device].going && sims[device].onAir)
            return true;
        Machines &registry = devices->registry();
        registry.setCurrent(row);
        WorkList &list = *registry.work();
        list.editRecords().clear();
        const int count = 1 + int(random.bounded(2));
        for (int i = 0; i < count; ++i)
            addWorkLine(list, QStringLiteral("L%1").arg(i), QString::number(1000 + random.bounded(9000)),
                        random.bounded(4) == 0 ? 2 : 1, 1, 1);
        devices->setSelectedRow(row);
        // Nor while its last run's end waits for it to go off air.
        if (RunStart::outcome(*devices) != RunRules::Outcome::Ready || work->recorder().stillEnding())
            return true;
        if (runs[device].going && !judge(device))
            return false;
        QString notice;
        work->recorder().start(notice);
        if (!devices->sequencer(slotOf(device)).isRunning())
            return true;
        Run &run = runs[device];
        run = Run();
        run.going = true;
        run.record = *work->recorder().selectedRecord();
        for (const WorkLine &line : list.records())
            run.lines.append({line.value.toUInt(), qint64(line.time) * 60000});
        run.startTick = tickCount;
        run.firstStretch = sims[device].stretches.size();
        run.startsBefore = sims[device].starts;
        run.transmissionsBefore = sims[device].transmissions;
        run.notesBefore = notes[device].size();
        ++started;
        step(QStringLiteral("start %1 (%2 lines)").arg(sims[device].serial).arg(count));
        return true;
    }

    bool act()
    {
        const int device = int(random.bounded(deviceCount));
        const int action = int(random.bounded(100));
        if (action >= 59 && action < 61) {
            close();
            open();
            return true;
        }
        if (action >= 65 && action < 69) {
            // A device hangs (or its link drops every packet) long enough
            // for the program to count it lost; one transmitting for the
            // program, when there is one, where the program has most to do.
            int hung = device;
            for (int i = 0; i < deviceCount; ++i) {
                const Device &other = sims[(device + i) % deviceCount];
                if (other.onAir && other.hostStarted && other.heldUntil == 0) {
                    hung = (device + i) % deviceCount;
                    break;
                }
            }
            if (sims[hung].heldUntil != 0)
                return true;
            const int ms = 4500 + int(random.bounded(2500));
            step(QStringLiteral("hang %1 for %2 ms").arg(sims[hung].serial).arg(ms));
            sims[hung].faults.append(tickCount);
            if (sims[hung].sim.hold(true))
                sims[hung].heldUntil = monotonicNow() + ms;
            return true;
        }
        if (action >= 61 && action < 65) {
            // The program held up (a debugger, a swap storm): nothing runs.
            const int ms = 1200 + int(random.bounded(1800));
            step(QStringLiteral("freeze %1 ms").arg(ms));
            QThread::msleep(ulong(ms));
            return true;
        }
        const int slot = slotOf(device);
        if (slot < 0 || action >= 65)
            return true;
        Tavik &tavik = devices->controller(slot);
        Sequencer &sequencer = devices->sequencer(slot);
        if (action < 35)
            return startRun(device);
        if (action < 45) {
            // Pause in the warm-up or on air; resume a paused run on a
            // device that answers, as the Work tab offers it. A device with
            // a run, when there is one.
            int picked = device;
            for (int i = 0; i < deviceCount; ++i) {
                const int other = slotOf((device + i) % deviceCount);
                if (other >= 0 && devices->sequencer(other).isRunning()) {
                    picked = (device + i) % deviceCount;
                    break;
                }
            }
            Sequencer &paused = devices->sequencer(slotOf(picked));
            if (paused.mayResume()) {
                step(QStringLiteral("resume %1 at line %2").arg(sims[picked].serial).arg(paused.currentItem() + 1));
                runs[picked].resumedLines.append(paused.currentItem());
                paused.resume();
                runs[picked].numbers.append(paused.run());
                ++resumes;
            } else if (paused.pause()) {
                step(QStringLiteral("pause %1 at line %2").arg(sims[picked].serial).arg(paused.currentItem() + 1));
                ++pauses;
            }
            return true;
        }
        if (action < 49) {
            if (sequencer.isRunning())
                step(QStringLiteral("stop %1").arg(sims[device].serial));
            markEndedByOperator(device);
            sequencer.stop();
        } else if (action < 54) {
            step(QStringLiteral("connect %1").arg(sims[device].serial));
            tavik.requestConnect();
        } else if (action < 57) {
            // A device that dropped the link on air is still reached and
            // stopped before it is let go.
            step(QStringLiteral("disconnect %1").arg(sims[device].serial));
            markEndedByOperator(device);
            tavik.requestDisconnect();
        } else {
            step(QStringLiteral("delete %1").arg(sims[device].serial));
            markEndedByOperator(device);
            letGo(device);
            keepRecord(device);
            devices->setSelectedRow(rowOf(device));
            work->edits().removeSelected();
        }
        return true;
    }

    // The operator deletes a device or closes the program; one that closed
    // the link on the program during its transmission is out of its reach.
    void letGo(int device)
    {
        Device &sim = sims[device];
        const int slot = slotOf(device);
        const bool connected = slot >= 0 && devices->controller(slot).isConnected();
        if (sim.onAir && sim.droppedAt >= sim.onAirSince && !connected)
            sim.letGo = true;
    }

    bool fail(int device, const QString &why)
    {
        failure = QStringLiteral("%1: %2").arg(sims[device].serial, why);
        failedDevice = device;
        return false;
    }

    // The run's program side is over: what it shows is taken as the Work tab
    // would show it.
    void endRun(int device)
    {
        Run &run = runs[device];
        run.ended = true;
        run.endTick = tickCount;
        keepRecord(device);
    }

    // The Work tab's bars of the run's list, as the tab shows them from the
    // run's record.
    QStringList shownProgress(int device)
    {
        const RunRecord &record = runs[device].record;
        const int row = rowOf(device);
        if (row < 0 || !recordOf(device))
            return {};
        devices->registry().setCurrent(row);
        WorkTableModel shown;
        shown.fill(devices->registry().work());
        QList<int> progress;
        for (const RunRecord::Line &line : record.lines)
            progress.append(line.progress);
        shown.showProgress(progress);
        QStringList bars;
        for (int line = 0; line < shown.rowCount(); ++line)
            bars.append(shown.index(line, WorkTableModel::ColumnProgress).data().toString());
        return bars;
    }

    // Whether the history on disk and, while its record is on the list,
    // the device's log took the run's end as recorded.
    QString endMissing(int device, const QString &note)
    {
        History stored;
        stored.setPath(library.history().path());
        bool onDisk = false;
        if (stored.readBase()) {
            for (const Note &entry : stored.notes().records())
                onDisk = onDisk || entry.text == note;
        }
        if (!onDisk)
            return QStringLiteral("the history file lacks \"%1\"").arg(note);
        const int row = rowOf(device);
        if (row < 0 || !recordOf(device))
            return {};
        const QString line = QStringLiteral("Run ") + runs[device].record.endText();
        for (const LogEntry &entry : devices->registry().records().at(row).logs.records()) {
            if (entry.text == line)
                return {};
        }
        return QStringLiteral("the device's log lacks \"%1\"").arg(line);
    }

    static QString describe(const QList<Stretch> &stretches)
    {
        QStringList words;
        for (const Stretch &stretch : stretches)
            words.append(QStringLiteral("%1 for %2 ms").arg(stretch.first).arg(stretch.second));
        return words.isEmpty() ? QStringLiteral("nothing") : words.join(QStringLiteral(", "));
    }

    // What the device sent for the run against what the program recorded.
    bool judge(int device)
    {
        Run &run = runs[device];
        Device &sim = sims[device];
        run.going = false;
        // A device that went on air by itself just before the start keeps
        // its transmission, and the run takes it over: what it sent before
        // the run's first value is not the run's.
        qsizetype first = run.firstStretch;
        // A device that hung tells what it sent before the run only when it
        // goes on: nothing it told before it read the run's start is the run's.
        while (first < sim.stretches.size() && sim.stretches.at(first).starts <= run.startsBefore)
            ++first;
        while (first < sim.stretches.size() && sim.stretches.at(first).selfStarted && !run.lines.isEmpty()
               && sim.stretches.at(first).stretch.first != run.lines.first().first)
            ++first;
        QList<Stretch> sent;
        for (qsizetype i = first; i < sim.stretches.size(); ++i) {
            // One the device began by itself later (while the run was
            // paused, or after it) is none of the run's values.
            if (i > first && sim.stretches.at(i).selfStarted)
                continue;
            const Stretch &stretch = sim.stretches.at(i).stretch;
            if (!sent.isEmpty() && sent.last().first == stretch.first)
                sent.last().second += stretch.second;
            else
                sent.append(stretch);
        }
        // Lines of one value in a row are one stretch on the device.
        QList<Stretch> planned;
        QList<int> plannedOf;  // the stretch each line is in
        for (const Stretch &line : run.lines) {
            if (!planned.isEmpty() && planned.last().first == line.first)
                planned.last().second += line.second;
            else
                planned.append(line);
            plannedOf.append(int(planned.size()) - 1);
        }
        const QString asked = describe(planned);
        bool inOrder = sent.size() <= planned.size();
        for (qsizetype i = 0; inOrder && i < sent.size(); ++i)
            inOrder = sent.at(i).first == planned.at(i).first;
        if (!inOrder)
            return fail(device, QStringLiteral("the device sent %1 for a run of %2").arg(describe(sent), asked));
        keepRecord(device);
        const RunRecord &record = run.record;
        const QStringList newNotes = notes[device].mid(run.notesBefore);
        if (run.byOperator) {
            step(QStringLiteral("judged %1: ended by the operator, %2; sent %3")
                     .arg(sim.serial, newNotes.isEmpty() ? QStringLiteral("recorded complete") : newNotes.last(), describe(sent)));
            // Ended before its last line was done: the history says so.
            if (newNotes.isEmpty())
                return fail(device, QStringLiteral("a run the operator ended during its warm-up or on air is recorded as "
                                                   "complete; the device sent %1 of %2").arg(describe(sent), asked));
            const QString missing = endMissing(device, newNotes.last());
            return missing.isEmpty() || fail(device, missing);
        }

        step(QStringLiteral("judged %1: %2; sent %3 of %4")
                 .arg(sim.serial, record.complete ? QStringLiteral("complete") : record.endText(), describe(sent), asked));
        const QStringList bars = shownProgress(device);
        if (record.complete) {
            ++completed;
            if (sent.size() != planned.size())
                return fail(device, QStringLiteral("a run recorded complete; the device sent %1 of %2").arg(describe(sent), asked));
            for (qsizetype i = 0; i < sent.size(); ++i) {
                // Each part begins with the ticks it takes to see the
                // oscillator again, and its pause with those to stop.
                qint64 lag = i == 0 ? warmUpLagMs : 0;
                for (int line : run.resumedLines)
                    lag += plannedOf.value(line, -1) == i ? warmUpLagMs + lineToleranceMs : 0;
                const qint64 over = sent.at(i).second - planned.at(i).second;
                if (over < -lineToleranceMs || over > lineToleranceMs + lag)
                    return fail(device, QStringLiteral("a run recorded complete; the device sent %1 of %2").arg(describe(sent), asked));
            }
            for (const QString &progress : bars) {
                if (progress != QLatin1String("100"))
                    return fail(device, QStringLiteral("a complete run shows its lines at %1 %").arg(bars.join(' ')));
            }
            if (!newNotes.isEmpty())
                return fail(device, QStringLiteral("a complete run has the history note \"%1\"").arg(newNotes.first()));
            if (sim.bitDroppedAt >= run.startTick)
                return fail(device, QStringLiteral("a run recorded complete while one of HV, OSC and Transmit dropped"));
            return true;
        }

        ++cutShort;
        const QString recorded = record.noteText();
        const int at = plannedOf.value(record.cut.item, 0);
        if (sent.size() > at + 1 || sent.size() < at)
            return fail(device, QStringLiteral("\"%1\", but the device sent %2 of %3").arg(recorded, describe(sent), asked));
        for (int i = 0; i < at; ++i) {
            if (sent.at(i).second < planned.at(i).second - lineToleranceMs)
                return fail(device, QStringLiteral("\"%1\", but the device sent %2 of %3").arg(recorded, describe(sent), asked));
        }
        bool deviceFault = false;
        for (const int fault : sim.faults)
            deviceFault = deviceFault || (fault >= run.startTick - reconnectTicks && fault <= tickCount);
        if (!deviceFault)
            return fail(device, QStringLiteral("\"%1\" with nothing wrong on the device or its link").arg(recorded));
        // A run held up goes on while the device's own time covers it: its
        // time ran out only if the device says so.
        if (record.cut.reason.startsWith(QLatin1String("The device's own time ran out"))
            && std::none_of(sim.timeOuts.cbegin(), sim.timeOuts.cend(), [&](int tick) { return tick >= run.startTick; }))
            return fail(device, QStringLiteral("\"%1\", but the device's time never ran out").arg(recorded));
        // The end as first recorded, and once more when the device told
        // later how long it went on.
        const bool completed = record.cut.reason.contains(QLatin1String("the device went on until it obeyed the stop"));
        if (newNotes.isEmpty() || newNotes.last() != recorded || newNotes.size() > (completed ? 2 : 1))
            return fail(device, QStringLiteral("the history took %1 for a run that ended \"%2\"")
                                    .arg(newNotes.isEmpty() ? QStringLiteral("nothing") : newNotes.join(" / "), recorded));
        if (const QString missing = endMissing(device, recorded); !missing.isEmpty())
            return fail(device, missing);
        // What the device transmitted for the run is what the record says,
        // not less: a device that went on after its link went says so when
        // it answers. A transmission it began by itself since then counts
        // anew, and tells nothing of the run's.
        qint64 sentMs = 0;
        for (qsizetype i = first; i < sim.stretches.size(); ++i)
            sentMs += sim.stretches.at(i).selfStarted ? 0 : sim.stretches.at(i).stretch.second;
        if (!sim.letGo && recordOf(device) && !record.awaitingDevice && sim.transmissions - run.transmissionsBefore <= 1
            && record.onAirMs < sentMs - lineToleranceMs - warmUpLagMs)
            return fail(device, QStringLiteral("\"%1\" records %2 ms on air; the device sent %3 of %4")
                                    .arg(recorded).arg(record.onAirMs).arg(describe(sent), asked));
        for (int line = 0; line < bars.size(); ++line) {
            const QString want = line < record.cut.item ? QStringLiteral("100")
                : line == record.cut.item                ? QString::number(record.cut.progress)
                                                         : QStringLiteral("0");
            if (bars.at(line) != want)
                return fail(device, QStringLiteral("\"%1\" while the Work tab shows the lines at %2 %").arg(recorded, bars.join(' ')));
        }
        return true;
    }

    bool check()
    {
        for (int device = 0; device < deviceCount; ++device) {
            Device &sim = sims[device];
            sim.readTrace(tickCount);
            if (sim.closedOnAirMs >= 0 && (sim.connectedSinceClose || sim.lastMs > sim.closedOnAirMs + 30
                                           || tickCount > sim.closedOnAirTick + 4))
                return fail(device, "the program closed its connection while the device was on air for it");
            const int slot = slotOf(device);
            Tavik *tavik = slot >= 0 ? &devices->controller(slot) : nullptr;
            Sequencer *sequencer = slot >= 0 ? &devices->sequencer(slot) : nullptr;
            if (sim.startedUnanswered)
                return fail(device, "a run was started on a device that had not answered on its connection");
            const bool connected = tavik && tavik->isConnected();
            // A paused run supervises nothing on air: the device is to be
            // off air as promptly as after a run's end.
            const bool supervised = connected && !sequencer->isPaused() && (tavik->hasRun() || !sequencer->canStart());

            // On air with no run of the program on it.
            if (sim.onAir && !supervised && ((sim.hostStarted && !sim.letGo) || connected)) {
                int &since = unsupervisedSince[device];
                if (since < 0)
                    since = tickCount;
                int allowed = since + (sim.hostStarted ? promptTicks : selfStartTicks);
                if (sim.droppedAt >= sim.onAirSince)
                    allowed = qMax(allowed, sim.droppedAt + reconnectTicks);
                if (sim.movedAt >= sim.onAirSince)
                    allowed = qMax(allowed, sim.movedAt + moveTicks);
                // A hung device acts on the stop when it goes on.
                if (sim.heldUntil != 0)
                    allowed = tickCount + 1;
                else if (sim.releasedAt >= since - promptTicks)
                    allowed = qMax(allowed, sim.releasedAt + promptTicks);
                // A silent device cannot be seen going on air by itself.
                if (!sim.hostStarted && sim.stallAt >= 0 && sim.stallAt + sim.stallTicks >= since - promptTicks)
                    allowed = qMax(allowed, sim.stallAt + reconnectTicks);
                // Another host holds it: it is reached once that host lets
                // go, at the next of the attempts that come further apart.
                if (sim.hostHeldUntil >= since - promptTicks)
                    allowed = qMax(allowed, sim.hostHeldUntil + Tavik::maxBackoffTicks + 50 + promptTicks);
                // Frozen: it reads the stop waiting for it when it goes on.
                if (sim.frozenUntil >= since - promptTicks)
                    allowed = qMax(allowed, sim.frozenUntil + promptTicks);
                longestUnsupervised = qMax(longestUnsupervised, tickCount - since);
                if (tickCount > allowed)
                    return fail(device, QStringLiteral("on air for %1 ticks (%2) with no run of the program on it")
                                            .arg(tickCount - since)
                                            .arg(sim.hostStarted ? "started by the program" : "started by itself"));
            } else {
                unsupervisedSince[device] = -1;
            }

            // Shown on air while the device is off air.
            if (sequencer && sequencer->state() == Sequencer::S_SEND_LF && !sim.onAir) {
                int &since = phantomSince[device];
                if (since < 0)
                    since = tickCount;
                longestPhantom = qMax(longestPhantom, tickCount - since);
                if (tickCount - since > noticeTicks)
                    return fail(device, QStringLiteral("shown on air for %1 ticks while off air").arg(tickCount - since));
            } else {
                phantomSince[device] = -1;
            }

            Run &run = runs[device];
            if (run.going && !run.ended && (!sequencer || !sequencer->isRunning()))
                endRun(device);
            // Judged once the device is off air, with every value it sent,
            // and has said how long it went on after a lost link, when it
            // is still on the list to say it.
            const RunRecord *record = recordOf(device);
            const bool awaiting = record && (record->awaitingDevice || record->endOwed) && tickCount < run.endTick + awaitTicks;
            if (run.going && run.ended && !sim.onAir && tickCount > run.endTick + 2 && !awaiting && !judge(device))
                return false;
        }
        return true;
    }

    bool run()
    {
        if (!startSims())
            return fail(0, "the simulators did not start");
        if (!openLibrary())
            return fail(0, "no client to record runs for");
        open();
        lastTickAt = monotonicNow();
        QElapsedTimer elapsed;
        elapsed.start();
        while (elapsed.elapsed() < seconds * 1000) {
            if (!act())
                return false;
            const int ticks = 10 + int(random.bounded(40));
            for (int i = 0; i < ticks; ++i) {
                tick();
                if (!check())
                    return false;
            }
        }
        for (Device &sim : sims) {
            if (sim.heldUntil != 0)
                sim.sim.hold(false);
        }
        close();
        // The runs the close ended are judged once their devices are off air.
        for (int i = 0; i < promptTicks; ++i) {
            QTest::qWait(tickMs);
            ++tickCount;
            for (int device = 0; device < deviceCount; ++device)
                sims[device].readTrace(tickCount);
        }
        for (int device = 0; device < deviceCount; ++device) {
            if (sims[device].onAir && sims[device].hostStarted && !sims[device].letGo)
                return fail(device, "left on air by the program's end");
            // A run whose device is still on air has not told all it sent.
            if (runs[device].going && !sims[device].onAir && !judge(device))
                return false;
        }
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
            qInfo().noquote() << QStringLiteral("chaos seed %1: %2 device-seconds, %3 runs (%4 complete, %5 cut short), "
                                                "%6 steps, longest on air unsupervised %7 ms, shown on air while off %8 ms, %9 pauses, %10 resumes")
                                     .arg(seed).arg(seconds * deviceCount).arg(campaign.started).arg(campaign.completed)
                                     .arg(campaign.cutShort).arg(campaign.steps.size())
                                     .arg(campaign.longestUnsupervised * tickMs).arg(campaign.longestPhantom * tickMs)
                                     .arg(campaign.pauses).arg(campaign.resumes);
            if (!ok || qEnvironmentVariableIsSet("TAVIK_CHAOS_STEPS")) {
                for (const QString &step : campaign.steps)
                    qInfo().noquote() << "  " << step;
                if (campaign.failedDevice >= 0) {
                    qInfo().noquote() << "  trace of" << campaign.sims[campaign.failedDevice].serial << "(ms since start):";
                    for (const QString &line : campaign.sims[campaign.failedDevice].recent)
                        qInfo().noquote() << "    " << line;
                }
            }
            if (!ok) {
                QFAIL(qPrintable(QStringLiteral("chaos seed %1 at tick %2: %3 (replay: TAVIK_CHAOS_SEEDS=%1 TAVIK_CHAOS_SECONDS=%4)")
                                     .arg(seed).arg(campaign.tickCount).arg(campaign.failure).arg(seconds)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestChaos)
#include "tst_chaos.moc"
