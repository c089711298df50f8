#include "app/aboutdialog.h"
#include "app/infobar.h"
#include "app/mainwindow.h"
#include "app/noticepopup.h"
#include "data/container.h"
#include "data/folderlock.h"
#include "support/installation.h"
#include "support/testenv.h"

#include <QApplication>
#include <QCborMap>
#include <QCborValue>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

class TestMainWindow : public QObject
{
    Q_OBJECT

    QString settingsPath() const { return TestEnv::dataFolder() + "settings.dat"; }

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }
    void init() { QFile::remove(settingsPath()); }

    void startsWithNineTabsAndSavesSettingsOnClose()
    {
        {
            MainWindow window;
            QCOMPARE(window.windowTitle(), QString("TavikStudio"));
            auto *tabs = window.findChild<QTabWidget *>("MainPage");
            QVERIFY(tabs);
            const QStringList titles{"Client selection", "Client", "Program selection", "Program\n",
                                     "Preset Selection", "Preset", "Work", "Tavik", "Tools"};
            const QStringList names{"tab_clientSlection", "tab_client", "tab_programSelection",
                                    "tab_program", "tab_presetSelection", "tab_preset",
                                    "tab_work", "tab_tavik", "tab_maintenance"};
            QCOMPARE(tabs->count(), 9);
            for (int i = 0; i < 9; ++i) {
                QCOMPARE(tabs->tabText(i), titles.at(i));
                QCOMPARE(tabs->widget(i)->objectName(), names.at(i));
            }
            QCOMPARE(tabs->currentIndex(), 0);
            QCOMPARE(window.currentTab(), 0);
            for (const char *button : {"pushButton_import", "pushButton_backup", "pushButton_restore",
                                       "pushButton_Update_Preset", "pushButton_about"})
                QVERIFY2(window.findChild<QPushButton *>(button), button);

            window.setWorkTabTitle("Bench");
            QCOMPARE(tabs->tabText(MainWindow::TabWork), QString("Work\nBench"));
            window.setWorkTabTitle(QString());
            QCOMPARE(tabs->tabText(MainWindow::TabWork), QString("Work"));
            window.setProgramTabTitle("Sleep", 3);
            QCOMPARE(tabs->tabText(MainWindow::TabProgram), QString("Program\nSleep.v.3"));
            window.setProgramTabTitle(QString(), 3);
            QCOMPARE(tabs->tabText(MainWindow::TabProgram), QString("Program\n"));
            // A long name never widens the window: cut short, whole in the tooltip.
            const int width = window.sizeHint().width();
            const QString longName(300, QLatin1Char('W'));
            window.setWorkTabTitle(longName);
            QVERIFY(tabs->tabText(MainWindow::TabWork).endsWith(QChar(0x2026)));
            QCOMPARE(tabs->tabToolTip(MainWindow::TabWork), "Work\n" + longName);
            QCOMPARE(window.sizeHint().width(), width);
            // The first window fits a 1024 x 768 screen.
            QVERIFY2(window.minimumSizeHint().width() <= 1024 && window.minimumSizeHint().height() <= 740,
                     qPrintable(QString("%1 x %2").arg(window.minimumSizeHint().width()).arg(window.minimumSizeHint().height())));

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
        const QString id = "0123456789abcdef0123456789abcdef";
        const auto write = [&](const QString &name, const QJsonObject &object) {
            QVERIFY(Container::writeFile(folder + name, object));
        };
        write("presets.dat", {{"version", "1"}, {"presets", QJsonArray{QJsonObject{{"nam", "G1"}}}}});
        write("genpresets.dat", {{"version", "1"}, {"presets", QJsonArray{QJsonObject{{"nam", "L1"}}}}});
        write("programs.dat", {{"version", "1"}, {"programs", QJsonArray{QJsonObject{{"nam", "P"}}}}});
        write("clients.dat", {{"version", "1"}, {"clients", QJsonArray{QJsonObject{{"name", "Ana"}, {"file", id}}}}});
        write(id + ".dat", {{"version", "1"}, {"history", QJsonArray{QJsonObject{{"typ", "Notes"}}}}});
        write("machines.dat", {{"version", "1"}, {"machines", QJsonArray{QJsonObject{{"SerialNumber", "5"}}}}});
        write("settings.dat", {});
        {
            QTest::failOnWarning(QRegularExpression(".*"));
            MainWindow window;
            window.stopTimers();
            QCOMPARE(window.library().openClientName(), QString("Ana"));
            QCOMPARE(window.devices().registry().count(), 1);
            auto *tabs = window.findChild<QTabWidget *>("MainPage");
            QCOMPARE(tabs->tabText(MainWindow::TabClient), QString("Client\nAna"));
        }
        for (const char *name : {"presets.dat", "genpresets.dat", "programs.dat", "clients.dat", "machines.dat"})
            QFile::remove(folder + name);
        QFile::remove(folder + id + ".dat");
    }

    void damagedSettingsAndRegistryAreKeptAside()
    {
        const QString folder = TestEnv::dataFolder();
        const QByteArray registry = Container::encode({{"machines", QJsonArray{QJsonObject{}, QJsonObject{}}}});
        const QByteArray settings = Container::encode({{"operator", QJsonObject{{"typ", "Eva"}}}});
        TestEnv::writeFile(folder + "machines.dat", registry.chopped(1));
        TestEnv::writeFile(settingsPath(), settings + "x");
        {
            MainWindow window;
            window.show();
            window.uiTick();
            QVERIFY(window.notice()->isVisible());
            QVERIFY(window.notice()->text().contains("settings.dat was damaged and is kept aside as settings.dat.damaged-"));
            QVERIFY(window.notice()->text().contains("machines.dat was damaged"));
        }
        QDir dir(folder);
        for (const QString name : {"machines.dat", "settings.dat"}) {
            const QStringList aside = dir.entryList({name + ".damaged-*"});
            QCOMPARE(aside.size(), 1);
            QCOMPARE(TestEnv::readFile(folder + aside.first()), name == "machines.dat" ? registry.chopped(1) : settings + "x");
            QJsonObject fresh;
            QVERIFY(Container::decode(TestEnv::readFile(folder + name), fresh));
            QFile::remove(folder + aside.first());
        }
        QFile::remove(folder + "machines.dat");
    }

    void terminationSignalClosesLikeTheCloseButton()
    {
        QProcess program;
        program.setProcessChannelMode(QProcess::MergedChannels);
        // Its debug lines tell how far start-up has come.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QT_LOGGING_RULES");
        program.setProcessEnvironment(environment);
        program.start(TAVIK_APP_PATH, {});
        QVERIFY(program.waitForStarted());
        // The signal handler is in place before the window is built, so a
        // signal once the window reads its registry must close it cleanly.
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += program.readAll()).contains("readBase machines"), 20000);
        program.terminate();
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(QFile::exists(settingsPath()));
    }

    // A second copy on the same data folder says who holds it and writes
    // nothing; a killed owner does not keep the folder from the next start.
    void oneProgramPerDataFolder()
    {
        const QString folder = TestEnv::dataFolder();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QT_LOGGING_RULES");
        const auto start = [&environment](QProcess &program) {
            program.setProcessChannelMode(QProcess::MergedChannels);
            program.setProcessEnvironment(environment);
            program.start(TAVIK_APP_PATH, {});
            QVERIFY(program.waitForStarted());
            QByteArray output;
            QTRY_VERIFY_WITH_TIMEOUT((output += program.readAll()).contains("readBase machines"), 20000);
        };
        QProcess owner;
        start(owner);
        const Files before = filesIn(folder);
        QVERIFY(before.contains(FolderLock::fileName));

        QProcess second;
        second.setProcessChannelMode(QProcess::MergedChannels);
        second.setProcessEnvironment(environment);
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
        start(next);
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

        // The info bar follows the window's bottom edge.
        window.resize(900, 700);
        QCOMPARE(window.infoBar()->width(), 900);
        QCOMPARE(window.infoBar()->y() + window.infoBar()->height(), 700);
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
