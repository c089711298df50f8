#include "data/container.h"
#include "data/textforms.h"
#include "device/tavik.h"
#include "work/clock.h"
#include "work/runrules.h"
#include "work/sequencer.h"
#include "editors/worktablemodel.h"
#include "device/transmitcontrol.h"
#include "data/worklist.h"

#include "support/simprocess.h"
#include "support/testenv.h"

#include <QtTest>

namespace {

// A controller that goes on air when told, and remembers what it was asked.
struct StubController : TransmitControl
{
    quint32 transmitSeconds = 0;
    QList<quint32> lfValues;
    int starts = 0;
    int stops = 0;
    bool onAir = false;
    bool offSeen = true;  // the device seen to obey the last stop

    void setTransmitSeconds(quint32 seconds) override { transmitSeconds = seconds; }
    void setLfRequested(quint32 value) override { lfValues.append(value); }
    quint32 requestStart() override { return quint32(++starts); }
    void requestStop() override { ++stops; onAir = false; }
    bool isTransmitting() const override { return onAir; }
    bool mayStartAgain() const override { return offSeen; }
};

// What the controller tells of the run, handed on before the sequencer's
// tick as the slots do.
void tell(Sequencer &sequencer, RunEvent::Kind kind, qint64 ms, const QString &text = {})
{
    RunEvent event;
    event.kind = kind;
    event.run = sequencer.run();
    event.ms = ms;
    event.text = text;
    sequencer.handle(event);
}

// The ends of runs the sequencer told since the last call: "complete", or
// why it was cut short.
QStringList endsTold(Sequencer &sequencer)
{
    QStringList ends;
    RunEvent event;
    while (sequencer.runEvents().take(event)) {
        if (event.kind == RunEvent::Ended)
            ends.append(event.complete ? QStringLiteral("complete") : event.text);
    }
    return ends;
}

struct ManualClock : Clock
{
    qint64 ms = 12 * 3600 * 1000;
    qint64 msecs() const override { return ms; }
};

WorkList listOf(const QList<QPair<QString, int>> &lines)
{
    WorkList list;
    for (const auto &line : lines)
        addWorkLine(list, QStringLiteral("Item"), line.first, line.second);
    return list;
}

// A sequencer on the stub controller and a clock the test moves, loaded
// with these lines (value, minutes).
struct Run
{
    StubController controller;
    ManualClock clock;
    Sequencer sequencer;

    explicit Run(const QList<QPair<QString, int>> &lines = {}, bool onAir = false)
    {
        sequencer.setController(&controller);
        sequencer.setClock(&clock);
        WorkList list = listOf(lines);
        loadWork(list, sequencer);
        controller.onAir = onAir;
    }
};

} // namespace

