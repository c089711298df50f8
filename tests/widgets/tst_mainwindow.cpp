#include "app/aboutdialog.h"
#include "app/infobar.h"
#include "app/mainwindow.h"
#include "app/noticepopup.h"
#include "data/container.h"
#include "data/folderlock.h"
#include "data/writebeside.h"
#include "support/installation.h"
#include "support/libraryfixture.h"
#include "support/testenv.h"
#include "support/windowtest.h"

#include "data/library.h"
#include "data/worklist.h"
#include "editors/librarysession.h"
#include "ui/worktab.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QCborMap>
#include <QCborValue>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QThread>

namespace {

// A client, a preset, a program, a history note and two devices with a
// work list, each named `name` wherever a name or a note is shown.
void fillEveryStore(MainWindow &window, const QString &name)
{
    Library &library = window.library();
    Clients &clients = library.clients();
    clients.setCurrent(0);
    clients.insertNew();
    clients.setName(name);
    clients.saveBase();
    library.openClient(clients.file());
    for (int pool : {0, 1}) {
        Presets &presets = library.presetPool(pool);
        presets.setCurrent(0);
        presets.insertNew();
        presets.setName(name);
        presets.setNotes(name);
        presets.setVariable("1234.5");
        presets.setTime(5);
    }
    library.generalPresets().saveBase();
    Programs &programs = library.programs();
    programs.insertNew(0, "Eva");
    programs.setName(name);
    programs.setNotes(name);
    programs.saveBase();
    library.history().saveBase();
    Machines &registry = window.devices().registry();
    for (int device = 0; device < 2; ++device) {
        QVERIFY(registry.addMachine(DeviceSlots::count));
        registry.setCurrent(0);
        registry.setName(name);
        registry.setSerialNumber(QString::number(4700 + device));
        WorkList &work = *registry.work();
        work.programName = name;
        work.programNotes = name + "\n" + name + "\n" + name;
        work.insertNew();
        work.setName(name);
        work.setNote(name);
        work.setValue("1234.5");
        work.setLinePool(1);
        work.setTime(5);
    }
    registry.saveBase();
}

// The program in a child process with its debug lines on, which tell how
// far start-up has come; true once it has read its data folder.
bool startUntilRead(QProcess &program)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_LOGGING_RULES", "default.debug=true");
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.setProcessEnvironment(environment);
    program.start(TAVIK_APP_PATH, {});
    QByteArray output;
    return program.waitForStarted()
           && QTest::qWaitFor([&] { return (output += program.readAll()).contains("readBase machines"); }, 20000);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    QString settingsPath() const { return TestEnv::dataFolder() + "settings.dat"; }

private Q_SLOTS:
    void initTestCase()
    {
        TestEnv::useTemporaryHome();
        // Measured in what the program shows, not in the toolkit's default.
        QApplication::setFont(MainWindow::applicationFont());
    }
    void init() { QFile::remove(settingsPath()); }

    void tabTitlesAndSettingsOnClose()
    {
        {
            MainWindow window;
            auto *tabs = mainTabs(window);
            QCOMPARE(window.currentTab(), 0);

            // A long name never widens the window: cut short, whole in the tooltip.
            const int width = window.sizeHint().width();
            const QString longName(300, QLatin1Char('W'));
            window.setWorkTabTitle(longName);
            window.setProgramTabTitle(longName, 3);
            QVERIFY(tabs->tabText(MainWindow::TabWork).endsWith(QChar(0x2026)));
            QCOMPARE(tabs->tabToolTip(MainWindow::TabWork), "Work\n" + longName);
            QCOMPARE(tabs->tabToolTip(MainWindow::TabProgram), "Program\n" + longName + ".v.3");
            QCOMPARE(window.sizeHint().width(), width);
            // No name: the bare captions again.
            window.setWorkTabTitle(QString());
            window.setProgramTabTitle(QString(), 3);
            QCOMPARE(tabs->tabText(MainWindow::TabWork), QString("Work"));
            QCOMPARE(tabs->tabText(MainWindow::TabProgram), QString("Program\n"));

            tabs->setCurrentIndex(MainWindow::TabTools);
            QCOMPARE(window.currentTab(), int(MainWindow::TabTools));
            QVERIFY(!QFile::exists(settingsPath()));
        }
        // The first start had no settings file: auto-connect is on from then.
        const QCborMap stored = QCborValue::fromCbor(TestEnv::readFile(settingsPath())).toMap();
        QVERIFY(!stored.value(QStringLiteral("geometry")).toString().isEmpty());
        QCOMPARE(stored.value(QStringLiteral("machineAutoconnect")).toString(), QString("1"));
    }

