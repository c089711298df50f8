// A process killed while it saves leaves the old file or the new one, whole;
// a restore killed at any moment leaves the data as it was or as the backup
// has it, once the next start has run.

#include "data/container.h"
#include "data/presets.h"
#include "support/installation.h"
#include "support/testenv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// Generation g holds 300 + g % 100 presets named "g <g>", so a file mixing
// two saves, or cut short, shows.
int sizeOf(int generation)
{
    return 300 + generation % 100;
}

#ifdef __SANITIZE_ADDRESS__
constexpr int rounds = 50;  // each child starts several times slower
#else
constexpr int rounds = 200;
#endif

[[noreturn]] void saveForever(const QString &path, int firstGeneration)
{
#ifdef Q_OS_UNIX
    // A test run cut short (a time-out) must not leave a child saving for ever.
    const pid_t parent = getppid();
#endif
    for (int generation = firstGeneration;; ++generation) {
#ifdef Q_OS_UNIX
        if (getppid() != parent)
            _exit(0);
#endif
        Presets presets;
        presets.setPath(path);
        for (int i = 0; i < sizeOf(generation); ++i) {
            presets.insertNew();
            presets.setName(QStringLiteral("g %1").arg(generation));
        }
        presets.saveBase();
    }
}

// The generation in the file, checking that the file is one whole save.
int generationIn(const QString &path)
{
    Presets read;
    read.setPath(path);
    if (!read.readBase() || read.count() == 0)
        return -1;
    const QString name = read.records().first().name;
    const int generation = name.mid(2).toInt();
    if (read.count() != sizeOf(generation))
        return -2;
    for (const Preset &preset : read.records()) {
        if (preset.name != name)
            return -3;
    }
    return generation;
}

#ifdef __SANITIZE_ADDRESS__
constexpr int restoreRounds = 8;
#else
constexpr int restoreRounds = 24;
#endif

} // namespace

class TestKillSave : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedSavesLeaveAWholeFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("presets.dat");
        QRandomGenerator random(12);
        int leftovers = 0;
        for (int round = 0; round < rounds; ++round) {
            // Each child counts its saves from its own base, so that the
            // kill is known to come after at least one save of its own.
            const int base = (round + 1) * 1000;
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {"--save-forever", path, QString::number(base)});
            QVERIFY(child.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(generationIn(path) >= base, 60000);
            QTest::qWait(int(random.bounded(0, 40)));
            child.kill();
            QVERIFY(child.waitForFinished(20000));

            QJsonObject rest;
            QCOMPARE(Container::readFile(path, rest), Container::ReadStatus::Read);
            QVERIFY(generationIn(path) >= base);
            // A kill before the rename leaves the save's own file beside it,
            // which the next start removes.
            const QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
            for (const QString &file : files) {
                if (file == "presets.dat")
                    continue;
                QCOMPARE(file, QString("presets.dat") + Container::stagedSuffix);
                ++leftovers;
            }
            QVERIFY(Container::finishPending(dir.path()));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"presets.dat"});
            QVERIFY(generationIn(path) >= base);
        }
        qInfo() << "unfinished saves left by a kill:" << leftovers << "of" << rounds;
    }

    void killedRestoreLeavesOneWholeVersion()
    {
        TestEnv::useTemporaryHome();
        const QString folder = TestEnv::dataFolder();
        QTemporaryDir dir;
        const QString backup = dir.filePath("new.bkp");
        seedFolder(QStringList(120, "new client"), "new", 10, 6000);
        QVERIFY(Installation().backup.write(backup));
        const Files old = seedFolder(QStringList(100, "old client"), "old", 10, 5000);

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(QProcess::execute(QCoreApplication::applicationFilePath(), {"--restore", backup}), 0);
        const int whole = int(clock.elapsed());
        // The note of the restore names its safety copy, made anew each
        // time: it counts only as being there with the restored data.
        Files restored = filesIn(folder);
        QVERIFY(!restored.take("restored.dat").isEmpty());
        QVERIFY(restored != old);

        QRandomGenerator random(21);
        int asOld = 0;
        for (int round = 0; round < restoreRounds; ++round) {
            putBack(folder, old);
            const int after = int(random.bounded(whole + 1));
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {"--restore", backup});
            QVERIFY(child.waitForStarted());
            QThread::msleep(after);
            child.kill();
            QVERIFY(child.waitForFinished(20000));
            QVERIFY(Container::finishPending(folder));  // what the next start does first
            Files now = filesIn(folder);
            const bool noted = !now.take("restored.dat").isEmpty();
            QVERIFY2((now == old && !noted) || (now == restored && noted),
                     qPrintable(QString("round %1: killed %2 ms after the start of a %3 ms restore left a mix")
                                    .arg(round).arg(after).arg(whole)));
            asOld += now == old;
        }
        qInfo() << "a restore of" << whole << "ms killed" << restoreRounds << "times:" << asOld << "left the old data,"
                << restoreRounds - asOld << "the restored data";
    }
};

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--save-forever") == 0)
        saveForever(QString::fromLocal8Bit(argv[2]), atoi(argv[3]));
    if (argc == 3 && qstrcmp(argv[1], "--restore") == 0) {
        // The temporary home comes with the environment.
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName("TavikStudio");
        Installation in;
        return in.backup.restore(QString::fromLocal8Bit(argv[2])) == Backup::Restored ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    TestKillSave test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_killsave.moc"
