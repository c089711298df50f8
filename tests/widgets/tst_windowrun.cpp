#include "app/infobar.h"
#include "app/mainwindow.h"
#include "app/signalcloser.h"
#include "data/container.h"
#include "data/programs.h"
#include "device/statustext.h"
#include "device/tavik.h"
#include "work/runrules.h"
#include "work/sendtowork.h"
#include "work/sequencer.h"
#include "ui/devicestab.h"
#include "ui/stopkeys.h"
#include "ui/worktab.h"

#include "support/testenv.h"
#include "support/windowtest.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include <algorithm>
#include <cstdio>

namespace {

// The program in a child process, as a person runs it with its own timers:
// a two-line run started from the Work tab; says so once it is where the
// parent ends it (warming up for its first line, or on air with its
// second, or paused in it) and runs on until it is killed or given SIGTERM.
int runUntilKilled(bool warming, bool paused)
{
    // The parent's temporary home comes with the environment.
    QCoreApplication::setApplicationName("TavikStudio");
    ScaledClock clock {WindowRig::timeScale};  // outlives the window, whose end reads it
    SignalCloser closer;
    MainWindow window;
    QObject::connect(&closer, &SignalCloser::closeRequested, &window, [&window] {
        window.closeForSignal();
        QCoreApplication::quit();
    });
    window.devices().setClock(&clock);
    if (!QTest::qWaitFor([&] { return selectedReady(window); }, 20000))
        return 1;
    Machines &registry = window.devices().registry();
    registry.setCurrent(0);
    addWorkLine(*registry.work(), "First", "1111", 1, 1, 1);
    addWorkLine(*registry.work(), "Second", "2222", 1, 1, 1);
    mainTabs(window)->setCurrentIndex(MainWindow::TabWork);
    auto *start = child<QPushButton>(window, "pushButton_work_start");
    if (!QTest::qWaitFor([&] { return start->isEnabled(); }, 5000))
        return 1;
    start->click();
    Sequencer *sequencer = window.devices().selectedSequencer();
    const auto reached = [&] {
        return warming ? sequencer->state() == Sequencer::S_WAIT_RF_READY
                       : sequencer->state() == Sequencer::S_SEND_LF && sequencer->currentItem() == 1;
    };
    if (!QTest::qWaitFor(reached, 20000))
        return 1;
    if (paused) {
        QTest::qWait(10 * MainWindow::deviceTickMs);
        click(window, "pushButton_work_pause");
        if (!sequencer->isPaused())
            return 1;
    }
    // A line begun between two ticks is in the journal from the next one.
    QTest::qWait(4 * MainWindow::deviceTickMs);
    std::printf("ready to be killed\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// The newest note of the open client's history.
QString newestNote(MainWindow &window)
{
    const QList<Note> &notes = window.library().history().notes().records();
    return notes.isEmpty() ? QString() : notes.first().text;
}

} // namespace

// The program as a person uses it: a simulated device on the network,
// found, connected and running a work list from the Work tab.
class TestWindowRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        TestEnv::useTemporaryHome();
        // One client, so that the run has somebody to be recorded for.
        Clients clients;
        clients.setFolder(TestEnv::dataFolder());
        clients.insertNew();
        clients.setName("Ada");
        QVERIFY(clients.saveBase());
    }
    void init()
    {
        QFile::remove(TestEnv::dataFolder() + "machines.dat");
        QFile::remove(TestEnv::dataFolder() + "runs.dat");
    }

    // With either warm-up a device may show.
    void deviceFoundConnectedAndRun_data()
    {
        QTest::addColumn<QString>("warmUp");
        QTest::newRow("HV first") << "hv-first";
        QTest::newRow("Ready and POW") << "ready-pow";
    }

