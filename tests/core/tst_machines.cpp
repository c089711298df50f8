#include "data/container.h"
#include "discovery/machines.h"
#include "support/testenv.h"

#include <QTest>

class TestMachines : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void textForms()
    {
        Machines machines;
        machines.addMachine(5);
        QCOMPARE(machines.scanAddressText(), QString("169.254.88.88"));
        for (const char *bad : {"10.0.0.256", "10.0.0", "10..0.1", "10.0.0.1.", "10.0.0.-1", "10.0.0. 1", ""}) {
            machines.setScanAddressText(bad);
            QCOMPARE(machines.scanAddressText(), QString("169.254.88.88"));
        }
        machines.setScanAddressText("192.168.001.7");
        QCOMPARE(machines.scanAddressText(), QString("192.168.1.7"));

        QCOMPARE(machines.macText(), QString("12:34:56:78:90:11"));
        for (const char *bad : {"aa:bb:cc:dd:ee", "aa:bb:cc:dd:ee:100", "aa:bb::dd:ee:ff", "0x1:2:3:4:5:6"}) {
            machines.setMacText(bad);
            QCOMPARE(machines.macText(), QString("12:34:56:78:90:11"));
        }
        machines.setMacText("A:bC:0:Ff:7:e1");
        QCOMPARE(machines.macText(), QString("0a:bc:00:ff:07:e1"));

        machines.setPortText("99999999999");
        QCOMPARE(machines.portText(), QString("8888"));
    }

    void statusAndAdding()
    {
        const QDateTime t0(QDate(2026, 3, 1), QTime(10, 0));
        Machines machines;
        machines.addMachine(5, t0);
        QCOMPARE(machines.statusText(t0), QString("Unresponsive"));
        QCOMPARE(machines.masterAddressText(), QString());
        QCOMPARE(machines.slot(), 0);

        Machine announced(t0);
        announced.serialNumber = "T7-1";
        announced.scanAddress = {10, 0, 0, 9};
        announced.booting = true;
        announced.free = true;
        announced.hasMaster = true;
        announced.masterAddress = {10, 0, 0, 2};
        machines.updateFromAnnouncement(true, announced);
        machines.touch(t0);
        QCOMPARE(machines.name(), QString("T7-1"));
        QCOMPARE(machines.connectAddressText(), QString("10.0.0.9"));
        QCOMPARE(machines.masterAddressText(), QString("10.0.0.2"));
        QCOMPARE(machines.statusText(t0.addSecs(30)), QString("Starting"));
        QCOMPARE(machines.statusText(t0.addSecs(31)), QString("Unresponsive"));
        announced.booting = false;
        announced.serialNumber = "T7-2";
        machines.updateFromAnnouncement(false, announced);
        QCOMPARE(machines.name(), QString("T7-1"));
        QCOMPARE(machines.statusText(t0), QString("Ready to connect"));
        announced.free = false;
        machines.updateFromAnnouncement(false, announced);
        QCOMPARE(machines.statusText(t0), QString("Occupied"));

        // Four more fill the slots; the sixth drops the bottom record (slot 0)
        // and takes its slot.
        for (int i = 1; i < 5; ++i)
            machines.addMachine(5, t0);
        QCOMPARE(machines.count(), 5);
        QCOMPARE(machines.records().last().serialNumber, QString("T7-2"));
        machines.editRecords()[1].serialNumber = "kept";
        machines.addMachine(5, t0);
        QCOMPARE(machines.count(), 5);
        QCOMPARE(machines.current(), 0);
        QCOMPARE(machines.slot(), 0);
        QCOMPARE(machines.records().at(2).serialNumber, QString("kept"));
        for (const Machine &machine : machines.records())
            QVERIFY(machine.serialNumber != "T7-2");

        // A removal frees its slot for the next addition.
        machines.setCurrent(3);
        const int freed = machines.slot();
        machines.removeCurrent();
        machines.addMachine(5, t0);
        QCOMPARE(machines.count(), 5);
        QCOMPARE(machines.slot(), freed);

        Machines empty;
        QCOMPARE(empty.statusText(), QString());
        QCOMPARE(empty.slot(), 0);
        QVERIFY(!empty.hasDeviceSlot());
        empty.setName("x");
        empty.touch();
        QCOMPARE(empty.logs(), nullptr);
    }

    void fileRoundTrip()
    {
        Machines machines;
        machines.setFolder(TestEnv::dataFolder());
        machines.addMachine(5);
        machines.setName("Bench");
        machines.setSerialNumber("T5-77");
        machines.setTypeText("Tavik");
        machines.setConnectAddressText("10.1.2.3");
        machines.setMacText("aa:bb:cc:dd:ee:ff");
        machines.setAutoconnect(true);
        const QDateTime heard(QDate(2026, 3, 1), QTime(10, 20, 30));
        machines.touch(heard);
        WorkList *work = machines.work();
        work->programName = "Sweep";
        work->pool = 1;
        work->insertNew();
        work->setName("Alpha");
        work->setValue("1234.5");
        work->setTime(90);
        machines.logs()->add("connected");
        machines.logs()->add("on air");
        QVERIFY(machines.saveBase());

        Machines read;
        read.setFolder(TestEnv::dataFolder());
        QVERIFY(read.readBase());
        QCOMPARE(read.count(), 1);
        QCOMPARE(read.records().first().toJson(), machines.records().first().toJson());
        QCOMPARE(read.lastContactText(), QString("01.03.2026 10:20:30"));
        QCOMPARE(read.records().first().deadline, heard.addSecs(30));
        QCOMPARE(read.work()->programName, QString("Sweep"));
        QCOMPARE(read.work()->value(), QString("1234.5"));
        QCOMPARE(read.logs()->text(), QString("on air"));
    }

    void readingOddRecords()
    {
        // An unparsable "LastConnected" leaves an invalid contact that counts
        // as responsive; bad texts and wrong value types keep the defaults.
        const Machine odd = Machine::fromJson({
            {"LastConnected", "yesterday"}, {"IP", "1.2.3"}, {"Port", "80a"},
            {"Autoconnect", "yes"}, {"Work", "none"}, {"logs", 5}, {"Machine", 7},
        });
        QVERIFY(!odd.lastContact.when.isValid());
        QCOMPARE(odd.toJson()["LastConnected"].toString(), QString("yesterday"));  // written back as it was
        QVERIFY(odd.responsive());
        QCOMPARE(odd.statusText(), QString("Occupied"));
        QCOMPARE(AddressText::fromIpv4(odd.scanAddress), QString("169.254.88.88"));
        QCOMPARE(odd.port, 8888);
        QVERIFY(!odd.autoconnect);
        QCOMPARE(odd.name, QString());

        // Seven records, as no registry of ours writes: all are kept, slots
        // follow the list, and the last two are never bound to a device.
        QJsonArray list;
        for (int i = 0; i < 7; ++i)
            list.append(QJsonObject{{"SerialNumber", QString("S%1").arg(i)}});
        const QString path = TestEnv::dataFolder() + "seven/machines.dat";
        QVERIFY(TestEnv::writeFile(path, Container::encode({{"version", "1"}, {"machines", list}})));
        Machines machines;
        machines.setPath(path);
        QVERIFY(machines.readBase());
        QCOMPARE(machines.count(), 7);
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(machines.records().at(i).slot, i);
            QCOMPARE(machines.records().at(i).hasDeviceSlot(), i < 5);
        }

        // Adding to it keeps the extra records and still gives the new one a
        // device slot: the last record holding one makes room.
        machines.addMachine(5);
        QCOMPARE(machines.count(), 7);
        QCOMPARE(machines.slot(), 4);
        QCOMPARE(machines.records().at(5).serialNumber, QString("S5"));
        QCOMPARE(machines.records().at(6).serialNumber, QString("S6"));
        QVERIFY(machines.saveBase());
        QVERIFY(machines.readBase());
        QCOMPARE(machines.count(), 7);
    }
};

QTEST_GUILESS_MAIN(TestMachines)
#include "tst_machines.moc"
