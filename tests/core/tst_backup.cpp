#include "data/container.h"
#include "support/installation.h"
#include "support/testenv.h"
#include "work/sequencer.h"

#include <QDir>
#include <QJsonArray>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

Files files(const QString &folder = TestEnv::dataFolder(), const Files &part = {})
{
    return filesIn(folder, part);
}

// Clients, the open one, the first General preset, the operator, the first device.
QStringList held(Installation &in)
{
    return {QString::number(in.library.clients().count()), in.library.openClientName(),
            in.library.generalPresets().records().value(0).name, in.settings.operatorName(),
            in.devices.registry().records().value(0).name};
}

} // namespace

class TestBackup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void restoreReplacesEverythingAndCanBeUndone()
    {
        const Files two = seedFolder({"Ann", "Bob"}, "old");
        const QString file = QDir::tempPath() + "/tst_backup_two.bkp";
        {
            // The client open now is the one the restore opens, not the
            // one the settings file last named.
            Installation in;
            QVERIFY(in.library.openClient(in.library.clients().records().at(1).file));
            QVERIFY(in.backup.write(file));
            QCOMPARE(in.library.history().notes().text(), QString("note of Bob"));
        }
        // The settings file also names the client open at the backup.
        Files twoStores = two;
        twoStores.remove("settings.dat");
        const Files five = seedFolder({"C1", "C2", "C3", "C4", "C5"}, "new");
        Files fiveStores = five;
        fiveStores.remove("settings.dat");
        QString safety;
        {
            // The window's way: the files are written from copies of the
            // stores, and the stores the window shows change only at the end.
            Installation in;
            Backup::Applied applied =
                Backup::apply(Backup::read(file), in.backup.stores(), in.backup.nextSafetyPath());
            QCOMPARE(applied.outcome, Backup::Restored);
            QCOMPARE(files(TestEnv::dataFolder(), twoStores), twoStores);
            QCOMPARE(held(in), (QStringList{"5", "C1", "new", "new", "new"}));
            QCOMPARE(in.backup.finish(std::move(applied)), Backup::Restored);
            // The program starts again on the files: nothing more is read
            // into the window, nor saved from it.
            QCOMPARE(held(in), (QStringList{"5", "C1", "new", "new", "new"}));
            safety = in.backup.safetyBackupPath();
            QVERIFY(Backup::restoredNote(TestEnv::dataFolder()).startsWith("Data restored from "));
            Backup::forgetRestoredNote(TestEnv::dataFolder());
        }
        {
            Installation in;
            QCOMPARE(held(in), (QStringList{"2", "Bob", "old", "old", "old"}));
        }
        QCOMPARE(files(TestEnv::dataFolder(), twoStores), twoStores);  // clients.dat too: exactly the two
        QVERIFY(safety.contains("/backup/before-restore-"));
        {
            Installation in;
            QCOMPARE(in.library.clients().count(), 2);
            QCOMPARE(in.backup.restore(safety), Backup::Restored);
        }
        QCOMPARE(files(TestEnv::dataFolder(), fiveStores), fiveStores);

        // A backup made with no client open: the start that follows its
        // restore opens the restored list's first client, as at a first
        // start and as the restore itself did.
        {
            Installation in;
            in.library.closeClient();
            QVERIFY(in.backup.write(file));
            QVERIFY(in.library.openClient(in.library.clients().records().at(2).file));
            QCOMPARE(in.backup.restore(file), Backup::Restored);
        }
        {
            Installation in;
            QCOMPARE(in.library.openClientFile(), in.library.clients().records().value(0).file);
            QVERIFY(in.library.hasOpenClient());
        }

        // A pair in two pools, as an older version could store it: such a
        // backup is the operator's only one, and is restored as it is; the
        // word of the restore names each pair as the editor refuses it.
        {
            Installation in;
            Preset sun = Preset::newRecord();
            sun.name = "Sun";
            sun.version = 1;
            Preset moon = sun;
            moon.name = "Moon";
            Program day = Program::newRecord();
            day.name = "Day";
            day.version = 1;
            in.library.generalPresets().insert(0, sun);
            in.library.legitimatePresets().insert(0, sun);
            in.library.generalPresets().insert(0, moon);
            in.library.history().presets().insert(0, moon);
            in.library.history().presets().insert(0, moon);  // twins in one pool are no clash
            in.library.programs().insert(0, day);
            in.library.history().programs().insert(0, day);
            QVERIFY(in.library.history().saveBase());
            QVERIFY(in.backup.write(file));
            const QString client = in.library.openClientName();
            QCOMPARE(in.backup.restore(file), Backup::Restored);
            const QString note = Backup::restoredNote(TestEnv::dataFolder());
            const QString refused = "Protected can't save - %1 exist in %2, please change name or version";
            // The folder's own "new" v0 stands in both pools already.
            const QStringList pairs{"General preset \"Sun\" version 1: " + refused.arg("preset", "legitimate"),
                                    "General preset \"new\" version 0: " + refused.arg("preset", "legitimate"),
                                    "Preset \"Moon\" version 1 of client \"" + client + "\": " + refused.arg("preset", "general"),
                                    "Program \"Day\" version 1 of client \"" + client + "\": " + refused.arg("program", "general")};
            QVERIFY2(note.split('\n').mid(2) == pairs, qPrintable(note));
            Backup::forgetRestoredNote(TestEnv::dataFolder());
        }
        {
            Installation in;
            in.library.takePools();
            QCOMPARE(in.library.generalPresets().countOf("Sun", 1) + in.library.legitimatePresets().countOf("Sun", 1), 2);
            QCOMPARE(in.library.history().presets().countOf("Moon", 1), 2);
            QCOMPARE(in.library.history().programs().countOf("Day", 1), 1);
        }

        // A history empty in the backup empties the file the client has since.
        {
            Installation in;
            Clients &clients = in.library.clients();
            clients.setCurrent(0);
            clients.loadHistory();
            clients.history().notes().setCurrent(0);
            clients.history().notes().removeCurrent();
            QVERIFY(clients.saveHistory());
            QVERIFY(in.backup.write(file));
            clients.history().notes().insertNote(0);
            QVERIFY(clients.saveHistory());
            QCOMPARE(in.backup.restore(file), Backup::Restored);
        }
        Installation in;
        in.library.clients().setCurrent(0);
        in.library.clients().loadHistory();
        QCOMPARE(in.library.history().notes().count(), 0);
    }

    // A file that cannot be written part-way through leaves every file, and
    // the stores in memory, as they were.
    void failedWriteChangesNothing()
    {
        seedFolder({"Ann", "Bob"}, "old");
        const QString file = QDir::tempPath() + "/tst_backup_failed.bkp";
        QVERIFY(Installation().backup.write(file));
        const Files before = seedFolder({"C1", "C2", "C3"}, "new");
        const QString blocker = TestEnv::dataFolder() + "presets.dat" + Container::stagedSuffix;
        QVERIFY(QDir().mkpath(blocker));
        {
            Installation in;
            QCOMPARE(in.backup.restore(file), Backup::SaveFailed);
            QCOMPARE(in.backup.message(), "Restore failed: the General presets could not be written. Nothing was changed.");
            QCOMPARE(files(), before);
            QCOMPARE(held(in), (QStringList{"3", "C1", "new", "new", "new"}));
            QVERIFY(QDir(blocker).removeRecursively());
            QCOMPARE(in.backup.restore(file), Backup::Restored);
        }
        QCOMPARE(Installation().library.clients().count(), 2);

        // A commit whose renames did not all land, which the next start
        // finishes: until then the restored devices must be served.
        seedFolder({"C1"}, "new");
        {
            Installation in;
            Backup::Applied applied =
                Backup::apply(Backup::read(file), in.backup.stores(), in.backup.nextSafetyPath());
            applied.outcome = Backup::SaveFailed;  // as a failed rename leaves it
            QCOMPARE(in.backup.finish(std::move(applied)), Backup::SaveFailed);
            QCOMPARE(in.devices.registry().records().first().name, QString("old"));
            QVERIFY(in.devices.registry().records().first().hasDeviceSlot());
            QVERIFY(in.devices.selectedController());
        }

        // A backup that changed after it was read and checked is not copied.
        const Files changed = seedFolder({"C1"}, "new");
        {
            Installation in;
            const Backup::Read read = Backup::read(file);
            QVERIFY(read.why.isEmpty());
            QVERIFY(TestEnv::writeFile(file, TestEnv::readFile(file).replace("old", "odd")));
            QCOMPARE(Backup::apply(read, in.backup.stores(), in.backup.nextSafetyPath()).outcome, Backup::SaveFailed);
        }
        QCOMPARE(files(), changed);
    }

    // A history that is there but cannot be read is not backed up as empty.
    void unreadableHistoryFailsTheBackup()
    {
        seedFolder({"Ann", "Bob"}, "kept");
        Installation in;
        const QString bob = in.library.clients().records().at(1).file + ".dat";
        QVERIFY(QFile::remove(TestEnv::dataFolder() + bob));
        QVERIFY(QDir(TestEnv::dataFolder()).mkdir(bob));
        const QString path = QDir::tempPath() + "/tst_backup_unreadable.bkp";
        QFile::remove(path);
        QString why;
        QVERIFY(!in.backup.write(path, &why));
        QCOMPARE(why, "the history of client \"Bob\" (" + bob + ") cannot be read");
        QVERIFY(!QFile::exists(path));
        QCOMPARE(in.backup.restore(path), Backup::Refused);
    }

    // A pipe or a device chosen in the dialog is refused at once, saying
    // what it is, and the restore changes nothing.
    void notAFileIsRefusedAtOnce()
    {
        const Files before = seedFolder({"Ann"}, "kept");
        const QString pipe = QDir::tempPath() + "/tst_backup_pipe.bkp";
        const QString zero = QDir::tempPath() + "/tst_backup_zero.bkp";
        QFile::remove(pipe);
        QFile::remove(zero);
        QCOMPARE(QProcess::execute("mkfifo", {pipe}), 0);
        QVERIFY(QFile::link("/dev/zero", zero));
        // A reader that waits in open() for a writer gets one, late, so
        // that it fails here rather than hangs.
        std::thread writer([&pipe] {
            QThread::sleep(2);
            if (const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK); fd >= 0)
                ::close(fd);
        });
        const QString pipeWhy = Backup::read(pipe).why;
        writer.join();
        QCOMPARE(pipeWhy, "a named pipe, not a plain file");
        QCOMPARE(Backup::read(zero).why, "a device, not a plain file");
        QCOMPARE(Backup::read(QDir::tempPath()).why, "a folder, not a plain file");
        Installation in;
        QCOMPARE(in.backup.restore(zero), Backup::Refused);
        QCOMPARE(in.backup.message(), "Restore refused: a device, not a plain file. Nothing was changed.");
        QCOMPARE(files(), before);
    }

    // Clients whose file the program never opens (a path, one of its own
    // files) or shares with another client are backed up so that the
    // backup restores, and the operator is told how.
    void everyClientIsBackedUpAsItsRestoreTakes()
    {
        seedFolder({"Ann", "Bob", "Cy", "Di", "Ed"}, "old");
        const QString folder = TestEnv::dataFolder();
        const QString outside = folder + "../../../evil.dat";
        QFile::remove(outside);
        const QString file = QDir::tempPath() + "/tst_backup_unusable.bkp";
        {
            Installation in;
            const QList<Client> &records = in.library.clients().records();
            const QStringList files{records.at(0).file, "machines", "../../../evil", "untold", records.at(0).file};
            QJsonArray list;
            for (int i = 0; i < files.size(); ++i)
                list.append(QJsonObject{{"name", records.at(i).name}, {"file", files.at(i)}});
            QVERIFY(Container::writeFile(folder + "clients.dat", {{"version", "1"}, {"clients", list}}));
        }
        {
            Installation in;
            QStringList remarks;
            QVERIFY(in.backup.write(file, nullptr, &remarks));
            QCOMPARE(remarks.size(), 4);
            QCOMPARE(remarks.at(0), "Client \"Bob\" names a file the program does not use (\"machines\"); "
                                    "it is in the backup with an empty history");
            QVERIFY(remarks.at(3).startsWith("Client \"Ed\" shares its history file with another client"));
            QCOMPARE(in.backup.restore(file), Backup::Restored);
        }
        Installation in;
        QCOMPARE(in.library.clients().count(), 5);
        QVERIFY(in.library.openClient(in.library.clients().records().at(4).file));
        QCOMPARE(in.library.history().notes().text(), QString("note of Ann"));
        QVERIFY(in.library.openClient(in.library.clients().records().at(1).file));
        QCOMPARE(in.library.history().notes().count(), 0);
        QVERIFY(!QFileInfo::exists(outside));
    }

    void faultyFileChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QJsonObject clients{{"version", "1"}, {"clients", QJsonArray{QJsonObject{{"name", "X"}, {"file", "abc"}}}}};
        const QJsonObject presets{{"version", "1"}, {"presets", QJsonArray{}}};
        const auto withHistory = [&clients](const QJsonValue &element) {
            return Container::encode({{"Clients", clients}, {"History", QJsonArray{QJsonObject{{"FileName", "abc"}}, element}}});
        };
        QTest::newRow("version 2") << Container::encode({{"Version", "2"}, {"Presets", presets}});
        QTest::newRow("FileName ../x") << withHistory(QJsonObject{{"FileName", "../x"}});
        QTest::newRow("no FileName") << withHistory(QJsonObject{{"history", QJsonArray{}}});
        QTest::newRow("clients without histories") << Container::encode({{"Clients", clients}});
        QTest::newRow("an empty list of histories") << Container::encode({{"Clients", clients}, {"History", QJsonArray{}}});
        QTest::newRow("a history's notes not a list") << Container::encode(
            {{"Clients", clients}, {"History", QJsonArray{QJsonObject{{"FileName", "abc"}, {"history", QJsonObject{}}}}}});
        const auto named = [](const QStringList &clientFiles, const QStringList &historyFiles) {
            QJsonArray list, histories;
            for (const QString &file : clientFiles)
                list.append(QJsonObject{{"name", file}, {"file", file}});
            for (const QString &file : historyFiles)
                histories.append(QJsonObject{{"FileName", file}, {"history", QJsonArray{}}});
            return Container::encode({{"Clients", QJsonObject{{"clients", list}}}, {"History", histories}});
        };
        QTest::newRow("a history as machines.dat") << named({"machines"}, {"machines"});
        for (const char *own : {"restored", "untold", "runs", "nul"})
            QTest::addRow("a history as %s.dat", own) << named({"abc", own}, {"abc", own});
        QTest::newRow("a history as Clients.dat") << named({"abc", "Clients"}, {"abc", "Clients"});
        QTest::newRow("two histories of one file") << named({"abc"}, {"abc", "abc"});
        QTest::newRow("a history of no client") << named({"abc"}, {"abc", "def"});
        QTest::newRow("two clients of one file") << named({"abc", "ABC"}, {"abc"});
        QTest::newRow("presets without a list") << Container::encode({{"Presets", QJsonObject{{"version", "1"}}}});
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("cut short") << Container::encode({{"Presets", presets}}).chopped(3);
        // A pool is read a piece at a time: a record that does not decode,
        // after pieces that did, still changes nothing.
        QJsonArray many;
        for (int i = 0; i < 20000; ++i)
            many.append(QJsonObject{{"nam", QString("preset %1").arg(i)}, {"not", QString(60, 'n')}});
        QByteArray large = Container::encode({{"Presets", QJsonObject{{"version", "1"}, {"presets", many}}}});
        large[large.indexOf("preset 5000")] = '\xff';  // not UTF-8
        QTest::newRow("a damaged record deep in a pool") << large;
        QTest::newRow("a pool cut off inside a record") << large.left(large.size() * 3 / 4);
        // Something that is not a record among the records: the pool's own
        // file would then be kept aside at the next start.
        QTest::newRow("a number in a pool") << Container::encode({{"Presets", QJsonObject{{"version", "1"}, {"presets", QJsonArray{0}}}}});
        QTest::newRow("lists in a pool") << Container::encode(
            {{"Presets", QJsonObject{{"version", "1"}, {"presets", QJsonArray{QJsonArray{QJsonArray{0}}}}}}});
        QTest::newRow("a second list in a pool") << Container::encode(
            {{"Presets", QJsonObject{{"version", "1"}, {"presets", QJsonArray{}}, {"prerets", QJsonArray{QJsonObject{}}}}}});
        many.append(0);
        QTest::newRow("a number deep in a pool") << Container::encode({{"GenuinePresets", QJsonObject{{"version", "1"}, {"presets", many}}}});
        QTest::newRow("a text in the programs") << Container::encode({{"Programs", QJsonObject{{"version", "1"}, {"programs", QJsonArray{"p"}}}}});
        // The same within a record's own list.
        const auto withList = [](const char *list, const QJsonValue &element) {
            return QJsonObject{{"version", "1"}, {list, QJsonArray{QJsonObject{}, element}}};
        };
        QTest::newRow("a number among a program's lines") << Container::encode(
            {{"Programs", withList("programs", QJsonObject{{"nam", "P"}, {"program", QJsonArray{QJsonObject{}, 5}}})}});
        QTest::newRow("a text in a device's work list") << Container::encode(
            {{"Machines", withList("machines", QJsonObject{{"Work", withList("program", "x")}})}});
        QTest::newRow("a number in a device's log") << Container::encode(
            {{"Machines", withList("machines", QJsonObject{{"logs", withList("logs", 1)}})}});
        QTest::newRow("a text among a history's program's lines") << Container::encode(
            {{"Clients", clients}, {"History", QJsonArray{QJsonObject{{"FileName", "abc"}, {"programs", QJsonArray{QJsonObject{{"program", QJsonArray{QJsonObject{}, "x"}}}}}}}}});
        QTest::newRow("a number in a history") << Container::encode(
            {{"Clients", clients}, {"History", QJsonArray{QJsonObject{{"FileName", "abc"}, {"presets", QJsonArray{QJsonObject{}, 7}}}}}});
        QTest::newRow("data after it") << Container::encode({{"Presets", presets}}) + '\0';
    }

    void faultyFileChangesNothing()
    {
        QFETCH(QByteArray, bytes);
        const Files before = seedFolder({"Ann", "Bob"}, "kept");
        const QString file = QDir::tempPath() + "/tst_backup_faulty.bkp";
        QVERIFY(TestEnv::writeFile(file, bytes));
        Installation in;
        const Files safetyBefore = files(in.settings.backupFolder());
        QCOMPARE(in.backup.restore(file), Backup::Refused);
        QVERIFY(in.backup.message().startsWith("Restore refused: "));
        QCOMPARE(files(), before);
        QCOMPARE(files(in.settings.backupFolder()), safetyBefore);
    }

    // A restore writes no store that the program would not read back, and a
    // backup it writes it can always restore.
    void limitsAgree()
    {
        QJsonArray presets;
        for (int i = 0; i < 50; ++i)
            presets.append(QJsonObject{{"nam", QString(20, 'p')}});
        const QJsonObject pool{{"version", "1"}, {"presets", presets}};
        const qint64 size = Container::encode(pool).size();
        QString why;
        QVERIFY(Backup::check({{"Presets", pool}}, why, size));
        QVERIFY(!Backup::check({{"Presets", pool}}, why, size - 1));
        QCOMPARE(why, "the section \"Presets\" is larger than the program reads");
        const QJsonObject clients{{"version", "1"}, {"clients", QJsonArray{QJsonObject{{"name", "A"}, {"file", "abc"}}}}};
        const QJsonObject history{{"FileName", "abc"}, {"history", presets}};
        QVERIFY(!Backup::check({{"Clients", clients}, {"History", QJsonArray{history}}}, why, size - 1));
        QCOMPARE(why, "history 1 of the backup is larger than the program reads");
        // A library of seven full stores can be backed up, so a restore's
        // safety backup is never stopped by the size of what it keeps.
        static_assert(Backup::maxFileSize >= 7 * Container::sizeLimit, "a backup of every full store must restore");
    }

    void onlyPresetsReplacesTheGeneralPool()
    {
        Files before = seedFolder({"Ann"}, "kept");
        const QString file = QDir::tempPath() + "/tst_backup_presets.bkp";
        const QJsonArray list{QJsonObject{{"nam", "restored"}}};
        QVERIFY(TestEnv::writeFile(file, Container::encode({{"Presets", QJsonObject{{"version", "1"}, {"presets", list}}}})));
        Installation in;
        in.devices.sequencer(4).resize(1);
        in.devices.sequencer(4).setItem(0, "Item.v.1", "440", 1);
        QVERIFY(in.devices.sequencer(4).start());
        QCOMPARE(in.backup.restore(file), Backup::Refused);  // would leave the device unsupervised
        QCOMPARE(files(), before);
        in.devices.sequencer(4).stop();
        // An edit not yet stored in the pool the backup does not carry stays.
        in.library.legitimatePresets().first();
        in.library.legitimatePresets().setName("edited");
        QCOMPARE(in.backup.restore(file), Backup::Restored);
        Files after = files();
        QVERIFY(after.take("presets.dat") != before.take("presets.dat"));
        QVERIFY(!after.take("restored.dat").isEmpty());
        QCOMPARE(after, before);
        Installation again;
        QCOMPARE((QStringList{again.library.generalPresets().name(), again.library.legitimatePresets().name()}),
                 (QStringList{"restored", "kept"}));
    }
};

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