    void deviceFoundConnectedAndRun()
    {
        QFETCH(QString, warmUp);
        WindowRig rig;
        QVERIFY(rig.start("9001", {"--warm-up", warmUp}));
        MainWindow &window = rig.window;
        WindowDriver &driver = rig.driver;
        Machines &registry = window.devices().registry();
        registry.setCurrent(0);
        QCOMPARE(window.settings().operatorName(), QString("9001"));  // the very first device
        QVERIFY(driver.until([&] { return selectedReady(window); }, 20000));
        QVERIFY(window.infoBar()->deviceText().startsWith("Tavik 9001"));
        mainTabs(window)->setCurrentIndex(MainWindow::TabTavik);
        window.uiTick();
        // A device that is up can be disconnected, not connected again.
        QVERIFY(child<QPushButton>(window, "pushButton_machine_disconnect")->isEnabled());
        QVERIFY(!child<QPushButton>(window, "pushButton_machine_connect")->isEnabled());

        addWorkLine(*registry.work(), "Alpha", "1234", 1, 3, 1);
        addWorkLine(*registry.work(), "Beta", "4321", 1, 1, 1);
        registry.work()->programName = "Evening";
        auto *tabs = mainTabs(window);
        tabs->setCurrentIndex(MainWindow::TabWork);
        auto *table = child<QTableView>(window, "tableWidget_work");
        const auto text = [table](int row, int column) { return table->model()->index(row, column).data().toString(); };
        auto *start = child<QPushButton>(window, "pushButton_work_start");
        QCOMPARE(table->model()->rowCount(), 2);
        QCOMPARE(child<QLabel>(window, "label_work_totalTime")->text(), QString("2"));
        window.uiTick();
        QVERIFY(start->isEnabled());
        start->click();

        Sequencer *sequencer = window.devices().selectedSequencer();
        QVERIFY(sequencer->isRunning());
        // The run's end is given once the warm-up is over, not before.
        auto *remaining = child<QLabel>(window, "label_work_remainingTime");
        window.uiTick();
        QVERIFY2(!remaining->text().contains("ends"), qPrintable(remaining->text()));
        bool endShown = false;
        int highest = 0;
        bool followed = false;
        // Once the list is done the run is over, while its stop is on the
        // way: nothing is warming up, and a disabled Start says why.
        QString stopping;
        auto *message = child<QLabel>(window, "label_work_message");
        QVERIFY(driver.until([&] {
            endShown = endShown || remaining->text().contains("ends");
            highest = qMax(highest, text(0, 5).toInt());
            if (sequencer->currentItem() == 1 && sequencer->isRunning()) {
                window.uiTick();
                followed = followed || table->selectionModel()->isRowSelected(1, {});
            }
            if (stopping.isEmpty() && sequencer->state() == Sequencer::S_STOP_TRANSMIT) {
                window.uiTick();
                stopping = QString("%1 | %2 | %3").arg(start->isEnabled()).arg(remaining->text(), message->text());
            }
            return sequencer->state() == Sequencer::S_IDLE;
        }, 30000));
        QCOMPARE(highest, 100);
        QVERIFY(followed);
        QVERIFY(endShown);
        QVERIFY2(stopping.startsWith("0 | 2:00 | ") && stopping.contains("stop is on the way"), qPrintable(stopping));
        // Back on the Work tab later, the list shows how far its last run got.
        tabs->setCurrentIndex(MainWindow::TabTavik);
        tabs->setCurrentIndex(MainWindow::TabWork);
        QCOMPARE((QStringList{text(0, 5), text(1, 5)}), (QStringList{"100", "100"}));

        // The run is in the client's history: the program, then its lines.
        History &history = window.library().history();
        QVERIFY(history.notes().count() >= 3);
        history.notes().setCurrent(0);
        QCOMPARE(history.notes().type(), int(LineType::Program));
        QCOMPARE(history.notes().text(), QString("Evening"));
        QCOMPARE(history.notes().colour(), 4);
        // Its two lines, then the end or the run before it.
        QCOMPARE(history.presetNotesAfterCurrent(), history.notes().count() == 3 ? -1 : 2);
        history.notes().setCurrent(1);
        QCOMPARE(history.notes().text(), QString("Alpha"));
        QCOMPARE(history.notes().colour(), 5);

        // Start right after Stop: the stop is still running its course, so
        // Start is disabled, and a click then neither starts nor records.
        window.uiTick();
        QVERIFY(start->isEnabled());
        const int recorded = history.notes().count();
        start->click();
        QCOMPARE(history.notes().count(), recorded + 3);
        window.uiTick();
        click(window, "pushButton_work_stop");
        window.uiTick();
        QVERIFY(!start->isEnabled());
        window.workTab()->on_pushButton_work_start_clicked();  // as a click that beat the refresh
        QVERIFY(!sequencer->isRunning());
        QVERIFY(driver.until([&] { return sequencer->state() == Sequencer::S_IDLE; }, 5000));
        window.uiTick();
        QVERIFY(start->isEnabled());
        // That stop came during the warm-up: the run is recorded cut short
        // before its first line, once, in the history and the device's log.
        const QString cut = "cut short at line 1 (Alpha.v.3, 0 %): Stopped by the operator";
        QCOMPARE(history.notes().count(), recorded + 4);
        QCOMPARE(newestNote(window), "Tavik 9001: run " + cut);
        registry.setCurrent(0);
        QCOMPARE(std::count_if(registry.logs()->records().cbegin(), registry.logs()->records().cend(),
                               [&](const LogEntry &entry) { return entry.text == "Run " + cut; }), 1);

        // Leaving the Work tab saves the registry with the list and the log.
        tabs->setCurrentIndex(MainWindow::TabTavik);
        QJsonObject stored;
        QCOMPARE(Container::readFile(TestEnv::dataFolder() + "machines.dat", stored), Container::ReadStatus::Read);
        const QJsonObject machine = stored.value("machines").toArray().at(0).toObject();
        QCOMPARE(machine.value("SerialNumber").toString(), QString("9001"));
        QCOMPARE(machine.value("Work").toObject().value("program").toArray().size(), 2);
        const QJsonArray log = machine.value("logs").toObject().value("logs").toArray();
        QVERIFY(log.size() > 5);
        bool presetTimeLogged = false;
        for (const QJsonValue &entry : log)
            presetTimeLogged = presetTimeLogged || entry.toObject().value("log").toString() == "Request transmit, preset time:123";
        QVERIFY(presetTimeLogged);

        const QAbstractItemModel *devices = child<QTableView>(window, "tableWidget_machinesSelection")->model();
        QCOMPARE(devices->rowCount(), 1);
        QCOMPARE(devices->index(0, 2).data().toString(), QString("9001"));
        QVERIFY(driver.until([&] { return devices->index(0, 4).data().toString() == "Ready"; }, 5000));
        QVERIFY(child<QTableWidget>(window, "tableWidget_tavikLogs")->rowCount() > 5);
    }

