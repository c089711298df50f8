#include "data/settings.h"
#include "data/container.h"
#include "data/library.h"
#include "work/deviceslots.h"
#include "support/installation.h"
#include "support/testenv.h"
#include "ui/toolstab.h"
#include "data/worklist.h"

#include <QDir>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
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
        QCOMPARE(click("pushButton_backup", backup), "Backup written to " + QDir::toNativeSeparators(backup + ".bkp"));
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
};

QTEST_MAIN(TestToolsTab)
#include "tst_toolstab.moc"
