#include "data/clients.h"
#include "data/library.h"
#include "device/tavik.h"
#include "discovery/broadcastudp.h"
#include "data/container.h"
#include "data/writebeside.h"
#include "work/deviceslots.h"
#include "work/devicetick.h"
#include "editors/devicetablemodel.h"
#include "work/runjournal.h"
#include "work/sequencer.h"

#include "support/scaledclock.h"
#include "support/simprocess.h"
#include "support/testenv.h"

#include <memory>
#include <QAbstractItemModelTester>
#include <QDir>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QtTest>

class TestDeviceSlots : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    // The path a device takes in the program, without the window: its
    // announcement makes a record, the record is bound to a slot, the slot's
    // controller connects, and the record's work list runs on the device.
    // Then a second device announces the same serial number: the record of
    // a device in use never takes the other's address, and the operator is
    // told once; once its link is lost, it follows the announced address.
    void announcedDeviceRunsItsWorkList()
    {
        const quint16 udpPort = freeUdpPort();
        BroadcastUDP listener(udpPort);
        QVERIFY(listener.bindListener());
        SimProcess sim;
        QVERIFY(sim.start({"--serial", "7001", "--time-scale", "20", "--announce-to",
                           QString("127.0.0.1:%1").arg(udpPort), "--announce-interval-ms", "200"}));

        ScaledClock clock(20);  // outlives the devices, whose end reads it
        DeviceSlots devices;
        Library library;
        DeviceTick work(listener, devices, library);
        AnnouncementMerge &announcements = work.announcements();
        QVERIFY(QTest::qWaitFor([&] { return listener.readAnnouncement() && listener.announcementTouched(); }, 5000));
        QVERIFY(announcements.merge(listener.announced()));
        Machines &registry = devices.registry();
        QCOMPARE(registry.count(), 1);
        registry.setCurrent(0);
        QCOMPARE(registry.name(), QString("7001"));
        QVERIFY(registry.autoconnect());
        QCOMPARE(registry.scanAddressText(), QString("127.0.0.1"));
        // A second announcement of the same device is merged, not added.
        QVERIFY(QTest::qWaitFor([&] { return listener.readAnnouncement() && listener.announcementTouched(); }, 5000));
        QVERIFY(!announcements.merge(listener.announced()));
        QCOMPARE(registry.count(), 1);

        // The window binds on port 8888; the simulator here has its own.
        Tavik &tavik = devices.controller(registry.slot());
        tavik.setTCPIP("127.0.0.9", 1);
        tavik.setTCPIP("127.0.0.1", sim.port());
        QVERIFY(tickSlotsUntil(devices, [&] { return tavik.state() == Tavik::M_MACHINE_COMMAND_BRING_UP; }, 15000));

        devices.setClock(&clock);
        addWorkLine(*registry.work(), "Alpha", "1111", 1);
        addWorkLine(*registry.work(), "Beta", "2222.7", 1);
        Sequencer &sequencer = devices.sequencer(registry.slot());
        // Started as the Work tab starts it; with no client open the run
        // goes on unrecorded, and the operator is told.
        devices.setSelectedRow(0);
        QString notice;
        QCOMPARE(work.recorder().start(notice), RunRules::Outcome::Ready);
        QVERIFY(sequencer.isRunning());
        QVERIFY(notice.contains("No client open"));

        QVERIFY(tickSlotsUntil(devices, [&] { return sequencer.state() == Sequencer::S_IDLE; }, 20000));
        QCOMPARE(sequencer.progress(1), 100);
        QVERIFY(sim.received().filter("REQ_SET_LF").last().contains("lf=2222"));
        // The second value follows the first by about one item (3 s here).
        const qint64 gap = sim.timeOf("lf=2222") - sim.timeOf("lf=1111");
        QVERIFY2(gap > 2500 && gap < 3500, qPrintable(QString::number(gap)));

        Machine twin = listener.announced();
        twin.scanAddress = {127, 0, 0, 9};
        for (int i = 0; i < 3; ++i)
            QVERIFY(!announcements.merge(twin));
        registry.setCurrent(0);
        QCOMPARE(registry.scanAddressText(), QString("127.0.0.1"));
        QCOMPARE(tavik.hostAddress(), QString("127.0.0.1"));
        const QStringList notices = announcements.takeNotices();
        QCOMPARE(notices.size(), 1);
        QVERIFY(notices.first().contains("127.0.0.9"));

        // The link is lost: the controller follows the announced address
        // instead of retrying the old one for ever, and follows the device
        // again when it moves back while the controller is still reaching
        // for it. Each time it pings the device there and connects when it
        // answers, within a few ticks rather than after an idle round and a
        // ping round (300 ticks): the device may be on air unwatched.
        sim.stop();
        QVERIFY(tickSlotsUntil(devices, [&] { return tavik.state() == Tavik::M_MACHINE_RECONNECT; }, 15000));
        const auto ticksUntilTrying = [&](const Machine &from) {
            announcements.merge(from);
            tavik.takeLogLines();
            for (int ticks = 0; ticks < 400; ++ticks) {
                QTest::qWait(25);
                devices.tickBound();
                if (tavik.state() == Tavik::M_MACHINE_CONNECT)
                    return ticks;
            }
            return -1;
        };
        int ticks = ticksUntilTrying(twin);
        registry.setCurrent(0);
        QCOMPARE(registry.scanAddressText(), QString("127.0.0.9"));
        QCOMPARE(registry.connectAddressText(), QString("127.0.0.9"));  // where it is reached, shown and bound
        QCOMPARE(tavik.hostAddress(), QString("127.0.0.9"));
        QVERIFY2(ticks >= 0 && ticks < 40, qPrintable(QString::number(ticks)));
        QVERIFY(std::any_of(registry.logs()->records().cbegin(), registry.logs()->records().cend(),
                            [](const LogEntry &entry) { return entry.text.contains("new address"); }));
        ticks = ticksUntilTrying(listener.announced());
        QCOMPARE(tavik.hostAddress(), QString("127.0.0.1"));
        QVERIFY2(ticks >= 0 && ticks < 40, qPrintable(QString::number(ticks)));
    }

    // The device at a known address reports another serial number on its
    // link than it announces: the log, the notices and the status line say
    // so, and its announcements of the old one make no second record.
    void anotherSerialOnOneAddress()
    {
        const quint16 udpPort = freeUdpPort();
        BroadcastUDP listener(udpPort);
        QVERIFY(listener.bindListener());
        SimProcess sim;
        QVERIFY(sim.start({"--serial", "4712", "--name", "4711", "--announce-to", QString("127.0.0.1:%1").arg(udpPort),
                           "--announce-interval-ms", "100"}));
        DeviceSlots devices;
        Library library;
        DeviceTick work(listener, devices, library);
        Machines &registry = devices.registry();
        QStringList notices;
        const auto tick = [&] {
            QTest::qWait(2);
            notices += work.run().notices;
        };
        QVERIFY(QTest::qWaitFor([&] { tick(); return registry.count() == 1; }, 5000));
        registry.setCurrent(0);
        Tavik &tavik = devices.controller(registry.slot());
        tavik.setTCPIP("0.0.0.0", 1);
        tavik.setTCPIP("127.0.0.1", sim.port());
        QVERIFY(QTest::qWaitFor([&] { tick(); return inReadyCycle(tavik); }, 15000));
        for (int i = 0; i < 300; ++i)
            tick();
        QCOMPARE(registry.count(), 1);
        registry.setCurrent(0);
        QCOMPARE(registry.serialNumber(), QString("4712"));
        const QString changed = "The device at 127.0.0.1 now reports serial number 4712, not 4711";
        QStringList log;
        for (const LogEntry &entry : registry.logs()->records())
            log.append(entry.text);
        QCOMPARE(log.filter(changed).size(), 1);
        QCOMPARE(log.filter("no second record").size(), 1);
        QVERIFY(devices.statusLine(registry.slot()).endsWith(changed));
        QCOMPARE(notices.filter(changed).size(), 1);
    }

    // Two devices run their lists at the same time: each sequencer sees its
    // own device on air, whichever is selected on screen.
    void twoDevicesRunTogether()
    {
        SimProcess first;
        SimProcess second;
        QVERIFY(first.start({"--time-scale", "20"}));
        QVERIFY(second.start({"--time-scale", "20"}));
        ScaledClock clock(20);  // outlives the devices, whose end reads it
        DeviceSlots devices;
        BroadcastUDP listener(freeUdpPort());
        Library library;
        DeviceTick work(listener, devices, library);
        Machines &registry = devices.registry();
        devices.setClock(&clock);
        QList<SimProcess *> sims {&first, &second};
        for (SimProcess *sim : sims) {
            registry.addMachine(DeviceSlots::count);
            registry.setScanAddressText("127.0.0.1");
            registry.setConnectAddressText("127.0.0.1");
            registry.setAutoconnect(true);
            devices.bindDevices();
            registry.setCurrent(0);
            devices.controller(registry.slot()).setTCPIP("127.0.0.9", 1);
            devices.controller(registry.slot()).setTCPIP("127.0.0.1", sim->port());
            addWorkLine(*registry.work(), "Only", sim == &first ? "501" : "502", 1);
        }
        devices.setSelectedRow(0);
        const auto up = [&](int row) {
            return devices.controller(registry.records().at(row).slot).state() == Tavik::M_MACHINE_COMMAND_BRING_UP;
        };
        QVERIFY(tickSlotsUntil(devices, [&] { return up(0) && up(1); }, 30000));
        for (int row = 0; row < 2; ++row) {
            devices.setSelectedRow(row);
            QString notice;
            QCOMPARE(work.recorder().start(notice), RunRules::Outcome::Ready);
        }
        QVERIFY(tickSlotsUntil(devices, [&] {
            return first.received().filter("lf=501").size() == 1 && second.received().filter("lf=502").size() == 1;
        }, 30000));
        // Each device's state word is its own, whichever is picked.
        Tavik &a = devices.controller(registry.records().at(0).slot);
        Tavik &b = devices.controller(registry.records().at(1).slot);
        QVERIFY(tickSlotsUntil(devices, [&] { return a.isTransmitting() && b.isTransmitting(); }, 30000));
        QCOMPARE(a.stateText(), QString("Transmitting"));
        QCOMPARE(b.stateText(), QString("Transmitting"));
        // Neither announces itself; both answer on their links and are heard.
        for (int row = 0; row < 2; ++row) {
            registry.setCurrent(row);
            QCOMPARE(registry.statusText(), QString("Occupied"));
        }

        // A third device announcing itself rebinds the slots; the runs on
        // the two that stayed where they were go on.
        Machine third;
        third.serialNumber = "3003";
        QVERIFY(work.announcements().merge(third));
        for (int row = 1; row < 3; ++row) {
            registry.setCurrent(row);
            QVERIFY(devices.sequencer(registry.slot()).isRunning());
        }

        // Deleting a device on air ends its run, recorded cut short as any
        // other, and closes its connection; the next record given its slot
        // starts from nothing.
        registry.setCurrent(2);
        const int slot = registry.slot();
        const QString name = registry.name();
        work.recorder().takeReport();
        devices.setSelectedRow(2);
        work.edits().removeSelected();
        QVERIFY(!devices.sequencer(slot).isRunning());
        const QStringList cut = work.recorder().takeReport().notices;
        QCOMPARE(cut.size(), 1);
        QVERIFY2(cut.first().startsWith(QString("Tavik %1: run cut short at line 1 (Only.v.1, ").arg(name))
                     && cut.first().endsWith("The operator removed the device from the list"),
                 qPrintable(cut.first()));
        QVERIFY(QTest::qWaitFor([&] { return first.timeOf("DISCONNECT") >= 0; }, 3000));
        QVERIFY(first.received().last().contains("command=3"));
        registry.addMachine(DeviceSlots::count);
        devices.bindDevices();
        QCOMPARE(registry.slot(), slot);
        int ticks = 0;
        tickSlotsUntil(devices, [&] { return ++ticks > 20; });
        registry.setCurrent(0);
        QCOMPARE(devices.controller(slot).state(), Tavik::M_IDLE);
        QCOMPARE(registry.logs()->count(), 0);
    }

    // The devices table's model: sound for a view, made anew when the
    // records change, and otherwise telling only of the rows that changed.
    void tableModel()
    {
        DeviceSlots devices;
        AnnouncementMerge announcements(devices);
        DeviceTableModel model(devices);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        Machines &registry = devices.registry();
        for (const char *serial : {"11", "12", "13"}) {
            Machine announced;
            announced.serialNumber = serial;
            announcements.merge(announced);
        }
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        model.refresh();
        QCOMPARE(resets.size(), 1);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.index(0, DeviceTableModel::ColumnSerial).data().toString(), QString("13"));
        QCOMPARE(model.index(2, DeviceTableModel::ColumnName).data().toString(), QString("11"));
        model.refresh();
        QCOMPARE(resets.size(), 1);
        QCOMPARE(changes.size(), 0);

        registry.setCurrent(1);
        registry.setName("Box 2");
        model.refresh();
        QCOMPARE(resets.size(), 1);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(changes.first().at(0).toModelIndex().row(), 1);
        QCOMPARE(model.index(1, DeviceTableModel::ColumnName).data().toString(), QString("Box 2"));

        registry.setCurrent(0);
        registry.removeCurrent();
        devices.bindDevices();
        model.refresh();
        QCOMPARE(resets.size(), 2);
        QCOMPARE(model.rowCount(), 2);
    }

    // The operator's registry edits keep the pick on its record, or move it
    // to the record now in its row when the picked one went.
    void registryEditsKeepThePick()
    {
        DeviceSlots devices;
        AnnouncementMerge announcements(devices);
        RegistryEdits edits(devices);
        Machines &registry = devices.registry();
        for (const char *serial : {"11", "12", "13"}) {
            Machine announced;
            announced.serialNumber = serial;
            announcements.merge(announced);
        }
        const auto picked = [&] {
            return devices.moveCursorToSelected() ? registry.currentRecord()->serialNumber : QString("(none)");
        };
        devices.setSelectedRow(1);
        QCOMPARE(picked(), QString("12"));
        QVERIFY(edits.moveSelected(-1));
        QCOMPARE(devices.selectedRow(), 0);
        QCOMPARE(picked(), QString("12"));
        QVERIFY(!edits.moveSelected(-1));
        QVERIFY(edits.moveSelected(+1) && edits.moveSelected(+1));
        QVERIFY(!edits.moveSelected(+1));
        QCOMPARE(devices.selectedRow(), 2);

        edits.removeSelected();
        QCOMPARE(registry.count(), 2);
        QCOMPARE(picked(), QString("11"));  // the record now in the last row

        // A device added by hand and given another address is reached
        // there, also after the slots are bound again for another device.
        edits.addByHand("127.0.0.9");
        QCOMPARE(devices.selectedRow(), 0);
        QCOMPARE(registry.connectAddressText(), QString("127.0.0.9"));
        QVERIFY(edits.setAddress("127.0.0.8"));
        QVERIFY(!edits.setAddress("127.0.0.256"));
        const Tavik *byHand = devices.selectedController();
        QCOMPARE(byHand->hostAddress(), QString("127.0.0.8"));
        Machine fourth;
        fourth.serialNumber = "14";
        announcements.merge(fourth);
        QCOMPARE(byHand->hostAddress(), QString("127.0.0.8"));
        QVERIFY(devices.moveCursorToSelected());
        QCOMPARE(registry.connectAddressText(), QString("127.0.0.8"));
        devices.setSelectedRow(0);
        edits.removeSelected();
        edits.removeUnresponsive();
        QCOMPARE(registry.count(), 2);
        QCOMPARE(picked(), QString("13"));

        edits.addFactoryDefault();
        registry.setCurrent(0);
        QCOMPARE(registry.portText(), QString("8888"));
        edits.removeAll();
        QCOMPARE(registry.count(), 0);
        QCOMPARE(devices.selectedRow(), -1);
    }

    // What a killed program left in the run journal is finished at the next
    // start, and only that: the device is reached and stopped at once; its
    // run's end goes into its history and its device's log, once however
    // often the start is killed in its turn; a complete run stays complete;
    // an entry of a device not on the list, or a second one of the same
    // device, records nothing. A journal that cannot be read, or is of
    // another shape, is kept aside unchanged, every device is reached and
    // stopped, and the operator is told.
    void journalOfAKilledProgram()
    {
        const QString folder = TestEnv::dataFolder();
        Clients clients;
        clients.setFolder(folder);
        clients.insertNew();
        clients.setName("Journal");
        QVERIFY(clients.saveBase());
        const QString historyPath = folder + clients.file() + ".dat";
        History empty;
        empty.setPath(historyPath);
        QVERIFY(empty.saveBase());
        // The device on the list answers at 127.0.0.71, beside the suite's others.
        SimProcess sim;
        QVERIFY(sim.start({"--address", "127.0.0.71", "--port", "8888", "--serial", "8801", "--time-scale", "20"}));
        Machines list;
        list.setFolder(folder);
        for (const char *serial : {"8802", "8801"}) {
            list.addMachine(DeviceSlots::count);
            list.setSerialNumber(serial);
            list.setName(serial);
            list.setConnectAddressText(serial == QString("8801") ? "127.0.0.71" : "127.0.0.72");
        }
        QVERIFY(list.saveBase());
        RunJournal journal;
        journal.setFolder(folder);
        const QString journalPath = folder + "runs.dat";

        // The program as it starts again.
        struct Start
        {
            ScaledClock clock {20};
            DeviceSlots devices;
            BroadcastUDP listener {freeUdpPort()};
            Library library;
            DeviceTick work {listener, devices, library};
            QStringList notices;

            explicit Start(const QString &folder)
            {
                devices.setClock(&clock);
                devices.registry().setFolder(folder);
                devices.registry().readBase();
                devices.bindDevices();
                work.recorder().recover();
                notices = work.run().notices;
            }
            Tavik &device(const QString &serial)
            {
                for (const Machine &machine : devices.registry().records()) {
                    if (machine.serialNumber == serial)
                        return devices.controller(machine.slot);
                }
                return devices.controller(0);
            }
            QStringList logOf(const QString &serial)
            {
                QStringList lines;
                for (const Machine &machine : devices.registry().records()) {
                    for (const LogEntry &entry : machine.logs.records()) {
                        if (machine.serialNumber == serial)
                            lines += entry.text;
                    }
                }
                return lines;
            }
        };
        const auto notesIn = [&](const QString &text) {
            History stored;
            stored.setPath(historyPath);
            stored.readBase();
            return std::count_if(stored.notes().records().cbegin(), stored.notes().records().cend(),
                                 [&](const Note &note) { return note.text == text; });
        };
        const auto stoppedWithin = [&](Start &start, int ticks) {
            const qsizetype before = sim.received().filter("command=3").size();
            for (int i = 0; i < ticks; ++i) {
                QTest::qWait(25);
                start.work.run();
                if (sim.received().filter("command=3").size() > before)
                    return true;
            }
            return false;
        };

        // Empty or cut off (a kill or a full disk while it was written),
        // garbage, or of another shape.
        RunJournal::Entry named;
        named.serial = "8801";
        const QByteArray whole = Container::encode(RunJournal::toJson({named}));
        for (const QByteArray &bytes : {QByteArray(), whole.left(whole.size() / 2), QByteArray("\xA1\x65garbage"),
                                        Container::encode(QJsonObject{{"version", "1"},
                                                                      {"runs", QJsonArray{QJsonObject{{"SerialNumber", 8801}}}}})}) {
            QVERIFY(TestEnv::writeFile(journalPath, bytes));
            Start start(folder);
            QVERIFY2(start.notices.filter("could not be read: a run may have been interrupted").size() == 1,
                     qPrintable(start.notices.join(" / ")));
            QVERIFY(start.device("8801").owesStop() && start.device("8802").owesStop());
            QVERIFY(start.logOf("8802").first().startsWith("The run journal could not be read"));
            QVERIFY(stoppedWithin(start, 40));
            const QStringList aside = QDir(folder).entryList({"runs.dat.damaged-*"});
            QVERIFY(!aside.isEmpty());
            QCOMPARE(TestEnv::readFile(folder + aside.last()), bytes);
            for (const QString &file : aside)
                QFile::remove(folder + file);
        }

        // A run cut short at its second line, written 2 001 times, and one
        // of a device the list does not hold.
        RunJournal::Entry run;
        run.serial = "8801";
        run.history = clients.file();
        run.line = 1;
        run.title = "Second.v.1";
        QList<RunJournal::Entry> entries(2001, run);
        entries.append(run);
        entries.last().serial = "9999";
        QVERIFY(journal.write(entries));
        const QString end = "cut short at line 2 (Second.v.1): The program ended during the run without stopping it";
        {
            Start start(folder);
            QCOMPARE(notesIn("Tavik 8801: run " + end), 1);
            QCOMPARE(start.logOf("8801").filter("Run " + end).size(), 1);
            QVERIFY2(start.notices.filter("1 run(s) of devices not on the list").size() == 1,
                     qPrintable(start.notices.join(" / ")));
            // Killed again before the device answered: the journal still has
            // it, and the device's log on disk already.
            // A tick once that is on disk: the device has not answered its
            // stop yet, so the entry stays.
            QVERIFY(WriteBeside::waitForAll(10000));
            start.work.run();
            QVERIFY(start.device("8801").owesStop());
            QList<RunJournal::Entry> left;
            QCOMPARE(journal.read(left), RunJournal::Read::Entries);
            QCOMPARE(left.size(), 1);
        }
        {
            Start start(folder);
            QCOMPARE(notesIn("Tavik 8801: run " + end), 1);
            QCOMPARE(start.logOf("8801").filter("Run " + end).size(), 1);
            QVERIFY(stoppedWithin(start, 40));
            // Once the device has answered after its stop, nothing is owed.
            QList<RunJournal::Entry> left;
            QVERIFY(tickSlotsUntil(start.devices, [&] {
                start.work.run();
                return journal.read(left) == RunJournal::Read::Entries && left.isEmpty();
            }, 10000));

            // A run of its own, complete: the journal says so from the tick
            // its last line is done until the device is back in its ready
            // cycle, and a start after a kill there records nothing more.
            QVERIFY(tickSlotsUntil(start.devices, [&] { return start.device("8801").isLinkUp(); }, 10000));
            QCOMPARE(start.devices.registry().records().at(0).serialNumber, QString("8801"));
            start.devices.setSelectedRow(0);
            addWorkLine(*start.devices.selectedWork(), "Only", "701", 1, 1, 1);
            QString notice;
            QCOMPARE(start.work.recorder().start(notice), RunRules::Outcome::Ready);
            QVERIFY(tickSlotsUntil(start.devices, [&] { return start.work.run().runEnded; }, 15000));
            QVERIFY(start.work.recorder().selectedRecord()->complete);
            QCOMPARE(journal.read(left), RunJournal::Read::Entries);
            QCOMPARE(left.size(), 1);
            QCOMPARE(left.first().end, QString("complete"));
        }
        {
            Start start(folder);
            QVERIFY(stoppedWithin(start, 40));
            History stored;
            stored.setPath(historyPath);
            QVERIFY(stored.readBase());
            QCOMPARE(stored.notes().count(), 1);
        }

        // Killed while the run was paused: the device is reached and
        // stopped again, and the history says the run was paused.
        RunJournal::Entry paused = run;
        paused.paused = "09.12.2026 10:00:00";
        QVERIFY(journal.write({paused}));
        int row = 0;
        QString ran;
        {
            Start start(folder);
            QVERIFY(start.device("8801").owesStop());
            QCOMPARE(notesIn("Tavik 8801: run cut short at line 2 (Second.v.1): The program ended while the run was "
                             "paused (paused at 09.12.2026 10:00:00)"), 1);
            QVERIFY(stoppedWithin(start, 40));
            QVERIFY(tickSlotsUntil(start.devices, [&] { start.work.run(); return !start.device("8801").owesStop(); }, 10000));
            // An older program's journal does not say how far the line got: no
            // resume is offered from it. One that does is offered its line
            // once the device has read its stop, while the device's list is the
            // one it ran.
            const QList<Machine> &machines = start.devices.registry().records();
            row = int(std::find_if(machines.cbegin(), machines.cend(),
                                   [](const Machine &machine) { return machine.serialNumber == "8801"; })
                      - machines.cbegin());
            start.devices.setSelectedRow(row);
            QCOMPARE(start.work.recorder().resumableLine(), -1);
            WorkList &work = *start.devices.selectedWork();
            addWorkLine(work, "First", "1111", 1);
            addWorkLine(work, "Second", "2222", 2);
            QVERIFY(start.devices.registry().saveBase());
            ran = RunRecord::planOf(RunRecord::linesOf(work));
        }
        paused.lineDone = 20000;
        for (const QString &plan : {ran, ran.left(20)}) {
            paused.plan = plan;
            QVERIFY(journal.write({paused}));
            Start again(folder);
            again.devices.setSelectedRow(row);
            QCOMPARE(again.work.recorder().resumableLine(), -1);
            QVERIFY(stoppedWithin(again, 40));
            QVERIFY(tickSlotsUntil(again.devices, [&] { again.work.run(); return !again.device("8801").owesStop(); }, 10000));
            const bool same = plan == ran;
            QCOMPARE(again.work.recorder().resumableLine(), same ? 1 : -1);
            // The list is the earlier run's "Only", then First and Second:
            // First's 40 s left, then Second's two minutes.
            QCOMPARE(again.work.recorder().resumableMs(), same ? 160000 : -1);
            // Its bars: the line before done, a third of the line it was cut in.
            const RunRecord *shown = again.work.recorder().selectedRecord();
            QVERIFY(shown);
            if (same)
                QVERIFY(shown->lines.size() == 3 && shown->lines.at(0).progress == 100 && shown->lines.at(1).progress == 33);
        }
    }

    // Pause and resume on a device of each form: one warming up with HV
    // first or with Ready and POW only, one counting its warm-up, one slow
    // to go off air. While paused the device is off air and is sent
    // nothing but status queries and stops, and the journal says the run is
    // paused; after the resume the paused line goes on for its time left,
    // so that each value is on air for its line's time in all.
    void pauseAndResumeOnTheDevice()
    {
        const QList<QStringList> forms = {{}, {"--warm-up", "ready-pow"}, {"--time-counts", "warm-up"},
                                          {"--stop-delay-s", "6", "--warm-up-s", "3"}};
        for (const QStringList &form : forms) {
            const QString name = form.isEmpty() ? QString("plain") : form.join(' ');
            QTemporaryDir folder;
            SimProcess sim;
            QVERIFY(sim.start(QStringList {"--time-scale", "20"} + form));
            ScaledClock clock(20);
            DeviceSlots devices;
            BroadcastUDP listener(freeUdpPort());
            QVERIFY(listener.bindListener());
            Library library;
            DeviceTick work(listener, devices, library);
            devices.setClock(&clock);
            Machines &registry = devices.registry();
            registry.setFolder(folder.path() + '/');
            registry.addMachine(DeviceSlots::count);
            registry.setConnectAddressText("127.0.0.1");
            registry.setAutoconnect(true);
            devices.bindDevices();
            Tavik &tavik = devices.controller(registry.slot());
            tavik.setTCPIP("127.0.0.9", 1);
            tavik.setTCPIP("127.0.0.1", sim.port());
            const auto logged = [&](const QString &start) {
                const QList<LogEntry> &log = registry.records().at(0).logs.records();
                return std::any_of(log.cbegin(), log.cend(), [&](const LogEntry &entry) { return entry.text.startsWith(start); });
            };
            addWorkLine(*registry.work(), "Alpha", "1111", 1);
            addWorkLine(*registry.work(), "Beta", "2222", 1);
            devices.setSelectedRow(0);
            // At the window's own tick period.
            const auto tickUntil = [&](auto condition, int timeoutMs) {
                return stepUntil([&] {
                    QTest::qWait(Tavik::tickMs);
                    work.run();
                }, condition, timeoutMs);
            };
            QVERIFY(tickUntil([&] { return inReadyCycle(tavik); }, 15000));
            Sequencer &sequencer = *devices.selectedSequencer();
            QString notice;
            QCOMPARE(work.recorder().start(notice), RunRules::Outcome::Ready);
            QVERIFY2(tickUntil([&] { return sequencer.progress(0) >= 50; }, 15000), qPrintable(name));

            QVERIFY(sequencer.pause());
            const qsizetype mark = sim.trace().size();
            work.run();
            RunJournal journal;
            journal.setFolder(folder.path());
            QList<RunJournal::Entry> entries;
            QCOMPARE(journal.read(entries), RunJournal::Read::Entries);
            QCOMPARE(entries.size(), 1);
            QVERIFY2(!entries.first().paused.isEmpty(), qPrintable(name));
            QCOMPARE(entries.first().line, 0);
            int ticks = 0;
            // A slow device's status line says it is going off air, not
            // bare "Ready", until it is off.
            bool goingOffShown = false;
            QVERIFY(tickUntil([&] {
                goingOffShown = goingOffShown || devices.statusLine(registry.slot()).endsWith("; going off air");
                return ++ticks > 80;
            }, 10000));
            QVERIFY(sequencer.isPaused());
            QVERIFY2(goingOffShown || !form.contains("--stop-delay-s"), qPrintable(name));
            QVERIFY2(!devices.statusLine(registry.slot()).contains("off air"), qPrintable(devices.statusLine(registry.slot())));
            const QStringList paused = sim.trace().mid(mark);
            QVERIFY2(paused.filter("PHASE Ready stop").size() == 1, qPrintable(name + ": " + paused.join(" / ")));
            QVERIFY2(paused.filter("PHASE OnAir").isEmpty(), qPrintable(name));
            for (const QString &line : paused.filter(QRegularExpression("^RX ")))
                QVERIFY2(line.startsWith("RX REQ_QUERY") || line.contains("command=3"), qPrintable(name + ": " + line));
            QVERIFY(logged("Run paused at line 1 (Alpha.v.1, 5"));

            QVERIFY(sequencer.resume());
            QVERIFY2(tickUntil([&] { return sequencer.state() == Sequencer::S_IDLE; }, 20000), qPrintable(name));
            const QStringList resumed = sim.trace().mid(mark);
            const QStringList times = resumed.filter("REQ_SET_TIME");
            QCOMPARE(times.size(), 1);
            const qint64 slow = form.contains("--stop-delay-s") ? 6000 : 0;
            if (slow)
                QVERIFY(logged("Run paused: by its own count the device was on air "));
            const RunRecord *record = work.recorder().selectedRecord();
            QVERIFY(record);
            // A run the device's own time cut is recorded once it is seen off.
            QVERIFY(tickUntil([&] { return !record->endOwed; }, 10000));
            // A device whose time counts through its warm-up spends some of
            // the 3 s it is given beyond the list there, as at any start.
            const bool countsWarmUp = form.contains("--time-counts");
            QVERIFY2(record->complete || (countsWarmUp && record->cut.item == 1), qPrintable(name + ": " + record->endText()));
            QVERIFY2(record->sent.startsWith("sent in 2 parts: part 1: LF 1111 for "), qPrintable(record->sent));
            QVERIFY(logged("Run resumed at line 1 (Alpha.v.1, 0:"));
            QVERIFY(logged(record->complete ? "Run complete; sent in 2 parts" : "Run cut short at line 2"));
            // What the device had on air from the pause on, by its own
            // clock: the paused line until it obeyed the stop (6 s late on a
            // slow device), then for its time left; the next for its minute.
            QStringList stretches;
            tickUntil([&] {
                stretches = sim.trace().mid(mark).filter(QRegularExpression("^LF "));
                return stretches.size() >= 3;
            }, 3000);
            QCOMPARE(stretches.size(), 3);
            const auto onAir = [&](int i) { return stretches.at(i).split(' ').at(2).toLongLong(); };
            // A device counting its warm-up tells no more of when it came on
            // air than the status read last before: its count may be longer
            // by the gap between the two reads around it (wide on a loaded
            // machine, twenty-fold here).
            const auto readGap = [&](int onAirs) {
                if (!countsWarmUp)
                    return qint64(0);
                QList<qint64> queries;
                qint64 onAirAt = -1;
                for (const auto &[at, line] : sim.stampedTrace()) {
                    if (line.startsWith("RX REQ_QUERY"))
                        queries.append(at);
                    else if (line.startsWith("PHASE OnAir") && onAirs-- == 0)
                        onAirAt = at;
                }
                const auto after = std::upper_bound(queries.cbegin(), queries.cend(), onAirAt);
                return onAirAt >= 0 && after != queries.cbegin() && after != queries.cend()
                    ? (*after - *(after - 1)) * 20 : qint64(-1);
            };
            const qint64 firstGap = readGap(0);
            const qint64 resumeGap = readGap(1);
            QVERIFY(firstGap >= 0 && resumeGap >= 0);
            // The resume gives the device the list less what it did of the
            // paused line by its own count, a slow device's seconds after
            // the stop and the seconds before the program saw it on air
            // included (at twenty-fold time the program's polls make these
            // many); 3 s for the warm-up; whole seconds, rounded up.
            const qint64 givenMs = times.first().section("time=", 1).toLongLong() * 1000;
            const QString how = QString("%1: %2; %3 (reads %4 and %5 ms apart)")
                                    .arg(name, times.first(), stretches.join(" / ")).arg(firstGap).arg(resumeGap);
            QVERIFY2(givenMs >= 123000 - onAir(0) - 2000 - firstGap && givenMs <= 123000 - onAir(0) + 2000, qPrintable(how));
            // The paused line a minute in all: the resumed part goes on for
            // what is left, or, when that is less, until the program sees
            // the device on air again (up to a real second, twenty device
            // seconds here).
            QVERIFY2(stretches.at(1).startsWith("LF 1111 ") && onAir(0) + onAir(1) > 57000 - resumeGap
                         && onAir(0) + onAir(1) < 60000 + 20000,
                     qPrintable(how));
            // The next line begins where the paused one was due to end, when
            // the program saw it end; on a device counting its warm-up, its
            // own time runs out earlier by the resume's warm-up.
            QVERIFY2(stretches.at(2).startsWith("LF 2222 ") && onAir(2) > (countsWarmUp ? 45000 : 50000)
                         && onAir(2) < 62000 + slow,
                     qPrintable(how));
            QVERIFY(WriteBeside::waitForAll(10000));
            if (slow > 0) {
                // Stopped mid-line, once without a pause and once after two:
                // the device obeys 3 s late, and the record takes those
                // seconds from its count, within a second of what it sent,
                // and writes the run's end once.
                const auto ends = [&] {
                    const QList<LogEntry> &log = registry.records().at(0).logs.records();
                    return std::count_if(log.cbegin(), log.cend(),
                                         [](const LogEntry &entry) { return entry.text.startsWith("Run cut short"); });
                };
                for (const int pauses : {0, 2}) {
                    QVERIFY(tickUntil([&] { return inReadyCycle(tavik) && sequencer.canStart(); }, 10000));
                    const qsizetype stopMark = sim.trace().size();
                    const auto endsBefore = ends();
                    QCOMPARE(work.recorder().start(notice), RunRules::Outcome::Ready);
                    for (int i = 0; i < pauses; ++i) {
                        QVERIFY(tickUntil([&] { return sequencer.state() == Sequencer::S_SEND_LF; }, 15000));
                        ticks = 0;
                        QVERIFY(tickUntil([&] { return ++ticks > 10; }, 10000));
                        QVERIFY(sequencer.pause());
                        ticks = 0;
                        QVERIFY(tickUntil([&] { return ++ticks > 20; }, 10000));
                        // The operator's Resume is taken once the device is off.
                        QVERIFY(tickUntil([&] { return sequencer.resume(); }, 10000));
                    }
                    QVERIFY(tickUntil([&] { return sequencer.state() == Sequencer::S_SEND_LF; }, 15000));
                    ticks = 0;
                    QVERIFY(tickUntil([&] { return ++ticks > 30; }, 10000));
                    sequencer.stop();
                    const RunRecord *stopped = work.recorder().selectedRecord();
                    QStringList sent;
                    QVERIFY2(tickUntil([&] {
                        sent = sim.trace().mid(stopMark).filter(QRegularExpression("^LF "));
                        return stopped->ended && !stopped->endOwed && sequencer.canStart()
                            && sim.trace().mid(stopMark).filter("PHASE Ready stop").size() == pauses + 1;
                    }, 15000), qPrintable(QString("%1 pause(s): %2 %3 %4").arg(pauses).arg(stopped->ended).arg(stopped->endOwed)
                                              .arg(sim.trace().mid(stopMark).filter(QRegularExpression("^(LF|PHASE)")).join(" / "))));
                    // Nothing more is said of the run once the device is off.
                    ticks = 0;
                    QVERIFY(tickUntil([&] { return ++ticks > 40; }, 10000));
                    qint64 sentMs = 0;
                    for (const QString &stretch : sent)
                        sentMs += stretch.split(' ').at(2).toLongLong();
                    const QString how = QString("%1 pause(s): %2 ms recorded, %3 sent: %4")
                                            .arg(pauses).arg(stopped->onAirMs).arg(sentMs).arg(stopped->endText());
                    QVERIFY2(qAbs(stopped->onAirMs - sentMs) < 1000 * (pauses + 1) + 500, qPrintable(how));
                    QCOMPARE(ends(), endsBefore + 1);
                    QVERIFY2(logged("Run " + stopped->endText()), qPrintable(how));
                    if (pauses == 0)
                        QVERIFY2(qAbs(stopped->cut.progress - int(sentMs * 100 / 60000)) <= 2, qPrintable(how));
                    else
                        QVERIFY2(stopped->endText().count("s on air in all") == 1, qPrintable(how));
                    // A resume from the cut sends what the device did not:
                    // the seconds it went on after the stop count too.
                    QVERIFY2(qAbs(stopped->resumeMs() - (120000 - sentMs)) < 1000 * (pauses + 1) + 500,
                             qPrintable(QString("%1; a resume would send %2 ms").arg(how).arg(stopped->resumeMs())));
                }
                // Resumed from its cut and stopped as soon as it warms up: the
                // device, slower to obey than to warm up, comes on air
                // meanwhile, and the record has those seconds too.
                QVERIFY(tickUntil([&] { return inReadyCycle(tavik) && sequencer.canStart(); }, 10000));
                const RunRecord *cut = work.recorder().selectedRecord();
                const qint64 beforeMs = cut->onAirMs;
                const qsizetype resumeMark = sim.trace().size();
                QCOMPARE(work.recorder().resumeCut(notice), RunRules::Outcome::Ready);
                QVERIFY(tickUntil([&] { return !sim.trace().mid(resumeMark).filter("PHASE Warming").isEmpty(); }, 10000));
                sequencer.stop();
                QVERIFY(tickUntil([&] { return cut->ended && !cut->endOwed; }, 15000));
                QVERIFY(tickUntil([&] { return !sim.trace().mid(resumeMark).filter("PHASE Ready stop").isEmpty(); }, 5000));
                qint64 lateMs = 0;
                for (const QString &stretch : sim.trace().mid(resumeMark).filter(QRegularExpression("^LF ")))
                    lateMs += stretch.split(' ').at(2).toLongLong();
                const QString how = QString("%1 ms sent, %2 recorded: %3").arg(lateMs).arg(cut->onAirMs - beforeMs).arg(cut->endText());
                QVERIFY2(lateMs > 0 && qAbs(cut->onAirMs - beforeMs - lateMs) < 1500 && !how.contains("nothing sent"),
                         qPrintable(how));
            }
            if (!form.isEmpty())
                continue;

            // Cut short by the operator's stop at half its first line, and
            // resumed from there while the list is the one it ran: the same
            // run goes on, for the time the line had left.
            QVERIFY(tickUntil([&] { return inReadyCycle(tavik) && sequencer.canStart(); }, 10000));
            QCOMPARE(work.recorder().start(notice), RunRules::Outcome::Ready);
            QVERIFY(tickUntil([&] { return sequencer.progress(0) >= 50; }, 15000));
            sequencer.stop();
            QVERIFY(tickUntil([&] { return sequencer.canStart() && inReadyCycle(tavik); }, 10000));
            QCOMPARE(work.recorder().resumableLine(), 0);
            const quint32 cutRun = work.recorder().selectedRecord()->run;
            const qsizetype cutMark = sim.trace().size();
            QCOMPARE(work.recorder().resumeCut(notice), RunRules::Outcome::Ready);
            QVERIFY(tickUntil([&] { return sequencer.state() == Sequencer::S_IDLE; }, 20000));
            const RunRecord *again = work.recorder().selectedRecord();
            QVERIFY2(again->complete && again->parts.size() == 2 && again->run != cutRun, qPrintable(again->endText()));
            QVERIFY(logged("Run resumed at line 1 (Alpha.v.1, 0:"));
            QVERIFY(tickUntil([&] { return sim.trace().mid(cutMark).filter(QRegularExpression("^LF ")).size() >= 2; }, 3000));
            const QStringList rest = sim.trace().mid(cutMark).filter(QRegularExpression("^LF "));
            QVERIFY2(rest.first().startsWith("LF 1111 ") && rest.first().split(' ').at(2).toLongLong() < 32000,
                     qPrintable(rest.join(" / ")));
            // Not once the list has changed, nor after a complete run.
            QCOMPARE(work.recorder().resumableLine(), -1);
            sequencer.stop();
            QVERIFY(tickUntil([&] { return sequencer.canStart(); }, 10000));
            QCOMPARE(work.recorder().start(notice), RunRules::Outcome::Ready);
            QVERIFY(tickUntil([&] { return sequencer.state() == Sequencer::S_SEND_LF; }, 15000));
            sequencer.stop();
            QVERIFY(tickUntil([&] { return sequencer.canStart(); }, 10000));
            QCOMPARE(work.recorder().resumableLine(), 0);
            addWorkLine(*registry.work(), "Gamma", "3333", 1);
            QCOMPARE(work.recorder().resumableLine(), -1);
            QCOMPARE(work.recorder().resumeCut(notice), RunRules::Outcome::NothingToRun);
            QVERIFY(WriteBeside::waitForAll(10000));
        }
    }

    // A device frozen on air with the stop waiting: the run is cut short
    // when the link is judged lost, and once the device answers again its
    // own count completes the record with how long it went on. A device
    // frozen as it comes on air is seen on air late, and cut later: its own
    // count says how long it was on air. Each with a device that counts its
    // time only on air and one that counts its warm-up too.
    void frozenDeviceIsRecordedAsItWent()
    {
        struct Case
        {
            QStringList args;
            const char *why;  // what the record adds to the reason
            // The operator pauses as the device freezes, then stops once
            // the device has answered again.
            bool pause = false;
            bool restart = false;  // the device is killed on air and another starts in its place
        };
        const QList<Case> cases = {
            {{"--freeze-on-air-s", "3", "--freeze-s", "6"}, "the device went on until it obeyed the stop"},
            {{"--freeze-on-air-s", "0", "--freeze-s", "2.5", "--cut-off-after-s", "12", "--cut-off-errors", "2"},
             "before the program saw it"},
            {{"--freeze-on-air-s", "3", "--freeze-s", "9"}, "Stopped by the operator while the run was paused", true},
            {{}, "The device closed the connection", false, true},
        };
        constexpr int scale = 3;
        for (const Case &c : cases) {
            for (const char *counts : {"on-air", "warm-up"}) {
                const QString form = c.args.join(' ') + " --time-counts " + counts;
                SimProcess sim;
                QVERIFY(sim.start(QStringList{"--time-scale", QString::number(scale), "--time-counts", counts} + c.args));
                ScaledClock clock(scale);  // outlives the devices, whose end reads it
                DeviceSlots devices;
                BroadcastUDP listener(freeUdpPort());
                Library library;
                DeviceTick work(listener, devices, library);
                devices.setClock(&clock);
                Machines &registry = devices.registry();
                registry.addMachine(DeviceSlots::count);
                devices.bindDevices();
                Tavik &tavik = devices.controller(registry.slot());
                tavik.setTCPIP("127.0.0.1", sim.port());
                tavik.setState(Tavik::M_MACHINE_CONNECT);
                QVERIFY(tickSlotsUntil(devices, [&] { return tavik.isLinkUp(); }, 15000));
                addWorkLine(*registry.work(), "Long", "612", 1, 1, 1);
                devices.setSelectedRow(0);
                QString notice;
                QCOMPARE(work.recorder().start(notice), RunRules::Outcome::Ready);
                // The window's own tick, at its own period: the watchdog
                // counts these ticks.
                const auto tick = [&] {
                    QTest::qWait(Tavik::tickMs);
                    work.run();
                };
                qint64 startedMs = clock.msecs();
                std::unique_ptr<SimProcess> restarted;
                if (c.restart) {
                    // Its time left, on the new link, tells nothing the run
                    // sent: a fresh device shows none.
                    QVERIFY(stepUntil(tick, [&] { return sim.trace().filter("PHASE OnAir").size() > 0; }, 15000));
                    for (int i = 0; i < 40; ++i)
                        tick();
                    const QString port = QString::number(sim.port());
                    sim.stop();
                    restarted = std::make_unique<SimProcess>();
                    QVERIFY(restarted->start({"--port", port, "--time-scale", QString::number(scale)}));
                }
                if (c.pause) {
                    // Paused with the device frozen: its stop waits unread
                    // while it goes on, past the lost link, until it reads
                    // it on the next; the run stays paused all the while.
                    QVERIFY(stepUntil(tick, [&] { return sim.trace().filter("FROZEN").size() > 0; }, 15000));
                    Sequencer &sequencer = *devices.selectedSequencer();
                    QVERIFY(sequencer.pause());
                    QVERIFY(stepUntil(tick, [&] { return sim.trace().filter("PHASE Ready stop").size() > 0; }, 15000));
                    for (int i = 0; i < 20; ++i)
                        tick();
                    QVERIFY(sequencer.isPaused());
                    // What it sent beyond the pause is taken off the line
                    // while still paused, and said then.
                    const QList<LogEntry> &log = registry.logs()->records();
                    QVERIFY2(std::any_of(log.cbegin(), log.cend(), [](const LogEntry &entry) {
                                 return entry.text.startsWith("Run paused: by its own count the device was on air ");
                             }), qPrintable(form));
                    sequencer.stop();
                }
                const RunRecord *record = nullptr;
                QVERIFY(stepUntil(tick, [&] {
                    record = work.recorder().selectedRecord();
                    return record && record->ended && !record->awaitingDevice;
                }, 30000));
                QVERIFY2(record->cut.reason.contains(c.why), qPrintable(form + ": " + record->cut.reason));
                if (c.restart) {
                    QVERIFY(stepUntil(tick, [&] { return tavik.isLinkUp(); }, 15000));
                    for (int i = 0; i < 20; ++i)
                        tick();
                    QVERIFY2(!record->cut.reason.contains("went on") && record->onAirMs < clock.msecs() - startedMs,
                             qPrintable(QString("%1: %2 ms: %3").arg(form).arg(record->onAirMs).arg(record->cut.reason)));
                    continue;
                }
                const QByteArray trace = TestEnv::readFile(sim.tracePath());
                const qsizetype at = trace.indexOf(" LF 612 ");
                QVERIFY(at > 0);
                const qint64 sent = trace.mid(at + 8, trace.indexOf('\n', at) - at - 8).toLongLong();
                // The count goes by whole seconds and the end is seen at the
                // next reply (at this scale a tick late is three device
                // ticks), either way; a device counting its warm-up may have
                // counted unseen what followed its last warm-up reply.
                const qint64 unseen = counts == QLatin1String("warm-up") ? Tavik::warmingRoundTicks * Tavik::tickMs * scale : 0;
                QVERIFY2(record->onAirMs > sent - 1500 && record->onAirMs < sent + 1500 + unseen,
                         qPrintable(QString("%1: %2 ms recorded, %3 sent").arg(form).arg(record->onAirMs).arg(sent)));
                if (!c.pause)
                    QCOMPARE(record->cut.progress, int(record->onAirMs * 100 / 60000));
                QVERIFY(std::any_of(registry.logs()->records().cbegin(), registry.logs()->records().cend(),
                                    [&](const LogEntry &entry) { return entry.text == "Run " + record->endText(); }));
            }
        }
    }

    void recordsBeyondTheSlotsAreNotBound()
    {
        // Seven records, as a file of another installation may hold; the
        // file's reading gives them slots 0..6.
        DeviceSlots devices;
        Machines &registry = devices.registry();
        QTemporaryDir folder;
        registry.setFolder(folder.path() + "/");
        for (int i = 0; i < 7; ++i) {
            Machine machine;
            machine.slot = i;
            machine.connectAddress = {10, 0, 0, quint8(i + 1)};
            registry.editRecords().append(machine);
        }
        devices.bindDevices();
        for (int slot = 0; slot < DeviceSlots::count; ++slot)
            QCOMPARE(devices.controller(slot).hostAddress(), QString("10.0.0.%1").arg(slot + 1));
        // Picking such a record picks no controller, rather than another
        // record's.
        devices.setSelectedRow(6);
        QVERIFY(devices.selectedController() == nullptr);
        QVERIFY(devices.selectedSequencer() == nullptr);
        devices.setSelectedRow(4);
        QCOMPARE(devices.selectedController(), &devices.controller(4));

        // Ticks that hear nothing from the bound devices change nothing in
        // the registry: neither its revision nor its mark against its file.
        QVERIFY(registry.saveBase());
        QVERIFY(devices.bound(0) && devices.bound(4));
        const quint64 quiet = registry.revision();
        for (int tick = 0; tick < 10; ++tick)
            devices.tickBound();
        QCOMPARE(registry.revision(), quiet);
        QVERIFY(!registry.changedSinceFile());
    }
};

QTEST_GUILESS_MAIN(TestDeviceSlots)
#include "tst_deviceslots.moc"