    // A data folder written by another installation: the four library
    // files, a client's history, settings and the registry load silently.
    void startsOverAFullDataFolderWithoutWarnings()
    {
        const QString folder = TestEnv::dataFolder();
        QVERIFY(writeLibraryFolder(folder));
        QVERIFY(Container::writeFile(folder + "machines.dat",
                                     {{"version", "1"}, {"machines", QJsonArray{QJsonObject{{"SerialNumber", "5"}}}}}));
        QVERIFY(Container::writeFile(folder + "settings.dat", {}));
        {
            QTest::failOnWarning(QRegularExpression(".*"));
            MainWindow window;
            window.stopTimers();
            QCOMPARE(window.library().openClientName(), QString("Ana"));
            QCOMPARE(window.devices().registry().count(), 1);
            auto *tabs = mainTabs(window);
            QCOMPARE(tabs->tabText(MainWindow::TabClient), QString("Client\nAna"));
        }
        for (const char *name : {"presets.dat", "genpresets.dat", "programs.dat", "clients.dat", "machines.dat"})
            QFile::remove(folder + name);
        QFile::remove(folder + anaFile + ".dat");
    }

    void damagedSettingsAndRegistryAreNoticed()
    {
        const QString folder = TestEnv::dataFolder();
        TestEnv::writeFile(folder + "machines.dat",
                           Container::encode({{"machines", QJsonArray{QJsonObject{}, QJsonObject{}}}}).chopped(1));
        TestEnv::writeFile(settingsPath(), Container::encode({{"operator", QJsonObject{{"typ", "Eva"}}}}) + "x");
        {
            MainWindow window;
            window.show();
            window.uiTick();
            QVERIFY(window.notice()->isVisible());
            QVERIFY(window.notice()->text().contains("settings.dat was damaged and is kept aside as settings.dat.damaged-"));
            QVERIFY(window.notice()->text().contains("machines.dat was damaged"));
        }
        // A damaged pool, read beside the window, and an end before any UI
        // tick: the next start tells it.
        TestEnv::writeFile(folder + "genpresets.dat", Container::encode({{"presets", QJsonArray{}}}).chopped(1));
        { MainWindow window; }
        {
            // Kept until shown: a start killed before its first tick leaves it.
            MainWindow window;
            QVERIFY(QFile::exists(folder + "untold.dat"));
            window.show();
            window.uiTick();
            QVERIFY(window.notice()->text().contains("genpresets.dat was damaged and is kept aside"));
            QVERIFY(!QFile::exists(folder + "untold.dat"));
        }
        {
            MainWindow window;
            window.uiTick();
            QVERIFY(!window.notice()->isVisible());
        }
        for (const QString &aside : QDir(folder).entryList({"*.damaged-*"}))
            QFile::remove(folder + aside);
        QFile::remove(folder + "machines.dat");
    }

