#include "app/infobar.h"
#include "app/mainwindow.h"
#include "app/noticepopup.h"
#include "data/container.h"
#include "device/tavik.h"
#include "ui/devicestab.h"
#include "work/sequencer.h"
#include "ui/worktab.h"
#include "editors/devicetablemodel.h"
#include "editors/worktablemodel.h"

#include "support/testenv.h"
#include "support/windowtest.h"

#include <QHeaderView>
#include <QLabel>
#include <QScopeGuard>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

// The devices tab's buttons and the Work tab's table, on a window whose
// timers are stopped, with no device on the network.
class TestDevicesTab : public QObject
{
    Q_OBJECT

    static QString machinesPath() { return TestEnv::dataFolder() + "machines.dat"; }

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }
    void init() { QFile::remove(machinesPath()); }

    void addingDevices()
    {
        MainWindow window;
        window.stopTimers();
        Machines &registry = window.devices().registry();
        mainTabs(window)->setCurrentIndex(MainWindow::TabTavik);
        window.show();
        // The empty list says how a device gets there.
        auto *empty = child<QLabel>(window, "label_machinesSelection_empty");
        QVERIFY(empty->isVisible() && empty->text().contains("tavik-sim") && empty->text().contains("IP: field"));

        // An empty address leaves the default one; one that is no address
        // adds nothing, and says so.
        click(window, "pushButton_addMachine");
        child<QLineEdit>(window, "lineEdit_manulaIP")->setText("300.1.1.1");
        click(window, "pushButton_addMachine");
        QCOMPARE(registry.count(), 1);
        QVERIFY(window.notice()->text().startsWith("Not an IPv4 address: \"300.1.1.1\". No device was added."));
        child<QLineEdit>(window, "lineEdit_manulaIP")->clear();
        click(window, "pushButton_addMachine");
        QCOMPARE(registry.count(), 2);
        registry.setCurrent(0);
        QCOMPARE(registry.connectAddressText(), QString("169.254.88.88"));
        child<QLineEdit>(window, "lineEdit_manulaIP")->setText("127.0.0.9");
        click(window, "pushButton_addMachine");
        // A direct address the registry refuses reaches neither it nor the
        // controller, and the field and a notice say what both keep.
        auto *direct = child<QLineEdit>(window, "lineEdit_MachineDirectIP");
        direct->setText("300.1.1.1");
        Q_EMIT direct->editingFinished();
        registry.setCurrent(0);
        QCOMPARE(registry.connectAddressText(), QString("127.0.0.9"));
        QCOMPARE(window.devices().controller(registry.slot()).hostAddress(), QString("127.0.0.9"));
        QCOMPARE(direct->text(), QString("127.0.0.9"));
        QVERIFY(window.notice()->text().contains("Not an IPv4 address: \"300.1.1.1\""));
        // Nor one that names no device, or all of them.
        for (const QString &none : QStringList{"0.0.0.0", "255.255.255.255"}) {
            direct->setText(none);
            Q_EMIT direct->editingFinished();
            registry.setCurrent(0);
            QCOMPARE(registry.connectAddressText(), QString("127.0.0.9"));
            QCOMPARE(direct->text(), QString("127.0.0.9"));
            QCOMPARE(window.notice()->text(), "No device has the address " + none + ". The device keeps 127.0.0.9.");
            child<QLineEdit>(window, "lineEdit_manulaIP")->setText(none);
            click(window, "pushButton_addMachine");
            QCOMPARE(registry.count(), 3);
        }
        // A good one is where the device is reached from then on, also
        // after the slots are bound again for a device added.
        direct->setText("127.0.0.3");
        Q_EMIT direct->editingFinished();
        registry.setCurrent(0);
        const int slot = registry.slot();
        click(window, "pushButton_3");
        QCOMPARE(window.devices().controller(slot).hostAddress(), QString("127.0.0.3"));

        // Factory-default devices, one past the five slots.
        for (int i = 0; i < 3; ++i)
            click(window, "pushButton_3");
        QCOMPARE(registry.count(), 5);
        registry.setCurrent(0);
        QCOMPARE(registry.name(), QString("--"));

        // The table shows what was added once it is redrawn.
        window.devicesTab()->redrawDeviceTable();
        const QAbstractItemModel *table = child<QTableView>(window, "tableWidget_machinesSelection")->model();
        QCOMPARE(table->rowCount(), 5);
        QVERIFY(!empty->isVisible());
        QCOMPARE(table->index(0, 1).data().toString(), QString("Tavik"));
        QVERIFY(table->index(0, 3).data(Qt::ToolTipRole).toString().startsWith("IP: connecting address\nScan IP:169.254.88.88"));

        window.uiTick();
        QVERIFY(window.infoBar()->deviceText() != "Tavik info");  // the picked device's line
        click(window, "pushButton_machinesFluschTable");
        QCOMPARE(registry.count(), 0);
        QCOMPARE(table->rowCount(), 0);
        QVERIFY(empty->isVisible());
        window.uiTick();
        QCOMPARE(window.infoBar()->deviceText(), QString("Tavik info"));
        QVERIFY(!child<QPushButton>(window, "pushButton_machine_connect")->isEnabled());
        QVERIFY(!child<QLineEdit>(window, "lineEdit_workMachineName")->isEnabled());
    }

    void deletingUnresponsiveAfterStart()
    {
        const QString old = QDateTime::currentDateTime().addSecs(-120).toString("dd.MM.yyyy hh:mm:ss");
        const QString fresh = QDateTime::currentDateTime().addSecs(-5).toString("dd.MM.yyyy hh:mm:ss");
        QJsonArray machines;
        for (const QString &contact : {old, fresh, old})
            machines.append(QJsonObject {{"SerialNumber", QString::number(machines.size() + 1)}, {"LastConnected", contact}});
        QVERIFY(Container::writeFile(machinesPath(), QJsonObject {{"version", "1"}, {"machines", machines}}));
        MainWindow window;
        window.stopTimers();
        Machines &registry = window.devices().registry();
        QCOMPARE(registry.count(), 3);
        click(window, "pushButton_machinesDelUnresposive");
        QCOMPARE(registry.count(), 1);
        registry.setCurrent(0);
        QCOMPARE(registry.serialNumber(), QString("2"));
        // The remaining record is bound to a controller at its address.
        QCOMPARE(window.devices().controller(registry.slot()).hostAddress(), QString("169.254.88.88"));
    }

    void movingRenamingDisconnecting()
    {
        // Times are read whole also where no font has Arial's narrow digits.
        const QFont before = QApplication::font();
        QApplication::setFont(QFont("DejaVu Sans", 13));
        const auto restore = qScopeGuard([&before] { QApplication::setFont(before); });
        MainWindow window;
        window.stopTimers();
        window.resize(1024, 768);
        window.show();
        Machines &registry = window.devices().registry();
        auto *tabs = mainTabs(window);
        tabs->setCurrentIndex(MainWindow::TabTavik);
        auto *name = child<QLineEdit>(window, "lineEdit_workMachineName");
        // The device is asked to connect below: on loopback, where nothing listens.
        child<QLineEdit>(window, "lineEdit_manulaIP")->setText("127.0.0.9");
        // An empty list has nothing to move or delete.
        for (const char *button : {"pushButton_workMoveUp", "pushButton_workMoveDown", "pushButton_workDelete"})
            QVERIFY2(!child<QPushButton>(window, button)->isEnabled(), button);

        click(window, "pushButton_addMachine");
        window.devicesTab()->showSelectedDevice();
        name->setText("Box 1");
        QCOMPARE(tabs->tabText(MainWindow::TabWork), QString("Work"));  // one device: no name in the title
        // The table redrawn by the tick shows the new device picked, and
        // its fields with it, not those of the one shown before.
        click(window, "pushButton_addMachine");
        window.devicesTab()->redrawDeviceTable();
        QCOMPARE(name->text(), QString());
        name->setText("Box 2");
        QCOMPARE(tabs->tabText(MainWindow::TabWork), QString("Work\nBox 2"));

        // A moved device keeps its slot and its log, and the pick follows it.
        window.devices().setSelectedRow(0);
        registry.setCurrent(0);
        const int slot = registry.slot();
        click(window, "pushButton_workMoveDown");
        QCOMPARE(window.devices().selectedRow(), 1);
        registry.setCurrent(1);
        QCOMPARE(registry.slot(), slot);
        window.devices().controller(slot).setState(Tavik::M_MACHINE_CONNECT);  // logs "Try to connect"
        window.deviceTick();
        registry.setCurrent(1);
        registry.logs()->first();
        QCOMPARE(registry.logs()->text(), QString("Try to connect"));
        window.devicesTab()->redrawDeviceTable();
        for (const auto &[name, column] : {std::pair("tableWidget_tavikLogs", 0), std::pair("tableWidget_machinesSelection", 6)}) {
            auto *view = child<QTableView>(window, name);
            const QString time = view->model()->index(0, column).data().toString();
            QVERIFY2(view->horizontalHeader()->sectionSize(column) > view->fontMetrics().horizontalAdvance(time),
                     qPrintable(QString("%1: %2").arg(name, time)));
        }
        click(window, "pushButton_workMoveUp");
        QCOMPARE(window.devices().selectedRow(), 0);

        // Disconnect while unconnected goes back to idle at once.
        window.uiTick();  // the buttons follow the picked device's state
        click(window, "pushButton_machine_disconnect");
        window.deviceTick();
        QCOMPARE(window.devices().controller(slot).state(), Tavik::M_IDLE);
        QCOMPARE(child<QLabel>(window, "label_work_remainingTime")->text(), QString("--"));

        // Deleting a device with a log asks first: it would come back by its
        // next announcement with neither log nor work list.
        QString asked;
        window.devicesTab()->setRemoveQuestion([&asked](const QString &text) { asked = text; return false; });
        click(window, "pushButton_workDelete");
        QCOMPARE(registry.count(), 2);
        QVERIFY2(asked.startsWith("Tavik Box 2 lose their work list and log"), qPrintable(asked));
        // The title named the deleted device; it follows the pick to the
        // one left.
        window.devicesTab()->setRemoveQuestion([](const QString &) { return true; });
        click(window, "pushButton_workDelete");
        QCOMPARE(registry.count(), 1);
        registry.setCurrent(0);
        QCOMPARE(registry.name(), QString("Box 1"));
        QCOMPARE(tabs->tabText(MainWindow::TabWork), QString("Work\nBox 1"));
    }

    void workTableLines()
    {
        MainWindow window;
        window.stopTimers();
        Machines &registry = window.devices().registry();
        click(window, "pushButton_addMachine");
        WorkList &work = *registry.work();
        for (int pool : {1, 10}) {
            work.setCurrent(work.count());
            work.insertNew();
            work.setName(pool == 1 ? "Alpha" : "Gone");
            work.setLineVersion(3);
            work.setLinePool(pool);
            work.setTime(90);
        }
        mainTabs(window)->setCurrentIndex(MainWindow::TabWork);
        auto *table = child<QTableView>(window, "tableWidget_work");
        const auto text = [table](int row, int column) { return table->model()->index(row, column).data().toString(); };
        QCOMPARE((QStringList{text(0, 0), text(0, 4), text(1, 0), text(1, 4), text(1, 5), text(1, 6)}),
                 (QStringList{"General", "90", "", "", "not found", "not found"}));
        QCOMPARE(child<QLabel>(window, "label_work_totalTime")->text(), QString("90"));
        // Filling the Work table again and reading the devices table change
        // nothing in the registry: its revision, its current record and a
        // search set on it stay.
        registry.setFilter("Tavik");
        registry.setCurrent(0);
        const quint64 revision = registry.revision();
        window.workTab()->fillWorkTable();
        DeviceTableModel devicesRead(window.devices());
        devicesRead.refresh();
        QCOMPARE(devicesRead.rowCount(), 1);
        QCOMPARE(registry.revision(), revision);
        QVERIFY(registry.filterActive() && registry.current() == 0);
        registry.setFilter(QString());
        // Start is disabled, and the tab says why and marks the lines at fault.
        work.setCurrent(0);
        work.setValue("abc");
        window.workTab()->fillWorkTable();
        window.uiTick();
        QVERIFY(!child<QPushButton>(window, "pushButton_work_start")->isEnabled());
        // A device that has told nothing yet: no colon with nothing after.
        QVERIFY2(!window.infoBar()->deviceText().trimmed().endsWith(':'), qPrintable(window.infoBar()->deviceText()));
        const QString why = child<QLabel>(window, "label_work_message")->text();
        QVERIFY2(why.startsWith("Line 1 cannot run: its frequency \"abc\" is not valid"), qPrintable(why));
        const auto problem = [table](int row) { return table->model()->index(row, 1).data(WorkTableModel::ProblemRole).toString(); };
        QVERIFY(problem(0).contains("abc"));
        QVERIFY(problem(1).contains("not found"));
        work.setValue("440");
        window.workTab()->fillWorkTable();
        window.uiTick();
        // What to do is what the tab and the library offer.
        QCOMPARE(child<QLabel>(window, "label_work_message")->text(),
                 QString("Line 2 cannot run: its preset was not found. Mend the preset on the Preset tab or the program "
                         "on the Program tab, then send the program to work again."));
        QVERIFY(problem(0).isEmpty());

        // A list too long for the device's 16-bit time is refused with a reason.
        work.setCurrent(1);
        work.removeCurrent();
        work.setCurrent(0);
        work.setTime(1093);
        window.workTab()->fillWorkTable();
        Sequencer *sequencer = window.devices().selectedSequencer();
        window.workTab()->on_pushButton_work_start_clicked();
        QVERIFY(!sequencer->isRunning());
        QVERIFY(child<QLabel>(window, "label_work_message")->text().contains("at most"));

        // New devices announcing themselves go on top. The Work tab keeps
        // showing, and would run, the device it showed at row 2, which a
        // device passing by never drops: it holds a work list.
        click(window, "pushButton_addMachine");
        click(window, "pushButton_addMachine");
        window.devices().setSelectedRow(2);
        window.workTab()->fillWorkTable();
        const int lines = table->model()->rowCount();
        QCOMPARE(lines, 1);
        registry.setCurrent(2);
        Sequencer *shown = &window.devices().sequencer(registry.slot());
        for (const char *serial : {"801", "802", "803"}) {
            Machine announced;
            announced.serialNumber = serial;
            QVERIFY(window.deviceWork().announcements().merge(announced));
            window.uiTick();
            QCOMPARE(window.devices().selectedSequencer(), shown);
            QCOMPARE(table->model()->rowCount(), lines);
        }
        QCOMPARE(registry.count(), 5);

        // With every record holding a list, a sixth device is not added,
        // and the operator is told.
        for (Machine &machine : registry.editRecords()) {
            if (machine.work.count() == 0)
                machine.work.insertNew();
        }
        Machine sixth;
        sixth.serialNumber = "804";
        QVERIFY(!window.deviceWork().announcements().merge(sixth));
        QCOMPARE(registry.count(), 5);
        QVERIFY(window.deviceWork().announcements().takeNotices().join(' ').contains("804 not added"));
        QCOMPARE(window.devices().selectedSequencer(), shown);

        // Once the picked device leaves the registry the tab shows nothing.
        registry.setCurrent(window.devices().selectedRow());
        registry.removeCurrent();
        window.devices().bindDevices();
        window.uiTick();
        QCOMPARE(window.devices().selectedRow(), -1);
        QCOMPARE(table->model()->rowCount(), 0);
        for (const char *label : {"label_workSelectionDB", "label_programName", "label_programNotes",
                                  "label_work_totalTime", "label_work_remainingTime"})
            QCOMPARE(child<QLabel>(window, label)->text(), QString("--"));
        QVERIFY(!child<QPushButton>(window, "pushButton_work_start")->isEnabled());
        QVERIFY(!child<QPushButton>(window, "pushButton_work_stop")->isEnabled());
    }
};

QTEST_MAIN(TestDevicesTab)
#include "tst_devicestab.moc"
