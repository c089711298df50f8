// A process killed while it saves leaves the old file or the new one, whole,
// and no temporary file beside it.

#include "data/container.h"
#include "data/presets.h"
#include "support/testenv.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

namespace {

// Generation g holds 1000 + g % 100 presets named "g <g>", so a file mixing
// two saves, or cut short, shows.
int sizeOf(int generation)
{
    return 1000 + generation % 100;
}

[[noreturn]] void saveForever(const QString &path)
{
    for (int generation = 1;; ++generation) {
        Presets presets;
        presets.setPath(path);
        for (int i = 0; i < sizeOf(generation); ++i) {
            presets.insertNew();
            presets.setName(QStringLiteral("g %1").arg(generation));
        }
        presets.saveBase();
    }
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
        int generationsSeen = 0;
        for (int round = 0; round < 200; ++round) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {"--save-forever", path});
            QVERIFY(child.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path), 20000);
            QTest::qWait(int(random.bounded(1, 40)));
            child.kill();
            QVERIFY(child.waitForFinished(20000));

            Presets read;
            read.setPath(path);
            QJsonObject rest;
            QCOMPARE(Container::readFile(path, rest), Container::ReadStatus::Read);
            QVERIFY(read.readBase());
            const QString name = read.records().first().name;
            const int generation = name.mid(2).toInt();
            QCOMPARE(read.count(), sizeOf(generation));
            for (const Preset &preset : read.records())
                QCOMPARE(preset.name, name);
            generationsSeen = qMax(generationsSeen, generation);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"presets.dat"});
        }
        QVERIFY(generationsSeen > 1);  // the kills did land among saves
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--save-forever") == 0)
        saveForever(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    TestKillSave test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_killsave.moc"
