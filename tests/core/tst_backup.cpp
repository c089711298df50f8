#include "app/settings.h"
#include "data/container.h"
#include "data/library.h"
#include "discovery/deviceslots.h"
#include "maintenance/backup.h"
#include "support/testenv.h"
#include "work/worklist.h"

#include <QDir>
#include <QJsonArray>
#include <QTest>

#include <memory>

namespace {

// The program's stores as a start-up finds them in the data folder.
struct Installation
{
    Settings settings;
    Library library;
    WorkList work;
    DeviceSlots devices;
    Backup backup{settings, library, work, devices};

    Installation()
    {
        settings.init("settings.dat");
        settings.readSettings();
        library.load(settings);
        work.setPath(settings.dataFolder() + "work.dat");
        work.readBase();
        devices.registry().setFolder(settings.dataFolder());
        devices.registry().readBase();
        devices.bindDevices();
    }

    // What a person would see: clients with their history, the pools, the
    // work list, the devices and the operator.
    QStringList describe()
    {
        QStringList result;
        Clients &clients = library.clients();
        for (int i = 0; i < clients.count(); ++i) {
            clients.setCurrent(i);
            clients.loadHistory();
            QString line = "client " + clients.name() + ":";
            for (const Note &note : clients.history().records())
                line += " " + note.text;
            for (const Preset &preset : clients.history().presets().records())
                line += " " + preset.name;
            result << line;
        }
        const auto names = [](const Presets &pool) {
            QStringList list;
            for (const Preset &preset : pool.records())
                list << preset.name;
            return list.join(',');
        };
        result << "general " + names(library.generalPresets()) << "legitimate " + names(library.legitimatePresets())
               << "work " + work.programName << "operator " + settings.operatorName();
        for (const Machine &machine : devices.registry().records())
            result << "device " + machine.name;
        return result;
    }
};

void clearDataFolder()
{
    QDir(TestEnv::dataFolder()).removeRecursively();
    TestEnv::dataFolder();
}

// Writes an installation with one client per name, each with a note and a
// client preset, and every other store marked with the tag.
void seed(const QStringList &clientNames, const QString &tag)
{
    clearDataFolder();
    Installation installation;
    Clients &clients = installation.library.clients();
    for (const QString &name : clientNames) {
        clients.setCurrent(clients.count());
        clients.insertNew();
        clients.setName(name);
        History &history = clients.history();
        history.clear();
        history.insertNote(0);
        history.setText("note of " + name);
        history.presets().insertNew();
        history.presets().setName("preset of " + name);
        QVERIFY(clients.saveHistory());
    }
    QVERIFY(clients.saveBase());
    installation.library.generalPresets().insertNew();
    installation.library.generalPresets().setName("general " + tag);
    QVERIFY(installation.library.generalPresets().saveBase());
    installation.library.legitimatePresets().insertNew();
    installation.library.legitimatePresets().setName("legitimate " + tag);
    QVERIFY(installation.library.legitimatePresets().saveBase());
    installation.work.programName = "work " + tag;
    QVERIFY(installation.work.saveBase());
    Machines &registry = installation.devices.registry();
    registry.addMachine(DeviceSlots::count);
    registry.setName("device " + tag);
    QVERIFY(registry.saveBase());
    installation.settings.setOperatorName("operator " + tag);
    QVERIFY(installation.settings.saveSettings());
}

QMap<QString, QByteArray> dataFiles()
{
    QMap<QString, QByteArray> files;
    const QDir folder(TestEnv::dataFolder());
    for (const QString &name : folder.entryList(QDir::Files))
        files.insert(name, TestEnv::readFile(folder.filePath(name)));
    return files;
}

QStringList backupFolderFiles()
{
    Settings settings;
    settings.init("settings.dat");
    return QDir(settings.backupFolder()).entryList(QDir::Files);
}

} // namespace