class TestSequencer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void twoItemsRunInOrder()
    {
        Run run;
        auto &[controller, clock, sequencer] = run;
        WorkList list = listOf({{"1000", 1}, {"2000.9", 1}});
        loadWork(list, sequencer);
        QCOMPARE(sequencer.totalSeconds(), 120);
        QCOMPARE(sequencer.progress(sequencer.count()), -1);

        sequencer.start();
        QCOMPARE(controller.transmitSeconds, 120u);
        QCOMPARE(controller.starts, 1);
        QCOMPARE(sequencer.state(), Sequencer::S_WAIT_RF_READY);
        sequencer.tick();
        QCOMPARE(sequencer.state(), Sequencer::S_WAIT_RF_READY);  // not on air yet

        controller.onAir = true;
        sequencer.tick();
        // The first value is handed over at start too, so that the device
        // does not go on air with what the last run left.
        QCOMPARE(controller.lfValues, QList<quint32>({1000, 1000}));
        controller.lfValues.clear();
        clock.ms += 30000;
        sequencer.tick();
        QCOMPARE(sequencer.progress(0), 50);
        QCOMPARE(sequencer.currentItem(), 0);
        // The Work tab's table follows the run cell by cell.
        WorkTableModel table;
        QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
        table.fill(&list);
        QCOMPARE(table.index(1, WorkTableModel::ColumnName).data().toString(), QString("Item.v.1"));
        QSignalSpy repainted(&table, &QAbstractItemModel::dataChanged);
        table.showProgress(sequencer);
        table.showProgress(sequencer);
        QCOMPARE(repainted.size(), 1);
        QCOMPARE(table.index(0, WorkTableModel::ColumnProgress).data().toString(), QString("50"));
        clock.ms += 30000;
        sequencer.tick();
        QCOMPARE(sequencer.progress(0), 100);
        QCOMPARE(controller.lfValues, QList<quint32>({2000}));  // truncated
        QCOMPARE(sequencer.currentItem(), 1);
        clock.ms += 60000;
        sequencer.tick();
        QCOMPARE(sequencer.progress(1), 100);
        QCOMPARE(sequencer.state(), Sequencer::S_STOP_TRANSMIT);
        QCOMPARE(controller.stops, 1);
        for (int i = 0; i < Sequencer::stopTicks - 2; ++i)
            sequencer.tick();
        QCOMPARE(sequencer.state(), Sequencer::S_STOP_TRANSMIT);
        sequencer.tick();
        QCOMPARE(sequencer.state(), Sequencer::S_IDLE);
        QVERIFY(!sequencer.isRunning());
        QCOMPARE(endsTold(sequencer), QStringList {"complete"});

        // Stopped while the device warms up: cut short before its first
        // line, not a run that sent its whole list.
        sequencer.start();
        controller.onAir = false;
        sequencer.tick();
        sequencer.stop();
        QCOMPARE(endsTold(sequencer), QStringList {"Stopped by the operator"});
        QCOMPARE(sequencer.cutShort().text(), QString("cut short at line 1 (Item.v.1, 0 %): Stopped by the operator"));
    }

    void edgeLists()
    {
        Run run({}, true);
        auto &[controller, clock, sequencer] = run;

        // Nothing to run, or a value the device cannot take: no start, so
        // nothing goes on air.
        WorkList empty;
        loadWork(empty, sequencer);
        QVERIFY(!sequencer.start());
        WorkList bad = listOf({{"7", 1}, {"NaN", 1}});
        loadWork(bad, sequencer);
        QVERIFY(!sequencer.start());
        QCOMPARE(controller.starts, 0);
        QVERIFY(controller.lfValues.isEmpty());

        // A zero-length item is done on its first tick.
        WorkList odd = listOf({{"3", 0}, {"7", 1}});
        loadWork(odd, sequencer);
        controller.onAir = true;
        QVERIFY(sequencer.start());
        sequencer.tick();
        QCOMPARE(sequencer.progress(0), 100);
        QCOMPARE(controller.lfValues, QList<quint32>({3, 3, 7}));

        // A reset in the middle of an item (devices rebound) ends the run
        // instead of following an item that is no longer there.
        sequencer.setState(Sequencer::S_IDLE);
        controller.onAir = true;
        WorkList one = listOf({{"9", 5}});
        loadWork(one, sequencer);
        sequencer.start();
        sequencer.tick();
        QCOMPARE(sequencer.state(), Sequencer::S_SEND_LF);
        sequencer.reset();
        sequencer.tick();
        QCOMPARE(sequencer.state(), Sequencer::S_STOP_TRANSMIT);

        // A start while the stop is still running its course is refused,
        // instead of being swallowed by the return to S_IDLE.
        QVERIFY(!sequencer.canStart());
        QVERIFY(!sequencer.start());
        QVERIFY(!sequencer.isRunning());
        for (int i = 0; i < Sequencer::stopTicks; ++i)
            sequencer.tick();
        QVERIFY(sequencer.start());

        // stop while idle changes only the running flag.
        sequencer.setState(Sequencer::S_IDLE);
        const int stops = controller.stops;
        sequencer.stop();
        QCOMPARE(sequencer.state(), Sequencer::S_IDLE);
        QCOMPARE(controller.stops, stops);
    }

    // Items are timed on a clock that only runs forward; the wall clock
    // stepping by an hour either way (daylight saving, a correction) is
    // not seen. Its time of day means nothing either: an item running
    // over midnight just counts on.
    void clockSteps()
    {
        Run run({{"5", 2}, {"6", 60}, {"7", 1}}, true);
        auto &[controller, clock, sequencer] = run;
        clock.ms = (24 * 3600 - 30) * 1000;
        sequencer.start();
        sequencer.tick();
        clock.ms += 40000;
        sequencer.tick();
        QCOMPARE(sequencer.progress(0), 33);  // 40 s of 120
        // An hour later: the second item is done, the third begun, the
        // list not over.
        clock.ms += 80000 + 3600 * 1000;
        sequencer.tick();
        QCOMPARE(sequencer.currentItem(), 2);
        QCOMPARE(sequencer.progress(2), 0);
        QCOMPARE(sequencer.state(), Sequencer::S_SEND_LF);
        QCOMPARE(controller.lfValues, QList<quint32>({5, 5, 6, 7}));
    }

    // Ticks that see an item's end late must not push the later items back:
    // the list ends within one tick of its start plus its total.
    void longListDoesNotDrift()
    {
        QList<QPair<QString, int>> lines;
        for (int i = 0; i < 200; ++i)
            lines.append({QString::number(i + 1), 1});
        Run run(lines, true);
        auto &[controller, clock, sequencer] = run;
        sequencer.start();
        const qint64 start = clock.ms;
        const int tickMs = 25;
        int ticks = 0;
        // Each tick arrives 25 ms plus a 7 ms stall late.
        while (sequencer.state() == Sequencer::S_WAIT_RF_READY || sequencer.state() == Sequencer::S_SEND_LF) {
            sequencer.tick();
            clock.ms += tickMs + 7;
            QVERIFY(++ticks < 1000000);
        }
        const qint64 took = clock.ms - start;
        QVERIFY2(qAbs(took - 200 * 60 * 1000) <= 2 * (tickMs + 7), qPrintable(QString::number(took)));
        QCOMPARE(controller.lfValues.size(), 201);
        QCOMPARE(controller.lfValues.last(), 200u);
    }

    // The LF value a frequency text gives: a plain decimal number above 0
    // whose whole part fits 32 bits, and nothing else.
    void lfValues()
    {
        const QList<QPair<QString, qint64>> cases = {
            {"1234", 1234}, {" 77 ", 77}, {"1234.9", 1234}, {"4294967295", 4294967295ll},
            {"4294967296", -1}, {"16777217", 16777217}, {"-5", -1}, {"+5", -1}, {"5e9", -1},
            {"1,5", -1}, {"NaN", -1}, {"inf", -1}, {"", -1}, {"0", -1}, {"0.5", -1}, {".5", -1},
            {"5.", -1}, {"1 000", -1}, {"١٢", -1},
        };
        for (const auto &[text, expected] : cases) {
            quint32 value = 99;
            const bool ok = TextForm::lfValue(text, value);
            QVERIFY2(ok == (expected >= 0), qPrintable(text));
            QCOMPARE(qint64(value), qMax<qint64>(expected, 0));
        }
    }

    // The device, its link or a stall ends a run before its time: the run
    // ends where it stood, no later value is sent, and nothing restarts.
    void cutShort()
    {
        Run run({{"100", 1}, {"200", 2}, {"300", 1}});
        auto &[controller, clock, sequencer] = run;
        QVERIFY(sequencer.start());
        controller.onAir = true;
        sequencer.tick();
        clock.ms += 60000 + 30000;
        sequencer.tick();
        QCOMPARE(sequencer.currentItem(), 1);
        QCOMPARE(sequencer.progress(1), 25);

        controller.onAir = false;
        tell(sequencer, RunEvent::Interrupted, 0, "HV dropped");
        sequencer.tick();
        QCOMPARE(sequencer.state(), Sequencer::S_IDLE);
        QVERIFY(!sequencer.isRunning());
        QCOMPARE(sequencer.cutShort().text(), QString("cut short at line 2 (Item.v.1, 25 %): HV dropped"));
        QCOMPARE(sequencer.progress(0), 100);
        QCOMPARE(sequencer.progress(2), 0);
        QCOMPARE(endsTold(sequencer), QStringList {"HV dropped"});
        clock.ms += 600000;
        for (int i = 0; i < 100; ++i)
            sequencer.tick();
        QCOMPARE(controller.starts, 1);
        QCOMPARE(controller.lfValues, QList<quint32>({100, 100, 200}));

        // A start clears the last run's end.
        QVERIFY(sequencer.start());
        QCOMPARE(sequencer.cutShort().item, -1);
        controller.onAir = true;
        sequencer.tick();
        QCOMPARE(sequencer.progress(1), 0);

        // The device's own time: the list's 240 s and 3 more.
        const qint64 onAir = clock.ms;
        tell(sequencer, RunEvent::DeviceTimeLeft, 243000);
        sequencer.tick();
        const auto holdUp = [&](qint64 ms, qint64 timeLeftMs = -1) {
            QTest::qSleep(int(Sequencer::stallMs) + 100);
            clock.ms += ms;
            if (timeLeftMs >= 0)
                tell(sequencer, RunEvent::DeviceTimeLeft, timeLeftMs);
            sequencer.tick();
        };
        // Held up within the first item, for 5 s and twice for 1.6 s: the
        // device went on sending its value, and its time covers the list.
        clock.ms += 30000;
        sequencer.tick();
        QCOMPARE(sequencer.progress(0), 50);
        holdUp(5000);
        holdUp(1600);
        holdUp(1600);
        QCOMPARE(sequencer.state(), Sequencer::S_SEND_LF);
        QCOMPARE(sequencer.progress(0), 63);
        QVERIFY(endsTold(sequencer).isEmpty());

        // Held up for 60 s across the end of the first item: the second
        // begins when its value can go out, 38.2 s late, and the device's
        // time (the reply read first after the hold-up tells it as it was
        // before) no longer covers the list. The run goes on until the
        // device stops, and says what went out for how long.
        holdUp(60000, 243000 - 38200);
        QCOMPARE(sequencer.currentItem(), 1);
        QCOMPARE(controller.lfValues.last(), 200u);
        QVERIFY(endsTold(sequencer).isEmpty());
        clock.ms = onAir + 98200 + 120000;
        sequencer.tick();
        QCOMPARE(controller.lfValues.last(), 300u);
        QCOMPARE(sequencer.remainingMs(), 243000 - 218200);
        const int stops = controller.stops;
        clock.ms = onAir + 250000;
        sequencer.tick();
        QCOMPARE(endsTold(sequencer).size(), 1);
        QCOMPARE(sequencer.cutShort().text(),
                 QString("cut short at line 3 (Item.v.1, 41 %): The device's own time ran out (the program was held "
                         "up for 68.2 s; sent LF 100 for 98 s, LF 200 for 120 s, LF 300 for 25 s)"));
        QCOMPARE(controller.stops, stops + 1);
    }

    // A pause takes the device off air at once and keeps the place; the
    // resume gives the device the time left in all and the paused line's
    // value, and the line goes on for its time left once the device is on
    // air again. Nothing is asked of the device while paused, and a pause
    // held past its limit ends the run where it paused.
    void pauseAndResume()
    {
        Run run({{"100", 2}, {"200", 1}}, true);
        auto &[controller, clock, sequencer] = run;
        QVERIFY(!sequencer.pause());  // no run
        QVERIFY(sequencer.start());
        sequencer.tick();
        clock.ms += 90000;
        sequencer.tick();
        QCOMPARE(sequencer.progress(0), 75);
        QVERIFY(sequencer.pause());
        QCOMPARE(controller.stops, 1);
        QVERIFY(!controller.onAir);
        QVERIFY(sequencer.isPaused() && sequencer.isRunning());
        QCOMPARE(sequencer.remainingMs(), 90000);
        QVERIFY(!sequencer.pause());
        RunEvent event;
        QVERIFY(sequencer.runEvents().take(event) && event.kind == RunEvent::ItemBegun);
        QVERIFY(sequencer.runEvents().take(event) && event.kind == RunEvent::Paused);
        QCOMPARE(event.item, 0);
        QCOMPARE(event.ms, 30000);
        controller.lfValues.clear();
        for (int i = 0; i < 1000; ++i) {
            clock.ms += Sequencer::tickMs;
            sequencer.tick();
        }
        QCOMPARE(sequencer.remainingMs(), 90000);
        QVERIFY(controller.lfValues.isEmpty());
        QCOMPARE(controller.starts, 1);

        // Not while the device may still be going off air: its count of
        // the part is still to come.
        controller.offSeen = false;
        QVERIFY(!sequencer.mayResume() && !sequencer.resume());
        QCOMPARE(controller.starts, 1);
        controller.offSeen = true;
        // Resumed: 30 s of the first line and the second's 60 s.
        QVERIFY(sequencer.resume());
        QCOMPARE(controller.starts, 2);
        QCOMPARE(controller.transmitSeconds, 90u);
        QCOMPARE(controller.lfValues, QList<quint32>({100}));
        QVERIFY(sequencer.runEvents().take(event) && event.kind == RunEvent::Resumed);
        QCOMPARE(event.resumedFrom, 1u);
        QCOMPARE(event.run, 2u);
        // Warming up: nothing counts until the device is on air again.
        sequencer.tick();
        clock.ms += 20000;
        sequencer.tick();
        QCOMPARE(sequencer.state(), Sequencer::S_WAIT_RF_READY);
        QCOMPARE(sequencer.currentItem(), 0);
        QCOMPARE(sequencer.remainingMs(), 90000);
        controller.onAir = true;
        sequencer.tick();
        clock.ms += 29000;
        sequencer.tick();
        QCOMPARE(sequencer.currentItem(), 0);
        QCOMPARE(sequencer.progress(0), 99);
        QCOMPARE(sequencer.remainingMs(), 61000);
        clock.ms += 1000;
        sequencer.tick();
        QCOMPARE(sequencer.currentItem(), 1);
        QCOMPARE(controller.lfValues.last(), 200u);
        clock.ms += 60000;
        sequencer.tick();
        QCOMPARE(sequencer.state(), Sequencer::S_STOP_TRANSMIT);
        QString sent;
        while (sequencer.runEvents().take(event)) {
            if (event.kind == RunEvent::Ended) {
                QVERIFY(event.complete);
                QCOMPARE(event.ms, 180000);
                sent = event.sent;
            }
        }
        QCOMPARE(sent, QString("sent in 2 parts: part 1: LF 100 for 90 s; part 2: LF 100 for 30 s, LF 200 for 60 s; "
                               "in all: LF 100 for 120 s, LF 200 for 60 s"));
        for (int i = 0; i < Sequencer::stopTicks; ++i)
            sequencer.tick();

        // Paused in the warm-up and again in the resume's warm-up: the
        // place is the start of the list; a stop while paused ends the run
        // there, saying it was paused.
        QVERIFY(sequencer.start());
        controller.onAir = false;
        sequencer.tick();
        QVERIFY(sequencer.pause());
        QVERIFY(sequencer.resume());
        QCOMPARE(controller.transmitSeconds, 180u);
        QVERIFY(sequencer.pause());
        QCOMPARE(sequencer.currentItem(), 0);
        sequencer.stop();
        QCOMPARE(sequencer.cutShort().text(),
                 QString("cut short at line 1 (Item.v.1, 0 %): Stopped by the operator while the run was paused"));
        for (int i = 0; i < Sequencer::stopTicks; ++i)
            sequencer.tick();
        // The program ends (a close, SIGTERM) while paused: the same.
        QVERIFY(sequencer.start());
        sequencer.tick();
        QVERIFY(sequencer.pause());
        sequencer.endStopped("The program ended");
        QCOMPARE(sequencer.state(), Sequencer::S_IDLE);
        QCOMPARE(sequencer.cutShort().reason, QString("The program ended while the run was paused"));
        for (int i = 0; i < Sequencer::stopTicks; ++i)
            sequencer.tick();
        // After a run whose device told its own time, a pause in the next
        // run's warm-up is paused from now, not from when that time ran out.
        QVERIFY(sequencer.start());
        controller.onAir = true;
        sequencer.tick();
        tell(sequencer, RunEvent::DeviceTimeLeft, 183000);
        clock.ms += 180000;
        sequencer.tick();
        for (int i = 0; i < Sequencer::stopTicks; ++i)
            sequencer.tick();
        QVERIFY(sequencer.start());
        controller.onAir = false;
        clock.ms += 20000;
        sequencer.tick();
        QVERIFY(sequencer.pause());
        QCOMPARE(sequencer.pausedForMs(), 0);
        sequencer.stop();
        for (int i = 0; i < Sequencer::stopTicks; ++i)
            sequencer.tick();

        // By its own count the device was on air 6 s longer than the
        // program saw: the paused line has that much less left, and its
        // part says so. A stop in the resume's warm-up is not one while
        // paused; nothing went out in the resumed part.
        const auto endOf = [&] {
            RunEvent told;
            QString sent;
            while (sequencer.runEvents().take(told))
                sent = told.kind == RunEvent::Ended ? told.sent : sent;
            return sent;
        };
        QVERIFY(sequencer.start());
        controller.onAir = true;
        sequencer.tick();
        clock.ms += 60000;
        sequencer.tick();
        QVERIFY(!sequencer.wentOnAfterPause(6000));
        QVERIFY(sequencer.pause());
        QVERIFY(sequencer.wentOnAfterPause(6000));
        QCOMPARE(sequencer.remainingMs(), 114000);
        QVERIFY(sequencer.resume());
        QCOMPARE(controller.transmitSeconds, 114u);
        controller.onAir = false;
        sequencer.tick();
        sequencer.stop();
        QCOMPARE(sequencer.cutShort().text(), QString("cut short at line 1 (Item.v.1, 55 %): Stopped by the operator "
                                                      "while the device warmed up to resume"));
        QCOMPARE(endOf(), QString("sent in one part: part 1: LF 100 for 66 s; in all: LF 100 for 66 s"));
        for (int i = 0; i < Sequencer::stopTicks; ++i)
            sequencer.tick();
        // Resumed after its cut and stopped at once: nothing went out.
        QVERIFY(sequencer.resumeFrom(1, 30000));
        sequencer.stop();
        QCOMPARE(endOf(), QString("nothing sent since it was resumed after its cut"));
        for (int i = 0; i < Sequencer::stopTicks; ++i)
            sequencer.tick();

        // A pause held past its limit ends the run where it paused, once.
        sequencer.setPauseLimitMinutes(1);
        QVERIFY(sequencer.start());
        controller.onAir = true;
        sequencer.tick();
        clock.ms += 150000;
        sequencer.tick();
        QVERIFY(sequencer.pause());
        endsTold(sequencer);
        const int limitTicks = 60 * 1000 / Sequencer::tickMs;
        for (int i = 0; i < limitTicks - 1; ++i) {
            clock.ms += Sequencer::tickMs;
            sequencer.tick();
        }
        QVERIFY(sequencer.isPaused());
        sequencer.tick();
        QCOMPARE(sequencer.state(), Sequencer::S_STOP_TRANSMIT);
        QVERIFY(!sequencer.resume());
        QCOMPARE(endsTold(sequencer), QStringList {"The pause went on longer than 1 min"});
        QCOMPARE(sequencer.cutShort().text(), QString("cut short at line 2 (Item.v.1, 50 %): The pause went on longer "
                                                      "than 1 min"));
    }

    // What may go on air: nothing without a device, an empty list, a line
    // without a preset or a valid frequency, a list longer than the device's
    // time field, or a device that is not up.
    void runRules()
    {
        using RunRules::Outcome;
        Tavik tavik;
        Sequencer sequencer;
        WorkList list = listOf({{"440", 1}, {"880.5", 2}});  // the client's pool
        QCOMPARE(RunRules::check(&list, nullptr, &sequencer), Outcome::NoDevice);
        QCOMPARE(RunRules::check(&list, &tavik, &sequencer), Outcome::DeviceNotReady);
        QCOMPARE(RunRules::listSeconds(list), 180);

        WorkList empty;
        QCOMPARE(RunRules::check(&empty, &tavik, &sequencer), Outcome::NothingToRun);
        WorkList timeless = listOf({{"440", 0}});
        QCOMPARE(RunRules::check(&timeless, &tavik, &sequencer), Outcome::NothingToRun);
        WorkList bad = list;
        bad.editRecords()[1].value = "1,5";
        QCOMPARE(RunRules::check(&bad, &tavik, &sequencer), Outcome::LineNotRunnable);
        WorkList notFound = list;
        notFound.editRecords()[0].pool = 10;
        QCOMPARE(RunRules::check(&notFound, &tavik, &sequencer), Outcome::LineNotRunnable);
        WorkList tooLong = list;
        tooLong.editRecords()[0].time = 1092;  // 1092 min: with 2 more, past 65535 s
        QCOMPARE(RunRules::check(&tooLong, &tavik, &sequencer), Outcome::TooLong);
        QVERIFY(RunRules::text(Outcome::TooLong, &tooLong).contains("1094 min"));
        // What the Work tab shows for a refused start, each naming its own
        // cause (a broken line's text is judged with the Work tab's window).
        QCOMPARE(RunRules::text(Outcome::NoDevice, &list), QString("No device picked: pick one on the Tavik tab."));
        QVERIFY(RunRules::text(Outcome::NothingToRun, &list).startsWith("Nothing to run"));
        QVERIFY(RunRules::text(Outcome::DeviceNotReady, &list).contains("not connected"));
        QVERIFY(RunRules::text(Outcome::StillRunning, &list).contains("stop is on the way"));
        QVERIFY(RunRules::text(Outcome::Ready, &list).isEmpty());  // a ready device's tab shows no refusal
    }

    void workListFile()
    {
        TestEnv::useTemporaryHome();
        const QString path = TestEnv::dataFolder() + "work.dat";
        WorkList list;
        list.setPath(path);
        list.editRecords() = listOf({{"440", 90}}).records();
        list.setCurrent(0);
        list.setName("Alpha");
        list.setLineVersion(3);
        list.pool = 1;
        list.programName = "Evening";
        QVERIFY(list.saveBase());

        QJsonObject stored;
        QCOMPARE(Container::readFile(path, stored), Container::ReadStatus::Read);
        QCOMPARE(stored.value("bse").toString(), QString("General"));
        QCOMPARE(stored.value("program").toArray().at(0).toObject().value("bse").toString(), QString("0"));
        QCOMPARE(stored.value("program").toArray().at(0).toObject().value("tim").toString(), QString("90"));

        WorkList back;
        back.setPath(path);
        QVERIFY(back.readBase());
        QCOMPARE(back.pool, 1);
        QCOMPARE(back.programName, QString("Evening"));
        Sequencer sequencer;
        loadWork(back, sequencer);
        QCOMPARE(sequencer.item(0).title, QString("Alpha.v.3"));
        QCOMPARE(sequencer.totalSeconds(), 5400);

        // Any other pool word reads as Legitimate; a list without header keys
        // reads with an empty name, version 0 and an invalid total time.
        QJsonObject other = stored;
        other.insert("bse", "general");
        back.fromJson(other);
        QCOMPARE(back.pool, 2);
        back.fromJson(QJsonObject{{"version", "1"}, {"program", QJsonArray()}});
        QCOMPARE(back.programName, QString());
        QCOMPARE(back.programVersion, 0);
        QCOMPARE(back.totalTime, TextForm::noMinutes);
    }
};

QTEST_GUILESS_MAIN(TestSequencer)
#include "tst_sequencer.moc"