    void terminationSignalClosesLikeTheCloseButton()
    {
        // A history still being written beside the window when a signal
        // ends it lands whole before the window is gone.
        QString historyPath;
        {
            MainWindow window;
            Library &library = window.library();
            Clients &clients = library.clients();
            clients.insertNew();
            clients.setName("Long");
            library.openClient(clients.file());
            historyPath = library.history().path();
            mainTabs(window)->setCurrentIndex(MainWindow::TabClient);
            QList<Note> &notes = library.history().notes().editRecords();
            for (int i = 0; i < 40000; ++i)
                notes.append(Note::newRecord(LineType::Notes));
            // A slow disk: the history waits behind another file.
            WriteBeside::write(TestEnv::dataFolder() + "slow.dat", [] {
                QThread::msleep(500);
                return Container::encode({});
            });
            mainTabs(window)->setCurrentIndex(MainWindow::TabWork);
            window.closeForSignal();
        }
        QFile written(historyPath);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(Container::decode(written.readAll()).value("history").toArray().size(), 40000);

        // The signal handler is in place before the window is built, so a
        // signal once the window reads its registry must close it cleanly.
        QProcess program;
        QVERIFY(startUntilRead(program));
        program.terminate();
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(QFile::exists(settingsPath()));

        // Not asked for, the terminal stays quiet.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QT_LOGGING_RULES");
        program.setProcessEnvironment(environment);
        program.start(TAVIK_APP_PATH, {});
        QVERIFY(program.waitForStarted());
        QTest::qWait(2000);
        program.terminate();
        QVERIFY(program.waitForFinished(20000));
        QVERIFY2(!program.readAll().contains("readBase"), "debug lines written unasked");
    }

    // A second copy on the same data folder says who holds it and writes
    // nothing; a killed owner does not keep the folder from the next start.
    void oneProgramPerDataFolder()
    {
        const QString folder = TestEnv::dataFolder();
        QProcess owner;
        QVERIFY(startUntilRead(owner));
        const Files before = filesIn(folder);
        QVERIFY(before.contains(FolderLock::fileName));

        QProcess second;
        second.setProcessChannelMode(QProcess::MergedChannels);
        second.setProcessEnvironment(owner.processEnvironment());
        second.start(TAVIK_APP_PATH, {});
        const bool ended = second.waitForFinished(20000);
        const QString said = QString::fromLocal8Bit(second.readAll());
        if (!ended)
            second.kill();
        QVERIFY2(ended, "a second copy started on a folder in use");
        QCOMPARE(second.exitCode(), 1);
        QVERIFY2(said.contains(QDir::toNativeSeparators(QDir(folder).absolutePath()) + " is in use")
                     && said.contains(QString("process %1 ").arg(owner.processId())), qPrintable(said));
        QVERIFY(!said.contains("readBase"));
        QCOMPARE(filesIn(folder), before);

        owner.kill();
        QVERIFY(owner.waitForFinished(20000));
        QVERIFY(QFile::exists(folder + FolderLock::fileName));
        QProcess next;
        QVERIFY(startUntilRead(next));
        next.terminate();
        QVERIFY(next.waitForFinished(20000));
        QCOMPARE(next.exitCode(), 0);
        QVERIFY(!QFile::exists(folder + FolderLock::fileName));
    }

    void noticeCountsDownAndRestarts()
    {
        MainWindow window;
        window.show();
        window.showNotice("Saved");
        NoticePopup *notice = window.notice();
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QString("Saved"));
        for (int i = 0; i < 10; ++i)
            window.uiTick();
        window.showNotice("Again");
        QCOMPARE(notice->countdown(), 20);
        for (int i = 0; i < 18; ++i)
            window.uiTick();
        QVERIFY(notice->isVisible());
        window.uiTick();
        QVERIFY(!notice->isVisible());

        // A long notice shows from its first line to its last, inside the
        // window, stays longer, and a click closes it.
        window.resize(900, 700);
        const QString text = "Will not be saved: " + QString(300, 'n') + " " + QString(40, 'w')
                             + "\nPresets not downloaded: the server did not answer";
        window.showNotice(text);
        auto *label = notice->findChild<QLabel *>("label_notice");
        QVERIFY(notice->isVisible());
        QVERIFY2(label->height() >= label->heightForWidth(label->width()),
                 qPrintable(QString("%1 < %2").arg(label->height()).arg(label->heightForWidth(label->width()))));
        QVERIFY(QRect(QPoint(), window.size()).contains(notice->geometry()));
        QVERIFY(notice->countdown() > 40);
        QTest::mouseClick(notice, Qt::LeftButton);
        QVERIFY(!notice->isVisible());

