#include "data/library.h"
#include "device/tavik.h"
#include "discovery/broadcastudp.h"
#include "work/deviceslots.h"
#include "editors/devicetablemodel.h"
#include "work/runstart.h"
#include "work/sequencer.h"

#include "support/scaledclock.h"
#include "support/simprocess.h"
#include "support/testenv.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
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
        QVERIFY(QTest::qWaitFor([&] { return listener.readAnnouncement() && listener.announcementTouched(); }, 5000));
        QVERIFY(devices.mergeAnnouncement(listener.announced()));
        Machines &registry = devices.registry();
        QCOMPARE(registry.count(), 1);
        registry.setCurrent(0);
        QCOMPARE(registry.name(), QString("7001"));
        QVERIFY(registry.autoconnect());
        QCOMPARE(registry.scanAddressText(), QString("127.0.0.1"));
        // A second announcement of the same device is merged, not added.
        QVERIFY(QTest::qWaitFor([&] { return listener.readAnnouncement() && listener.announcementTouched(); }, 5000));
        QVERIFY(!devices.mergeAnnouncement(listener.announced()));
        QCOMPARE(registry.count(), 1);

        // The window binds on port 8888; the simulator here has its own.
        Tavik &tavik = devices.controller(registry.slot());
        tavik.setTCPIP("127.0.0.9", 1);
        tavik.setTCPIP("127.0.0.1", sim.port());
        QVERIFY(tickSlotsUntil(devices, [&] { return tavik.state() == Tavik::M_MACHINE_COMMAND_BRING_UP; }, 15000));

        devices.setClock(&clock);
        WorkList &work = *registry.work();
        addWorkLine(work, "Alpha", "1111", 1);
        addWorkLine(work, "Beta", "2222.7", 1);
        Sequencer &sequencer = devices.sequencer(registry.slot());
        // Started as the Work tab starts it; with no client open the run
        // goes on unrecorded, and the operator is told.
        Library library;
        devices.setSelectedRow(0);
        QString notice;
        QCOMPARE(RunStart::start(library, devices, notice), RunRules::Outcome::Ready);
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
            QVERIFY(!devices.mergeAnnouncement(twin));
        registry.setCurrent(0);
        QCOMPARE(registry.scanAddressText(), QString("127.0.0.1"));
        QCOMPARE(tavik.hostAddress(), QString("127.0.0.1"));
        const QStringList notices = devices.takeNotices();
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
            devices.mergeAnnouncement(from);
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
        Machines &registry = devices.registry();
        const auto tick = [&] {
            QTest::qWait(2);
            while (listener.readAnnouncement()) {
                if (listener.announcementTouched())
                    devices.mergeAnnouncement(listener.announced());
            }
            devices.tickBound();
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
        QCOMPARE(devices.takeNotices().filter(changed).size(), 1);
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
        Machines &registry = devices.registry();
        devices.setClock(&clock);
        QList<SimProcess *> sims {&first, &second};
        for (SimProcess *sim : sims) {
            registry.addMachine(DeviceSlots::count);
            registry.setScanAddressText("127.0.0.1");
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
            registry.setCurrent(row);
            Sequencer &sequencer = devices.sequencer(registry.slot());
            loadWork(*registry.work(), sequencer);
            sequencer.start();
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
        QVERIFY(devices.mergeAnnouncement(third));
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
        devices.takeCutShorts();
        devices.setSelectedRow(2);
        devices.removeSelected();
        QVERIFY(!devices.sequencer(slot).isRunning());
        const QList<DeviceSlots::RunCutShort> cut = devices.takeCutShorts();
        QCOMPARE(cut.size(), 1);
        QCOMPARE(cut.first().deviceName, name);
        QCOMPARE(cut.first().cut.text().left(31), QString("cut short at line 1 (Only.v.1, "));
        QVERIFY(cut.first().cut.text().endsWith("The operator removed the device from the list"));
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
        DeviceTableModel model(devices);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        Machines &registry = devices.registry();
        for (const char *serial : {"11", "12", "13"}) {
            Machine announced;
            announced.serialNumber = serial;
            devices.mergeAnnouncement(announced);
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
        Machines &registry = devices.registry();
        for (const char *serial : {"11", "12", "13"}) {
            Machine announced;
            announced.serialNumber = serial;
            devices.mergeAnnouncement(announced);
        }
        const auto picked = [&] {
            return devices.moveCursorToSelected() ? registry.currentRecord()->serialNumber : QString("(none)");
        };
        devices.setSelectedRow(1);
        QCOMPARE(picked(), QString("12"));
        QVERIFY(devices.moveSelected(-1));
        QCOMPARE(devices.selectedRow(), 0);
        QCOMPARE(picked(), QString("12"));
        QVERIFY(!devices.moveSelected(-1));
        QVERIFY(devices.moveSelected(+1) && devices.moveSelected(+1));
        QVERIFY(!devices.moveSelected(+1));
        QCOMPARE(devices.selectedRow(), 2);

        devices.removeSelected();
        QCOMPARE(registry.count(), 2);
        QCOMPARE(picked(), QString("11"));  // the record now in the last row

        devices.addByHand("127.0.0.9");
        QCOMPARE(devices.selectedRow(), 0);
        QCOMPARE(registry.connectAddressText(), QString("127.0.0.9"));
        devices.removeUnresponsive();
        QCOMPARE(registry.count(), 2);
        QCOMPARE(picked(), QString("13"));

        devices.addFactoryDefault();
        registry.setCurrent(0);
        QCOMPARE(registry.portText(), QString("8888"));
        devices.removeAll();
        QCOMPARE(registry.count(), 0);
        QCOMPARE(devices.selectedRow(), -1);
    }

    void recordsBeyondTheSlotsAreNotBound()
    {
        // Seven records, as a file of another installation may hold; the
        // file's reading gives them slots 0..6.
        DeviceSlots devices;
        Machines &registry = devices.registry();
        for (int i = 0; i < 7; ++i) {
            Machine machine;
            machine.slot = i;
            machine.scanAddress = {10, 0, 0, quint8(i + 1)};
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
    }
};

QTEST_GUILESS_MAIN(TestDeviceSlots)
#include "tst_deviceslots.moc"