    // The operator's road with the keyboard: F5 starts on the Work tab only
    // and leaves the focus on Stop; F6 stops from any tab, Shift+F6 stops
    // every device.
    void runFromTheKeyboard()
    {
        WindowRig rig;
        QVERIFY(rig.start("9004"));
        MainWindow &window = rig.window;
        WorkList *work = rig.ready();
        QVERIFY(work);
        addWorkLine(*work, "Long", "777", 10, 1, 1);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *tabs = mainTabs(window);
        Sequencer *sequencer = window.devices().selectedSequencer();
        auto *stop = child<QPushButton>(window, "pushButton_work_stop");

        // A button's key presses it after a short flash.
        tabs->setCurrentIndex(MainWindow::TabTools);
        QTest::keyClick(&window, Qt::Key_F5);
        QTest::qWait(300);
        QVERIFY(!sequencer->isRunning());
        tabs->setCurrentIndex(MainWindow::TabWork);
        window.uiTick();
        QTest::keyClick(&window, Qt::Key_F5);
        QTRY_VERIFY(sequencer->isRunning());
        window.uiTick();
        QCOMPARE(QApplication::focusWidget(), stop);
        QVERIFY(rig.driver.until([&] { return sequencer->state() == Sequencer::S_SEND_LF; }, 10000));
        QVERIFY(rig.driver.until([&] { return sequencer->progress(0) >= 1; }, 10000));
        tabs->setCurrentIndex(MainWindow::TabTools);
        QTest::keyClick(&window, Qt::Key_F6);
        QVERIFY(!sequencer->isRunning());
        QVERIFY(rig.driver.until([&] { return sequencer->canStart() && selectedReady(window); }, 10000));
        // The history says where the operator's stop ended the run, not
        // that the whole list went out: once the device is seen off air,
        // as far as its own count says it went.
        QVERIFY(rig.driver.until([&] { return newestNote(window).contains("cut short"); }, 10000));
        const QString stopped = newestNote(window);
        const QRegularExpressionMatch cut =
            QRegularExpression("^Tavik 9004: run cut short at line 1 \\(Long.v.1, (\\d+) %\\): Stopped by the operator"
                               "(; the device went on until it obeyed the stop, \\d+\\.\\d s on air in all)?$")
                .match(stopped);
        QVERIFY2(cut.hasMatch(), qPrintable(stopped));
        const int percent = cut.captured(1).toInt();
        QVERIFY2(percent >= sequencer->progress(0) && percent < 100, qPrintable(stopped));

        // The Work tab says so too, and the time what Resume from line 1
        // would send: the line's time left, by the percent it got to.
        tabs->setCurrentIndex(MainWindow::TabWork);
        window.uiTick();
        QCOMPARE(child<QLabel>(window, "label_work_message")->text(), "Run " + stopped.mid(stopped.indexOf("cut short")));
        auto *remaining = child<QLabel>(window, "label_work_remainingTime");
        const int leftSeconds = remaining->text().section(':', 0, 0).toInt() * 60 + remaining->text().section(':', 1).toInt();
        QVERIFY2(leftSeconds <= 6 * (100 - percent) && leftSeconds >= 6 * (99 - percent), qPrintable(remaining->text()));
        QTest::keyClick(&window, Qt::Key_F5);
        QTRY_VERIFY(sequencer->isRunning());
        QVERIFY(rig.driver.until([&] { return sequencer->state() == Sequencer::S_SEND_LF; }, 10000));
        QTest::keyClick(&window, Qt::Key_F6, Qt::ShiftModifier);
        QVERIFY(!sequencer->isRunning());
        QVERIFY(rig.driver.until([&] { return rig.sim.received().filter("command=3").size() == 2; }, 10000));
        QVERIFY(rig.driver.until([&] { return newestNote(window).contains("cut short") && newestNote(window) != stopped; }, 10000));
        const QString note = newestNote(window);
        QVERIFY2(note.contains(": Stopped by the operator"), qPrintable(note));

        // A new program sent to the list: what the last run was cut short
        // on is a line of a list no longer there.
        QVERIFY(rig.driver.until([&] { return sequencer->canStart(); }, 10000));
        auto *message = child<QLabel>(window, "label_work_message");
        window.uiTick();
        QVERIFY2(message->text().startsWith("Run cut short"), qPrintable(message->text()));
        Program next;
        next.name = "Next";
        next.replaceRecords({ProgramLine {"Other", 1, LineType::Preset, 3}});
        QCOMPARE(SendToWork::program(window.library(), window.devices(), next, true), SendToWork::Sent);
        window.workTab()->fillWorkTable();
        window.uiTick();
        QVERIFY2(!message->text().contains("cut short"), qPrintable(message->text()));
        // With nothing to resume, the list's own time again.
        QCOMPARE(remaining->text(), StatusText::minutesSeconds(quint32(RunRules::listSeconds(*window.devices().selectedWork()))));
    }