class TestBackup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void restoreReplacesEverythingAndCanBeUndone()
    {
        seed({"Ann", "Bob"}, "old");
        const QString file = QDir::tempPath() + "/tst_backup_two.bkp";
        QStringList two;
        {
            Installation installation;
            installation.library.clients().setCurrent(1);
            installation.library.clients().loadHistory();
            QVERIFY(installation.backup.write(file));
            // The backup leaves the current client and its history alone.
            QCOMPARE(installation.library.clients().current(), 1);
            QCOMPARE(installation.library.history().presets().name(), QString("preset of Bob"));
            two = installation.describe();
        }
        const QJsonObject written = Container::decode(TestEnv::readFile(file));
        QCOMPARE(written.value("Version").toString(), QString("1"));
        QCOMPARE(written.value("History").toArray().size(), 2);

        seed({"C1", "C2", "C3", "C4", "C5"}, "new");
        QStringList five;
        QString safetyFile;
        const QStringList safetyBefore = backupFolderFiles();
        {
            Installation installation;
            five = installation.describe();
            QCOMPARE(installation.backup.restore(file), Backup::Restored);
            QCOMPARE(installation.describe(), two);
            safetyFile = installation.backup.safetyBackupPath();
        }
        QCOMPARE(Installation().describe(), two);

        const QStringList safety = backupFolderFiles();
        QCOMPARE(safety.size(), safetyBefore.size() + 1);
        {
            Installation installation;
            QVERIFY(safetyFile.contains("/backup/before-restore-"));
            QCOMPARE(installation.backup.restore(safetyFile), Backup::Restored);
        }
        Installation undone;
        QCOMPARE(undone.describe(), five);
        QCOMPARE(undone.library.clients().count(), 5);
    }

    void faultyFileChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const auto encoded = [](const QJsonObject &object) { return Container::encode(object); };
        const QJsonObject clients{{"version", "1"}, {"clients", QJsonArray{QJsonObject{{"name", "X"}, {"file", "abc"}}}}};
        const QJsonObject presets{{"version", "1"}, {"presets", QJsonArray{}}};
        const QJsonObject history{{"version", "1"}, {"history", QJsonArray{}}};
        QTest::newRow("version 2") << encoded({{"Version", "2"}, {"Presets", presets}});
        QTest::newRow("version as a number") << encoded({{"Version", 1}, {"Presets", presets}});
        QTest::newRow("history FileName ../x")
            << encoded({{"Clients", clients}, {"History", QJsonArray{QJsonObject{{"FileName", "../x"}}}}});
        QTest::newRow("history without FileName")
            << encoded({{"Clients", clients}, {"History", QJsonArray{QJsonObject{{"FileName", "abc"}}, history}}});
        QTest::newRow("history element not an object")
            << encoded({{"Clients", clients}, {"History", QJsonArray{"abc"}}});
        QTest::newRow("clients without histories") << encoded({{"Clients", clients}});
        QTest::newRow("presets without their list") << encoded({{"Presets", QJsonObject{{"version", "1"}}}});
        QTest::newRow("settings not an object") << encoded({{"Presets", presets}, {"Settings", "x"}});
        QTest::newRow("no section") << encoded({{"Version", "1"}});
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("not CBOR") << QByteArray("name,version\n");
        QTest::newRow("cut short") << encoded({{"Presets", presets}}).chopped(3);
        QTest::newRow("data after the object") << encoded({{"Presets", presets}}) + QByteArray(1, '\0');
    }

    void faultyFileChangesNothing()
    {
        QFETCH(QByteArray, bytes);
        seed({"Ann", "Bob"}, "kept");
        const QString file = QDir::tempPath() + "/tst_backup_faulty.bkp";
        QVERIFY(TestEnv::writeFile(file, bytes));
        const QMap<QString, QByteArray> before = dataFiles();
        const QStringList safetyBefore = backupFolderFiles();

        Installation installation;
        const QStringList shown = installation.describe();
        QCOMPARE(installation.backup.restore(file), Backup::Refused);
        QVERIFY(!installation.backup.message().isEmpty());
        QCOMPARE(installation.describe(), shown);
        QCOMPARE(dataFiles(), before);
        QCOMPARE(backupFolderFiles(), safetyBefore);
    }

    void onlyPresetsReplacesTheGeneralPool()
    {
        seed({"Ann"}, "kept");
        const QString file = QDir::tempPath() + "/tst_backup_presets.bkp";
        const QJsonObject preset{{"nam", "restored"}};
        QVERIFY(TestEnv::writeFile(file, Container::encode({{"Presets", QJsonObject{{"version", "1"}, {"presets", QJsonArray{preset}}}}})));
        QMap<QString, QByteArray> expected = dataFiles();

        Installation installation;
        QStringList shown = installation.describe();
        QCOMPARE(installation.backup.restore(file), Backup::Restored);
        shown.replace(shown.indexOf("general general kept"), "general restored");
        QCOMPARE(installation.describe(), shown);
        QMap<QString, QByteArray> after = dataFiles();
        QVERIFY(after.take("presets.dat") != expected.take("presets.dat"));
        QCOMPARE(after, expected);
    }
};

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
