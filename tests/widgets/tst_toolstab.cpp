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
#include <QVBoxLayout>

class TestToolsTab : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void buttonsAskForFilesAndReport()
    {
        Settings settings;
        settings.init("settings.dat");
        Library library;
        library.load(settings);
        WorkList work;
        work.setPath(settings.dataFolder() + "work.dat");
        DeviceSlots devices;
        devices.registry().setFolder(settings.dataFolder());
        QWidget page;
        page.setLayout(new QVBoxLayout);
        ToolsTab tab(&page, settings, library, work, devices);

        QStringList asked;
        QString answer;
        tab.setFileChooser([&](ToolsTab::FileDialog kind, const QString &caption, const QString &folder,
                               const QString &filter) {
            asked << QStringList{kind == ToolsTab::FileDialog::Save ? "save" : "open", caption, folder, filter}.join('|');
            return answer;
        });
        QSignalSpy notices(&tab, &ToolsTab::noticeRequested);
        QSignalSpy restarts(&tab, &ToolsTab::restartRequested);
        QSignalSpy about(&tab, &ToolsTab::aboutRequested);
        const auto click = [&tab](const char *name) {
            QPushButton *button = tab.findChild<QPushButton *>(name);
            QVERIFY2(button, name);
            button->click();
        };
        const auto lastNotice = [&notices] { return notices.isEmpty() ? QString() : notices.last().at(0).toString(); };

        answer = QDir::tempPath() + "/tst_toolstab.csv";
        QVERIFY(TestEnv::writeFile(answer, "Actinomyces israelii ,1000\nFoo 3,200\n"));
        click("pushButton_import");
        QCOMPARE(asked.takeLast(), "open|csv file|" + settings.exportFolder() + "|csv files (*.csv)");
        QCOMPARE(lastNotice(), QString("Imported: 2 new, 0 updated"));
        Presets saved;
        saved.setPath(settings.dataFolder() + "genpresets.dat");
        QVERIFY(saved.readBase());
        QCOMPARE(saved.count(), 2);

        const QString backupFile = QDir::tempPath() + "/tst_toolstab-backup";
        answer = backupFile;
        click("pushButton_backup");
        QCOMPARE(asked.takeLast(), "save|backup file|" + settings.backupFolder() + "|backup files (*.bkp)");
        QCOMPARE(lastNotice(), QString("Backup written"));
        QVERIFY(QFile::exists(backupFile + ".bkp"));

        // A cancelled dialog, then a file of another version: no restart.
        const int noticesBefore = notices.size();
        answer.clear();
        click("pushButton_restore");
        QCOMPARE(asked.takeLast(), "open|backup file|" + settings.backupFolder() + "|backup files (*.bkp)");
        QCOMPARE(notices.size(), noticesBefore);
        answer = QDir::tempPath() + "/tst_toolstab-v2.bkp";
        QVERIFY(TestEnv::writeFile(answer, Container::encode({{"Version", "2"}})));
        click("pushButton_restore");
        QVERIFY(lastNotice().startsWith("Restore refused"));
        QCOMPARE(restarts.size(), 0);

        answer = backupFile + ".bkp";
        click("pushButton_restore");
        QCOMPARE(restarts.size(), 1);

        click("pushButton_about");
        QCOMPARE(about.size(), 1);
    }
};

QTEST_MAIN(TestToolsTab)
#include "tst_toolstab.moc"