    // Pause and Resume by F7 (the button's new text must not take its key
    // away), on a device of either warm-up: off air while paused, the tab
    // says so and for how long, and the end time comes back with the
    // resume; the history tells each step. The keys go as the buttons read,
    // and a Stop the device is slow to obey leaves the focus on the row.
    void pauseAndResumeFromTheWindow_data() { deviceFoundConnectedAndRun_data(); }
    void pauseAndResumeFromTheWindow()
    {
        QFETCH(QString, warmUp);
        WindowRig rig;
        QVERIFY(rig.start("9006", {"--warm-up", warmUp, "--stop-delay-s", "2"}));
        MainWindow &window = rig.window;
        QVERIFY(rig.showReadyLongLine());
        Sequencer *sequencer = rig.clickStart();
        auto *pause = child<QPushButton>(window, "pushButton_work_pause");
        auto *message = child<QLabel>(window, "label_work_message");
        auto *remaining = child<QLabel>(window, "label_work_remainingTime");
        QVERIFY(rig.driver.until([&] { return sequencer->progress(0) >= 5; }, 15000));
        window.uiTick();
        QVERIFY(pause->isEnabled());
        QCOMPARE(pause->text(), QString("\nPause\n"));
        // The limit the operator sets is the one the pause keeps, and is
        // kept for the next start of the program.
        child<QSpinBox>(window, "spinBox_work_pauseLimit")->setValue(7);
        QCOMPARE(window.settings().pauseLimitMinutes(), 7);
        QTest::keyClick(&window, Qt::Key_F7);
        QTRY_VERIFY(sequencer->isPaused());
        const qsizetype mark = rig.sim.trace().size();
        // The slow device is still going off air: Resume waits for it.
        window.uiTick();
        QVERIFY2(!pause->isEnabled() && message->text().contains("the device is going off air. Resume waits until it is off."),
                 qPrintable(message->text()));
        QTest::keyClick(&window, Qt::Key_F7);
        QVERIFY(sequencer->isPaused());
        QVERIFY(rig.driver.until([&] { return rig.sim.trace().mid(mark).contains("PHASE Ready stop"); }, 5000));
        QVERIFY(rig.driver.until([&] { return sequencer->pausedForMs() > 20000; }, 5000));
        window.uiTick();
        QCOMPARE(pause->text(), QString("\nResume\n"));
        QVERIFY2(pause->toolTip().startsWith("Resume the paused run"), qPrintable(pause->toolTip()));
        QVERIFY2(message->text().startsWith("Paused for 0:2") && message->text().contains("at line 1 (Long.v.1)")
                     && message->text().endsWith("after 7 min paused."),
                 qPrintable(message->text()));
        QVERIFY2(remaining->text().endsWith("\npaused"), qPrintable(remaining->text()));
        // A question asked meanwhile says the run is paused, not going on.
        QVERIFY(StopKeys::duringRun("Quit?", window.devices()).contains("A run stays paused meanwhile"));
        const QList<Note> &told = window.library().history().notes().records();
        QVERIFY2(std::any_of(told.cbegin(), told.cend(),
                             [](const Note &note) { return note.text.startsWith("Tavik 9006: run paused at line 1 (Long.v.1, "); }),
                 qPrintable(newestNote(window)));

        QVERIFY(pause->isEnabled());
        auto *stop = child<QPushButton>(window, "pushButton_work_stop");
        QCOMPARE(child<QPushButton>(window, "pushButton_work_start")->nextInFocusChain(), pause);
        QCOMPARE(pause->nextInFocusChain(), stop);
        QTest::keyClick(&window, Qt::Key_F7);
        QTRY_VERIFY(!sequencer->isPaused());
        QVERIFY(rig.driver.until([&] { return sequencer->state() == Sequencer::S_SEND_LF; }, 10000));
        window.uiTick();
        QCOMPARE(pause->text(), QString("\nPause\n"));
        QVERIFY2(remaining->text().contains("\nends "), qPrintable(remaining->text()));
        QVERIFY2(message->text().isEmpty(), qPrintable(message->text()));
        QVERIFY(rig.sim.trace().mid(mark).filter("PHASE OnAir").size() == 1);
        QVERIFY(rig.driver.until([&] { return newestNote(window).startsWith("Tavik 9006: run resumed at line 1 (Long.v.1, "); }, 2000));
        QTest::keyClick(&window, Qt::Key_F6);
        QVERIFY(!sequencer->isRunning());
        // Until the slow device is off air the tab says so, and a start
        // waits for the run's end to be recorded.
        QVERIFY(rig.driver.until([&] {
            window.uiTick();
            return message->text().startsWith("Run stopped: the device is going off air.");
        }, 2000));
        QVERIFY(!child<QPushButton>(window, "pushButton_work_start")->isEnabled());
        QVERIFY(rig.driver.until([&] { return newestNote(window).contains("cut short"); }, 2000));
        const QString note = newestNote(window);
        QVERIFY2(note.startsWith("Tavik 9006: run cut short at line 1") && note.contains("; sent in 2 parts: part 1: LF 777"),
                 qPrintable(note));

        // Cut short by that Stop: the same run goes on from its line.
        auto *resumeFrom = child<QPushButton>(window, "pushButton_work_resumeFrom");
        QVERIFY(rig.driver.until([&] {
            window.uiTick();
            return resumeFrom->isVisible() && resumeFrom->isEnabled();
        }, 10000));
        QCOMPARE(resumeFrom->text(), QString("\nResume from line 1\n"));
        const qsizetype notes = window.library().history().notes().count();
        // Its key, the button's text set anew at every refresh.
        QTest::keyClick(&window, Qt::Key_F8);
        QTRY_VERIFY(sequencer->isRunning());
        QVERIFY(!resumeFrom->isVisible());
        QVERIFY(rig.driver.until([&] { return sequencer->state() == Sequencer::S_SEND_LF; }, 10000));
        QVERIFY2(newestNote(window).startsWith("Tavik 9006: run resumed at line 1 (Long.v.1, "), qPrintable(newestNote(window)));
        // No new "pro:" entry: the history holds one run.
        QCOMPARE(window.library().history().notes().count(), notes + 1);
        window.uiTick();
        QCOMPARE(QApplication::focusWidget(), stop);
        QTest::keyClick(&window, Qt::Key_F6);
        QVERIFY(rig.driver.until([&] {
            window.uiTick();
            return !stop->isEnabled();
        }, 10000));
        const QWidget *focus = QApplication::focusWidget();
        QVERIFY2(focus && focus != child<QSpinBox>(window, "spinBox_work_pauseLimit"),
                 qPrintable(focus ? focus->objectName() : QString("nothing")));
    }

