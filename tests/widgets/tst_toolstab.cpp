#include "app/mainwindow.h"
#include "app/noticepopup.h"
#include "app/signalcloser.h"
#include "data/settings.h"
#include "data/container.h"
#include "data/unstorededits.h"
#include "data/platformfile.h"
#include "data/library.h"
#include "support/installation.h"
#include "support/libraryfixture.h"
#include "support/testenv.h"
#include "support/windowtest.h"
#include "ui/toolstab.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {

// "old" or "new" when every store holds that version, else what each holds.
QString versionInFolder()
{
    Installation in;
    const QStringList tags{in.settings.operatorName(), in.library.clients().name().section(' ', 0, 0),
                           in.library.generalPresets().name(), in.work.programName,
                           in.devices.registry().records().value(0).name};
    return tags.count(tags.first()) == tags.size() ? tags.first() : tags.join(',');
}

// What a window started on the data folder tells at its first tick.
QString noticeAtStart()
{
    MainWindow window;
    window.stopTimers();
    window.uiTick();
    return window.notice()->countdown() > 0 ? window.notice()->text() : QString();
}

} // namespace

class TestToolsTab : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void restoreRestartsOnlyAfterARestore()
    {
        TestEnv::useTemporaryHome();
        Installation in;
        Settings &settings = in.settings;
        QWidget page;
        ToolsTab tab(&page, in.settings, in.library, in.work, in.devices);

        QString asked, answer;
        tab.setFileChooser([&](ToolsTab::FileDialog, const QString &caption, const QString &folder, const QString &filter) {
            asked = caption + "|" + folder + "|" + filter;
            return answer;
        });
        QSignalSpy notices(&tab, &ToolsTab::noticeRequested);
        QSignalSpy restarts(&tab, &ToolsTab::restartRequested);
        // A restore reads its file beside the window: wait for it to end.
        const auto press = [&](const char *button, const QString &file) {
            answer = file;
            notices.clear();
            const int restarted = restarts.size();
            click(tab, button);
            if (!file.isEmpty() && !QTest::qWaitFor([&] { return !notices.isEmpty() || restarts.size() > restarted; }, 10000))
                return QString("(no answer)");
            return notices.isEmpty() ? QString() : notices.last().at(0).toString();
        };

        const QString backup = QDir::tempPath() + "/tst_toolstab";
        QCOMPARE(press("pushButton_backup", backup), "Backup written to " + QDir::toNativeSeparators(backup + ".bkp"));
        QCOMPARE(asked, "backup file|" + settings.backupFolder() + "|backup files (*.bkp)");

        // A cancelled dialog is no failure, and a refused file does not
        // restart the program.
        QTest::failOnWarning(QRegularExpression("Couldn't open save file"));
        QCOMPARE(press("pushButton_backup", QString()), QString());
        QCOMPARE(press("pushButton_restore", QString()), QString());
        const QString other = QDir::tempPath() + "/tst_toolstab-v2.bkp";
        QVERIFY(TestEnv::writeFile(other, Container::encode({{"Version", "2"}})));
        QVERIFY(press("pushButton_restore", other).startsWith("Restore refused"));
        QCOMPARE(restarts.size(), 0);
        press("pushButton_restore", backup + ".bkp");
        QCOMPARE(restarts.size(), 1);
        // The window then ends at once, saving nothing over the restored files.
        QElapsedTimer ending;
        ending.start();
        QVERIFY(tab.waitForRestore(20000));
        QVERIFY2(ending.elapsed() < 10000, "the end waited for a restore that had landed");

        // The program started again says what was restored and where the
        // data it replaced is kept; once. A start that ends before its
        // first tick (a logout) leaves it for the next.
        const QString told = "Data restored from " + QDir::toNativeSeparators(backup + ".bkp")
                             + ". The data as it was before the restore is in ";
        {
            MainWindow ended;
            ended.stopTimers();
        }
        for (const bool first : {true, false}) {
            const QString notice = noticeAtStart();
            QCOMPARE(notice.startsWith(told), first);
            if (first)
                QVERIFY2(QFileInfo::exists(notice.mid(told.size())), qPrintable(notice));
        }
    }

    // An import runs off the GUI thread behind a modal busy dialog; the
    // pool is replaced and saved, once, when it is done.
    void importRunsBehindABusyDialog()
    {
        TestEnv::useTemporaryHome();
        Installation in;
        Library &library = in.library;
        QWidget page;
        ToolsTab tab(&page, in.settings, in.library, in.work, in.devices);
        const QString csv = QDir::tempPath() + "/tst_toolstab.csv";
        QByteArray lines = "Actinomyces israelii ,440\n";
        for (int i = 0; i < 2000; ++i)
            lines += "Line " + QByteArray::number(i) + ",1000\n";
        QVERIFY(TestEnv::writeFile(csv, lines));
        tab.setFileChooser([&](ToolsTab::FileDialog, const QString &, const QString &, const QString &) { return csv; });
        QSignalSpy notices(&tab, &ToolsTab::noticeRequested);

        click(tab, "pushButton_import");
        auto *busy = page.findChild<QProgressDialog *>();
        QVERIFY(busy && busy->isVisible() && busy->windowModality() == Qt::WindowModal);
        QCOMPARE(library.legitimatePresets().count(), 0);  // changed only when the import is done
        QTRY_COMPARE(notices.size(), 1);
        QCOMPARE(notices.at(0).at(0).toString(), QString("Imported: 2001 new, 0 updated"));
        QCOMPARE(library.legitimatePresets().count(), 2001);
        // Written once, by the import: leaving the list does not write it again.
        QVERIFY(!library.legitimatePresets().changedSinceFile());
        QTRY_VERIFY(!page.findChild<QProgressDialog *>());
        Presets saved;
        saved.setPath(library.legitimatePresets().path());
        QVERIFY(saved.readBase());
        QCOMPARE(saved.count(), 2001);
    }

    // A download asked for before an import is installed before the import
    // begins, and the import works on what the download left: neither
    // result is thrown away behind a notice of success.
    void importWaitsForTheDownload()
    {
        TestEnv::useTemporaryHome();
        Installation in;
        Library &library = in.library;
        QWidget page;
        ToolsTab tab(&page, in.settings, in.library, in.work, in.devices);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QTcpSocket *asking = nullptr;
        connect(&server, &QTcpServer::newConnection, &server, [&] { asking = server.nextPendingConnection(); });
        tab.setDownloadUrl(QUrl(QString("http://127.0.0.1:%1/info/genpresets.dat").arg(server.serverPort())));
        const QString csv = QDir::tempPath() + "/tst_toolstab-turns.csv";
        QVERIFY(TestEnv::writeFile(csv, "Actinomyces israelii ,440\nImported 2,1000\n"));
        tab.setFileChooser([&](ToolsTab::FileDialog, const QString &, const QString &, const QString &) { return csv; });
        QSignalSpy notices(&tab, &ToolsTab::noticeRequested);
        // The set brings a name and version General holds: it stays out, as
        // an import's line or an editor's save would.
        Preset moon;
        moon.name = "Moon";
        moon.version = 1;
        library.generalPresets().insert(0, moon);

        click(tab, "pushButton_Update_Preset");
        QTRY_VERIFY(asking);
        click(tab, "pushButton_import");
        QTest::qWait(300);
        const QByteArray body = Container::encode(
            {{"version", "1"}, {"presets", QJsonArray{QJsonObject{{"nam", "Downloaded"}, {"var", "100"}, {"tim", "5"}},
                                                 QJsonObject{{"nam", "Moon"}, {"ver", "1"}, {"var", "200"}, {"tim", "5"}}}}});
        asking->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        QStringList said;
        const auto heard = [&] {
            said.clear();
            for (const QList<QVariant> &notice : notices)
                said << notice.at(0).toString();
            return said.contains("Presets downloaded; 1 left out: another pool holds their name and version (Moon.v.1)")
                && said.filter("Imported: ").size() == 1;
        };
        QTRY_VERIFY2(heard(), qPrintable(said.join("|")));
        const QStringList expected{"Downloaded", "Actinomyces israelii", "Imported"};
        QStringList names;
        for (const Preset &preset : library.legitimatePresets().records())
            names << preset.name;
        QCOMPARE(names, expected);
        QCOMPARE(namesIn(library.legitimatePresets().path(), "presets"), expected);
        QCOMPARE(said.first(), QString("The import starts when the download has ended"));
    }

    // The window ended by a logout (SIGTERM) or killed while a restore
    // writes leaves the data all old or all restored, never its exit's
    // saves of the old stores mixed into the restored files.
    void restoreEndsWholeWhenTheProgramEnds()
    {
#ifdef Q_OS_UNIX
        TestEnv::useTemporaryHome();
        const QString folder = TestEnv::dataFolder();
        const QString backup = QDir::tempPath() + "/tst_toolstab-new.bkp";
        seedFolder(QStringList(250, "new client"), "new");
        QVERIFY(Installation().backup.write(backup));
        const Files old = seedFolder(QStringList(250, "old client"), "old");
        const QString journal = folder + "pending-saves.journal";
        const QString clients = folder + "clients.dat";

        UnstoredEdit typed;
        typed.isNew = true;
        typed.name = "typed before the restore";
        typed.reason = "Will not be saved: a reason";
        const auto run = [&](int signal, int afterMs) {
            putBack(folder, old);
            if (!signal)
                QVERIFY(UnstoredEdits::leave(folder, {typed}));
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {"--restore-in-window", backup});
            QVERIFY(child.waitForStarted());
            QVERIFY(child.waitForReadyRead(60000));
            QElapsedTimer clock;
            clock.start();
            if (afterMs < 0) {
                // The moment the restore starts to replace the files, or
                // as soon after as this process sees it.
                const PlatformFile::Identity before = PlatformFile::identity(clients);
                while (!QFileInfo::exists(journal) && PlatformFile::identity(clients) == before
                       && child.state() == QProcess::Running && clock.elapsed() < 60000) {}
            } else {
                QThread::msleep(afterMs);
            }
            if (signal)
                ::kill(pid_t(child.processId()), signal);
            QVERIFY(child.waitForFinished(60000));
            QVERIFY(Container::finishPending(folder));  // what the next start does first
            // The restore asked about the edit the editors held; it does not
            // wait for the restored data.
            if (!signal)
                QVERIFY2(!QFileInfo::exists(folder + "unstored.dat"), "a refused edit outlived the restore");
            const QString version = versionInFolder();
            QVERIFY2(version == "old" || version == "new",
                     qPrintable(QString("signal %1 at %2 ms: %3").arg(signal).arg(afterMs).arg(version)));
            // The next start says which, in one line, and what the files hold.
            const QString told = noticeAtStart();
            const bool restored = told.startsWith("Data restored from " + QDir::toNativeSeparators(backup));
            const bool undone = told == Backup::unfinishedNote(backup);
            QVERIFY2(version == "new" ? restored && !told.contains(" did not happen") : undone,
                     qPrintable(QString("signal %1 at %2 ms, %3 data, told: %4").arg(signal).arg(afterMs).arg(version, told)));
        };

        QElapsedTimer whole;
        whole.start();
        run(0, 0);
        const int wholeMs = int(whole.elapsed());
        QCOMPARE(versionInFolder(), QString("new"));
        qInfo() << "the window's start and restore took" << wholeMs << "ms";
        QRandomGenerator random(32);
        for (int round = 0; round < 2 && !QTest::currentTestFailed(); ++round) {
            run(SIGTERM, -1);
            run(SIGTERM, int(random.bounded(wholeMs)));
            run(SIGKILL, int(random.bounded(wholeMs)));
        }
#endif
    }
};

int main(int argc, char *argv[])
{
    // The program's own window and exit path, restoring the backup named.
    if (argc == 3 && qstrcmp(argv[1], "--restore-in-window") == 0) {
        QApplication app(argc, argv);
        QCoreApplication::setApplicationName("TavikStudio");
        const QString backup = QString::fromLocal8Bit(argv[2]);
        SignalCloser closer;
        MainWindow window;
        QObject::connect(&closer, &SignalCloser::closeRequested, &window, &MainWindow::closeForSignal);
        // Asked once, before the restore: the restart after it asks nothing
        // (a Cancel there kept the old data, later stored over the restored).
        window.setDiscardQuestion([asked = 0](const QString &) mutable { return asked++ == 0; });
        window.show();
        window.toolsTab()->setFileChooser(
            [backup](ToolsTab::FileDialog, const QString &, const QString &, const QString &) { return backup; });
        QTimer::singleShot(0, &window, [&window] {
            click(*window.toolsTab(), "pushButton_restore");
            fputs("restoring\n", stdout);
            fflush(stdout);
        });
        return app.exec();
    }
    QApplication app(argc, argv);
    TestToolsTab test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_toolstab.moc"