        // The info bar follows the window's bottom edge.
        window.resize(900, 700);
        QCOMPARE(window.infoBar()->width(), 900);
        QCOMPARE(window.infoBar()->y() + window.infoBar()->height(), 700);
    }

    // Ctrl+Tab leaves a table with rows; Tab in a text field moves on
    // instead of typing into the data; entering the Work tab does not leave
    // the focus in its list.
    void keyboardMovesBetweenWidgets()
    {
        const QString folder = TestEnv::dataFolder();
        QVERIFY(Container::writeFile(folder + "clients.dat", {{"version", "1"}, {"clients", QJsonArray{
            QJsonObject{{"name", "Ana"}, {"file", "0123456789abcdef0123456789abcdef"}},
            QJsonObject{{"name", "Bo"}, {"file", "fedcba9876543210fedcba9876543210"}},
            QJsonObject{{"name", "Cy"}, {"file", "00000000000000000000000000000001"}}}}}));
        MainWindow window;
        window.stopTimers();
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *tabs = mainTabs(window);
        auto *table = child<QTableView>(window, "tableWidget_clientSelection");
        QVERIFY(table->model()->rowCount() >= 2);
        table->setFocus();
        table->setCurrentIndex(table->model()->index(0, 0));
        QTest::keyClick(table, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), 1);

        for (QPlainTextEdit *edit : window.findChildren<QPlainTextEdit *>()) {
            edit->setPlainText("x");
            QTest::keyClick(edit, Qt::Key_Tab);
            QVERIFY2(edit->toPlainText() == "x", qPrintable(edit->objectName()));
        }

        tabs->setCurrentIndex(MainWindow::TabTools);
        child<QPushButton>(window, "pushButton_about")->setFocus();
        tabs->setCurrentIndex(MainWindow::TabWork);
        QVERIFY(QApplication::focusWidget() != child<QTableView>(window, "tableWidget_work"));

        // The arrow keys pick a pool, as a click on its round button does.
        tabs->setCurrentIndex(MainWindow::TabPresetSelection);
        auto *genuine = child<QRadioButton>(window, "radioButton_presetGenuine");
        genuine->click();
        genuine->setFocus();
        QTest::keyClick(genuine, Qt::Key_Right);
        QVERIFY(child<QRadioButton>(window, "radioButton_presetGeneral")->isChecked());
        QCOMPARE(window.session().presetPool(), int(PresetPool::General));
        // Tab and Shift+Tab land on the pool picked, not on another, also
        // where the pool was picked by the program.
        child<QRadioButton>(window, "radioButton_presetClient")->setChecked(true);
        for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
            QWidget *focus = child<QLineEdit>(window, "lineEdit_presetSelection_search");
            focus->setFocus();
            for (int i = 0; i < 40 && !qobject_cast<QRadioButton *>(focus); ++i) {
                QTest::keyClick(focus, key);
                focus = QApplication::focusWidget();
            }
            QCOMPARE(focus, child<QRadioButton>(window, "radioButton_presetClient"));
        }

        // A delete can be taken back with Ctrl+Z, until its list changes.
        tabs->setCurrentIndex(MainWindow::TabClientSelection);
        const auto names = [&] { return namesIn(folder + "clients.dat", "clients", "name"); };
        const auto deleteRow = [&](int row) {
            table->setFocus();
            table->selectRow(row);
            click(window, "pushButton_clientSelection_delete");
        };
        deleteRow(1);
        QCOMPARE(names(), QStringList({"Ana", "Cy"}));
        QVERIFY(window.notice()->text().contains("Client Bo deleted"));
        QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(names(), QStringList({"Ana", "Bo", "Cy"}));
        QCOMPARE(table->model()->rowCount(), 3);
        deleteRow(1);
        table->selectRow(0);
        click(window, "pushButton_clientSelection_moveDown");
        QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(table->model()->rowCount(), 2);
        QVERIFY(window.notice()->text().startsWith("Nothing to put back"));

        // A new preset or program has the cursor in its name; Add Preset
        // leaves it in the list of presets to pick from.
        const auto focused = [] { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(); };
        tabs->setCurrentIndex(MainWindow::TabPresetSelection);
        click(window, "radioButton_presetGeneral");
        click(window, "pushButton_presetSelection_new");
        QCOMPARE(focused(), QString("lineEdit_preset_name"));
        tabs->setCurrentIndex(MainWindow::TabProgramSelection);
        click(window, "radioButton_programGenuine");
        click(window, "pushButton_programSelection_new");
        QCOMPARE(focused(), QString("lineEdit_program_name"));
        click(window, "pushButton_program_addPreset");
        QCOMPARE(focused(), QString("tableWidget_presetSelection"));
        QFile::remove(folder + "clients.dat");
    }

    // Every tab at a small screen and at twice the scale, with ordinary
    // names and with long names in several scripts in every field that
    // shows data: the window fits the screen, every button can be seen,
    // no label is cut, Tab reaches Start and Stop, every input, table and
    // button has a name a screen reader can say, and every button a tooltip.
    void fitsTheScreenWithEveryName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("ordinary") << "Ada";
        const QString scripts = QString::fromUtf8("Řezníček Ελληνικά Кириллица 中文名字 ");
        QString longName;
        while (longName.size() < 200)
            longName += scripts;
        QTest::newRow("200 characters, four scripts") << longName.left(200);
    }

    void fitsTheScreenWithEveryName()
    {
        QFETCH(QString, name);
        const QString folder = TestEnv::dataFolder();
        {
            // Stored by a window once larger than any screen.
            MainWindow window;
            window.stopTimers();
            window.resize(3000, 1600);
            fillEveryStore(window, name);
        }
        MainWindow window;
        window.stopTimers();
        window.setProgramTabTitle(name, 1);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const QRect available = window.screen()->availableGeometry();
        const QString screen = QString("%1x%2 at %3x").arg(available.width()).arg(available.height())
                                   .arg(window.devicePixelRatio());
        qInfo("%s: window %dx%d, minimum %dx%d", qPrintable(screen), window.width(), window.height(),
              window.minimumSizeHint().width(), window.minimumSizeHint().height());
        QVERIFY2(available.contains(window.geometry()), qPrintable(screen));
        QVERIFY(window.minimumSizeHint().width() <= available.width());
        QVERIFY(window.minimumSizeHint().height() <= available.height());

        auto *tabs = mainTabs(window);
        const QRect inside(QPoint(), window.size());
        for (int index = 0; index < tabs->count(); ++index) {
            tabs->setCurrentIndex(index);
            window.uiTick();
            QCoreApplication::processEvents();
            QVERIFY2(available.contains(window.geometry()), qPrintable(QString("tab %1").arg(index)));
            // From 1024 px up no tab scrolls sideways.
            auto *scroll = tabs->currentWidget()->findChild<QScrollArea *>();
            QVERIFY2(available.width() < 1024 || !scroll || scroll->horizontalScrollBar()->maximum() == 0,
                     qPrintable(QString("tab %1 scrolls sideways by %2 px").arg(index)
                                    .arg(scroll ? scroll->horizontalScrollBar()->maximum() : 0)));
            for (QPushButton *button : window.findChildren<QPushButton *>()) {
                if (!button->isVisible() || button->window() != &window)
                    continue;
                if (auto *scroll = qobject_cast<QScrollArea *>(tabs->currentWidget()->findChild<QScrollArea *>()))
                    scroll->ensureWidgetVisible(button);
                const QRect at(button->mapTo(&window, QPoint()), button->size());
                QVERIFY2(inside.contains(at) && !button->visibleRegion().isEmpty(),
                         qPrintable(QString("tab %1: %2").arg(index).arg(button->objectName())));
            }
            for (QLabel *label : window.findChildren<QLabel *>()) {
                if (!label->isVisible() || label->window() != &window || label->wordWrap() || label->text().isEmpty()
                    || Qt::mightBeRichText(label->text()))
                    continue;
                int widest = 0;
                for (const QString &line : label->text().split('\n'))
                    widest = qMax(widest, label->fontMetrics().horizontalAdvance(line));
                QVERIFY2(widest <= label->contentsRect().width(),
                         qPrintable(QString("tab %1: %2 is %3 px wide for %4 px: %5").arg(index)
                                        .arg(label->objectName()).arg(widest).arg(label->contentsRect().width())
                                        .arg(label->text().left(40))));
            }
        }

        // The keyboard reaches Start and Stop from the first widget, and
        // comes back round: no table keeps it.
        tabs->setCurrentIndex(MainWindow::TabWork);
        auto *start = child<QPushButton>(window, "pushButton_work_start");
        auto *stop = child<QPushButton>(window, "pushButton_work_stop");
        start->setEnabled(true);
        stop->setEnabled(true);
        tabs->tabBar()->setFocus();
        QWidget *first = QApplication::focusWidget();
        QVERIFY(first);
        bool startReached = false;
        bool stopReached = false;
        bool cameBack = false;
        for (int press = 0; press < 60 && !cameBack; ++press) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            startReached = startReached || start->hasFocus();
            stopReached = stopReached || stop->hasFocus();
            cameBack = QApplication::focusWidget() == first;
        }
        QVERIFY(startReached);
        QVERIFY(stopReached);
        QVERIFY(cameBack);

        QStringList untold;
        for (QWidget *widget : window.findChildren<QWidget *>()) {
            const bool named = qobject_cast<QAbstractButton *>(widget) || qobject_cast<QLineEdit *>(widget)
                               || qobject_cast<QPlainTextEdit *>(widget) || qobject_cast<QComboBox *>(widget)
                               || qobject_cast<QAbstractSpinBox *>(widget)
                               || (qobject_cast<QAbstractItemView *>(widget) && !widget->inherits("QComboBoxListView"));
            if (!named || widget->objectName().isEmpty() || widget->objectName().startsWith("qt_"))
                continue;
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
            QVERIFY2(accessible && !accessible->text(QAccessible::Name).trimmed().isEmpty(),
                     qPrintable(widget->objectName()));
            // A button also says what it does before it is pressed.
            if (qobject_cast<QAbstractButton *>(widget) && widget->toolTip().trimmed().isEmpty())
                untold.append(widget->objectName());
        }
        QVERIFY2(untold.isEmpty(), qPrintable("buttons without a tooltip: " + untold.join(' ')));
        for (const QString &file : QDir(folder).entryList({"*.dat"}))
            QFile::remove(folder + file);
    }

    // A column the operator widens keeps its width through the ticks and a
    // resize of the window, and after a restart.
    void columnsTheOperatorSetStay()
    {
        const auto workColumns = [](MainWindow &window) {
            return child<QTableView>(window, "tableWidget_work")->horizontalHeader();
        };
        {
            MainWindow window;
            window.stopTimers();
            window.resize(1000, 700);
            window.show();
            mainTabs(window)->setCurrentIndex(MainWindow::TabWork);
            QHeaderView *header = workColumns(window);
            const int formula = header->sectionSize(0);
            header->resizeSection(2, 555);
            for (int i = 0; i < 5; ++i)
                window.uiTick();
            QCOMPARE(header->sectionSize(2), 555);
            window.resize(900, 650);
            QCoreApplication::processEvents();
            QCOMPARE(header->sectionSize(2), 555);
            QCOMPARE(header->sectionSize(0), formula);
        }
        MainWindow window;
        window.show();
        mainTabs(window)->setCurrentIndex(MainWindow::TabWork);
        QCOMPARE(workColumns(window)->sectionSize(2), 555);
    }

    // A size missing from the resources leaves a title bar, a task switcher
    // or the About dialog without the program's icon.
    void iconShowsInTheWindowAndTheAboutDialog()
    {
        MainWindow window;
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QImage image(QStringLiteral(":/icons/tavikstudio-%1.png").arg(size));
            QCOMPARE(image.size(), QSize(size, size));
        }
        QCOMPARE(window.windowIcon().pixmap(QSize(16, 16)).size(), QSize(16, 16));
        auto *about = window.findChild<AboutDialog *>();
        QVERIFY(about);
        QCOMPARE(about->windowIcon().cacheKey(), window.windowIcon().cacheKey());
        QCOMPARE(about->findChild<QLabel *>("label_about_logo")->pixmap().size(), QSize(128, 128));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