    // The device cuts the run (HV drops alone): the status line stops
    // saying TRANSMITTING in the very tick the run ends, not at the next
    // refresh of the window.
    void deviceCutsTheRun()
    {
        WindowRig rig;
        QVERIFY(rig.start("9005", {"--cut-off-after-s", "20", "--drop-bit", "hv"}));
        Sequencer *sequencer = rig.startLongRun();
        QVERIFY(sequencer);
        QVERIFY(rig.driver.until([&] { return rig.window.infoBar()->deviceText().endsWith("TRANSMITTING"); }, 5000));
        // Device ticks alone: a UI tick in between would mend the line anyway.
        QVERIFY(stepUntil([&] { QTest::qWait(2); rig.window.deviceTick(); }, [&] { return !sequencer->isRunning(); }, 10000));
        QVERIFY2(!rig.window.infoBar()->deviceText().contains("TRANSMITTING"), qPrintable(rig.window.infoBar()->deviceText()));
        QVERIFY(newestNote(rig.window).endsWith(": HV dropped"));
    }

    // Closing the window mid-run asks first; staying leaves the run alone.
    // A termination signal (or a logout) asks nothing: every device on air
    // is sent its stop before the program ends.
    void quitMidRun()
    {
        WindowRig rig;
        QVERIFY(rig.start("9003"));
        MainWindow &window = rig.window;
        Sequencer *sequencer = rig.startLongRun();
        QVERIFY(sequencer);

        int asked = 0;
        window.setQuitQuestion([&asked] { ++asked; return false; });
        QVERIFY(!window.close());
        QCOMPARE(asked, 1);
        QVERIFY(sequencer->isRunning());
        QVERIFY(rig.sim.received().filter("command=3").isEmpty());

        const auto ends = [&window] {
            QStringList texts;
            for (const Note &note : window.library().history().notes().records()) {
                if (note.text.contains("run cut short"))
                    texts << note.text;
            }
            return texts;
        };
        const qsizetype endedBefore = ends().size();
        window.closeForSignal();
        QCOMPARE(asked, 1);
        QVERIFY(QTest::qWaitFor([&] { return rig.sim.timeOf("PHASE Ready stop") >= 0; }, 3000));
        QCOMPARE(rig.sim.received().filter("command=3").size(), 1);
        // The history holds the run's end once, with how far its line got,
        // also after the ticks that see the device stop.
        for (int tick = 0; tick < 8; ++tick)
            window.deviceTick();
        QCOMPARE(ends().size(), endedBefore + 1);
        QVERIFY2(QRegularExpression("^Tavik 9003: run cut short at line 1 \\(Long.v.1, \\d+ %\\): The program ended$")
                     .match(newestNote(window)).hasMatch(),
                 qPrintable(newestNote(window)));

        // A logout called off after the stop: a run started afterwards is
        // stopped at the next way out in its turn.
        QVERIFY(rig.driver.until([&] { return sequencer->canStart(); }, 5000));
        QVERIFY(rig.startLongRun());
        window.stopAllDevices();
        QVERIFY(QTest::qWaitFor([&] { return rig.sim.received().filter("command=3").size() == 2; }, 3000));

        // Flushing the device list mid-run asks first, and staying leaves the
        // run alone; going on stops the device and records the run cut short.
        QVERIFY(rig.driver.until([&] { return sequencer->canStart(); }, 5000));
        QVERIFY(rig.startLongRun());
        QString question;
        window.devicesTab()->setRemoveQuestion([&question](const QString &text) { question = text; return false; });
        auto *flush = child<QPushButton>(window, "pushButton_machinesFluschTable");
        flush->click();
        QVERIFY2(question.startsWith("Tavik 9003"), qPrintable(question));
        QVERIFY(sequencer->isRunning());
        QCOMPARE(window.devices().registry().count(), 1);
        window.devicesTab()->setRemoveQuestion([](const QString &) { return true; });
        flush->click();
        QCOMPARE(window.devices().registry().count(), 0);
        QVERIFY(QTest::qWaitFor([&] { return rig.sim.received().filter("command=3").size() == 3; }, 300));
        window.deviceTick();
        const QString note = newestNote(window);
        QVERIFY2(QRegularExpression("^Tavik 9003: run cut short at line 1 \\(Long.v.1, \\d+ %\\): "
                                    "The operator removed the device from the list$").match(note).hasMatch(),
                 qPrintable(note));
        // The device back on the list by its announcement has a list from no
        // program, and the Work tab names none.
        QVERIFY(rig.driver.until([&] { return window.devices().registry().count() == 1; }, 5000));
        window.uiTick();
        QCOMPARE(child<QLabel>(window, "label_programName")->text(), QString("--"));
    }

