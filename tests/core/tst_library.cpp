#include "data/container.h"
#include "data/library.h"
#include "support/libraryfixture.h"
#include "support/testenv.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestLibrary : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void loadsEveryFileWithoutWarnings()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        QVERIFY(writeLibraryFolder(folder));

        Library library;
        library.clients().setFilter("Bo");
        QTest::failOnWarning(QRegularExpression(".*"));
        library.load(folder);

        QCOMPARE((QStringList{library.generalPresets().name(), library.legitimatePresets().name(), library.programs().name(),
                              library.openClientName(), library.history().notes().text(), library.presetPool(0).name(),
                              library.history().programs().name()}),
                 (QStringList{"G1", "L1", "P1", "Ana", "hello", "C1", "CP1"}));
        QCOMPARE(library.programs().currentProgram()->count(), 1);
        QVERIFY(!library.clients().filterActive());
    }

    void poolsReadBesideArriveWholeAndAsStored()
    {
        QTemporaryDir first;
        QTemporaryDir second;
        QVERIFY(writeLibraryFolder(first.path() + "/"));
        QVERIFY(writeLibraryFolder(second.path() + "/"));
        TestEnv::writeFile(second.path() + "/presets.dat",
                           Container::encode({{"presets", namedRecords({"S1", "S2", "S3"})}}));

        Library library;
        library.load(first.path() + "/");
        QVERIFY(!library.poolsInPlace());
        // A second load before the first's pools arrived: the second folder's pools.
        library.load(second.path() + "/");
        QCOMPARE(library.presetPool(PresetPool::General).count(), 3);
        QVERIFY(library.poolsInPlace());
        QCOMPARE(library.generalPresets().name(), QString("S1"));
        QCOMPARE(library.legitimatePresets().path(), second.path() + "/genpresets.dat");
        // Read, not changed: leaving the list writes nothing.
        QVERIFY(!library.generalPresets().changedSinceFile());
        QVERIFY(!library.legitimatePresets().changedSinceFile());
    }

    void missingFilesLeaveStoresEmpty()
    {
        QTemporaryDir dir;
        Library library;
        // A first start: no file is there yet, and nothing failed.
        QTest::failOnWarning(QRegularExpression("Couldn't open save file"));
        library.load(dir.path() + "/");
        QCOMPARE(library.generalPresets().count(), 0);
        QVERIFY(!library.hasOpenClient());
    }
};

QTEST_GUILESS_MAIN(TestLibrary)
#include "tst_library.moc"
