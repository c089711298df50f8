#include "data/settings.h"
#include "data/container.h"
#include "data/library.h"
#include "work/deviceslots.h"
#include "support/installation.h"
#include "support/libraryfixture.h"
#include "support/testenv.h"
#include "ui/toolstab.h"
#include "data/worklist.h"

#include <QDir>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

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
        const auto click = [&](const char *button, const QString &file) {
            answer = file;
            notices.clear();
            const int restarted = restarts.size();
            tab.findChild<QPushButton *>(button)->click();
            if (!file.isEmpty() && !QTest::qWaitFor([&] { return !notices.isEmpty() || restarts.size() > restarted; }, 10000))
                return QString("(no answer)");
            return notices.isEmpty() ? QString() : notices.last().at(0).toString();
        };

        const QString backup = QDir::tempPath() + "/tst_toolstab";
        QCOMPARE(click("pushButton_backup", backup), QString("Backup written"));
        QCOMPARE(asked, "backup file|" + settings.backupFolder() + "|backup files (*.bkp)");

        // A cancelled dialog and a refused file do not restart the program.
        QCOMPARE(click("pushButton_restore", QString()), QString());
        const QString other = QDir::tempPath() + "/tst_toolstab-v2.bkp";
        QVERIFY(TestEnv::writeFile(other, Container::encode({{"Version", "2"}})));
        QVERIFY(click("pushButton_restore", other).startsWith("Restore refused"));
        QCOMPARE(restarts.size(), 0);
        click("pushButton_restore", backup + ".bkp");
        QCOMPARE(restarts.size(), 1);
    }

    // An import runs off the GUI thread behind a modal busy dialog; the
    // pool is replaced and saved when it is done.
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

        tab.findChild<QPushButton *>("pushButton_import")->click();
        auto *busy = page.findChild<QProgressDialog *>();
        QVERIFY(busy && busy->isVisible() && busy->windowModality() == Qt::WindowModal);
        QCOMPARE(library.legitimatePresets().count(), 0);  // changed only when the import is done
        QTRY_COMPARE(notices.size(), 1);
        QCOMPARE(notices.at(0).at(0).toString(), QString("Imported: 2001 new, 0 updated"));
        QCOMPARE(library.legitimatePresets().count(), 2001);
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

        tab.findChild<QPushButton *>("pushButton_Update_Preset")->click();
        QTRY_VERIFY(asking);
        tab.findChild<QPushButton *>("pushButton_import")->click();
        QTest::qWait(300);
        const QByteArray body = Container::encode(
            {{"version", "1"}, {"presets", QJsonArray{QJsonObject{{"nam", "Downloaded"}, {"var", "100"}, {"tim", "5"}}}}});
        asking->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        QStringList said;
        const auto heard = [&] {
            said.clear();
            for (const QList<QVariant> &notice : notices)
                said << notice.at(0).toString();
            return said.contains("Presets downloaded") && said.filter("Imported: ").size() == 1;
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
};

QTEST_MAIN(TestToolsTab)
#include "tst_toolstab.moc"