    // The program is killed mid-run (SIGKILL: nothing of it runs after), or
    // given SIGTERM. The next start pings the device at once and stops it,
    // and the client's history and the device's log say the run was cut
    // short, at which line. Once the device has read that stop, and not
    // before, the Work tab offers to resume the run from the place the
    // journal last knew (a line's beginning, its pause, its cut), and
    // nothing but the stop and status queries reach the device until the
    // operator takes it: then the line goes on for its time left, as the
    // same run in the same history entry. A device left on air by a kill
    // goes on with the value it had until that stop (a slow one for some
    // seconds after it) or until its own time runs out: its own count, held
    // against where the journal last placed the run, says how long, and the
    // resume goes on from there.
    void killedMidRun_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("terminate");
        QTest::addColumn<QString>("cut");
        QTest::addColumn<int>("line");
        const QString killed = ": The program ended during the run without stopping it";
        QTest::newRow("on air") << QStringList() << "--run-until-killed" << false
                                << "cut short at line 2 (Second.v.1)" + killed << 2;
        QTest::newRow("on air, slow to stop") << QStringList{"--stop-delay-s", "3"} << "--run-until-killed" << false
                                              << "cut short at line 2 (Second.v.1)" + killed << 2;
        // A device still warming shows nothing on air, and comes on air at
        // whatever it was last given.
        QTest::newRow("warming") << QStringList{"--warm-up", "ready-pow", "--warm-up-s", "100"}
                                 << "--run-until-killed-warming" << false << "cut short at line 1 (First.v.1)" + killed << 1;
        // One that comes on air before the next start reaches it.
        QTest::newRow("warming, then on air") << QStringList{"--warm-up", "ready-pow", "--warm-up-s", "12"}
                                              << "--run-until-killed-warming" << false
                                              << "cut short at line 1 (First.v.1)" + killed << 1;
        QTest::newRow("paused") << QStringList() << "--run-until-killed-paused" << false
                                << "cut short at line 2 (Second.v.1): The program ended while the run was paused (paused at " << 2;
        QTest::newRow("SIGTERM") << QStringList() << "--run-until-killed" << true
                                 << "cut short at line 2 (Second.v.1, " << 2;
    }

    void killedMidRun()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QString, mode);
        QFETCH(bool, terminate);
        QFETCH(QString, cut);
        QFETCH(int, line);
        SimProcess sim;
        QVERIFY(sim.start(WindowRig::simArguments("9004") + simArgs));
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QCoreApplication::applicationFilePath(), {mode});
        QVERIFY(program.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return program.readAllStandardOutput().contains("ready to be killed"); }, 40000));
        const bool warming = mode.endsWith("warming");
        QVERIFY(!warming || QTest::qWaitFor([&] { return sim.timeOf("PHASE Warming") >= 0; }, 5000));
        const bool paused = mode.endsWith("paused");
        const bool onAir = !terminate && !paused && !warming;
        if (terminate)
            program.terminate();
        else
            program.kill();
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), terminate ? QProcess::NormalExit : QProcess::CrashExit);
        const bool cameOnAir = warming && !simArgs.contains("100");
        QVERIFY(!cameOnAir || QTest::qWaitFor([&] { return sim.timeOf("PHASE OnAir") >= 0; }, 5000));
        // On air some seconds by itself, beyond the count's rounding.
        if (cameOnAir)
            QTest::qWait(250);
        QCOMPARE(sim.received().filter("command=3").size(), terminate || paused ? 1 : 0);
        // A start that ends without the resume leaves it to the next.
        qint64 wentOnMs = 0;
        {
            ScaledClock firstClock {WindowRig::timeScale};
            MainWindow first;
            first.stopTimers();
            first.devices().setClock(&firstClock);
            WindowDriver firstDriver {first};
            mainTabs(first)->setCurrentIndex(MainWindow::TabWork);
            const auto deviceLog = [&] {
                QStringList lines;
                for (const Machine &machine : first.devices().registry().records())
                    for (const LogEntry &entry : machine.logs.records())
                        lines.append(entry.text);
                return lines.join(" / ");
            };
            QVERIFY2(firstDriver.until([&] { return newestNote(first).startsWith("Tavik 9004: run " + cut); }, 10000),
                     qPrintable(newestNote(first) + " // " + deviceLog()));
            const QString told = newestNote(first);
            const QRegularExpressionMatch went = QRegularExpression(
                "; the device went on with LF 2222 until (its own time ran out|it was stopped): "
                "(\\d+\\.\\d) s on air from 0:00 into line 2, where the program last placed the run, by its own count")
                                                     .match(told);
            QVERIFY2(went.hasMatch() == onAir, qPrintable(told));
            QVERIFY2(!warming || cameOnAir
                         || told.endsWith("; by its own count the device had not gone on air when the next start stopped it"),
                     qPrintable(told));
            if (cameOnAir) {
                // A bound no smaller than what the device sent, by its trace.
                const QRegularExpressionMatch bound = QRegularExpression(
                    "; the device may have gone on air with LF 1111 until it was stopped: at most (\\d+\\.\\d) s on air "
                    "by its own count$").match(told);
                const QStringList sent = sim.trace().filter(QRegularExpression("^LF 1111 "));
                QVERIFY2(bound.hasMatch() && sent.size() == 1, qPrintable(told + " / " + sent.join(" / ")));
                const qint64 boundMs = qint64(bound.captured(1).toDouble() * 1000);
                const qint64 sentMs = sent.first().split(' ').at(2).toLongLong();
                QVERIFY2(boundMs >= sentMs && boundMs <= sentMs + 2100, qPrintable(told + " / " + sent.first()));
            }
            if (onAir) {
                // Within a second of what the device sent, by its trace.
                wentOnMs = qint64(went.captured(2).toDouble() * 1000);
                const QStringList sent = sim.trace().filter(QRegularExpression("^LF 2222 "));
                QVERIFY2(sent.size() == 1 && qAbs(sent.first().split(' ').at(2).toLongLong() - wentOnMs) < 1500,
                         qPrintable(told + " / " + sim.trace().filter(QRegularExpression("^(LF|PHASE|CONNECT|DISCONNECT|RX REQ_COMMAND|RX REQ_SET)")).join(" / ")));
                // Its time ran out past the line's: nothing is left to resume.
                if (wentOnMs >= 60000) {
                    QVERIFY2(told.contains("s beyond the line's time"), qPrintable(told));
                    for (int tick = 0; tick < 20; ++tick)
                        first.deviceTick();
                    first.uiTick();
                    QVERIFY(child<QPushButton>(first, "pushButton_work_resumeFrom")->isHidden());
                    return;
                }
            }
            auto *offered = child<QPushButton>(first, "pushButton_work_resumeFrom");
            QVERIFY(firstDriver.until([&] { return !offered->isHidden() && offered->isEnabled(); }, 10000));
        }
        const qsizetype stopsBefore = sim.received().filter("command=3").size();

        ScaledClock clock {WindowRig::timeScale};
        MainWindow window;
        window.stopTimers();
        window.devices().setClock(&clock);
        WindowDriver driver {window};
        const qsizetype mark = sim.received().size();
        QVERIFY(driver.until([&] { return sim.received().filter("command=3").size() > stopsBefore; }, 10000));
        QCOMPARE(sim.timeOf("PHASE OnAir") >= 0, !warming || cameOnAir);
        // At once: a ping and a connection, not the first round's 200 ticks.
        QVERIFY2(driver.ticks < 40, qPrintable(QString("stopped after %1 ticks").arg(driver.ticks)));

        QVERIFY2(newestNote(window).startsWith("Tavik 9004: run " + cut), qPrintable(newestNote(window)));
        Machines &registry = window.devices().registry();
        registry.setCurrent(0);
        QCOMPARE(registry.serialNumber(), QString("9004"));
        const QList<LogEntry> &log = registry.logs()->records();
        QCOMPARE(std::count_if(log.cbegin(), log.cend(), [&](const LogEntry &entry) { return entry.text.startsWith("Run " + cut); }), 1);

        mainTabs(window)->setCurrentIndex(MainWindow::TabWork);
        auto *resumeFrom = child<QPushButton>(window, "pushButton_work_resumeFrom");
        auto *remaining = child<QLabel>(window, "label_work_remainingTime");
        QVERIFY(driver.until([&] { return !resumeFrom->isHidden() && resumeFrom->isEnabled(); }, 10000));
        QCOMPARE(resumeFrom->text(), QString("\nResume from line %1\n").arg(line));
        // What the resume would send: the line's time left and the rest;
        // a line cut mid-way has less than its minute left.
        const QString left = remaining->text();
        const int leftSeconds = left.section(':', 0, 0).toInt() * 60 + left.section(':', 1).toInt();
        const bool midLine = terminate || paused;
        if (onAir)
            QVERIFY2(qAbs(leftSeconds * 1000 - (60000 - wentOnMs)) <= 1000, qPrintable(left));
        else
            QVERIFY2(midLine ? leftSeconds > 0 && leftSeconds < 60 : leftSeconds == 60 * (3 - line), qPrintable(left));
        // Its ready cycle goes on, but no start goes out before the click.
        QVERIFY(sim.received().mid(mark).filter("command=2").isEmpty());

        const qsizetype notes = window.library().history().notes().count();
        const qsizetype traced = sim.trace().size();
        resumeFrom->click();
        Sequencer *sequencer = window.devices().selectedSequencer();
        QVERIFY(sequencer->isRunning());
        QVERIFY(driver.until([&] { return sequencer->state() == Sequencer::S_SEND_LF; }, 10000));
        QVERIFY(driver.until([&] { return newestNote(window).contains("resumed"); }, 2000));
        QVERIFY2(newestNote(window).startsWith(QString("Tavik 9004: run resumed at line %1 (").arg(line)), qPrintable(newestNote(window)));
        QVERIFY(driver.until([&] { return sequencer->canStart(); }, 20000));
        QVERIFY(driver.until([&] { return newestNote(window).contains("complete"); }, 2000));
        // No new "pro:" entry: the history holds one run, resumed, then complete.
        QCOMPARE(window.library().history().notes().count(), notes + 2);
        const QStringList times = sim.trace().mid(traced).filter("REQ_SET_TIME");
        QCOMPARE(times.size(), 1);
        // The device is given its 3 s beyond the list, as at any start.
        QVERIFY2(times.first().endsWith("time=" + QString::number(leftSeconds + 3)), qPrintable(times.first() + " after " + left));
        QVERIFY(driver.until([&] { return sim.trace().mid(traced).filter(QRegularExpression("^LF ")).size() >= 1; }, 3000));
        QVERIFY2(sim.trace().mid(traced).filter(QRegularExpression("^LF ")).first().startsWith(line == 1 ? "LF 1111 " : "LF 2222 "),
                 qPrintable(sim.trace().mid(traced).join(" / ")));
        window.uiTick();
        QVERIFY(resumeFrom->isHidden());
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 2 && QByteArray(argv[1]).startsWith("--run-until-killed"))
        return runUntilKilled(qstrcmp(argv[1], "--run-until-killed-warming") == 0,
                              qstrcmp(argv[1], "--run-until-killed-paused") == 0);
    TestWindowRun test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_windowrun.moc"
