#include "app/settings.h"
#include "data/container.h"
#include "data/library.h"
#include "discovery/deviceslots.h"
#include "support/testenv.h"
#include "ui/toolstab.h"
#include "work/worklist.h"

#include <QDir>
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
        Settings settings;
        settings.init("settings.dat");
        Library library;
        library.load(settings);
        WorkList work;
        work.setPath(settings.dataFolder() + "work.dat");
        DeviceSlots devices;
        devices.registry().setFolder(settings.dataFolder());
        QWidget page;
        ToolsTab tab(&page, settings, library, work, devices);

        QString asked, answer;
        tab.setFileChooser([&](ToolsTab::FileDialog, const QString &caption, const QString &folder, const QString &filter) {
            asked = caption + "|" + folder + "|" + filter;
            return answer;
        });
        QSignalSpy notices(&tab, &ToolsTab::noticeRequested);
        QSignalSpy restarts(&tab, &ToolsTab::restartRequested);
        const auto click = [&](const char *button, const QString &file) {
            answer = file;
            notices.clear();
            tab.findChild<QPushButton *>(button)->click();
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
};

QTEST_MAIN(TestToolsTab)
#include "tst_toolstab.moc"
