#include "app/mainwindow.h"
#include "data/container.h"
#include "device/tavik.h"
#include "ui/dialognotes.h"
#include "work/sequencer.h"

#include "support/testenv.h"
#include "support/windowtest.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QApplication>
#include <QtTest>

namespace {

QJsonArray storedList(const QString &file, const char *key)
{
    QJsonObject object;
    if (Container::readFile(TestEnv::dataFolder() + file, object) != Container::ReadStatus::Read)
        return {};
    return object.value(QLatin1String(key)).toArray();
}

} // namespace

// The road of one run as a new user walks it: from an empty data folder,
// a client, a preset and a program made through the widgets, the program
// sent to a simulated device and run, found in the client's history, noted
// and renewed. Every file is read back from disk.
class TestLibraryRoad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void oneRun()
    {
        WindowRig rig;
        MainWindow &window = rig.window;
        QVERIFY(rig.start("5150"));
        const auto button = [&](const char *name) { return child<QPushButton>(window, name); };
        const auto line = [&](const char *name) { return child<QLineEdit>(window, name); };
        const auto table = [&](const char *name) { return child<QTableView>(window, name); };
        auto *tabs = mainTabs(window);

        // The client.
        tabs->setCurrentIndex(MainWindow::TabClientSelection);
        button("pushButton_clientSelection_new")->click();
        QCOMPARE(tabs->currentIndex(), int(MainWindow::TabClient));
        line("lineEdit_client_name")->setText("Ada");
        child<QPlainTextEdit>(window, "plainTextEdit_client_notes1")->setPlainText("Main Street 1");

        // The preset, in the General pool.
        tabs->setCurrentIndex(MainWindow::TabPresetSelection);
        QCOMPARE(storedList("clients.dat", "clients").at(0)["name"].toString(), QString("Ada"));
        click(window, "radioButton_presetGeneral");
        button("pushButton_presetSelection_new")->click();
        QCOMPARE(tabs->currentIndex(), int(MainWindow::TabPreset));
        line("lineEdit_preset_name")->setText("Sun");
        line("lineEdit_preset_workTime")->setText("1");
        line("lineEdit_preset_variable")->setText("4321");

        // The program, in the general pool, with the preset added from the list.
        tabs->setCurrentIndex(MainWindow::TabProgramSelection);
        QCOMPARE(storedList("presets.dat", "presets").at(0)["var"].toString(), QString("4321"));

        // Ctrl+Z while the editor holds what was typed takes back that, not
        // the stored step before it, and Ctrl+Shift+Z gives it again.
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const auto openSun = [&] {
            tabs->setCurrentIndex(MainWindow::TabPresetSelection);
            table("tableWidget_presetSelection")->selectRow(0);
            button("pushButton_presetSelection_edit")->click();
            QCOMPARE(tabs->currentIndex(), int(MainWindow::TabPreset));
        };
        openSun();
        line("lineEdit_preset_variable")->setText("2222");
        tabs->setCurrentIndex(MainWindow::TabPresetSelection);
        openSun();
        child<QPlainTextEdit>(window, "plainTextEdit_preset_notes")->setPlainText("second draft");
        const auto stored = [&] {
            const QJsonObject sun = storedList("presets.dat", "presets").at(0).toObject();
            return sun["var"].toString() + '|' + sun["not"].toString();
        };
        QTest::keyClick(button("pushButton_preset_toProgram"), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(stored(), QString("2222|"));
        QCOMPARE(line("lineEdit_preset_variable")->text(), QString("2222"));
        QTest::keyClick(button("pushButton_preset_toProgram"), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(stored(), QString("2222|second draft"));
        QCOMPARE(child<QPlainTextEdit>(window, "plainTextEdit_preset_notes")->toPlainText(), QString("second draft"));
        tabs->setCurrentIndex(MainWindow::TabPresetSelection);
        click(window, "radioButton_programGenuine");
        button("pushButton_programSelection_new")->click();
        QCOMPARE(tabs->currentIndex(), int(MainWindow::TabProgram));
        line("lineEdit_program_name")->setText("Day");
        // No line yet: nothing to delete or move.
        for (const char *name : {"pushButton_program_deleteLine", "pushButton_program_moveUp", "pushButton_program_moveDown"})
            QVERIFY2(!button(name)->isEnabled(), name);
        button("pushButton_program_addPreset")->click();
        QCOMPARE(tabs->currentIndex(), int(MainWindow::TabPresetSelection));
        table("tableWidget_presetSelection")->selectRow(0);
        button("pushButton_presetSelection_toProgram")->click();
        tabs->setCurrentIndex(MainWindow::TabProgram);
        QAbstractItemModel *lines = table("tableWidget_program")->model();
        QCOMPARE(lines->rowCount(), 1);
        QCOMPARE((QStringList{lines->index(0, 0).data().toString(), lines->index(0, 4).data().toString()}),
                 (QStringList{"General", "1"}));
        QCOMPARE(tabs->tabText(MainWindow::TabProgram), QString("Program\nDay.v.0"));

        // Program To Work, once the device is there, then Start.
        QVERIFY(rig.driver.until([&] { return window.devices().selectedController()
                                   && window.devices().selectedController()->isConnected(); }, 20000));
        button("pushButton_program_programToWork")->click();
        QCOMPARE(tabs->currentIndex(), int(MainWindow::TabWork));
        const QJsonObject machine = storedList("machines.dat", "machines").at(0).toObject();
        QCOMPARE(machine["Work"]["program"][0]["val"].toString(), QString("2222"));
        QCOMPARE(storedList("programs.dat", "programs").at(0)["program"][0]["nam"].toString(), QString("Sun"));
        window.uiTick();
        QVERIFY(rig.driver.until([&] { return button("pushButton_work_start")->isEnabled(); }, 10000));
        button("pushButton_work_start")->click();
        Sequencer *sequencer = window.devices().selectedSequencer();
        window.deviceTick();
        QVERIFY(!button("pushButton_program_programToWork")->isEnabled());
        QVERIFY(rig.driver.until([&] { return sequencer->state() == Sequencer::S_IDLE; }, 30000));
        QCOMPARE(rig.sim.received().filter("lf=2222").size(), 1);

        // The run in the client's history, and a coloured note on it.
        tabs->setCurrentIndex(MainWindow::TabClient);
        const auto history = [&](const char *key) {
            QStringList values;
            for (const QJsonValue &entry : storedList(window.library().history().path().section('/', -1), "history"))
                values << entry[QLatin1String(key)].toString();
            return values;
        };
        QCOMPARE(history("typ"), (QStringList{"Program", "PresetNote"}));
        QCOMPARE(history("var").at(1), QString("2222"));
        button("pushButton_history_new")->click();
        DialogNotes *dialog = window.findChild<DialogNotes *>();
        QVERIFY(dialog->isVisible());
        dialog->findChild<QPlainTextEdit *>("plainTextEdit_notes")->setPlainText("felt warm");
        dialog->findChild<QPushButton *>("pushButton_notes_colorG")->click();
        dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
        // Another note at once, before the tick that takes the first.
        table("tableWidget_clientHistory")->clearSelection();
        button("pushButton_history_new")->click();
        dialog->findChild<QPlainTextEdit *>("plainTextEdit_notes")->setPlainText("slept");
        dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
        window.uiTick();
        QCOMPARE(history("not").size(), 4);
        QCOMPARE((history("not").mid(0, 2) << history("col").at(1)), (QStringList{"slept", "felt warm", "3"}));

        // Renew: the program goes back on the work list.
        window.devices().registry().work()->editRecords().clear();
        table("tableWidget_clientHistory")->selectRow(2);
        button("pushButton_history_toWork")->click();
        const QJsonObject renewed = storedList("machines.dat", "machines").at(0).toObject();
        QCOMPARE(renewed["Work"]["program"].toArray().size(), 1);
        QCOMPARE(renewed["Work"]["nam"].toString(), QString("Day"));
    }
};

QTEST_MAIN(TestLibraryRoad)
#include "tst_libraryroad.moc"
