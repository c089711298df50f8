#include "data/container.h"
#include "data/library.h"
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
        const QString id = "00112233445566778899aabbccddeeff";
        const auto write = [&](const QString &name, const QJsonObject &object) {
            QVERIFY(TestEnv::writeFile(folder + name, Container::encode(object)));
        };
        write("presets.dat", {{"version", "1"}, {"presets", QJsonArray{
            QJsonObject{{"nam", "G1"}}, QJsonObject{{"nam", "G2"}}}}});
        write("genpresets.dat", {{"version", "1"}, {"presets", QJsonArray{QJsonObject{{"nam", "L1"}}}}});
        write("programs.dat", {{"version", "1"}, {"programs", QJsonArray{QJsonObject{
            {"nam", "Prog"}, {"program", QJsonArray{QJsonObject{{"nam", "G1"}}}}}}}});
        write("clients.dat", {{"version", "1"}, {"clients", QJsonArray{
            QJsonObject{{"name", "Ana"}, {"file", id}}, QJsonObject{{"name", "Bo"}}}}});
        write(id + ".dat", {{"version", "1"},
                            {"history", QJsonArray{QJsonObject{{"typ", "Notes"}, {"not", "hello"}}}},
                            {"presets", QJsonArray{QJsonObject{{"nam", "C1"}}}},
                            {"programs", QJsonArray{QJsonObject{{"nam", "CP"}}}}});

        Library library;
        library.clients().setFilter("Bo");
        QTest::failOnWarning(QRegularExpression(".*"));
        library.load(folder);

        QCOMPARE(library.generalPresets().name(), QString("G1"));
        QCOMPARE(library.legitimatePresets().name(), QString("L1"));
        QCOMPARE(library.programs().name(), QString("Prog"));
        QCOMPARE(library.programs().currentProgram()->count(), 1);
        QVERIFY(!library.clients().filterActive());
        QCOMPARE(library.openClientName(), QString("Ana"));
        QCOMPARE(library.history().text(), QString("hello"));
        QCOMPARE(library.presetPool(0).name(), QString("C1"));
        QCOMPARE(library.history().programs().name(), QString("CP"));
    }

    void missingFilesLeaveStoresEmpty()
    {
        QTemporaryDir dir;
        Library library;
        for (int i = 0; i < 4; ++i)
            QTest::ignoreMessage(QtWarningMsg, "Couldn't open save file.");
        library.load(dir.path() + "/");
        QCOMPARE(library.generalPresets().count(), 0);
        QVERIFY(!library.hasOpenClient());
    }
};

QTEST_GUILESS_MAIN(TestLibrary)
#include "tst_library.moc"
