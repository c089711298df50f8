// A process killed while it saves leaves the old file or the new one, whole;
// a temporary file a kill leaves beside it is a whole save too.

#include "data/container.h"
#include "data/presets.h"
#include "support/testenv.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
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
            // A kill between the temporary file's link and its rename (a
            // rare, narrow window of QSaveFile) leaves it under its temporary
            // name; it is then a whole save too, never a partial one.
            const QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
            for (const QString &file : files) {
                if (file == "presets.dat")
                    continue;
                QVERIFY2(QRegularExpression("^presets\\.dat\\.[A-Za-z0-9]{6}$").match(file).hasMatch(), qPrintable(file));
                QVERIFY(generationIn(dir.filePath(file)) >= base);
                QFile::remove(dir.filePath(file));
                ++leftovers;
            }
        }
        qInfo() << "temporary files left by a kill:" << leftovers << "of" << rounds;
    }
};

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--save-forever") == 0)
        saveForever(QString::fromLocal8Bit(argv[2]), atoi(argv[3]));
    QCoreApplication app(argc, argv);
    TestKillSave test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_killsave.moc"
