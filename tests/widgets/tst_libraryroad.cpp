#include "app/mainwindow.h"
#include "data/container.h"
#include "device/tavik.h"
#include "ui/dialognotes.h"
#include "work/sequencer.h"

#include "support/scaledclock.h"
#include "support/simprocess.h"
#include "support/testenv.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

namespace {

constexpr double timeScale = 20;

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
        SimProcess sim;
        ScaledClock clock(timeScale);  // outlives the window, whose end reads it
        MainWindow window;
        window.stopTimers();
        window.devices().setClock(&clock);
        QVERIFY(sim.start({"--port", "8888", "--serial", "5150", "--time-scale", QString::number(timeScale),
                           "--announce-to", "127.0.0.1:11000", "--announce-interval-ms", "300"}));
        int ticks = 0;
        const auto until = [&](auto condition, int timeoutMs) {
            QElapsedTimer timer;
            timer.start();
            while (!condition()) {
                if (timer.elapsed() > timeoutMs)
                    return false;
                QTest::qWait(2);
                window.deviceTick();
                if (++ticks % 10 == 0)
                    window.uiTick();
            }
            return true;
        };
        const auto child = [&](auto *type, const char *name) {
            auto *found = window.findChild<std::remove_pointer_t<decltype(type)> *>(QLatin1String(name));
            if (!found)
                qWarning() << "no widget" << name;
            return found;
        };
        const auto button = [&](const char *name) { return child((QPushButton *)nullptr, name); };
        const auto line = [&](const char *name) { return child((QLineEdit *)nullptr, name); };
        auto *tabs = child((QTabWidget *)nullptr, "MainPage");

        // The client.
        tabs->setCurrentIndex(MainWindow::TabClientSelection);
        button("pushButton_clientSelection_new")->click();
        QCOMPARE(tabs->currentIndex(), int(MainWindow::TabClient));
        line("lineEdit_client_name")->setText("Ada");
        child((QPlainTextEdit *)nullptr, "plainTextEdit_client_notes1")->setPlainText("Main Street 1");

        // The preset, in the General pool.
        tabs->setCurrentIndex(MainWindow::TabPresetSelection);
        QCOMPARE(storedList("clients.dat", "clients").at(0)["name"].toString(), QString("Ada"));
        child((QRadioButton *)nullptr, "radioButton_presetGeneral")->click();
        button("pushButton_presetSelection_new")->click();
        QCOMPARE(tabs->currentIndex(), int(MainWindow::TabPreset));
        line("lineEdit_preset_name")->setText("Sun");
        line("lineEdit_preset_workTime")->setText("1");
        line("lineEdit_preset_variable")->setText("4321");

        // The program, in the general pool, with the preset added from the list.
        tabs->setCurrentIndex(MainWindow::TabProgramSelection);
        QCOMPARE(storedList("presets.dat", "presets").at(0)["var"].toString(), QString("4321"));
        child((QRadioButton *)nullptr, "radioButton_programGenuine")->click();
        button("pushButton_programSelection_new")->click();
        QCOMPARE(tabs->currentIndex(), int(MainWindow::TabProgram));
        line("lineEdit_program_name")->setText("Day");
        button("pushButton_program_addPreset")->click();
        QCOMPARE(tabs->currentIndex(), int(MainWindow::TabPresetSelection));
        child((QTableView *)nullptr, "tableWidget_presetSelection")->selectRow(0);
        button("pushButton_presetSelection_toProgram")->click();
        tabs->setCurrentIndex(MainWindow::TabProgram);
        QAbstractItemModel *lines = child((QTableView *)nullptr, "tableWidget_program")->model();
        QCOMPARE(lines->rowCount(), 1);
        QCOMPARE(lines->index(0, 0).data().toString(), QString("General"));
        QCOMPARE(lines->index(0, 4).data().toString(), QString("1"));
        QCOMPARE(tabs->tabText(MainWindow::TabProgram), QString("Program\nDay.v.0"));

        // Program To Work, once the device is there, then Start.
        QVERIFY(until([&] { return window.devices().selectedController()
                                   && window.devices().selectedController()->isConnected(); }, 20000));
        button("pushButton_program_programToWork")->click();
        QCOMPARE(tabs->currentIndex(), int(MainWindow::TabWork));
        const QJsonObject machine = storedList("machines.dat", "machines").at(0).toObject();
        QCOMPARE(machine["Work"]["program"][0]["val"].toString(), QString("4321"));
        QCOMPARE(storedList("programs.dat", "programs").at(0)["program"][0]["nam"].toString(), QString("Sun"));
        window.uiTick();
        QVERIFY(until([&] { return button("pushButton_work_start")->isEnabled(); }, 10000));
        button("pushButton_work_start")->click();
        Sequencer *sequencer = window.devices().selectedSequencer();
        window.deviceTick();
        QVERIFY(!button("pushButton_program_programToWork")->isEnabled());
        QVERIFY(until([&] { return sequencer->state() == Sequencer::S_IDLE; }, 30000));
        QCOMPARE(sim.received().filter("lf=4321").size(), 1);

        // The run in the client's history, and a coloured note on it.
        tabs->setCurrentIndex(MainWindow::TabClient);
        QJsonArray history = storedList(window.library().history().path().section('/', -1), "history");
        QCOMPARE(history.size(), 2);
        QCOMPARE(history.at(0)["typ"].toString(), QString("Program"));
        QCOMPARE(history.at(1)["typ"].toString(), QString("PresetNote"));
        QCOMPARE(history.at(1)["var"].toString(), QString("4321"));
        button("pushButton_history_new")->click();
        DialogNotes *dialog = window.findChild<DialogNotes *>();
        QVERIFY(dialog->isVisible());
        dialog->findChild<QPlainTextEdit *>("plainTextEdit_notes")->setPlainText("felt warm");
        dialog->findChild<QPushButton *>("pushButton_notes_colorG")->click();
        dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
        // Another note at once, before the tick that takes the first.
        child((QTableView *)nullptr, "tableWidget_clientHistory")->clearSelection();
        button("pushButton_history_new")->click();
        dialog->findChild<QPlainTextEdit *>("plainTextEdit_notes")->setPlainText("slept");
        dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
        window.uiTick();
        history = storedList(window.library().history().path().section('/', -1), "history");
        QCOMPARE(history.size(), 4);
        QCOMPARE(history.at(0)["not"].toString(), QString("slept"));
        QCOMPARE(history.at(1)["not"].toString(), QString("felt warm"));
        QCOMPARE(history.at(1)["col"].toString(), QString("3"));

        // Renew: the program goes back on the work list.
        window.devices().registry().work()->editRecords().clear();
        child((QTableView *)nullptr, "tableWidget_clientHistory")->selectRow(2);
        button("pushButton_history_toWork")->click();
        const QJsonObject renewed = storedList("machines.dat", "machines").at(0).toObject();
        QCOMPARE(renewed["Work"]["program"].toArray().size(), 1);
        QCOMPARE(renewed["Work"]["nam"].toString(), QString("Day"));
    }
};

QTEST_MAIN(TestLibraryRoad)
#include "tst_libraryroad.moc"
