// tavik-bench: speed and memory figures of the core, one line per figure.

#include "fivedevices.h"
#include "measure.h"
#include "storeload.h"
#include "searchrefill.h"
#include "windowfreeze.h"

#include "data/logs.h"
#include "data/presets.h"
#include "data/textforms.h"
#include "device/frame.h"
#include "device/outbound.h"
#include "device/tavik.h"
#include "discovery/broadcastudp.h"
#include "discovery/machines.h"
#include "work/clock.h"
#include "work/sequencer.h"
#include "device/transmitcontrol.h"
#include "data/worklist.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

using Measure::print;

namespace {

// Waits while the event loop keeps running, as the window's timers would.
void delay(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The core writes debug lines as it goes (dropped frames, state changes).
// They are formatted as in the program but not printed, so the figures
// include their cost without flooding the output.
void discardMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

// The device figures start simulators and a window with its own registry;
// nothing they do may reach beyond this machine.
void refuseBeyondLoopback(const QString &host, const char *channel)
{
    if (!host.isEmpty() && !Outbound::isLoopback(host))
        qFatal("tavik-bench would send %s to %s; it may reach only 127.0.0.0/8", channel, qPrintable(host));
}

// Runs this program again inside a network namespace of its own, through the
// same script the test suite uses; returns only where that cannot be done
// (the script says why).
void reenterLoopbackOnly(char *argv[])
{
#if defined(Q_OS_LINUX) && defined(TAVIK_SOURCE_DIR)
    if (qEnvironmentVariableIsSet("TAVIK_LOOPBACK_ONLY"))
        return;
    const QByteArray self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().toLocal8Bit();
    static const char script[] = TAVIK_SOURCE_DIR "/scripts/loopback-only.sh";
    std::vector<char *> arguments{const_cast<char *>(script), const_cast<char *>(self.constData())};
    for (char **argument = argv + 1; *argument; ++argument)
        arguments.push_back(*argument);
    arguments.push_back(nullptr);
    execv(script, arguments.data());
    std::fprintf(stderr, "tavik-bench: could not run %s (%s); the device figures run on the machine's network\n",
                 script, std::strerror(errno));
#else
    Q_UNUSED(argv);
#endif
}

double perSecond(qint64 count, qint64 nanoseconds)
{
    return nanoseconds > 0 ? double(count) * 1e9 / double(nanoseconds) : 0.0;
}

double milliseconds(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

// Keeps the optimiser from dropping work whose result is otherwise unused.
volatile quint64 g_sink = 0;

// ---- frames -------------------------------------------------------------

QByteArray statusReply(quint32 n)
{
    QByteArray data;
    Frame::appendU32(data, 0x19 | (n & 0x100));  // stand-by, HV, OSC
    Frame::appendU32(data, n & 0x3);
    Frame::appendU16(data, quint16(n % 600));
    Frame::appendU8(data, quint8(n));
    Frame::appendU8(data, quint8(n >> 8));
    return Frame::encode(Protocol::REP_STATUS, data);
}

// A stream of status replies, with 1..8 random bytes before each reply but
// the first when `noisy`, cut into reads of 1..256 bytes.
QList<QByteArray> replyChunks(int frames, bool noisy, QRandomGenerator &random)
{
    QByteArray stream;
    for (int i = 0; i < frames; ++i) {
        if (noisy && i > 0) {
            const int noise = random.bounded(1, 9);
            for (int k = 0; k < noise; ++k)
                stream.append(char(random.bounded(256)));
        }
        stream.append(statusReply(quint32(i)));
    }
    QList<QByteArray> chunks;
    for (int pos = 0; pos < stream.size();) {
        const int size = qMin(int(random.bounded(1, 257)), int(stream.size()) - pos);
        chunks.append(stream.mid(pos, size));
        pos += size;
    }
    return chunks;
}

struct DecodeRun
{
    qint64 nanoseconds = 0;
    qint64 genuine = 0;       // status replies as sent
    qint64 accepted = 0;      // everything the reader handed out
    qint64 nonZeroLead = 0;   // handed-out frames whose lead byte is not 0
};

// Decodes the replies as the controller does: frame, code, then its fields.
DecodeRun decodeChunks(const QList<QByteArray> &chunks)
{
    FrameReader reader;
    QByteArray frame;
    DecodeRun run;
    quint64 sum = 0;
    QElapsedTimer timer;
    timer.start();
    for (const QByteArray &chunk : chunks) {
        reader.append(chunk);
        while (reader.next(frame)) {
            const char *p = frame.constData();
            ++run.accepted;
            if (p[0] != 0)
                ++run.nonZeroLead;
            // Noise that passes the checksum by chance has a random length
            // and code; a genuine reply has both of the status reply.
            if (p[0] == 0 && quint8(p[1]) == 13 && quint8(p[2]) == Protocol::REP_STATUS) {
                quint32 status = 0;
                for (int i = 3; i >= 0; --i)
                    status = (status << 8) | quint8(p[3 + i]);
                sum += status + quint8(p[13]) + quint8(p[14]);
                ++run.genuine;
            }
        }
    }
    run.nanoseconds = timer.nsecsElapsed();
    g_sink = g_sink + sum;
    return run;
}

void benchFrames(bool quick)
{
    const int frames = quick ? 30000 : 300000;
    QRandomGenerator random(4711);
    const QList<QByteArray> clean = replyChunks(frames, false, random);
    const QList<QByteArray> noisy = replyChunks(frames, true, random);

    DecodeRun run = decodeChunks(clean);
    print("frames decoded/s (clean stream)", perSecond(run.genuine, run.nanoseconds));
    if (run.genuine != frames || run.accepted != frames)
        print("frames lost (clean stream)", QStringLiteral("%1 of %2").arg(frames - run.genuine).arg(frames));

    run = decodeChunks(noisy);
    print("frames decoded/s (noisy stream, 1-8 noise bytes per frame)", perSecond(run.genuine, run.nanoseconds));
    print("frames lost (noisy stream)", QStringLiteral("%1 of %2").arg(frames - run.genuine).arg(frames));
    print("false frames accepted (noisy stream)",
          QStringLiteral("%1, %2 of them with a non-zero lead byte")
              .arg(run.accepted - run.genuine)
              .arg(run.nonZeroLead));

    // The reader writes a debug line for every run of dropped bytes.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    run = decodeChunks(noisy);
    QLoggingCategory::setFilterRules(QString());
    print("frames decoded/s (noisy stream, debug output off)", perSecond(run.genuine, run.nanoseconds));
}

// ---- announcements --------------------------------------------------------

QByteArray announcement(bool longForm)
{
    QByteArray bytes("\x22\xEF\x44\x1A\x33\xE9\xF1\x34\x54\x9E\x78", 11);
    bytes.append("\xA9\xFE\x58\x58", 4);              // 169.254.88.88
    bytes.append("\xFF\xFF\x00\x00", 4);              // 255.255.0.0
    bytes.append("\x02\x54\x00\x01\x23\x45", 6);      // MAC
    bytes.append("\x22\xB8", 2);                      // port 8888
    bytes.append("Tavik5S", 8);                       // tag and its 0 byte
    bytes.append(2, char(0));
    if (!longForm) {
        bytes.append("T5-004711");
        bytes.resize(48, char(0));
        return bytes;
    }
    bytes.append("Tavik 5S in the treatment room 2");  // cut at 30 characters
    bytes.append(char(0));
    bytes.append("\xC0\xA8\x01\x0A", 4);              // held by 192.168.1.10
    bytes.append("\x01\x65", 2);
    bytes.append(char(1));                            // occupied
    bytes.append("\x67\x12\x00\x00", 4);
    bytes.append(4, char(0));
    return bytes;
}

void benchAnnouncements(bool quick)
{
    const int count = quick ? 100000 : 1000000;
    for (bool longForm : {false, true}) {
        const QByteArray datagram = announcement(longForm);
        Machine machine;
        quint64 sum = 0;
        int decoded = 0;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < count; ++i) {
            if (BroadcastUDP::decode(datagram.constData(), int(datagram.size()), machine)) {
                ++decoded;
                sum += quint64(machine.port) + quint64(machine.serialNumber.size());
            }
        }
        const qint64 ns = timer.nsecsElapsed();
        g_sink = g_sink + sum;
        print(QStringLiteral("announcements decoded/s (%1-byte %2 form)")
                  .arg(datagram.size())
                  .arg(longForm ? "long" : "short"),
              perSecond(decoded, ns));
    }
}

// ---- presets --------------------------------------------------------------

int scan(Presets &presets, const QString &filter)
{
    presets.setFilter(filter);
    int found = 0;
    for (presets.first(); presets.hasCurrent(); presets.next())
        ++found;
    presets.setFilter(QString());
    return found;
}

void benchPresets(bool quick)
{
    QTemporaryDir dir;
    for (int count : quick ? QList<int>{1000, 10000} : QList<int>{10000, 100000}) {
        const QString path = dir.filePath(QStringLiteral("presets-%1.dat").arg(count));
        const QString size = QString::number(count);
        {
            Presets presets;
            presets.setPath(path);
            fillPresets(presets, count);
            const Measure::PeakScope peak;
            QElapsedTimer timer;
            timer.start();
            const bool saved = presets.saveBase();
            const qint64 ns = timer.nsecsElapsed();
            if (!saved) {
                print("presets save failed", path);
                return;
            }
            print(QStringLiteral("presets save ms (%1)").arg(size), milliseconds(ns), 1);
            print(QStringLiteral("presets save peak extra memory (%1)").arg(size),
                  Measure::mebibytes(peak.growthKb()));
            print(QStringLiteral("presets file size (%1)").arg(size),
                  Measure::mebibytes(QFileInfo(path).size() / 1024));
        }

        Presets presets;
        presets.setPath(path);
        const Measure::PeakScope peak;
        QElapsedTimer timer;
        timer.start();
        presets.readBase();
        const qint64 ns = timer.nsecsElapsed();
        const qint64 growth = peak.growthKb();
        print(QStringLiteral("presets load ms (%1)").arg(size), milliseconds(ns), 1);
        print(QStringLiteral("presets load peak extra memory (%1)").arg(size), Measure::mebibytes(growth));
        print(QStringLiteral("presets memory held after load (%1)").arg(size),
              Measure::mebibytes(peak.heldKb()));
        if (presets.count() != count)
            print(QStringLiteral("presets read back (%1)").arg(size), presets.count());

        // The filter runs over the whole store on every keystroke.
        constexpr int scans = 3;
        for (const char *filter : {"rez", "xyz"}) {
            int found = 0;
            timer.restart();
            for (int i = 0; i < scans; ++i)
                found = scan(presets, QString::fromLatin1(filter));
            const qint64 scanNs = timer.nsecsElapsed() / scans;
            print(QStringLiteral("presets filter scan ms (%1, \"%2\", %3 found)").arg(size, filter).arg(found),
                  milliseconds(scanNs), 1);
        }
        if (!peak.exact())
            print("note", "peak memory figures are the process's peak so far (cannot reset VmHWM)");
    }
}

// ---- machines registry ----------------------------------------------------

void fillMachines(Machines &machines)
{
    const QDateTime base(QDate(2024, 3, 1), QTime(8, 0));
    QList<Machine> &records = machines.editRecords();
    for (int m = 0; m < Machine::deviceSlots; ++m) {
        Machine machine(base);
        machine.slot = m;
        machine.serialNumber = QStringLiteral("T5-%1").arg(4700 + m);
        machine.name = QStringLiteral("Room %1").arg(m + 1);
        machine.type = Machine::Tavik5;
        QList<LogEntry> &log = machine.logs.editRecords();
        for (int i = 0; i < Logs::limit; ++i)
            log.append(LogEntry{base.addMSecs(qint64(i) * 1500), QStringLiteral("Status: 0x19 error 0x0 entry %1").arg(i)});
        QList<WorkLine> &lines = machine.work.editRecords();
        for (int i = 0; i < 200; ++i) {
            WorkLine line;
            line.name = QStringLiteral("Preset %1").arg(i);
            line.version = i % 4;
            line.time = 1 + i % 30;
            line.orgTime = line.time;
            line.value = QString::number(1000 + i * 7);
            line.note = QStringLiteral("line %1").arg(i);
            line.pool = i % 3;
            lines.append(line);
        }
        machine.work.programName = QStringLiteral("Program %1").arg(m);
        records.append(machine);
    }
}

void benchMachines(bool quick)
{
    const int rounds = quick ? 3 : 20;
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');

    Machines machines;
    machines.setFolder(folder);
    fillMachines(machines);
    QElapsedTimer timer;
    qint64 saveNs = 0;
    qint64 readNs = 0;
    int readBack = 0;
    for (int r = 0; r < rounds; ++r) {
        timer.start();
        machines.saveBase();
        saveNs += timer.nsecsElapsed();

        Machines loaded;
        loaded.setFolder(folder);
        timer.start();
        loaded.readBase();
        readNs += timer.nsecsElapsed();
        readBack = 0;
        for (const Machine &machine : loaded.records())
            readBack += int(machine.logs.count() + machine.work.count());
    }
    print("machines saveBase ms (5 machines, 500 log entries, 200 work lines each)", milliseconds(saveNs / rounds), 2);
    print("machines readBase ms (same file)", milliseconds(readNs / rounds), 2);
    print("machines file size", QStringLiteral("%1 KiB").arg(QFileInfo(folder + Machines::fileName).size() / 1024));
    if (readBack != Machine::deviceSlots * (Logs::limit + 200))
        print("machines entries read back", readBack);
}

// ---- sequencers -----------------------------------------------------------

// A clock the benchmark moves by hand, so items end without waiting.
class StepClock : public Clock
{
public:
    qint64 msecs() const override { return m_now; }
    void advance(int ms) { m_now += ms; }

private:
    qint64 m_now = 0;
};

// A controller that is on air from the start request to the stop request.
class StubControl : public TransmitControl
{
public:
    void setTransmitSeconds(quint32 seconds) override { m_seconds = seconds; }
    void setLfRequested(quint32 value) override { m_lf = value; ++m_lfChanges; }
    quint32 requestStart() override
    {
        m_onAir = true;
        return ++m_runs;
    }
    void requestStop() override { m_onAir = false; }
    bool isTransmitting() const override { return m_onAir; }

    quint64 lfChanges() const { return m_lfChanges; }

private:
    quint32 m_seconds = 0;
    quint32 m_lf = 0;
    quint64 m_lfChanges = 0;
    quint32 m_runs = 0;
    bool m_onAir = false;
};

void benchSequencers(bool quick)
{
    constexpr int sequencers = 5;
    constexpr int items = 200;
    const int rounds = quick ? 20000 : 200000;

    StepClock clock;
    StubControl controls[sequencers];
    std::unique_ptr<Sequencer> list[sequencers];
    for (int s = 0; s < sequencers; ++s) {
        list[s] = std::make_unique<Sequencer>();
        list[s]->setClock(&clock);
        list[s]->setController(&controls[s]);
        list[s]->resize(items);
        for (int i = 0; i < items; ++i)
            list[s]->setItem(i, QStringLiteral("Preset %1.v.1").arg(i), QString::number(1000 + i), 1);
        list[s]->setTotalTime(qint64(items) * 60);
    }

    // One second of clock per round: an item of one minute ends every 60
    // rounds, so item changes are part of the cost.
    QElapsedTimer timer;
    timer.start();
    for (int r = 0; r < rounds; ++r) {
        for (auto &sequencer : list) {
            if (sequencer->state() == Sequencer::S_IDLE)
                sequencer->start();
            sequencer->tick();
        }
        clock.advance(1000);
    }
    const qint64 ns = timer.nsecsElapsed();
    quint64 changes = 0;
    for (const StubControl &control : controls)
        changes += control.lfChanges();

    const qint64 ticks = qint64(rounds) * sequencers;
    print("sequencer ticks/s (5 sequencers, 200 items, stub controller)", perSecond(ticks, ns));
    const double windowTickUs = double(ns) / 1000.0 / rounds;
    print("sequencers us per 25 ms window tick (all 5)", windowTickUs, 3);
    print("sequencers share of the 25 ms tick budget", QString::number(windowTickUs / 25000.0 * 100.0, 'g', 3) + "%");
    print("sequencer LF values handed over during the run", double(changes));
}

// ---- controller against the simulator ------------------------------------

#ifdef TAVIK_SIM_PATH
bool inReadyCycle(const Tavik &tavik)
{
    return tavik.state() == Tavik::M_MACHINE_GET_STATUS || tavik.state() == Tavik::M_MACHINE_COMMAND_BRING_UP;
}

void benchController(bool quick)
{
    const int ticks = quick ? 500 : 3000;
    QProcess sim;
    sim.setProcessChannelMode(QProcess::SeparateChannels);
    sim.start(QStringLiteral(TAVIK_SIM_PATH), {"--port", "0", "--announce-interval-ms", "0"});
    if (!sim.waitForStarted(5000)) {
        print("controller tick", "skipped, tavik-sim did not start");
        return;
    }
    QByteArray out;
    while (!out.contains('\n') && sim.waitForReadyRead(5000))
        out += sim.readAllStandardOutput();
    const auto match = QRegularExpression("listening on port (\\d+)").match(QString::fromUtf8(out));
    const quint16 port = match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
    if (port == 0) {
        print("controller tick", "skipped, tavik-sim reported no port");
        sim.kill();
        sim.waitForFinished(3000);
        return;
    }

    Tavik tavik;
    tavik.setTCPIP(QStringLiteral("127.0.0.1"), port);
    tavik.setAutoConnect(true);
    QElapsedTimer timer;
    timer.start();
    while (!inReadyCycle(tavik) && timer.elapsed() < 20000) {
        delay(2);
        if (tavik.takePacketReady())
            tavik.readPacket();
        tavik.tick();
    }
    if (!inReadyCycle(tavik)) {
        print("controller tick", "skipped, the controller did not reach the ready cycle");
    } else {
        print("controller ms from start to the ready cycle", double(timer.elapsed()));
        qint64 tickNs = 0;
        qint64 worstNs = 0;
        int snapshots = 0;
        int outside = 0;
        QElapsedTimer tickTimer;
        for (int i = 0; i < ticks; ++i) {
            delay(1);
            tickTimer.start();
            if (tavik.takePacketReady())
                tavik.readPacket();
            tavik.tick();
            const qint64 ns = tickTimer.nsecsElapsed();
            tickNs += ns;
            worstNs = qMax(worstNs, ns);
            if (tavik.takeStatusSnapshot())
                ++snapshots;
            if (!inReadyCycle(tavik))
                ++outside;
        }
        print(QStringLiteral("controller tick us (ready cycle, mean of %1)").arg(ticks), double(tickNs) / 1000.0 / ticks, 2);
        print("controller tick us (ready cycle, worst)", double(worstNs) / 1000.0, 1);
        print("controller status snapshots taken during the run", snapshots);
        if (outside > 0)
            print("controller ticks that left the ready cycle", outside);
    }
    tavik.disconnectFromDevice();
    sim.kill();
    sim.waitForFinished(3000);
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    // Only the device figures (asked for alone, or in a whole run) start
    // simulators and a listening window.
    bool withoutDevices = false;
    bool devices = false;
    bool help = false;
    for (int i = 1; i < argc; ++i) {
        withoutDevices = withoutDevices || std::strcmp(argv[i], "--stores") == 0 || std::strcmp(argv[i], "--search") == 0
                         || std::strcmp(argv[i], "--histories") == 0;
        devices = devices || std::strcmp(argv[i], "--devices") == 0;
        help = help || std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0;
    }
    if (!help && (devices || !withoutDevices))
        reenterLoopbackOnly(argv);
    Outbound::setWatcher(refuseBeyondLoopback);
    SearchRefillBench::chooseOffscreenPlatform();
    Measure::TimedApplication app(argc, argv);
    qInstallMessageHandler(discardMessages);
    const QStringList arguments = app.arguments();
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        std::printf("Usage: tavik-bench [--quick] [--stores | --search | --devices | --freeze | --scale | --histories]\n"
                    "Prints one speed or memory figure per line; --quick uses smaller sizes,\n"
                    "--stores only the store load, save and start-up figures, --search only\n"
                    "the preset list's search (up to 1,000,000 presets), --devices only\n"
                    "the five simulated devices (CPU and LF latency) and the noisy link,\n"
                    "--freeze the window's longest holds at 100,000 records, --scale the\n"
                    "same over 1,000,000 presets a pool and 10,000 clients, --histories\n"
                    "only the backup and restore of 200 clients' histories of 10,000 entries.\n");
        return 0;
    }
    const bool quick = arguments.contains(QLatin1String("--quick"));
    if (arguments.contains(QLatin1String("--stores"))) {
        benchStores(quick);
        return 0;
    }
    if (arguments.contains(QLatin1String("--search"))) {
        SearchRefillBench::run(quick);
        return 0;
    }
    if (arguments.contains(QLatin1String("--freeze"))) {
        WindowFreezeBench::run(quick ? 10000 : 100000, quick ? 100 : 1000, quick ? 10000 : 100000);
        return 0;
    }
    if (arguments.contains(QLatin1String("--histories"))) {
        WindowFreezeBench::runHistories(quick ? 20 : 200, 10000);
        return 0;
    }
    if (arguments.contains(QLatin1String("--scale"))) {
        WindowFreezeBench::runScale();
        return 0;
    }
    if (arguments.contains(QLatin1String("--devices"))) {
        benchFiveDevices(quick);
        benchWindowDevices(quick);
        benchRunEndHistory(quick);
        return 0;
    }

    QElapsedTimer total;
    total.start();
    benchFrames(quick);
    benchAnnouncements(quick);
    benchPresets(quick);
    benchMachines(quick);
    benchStores(quick);
    benchSequencers(quick);
    SearchRefillBench::run(quick);
#ifdef TAVIK_SIM_PATH
    benchController(quick);
#else
    print("controller tick", "skipped, built without tavik-sim");
#endif
    benchFiveDevices(quick);
    benchWindowDevices(quick);
    benchRunEndHistory(quick);
    print("whole run s", double(total.elapsed()) / 1000.0, 1);
    return 0;
}
