#include "data/settings.h"
#include "data/container.h"
#include "support/testenv.h"

#include <QCborMap>
#include <QCborValue>
#include <QDir>
#include <QJsonObject>
#include <QTest>

class TestSettings : public QObject
{
    Q_OBJECT

    QString path() const { return TestEnv::dataFolder() + "settings.dat"; }
    void writeSettings(const QJsonObject &object)
    {
        QVERIFY(TestEnv::writeFile(path(), Container::encode(object)));
    }

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }
    void cleanup() { QFile::remove(path()); }

    // A first start: folders are made, the missing file gives the defaults.
    void firstStart()
    {
        Settings settings;
        settings.init("settings.dat");
        for (const QString &folder : {settings.dataFolder(), settings.backupFolder(), settings.exportFolder()})
            QVERIFY2(QDir(folder).exists(), qPrintable(folder));
        QVERIFY(settings.backupFolder().endsWith("/TavikStudio/backup/"));
        QVERIFY(settings.exportFolder().endsWith("/TavikStudio/export/"));
        QCOMPARE(settings.settingsPath(), path());
        QVERIFY(settings.settingsPath().startsWith(QDir::homePath()));

        QVERIFY(!settings.readSettings());
        QCOMPARE((std::tuple{settings.operatorName(), settings.machineAutoconnect(), settings.presetsPool(),
                             settings.programsGeneral()}), (std::tuple{QString("noname"), true, 0, false}));
    }

    void readRules_data()
    {
        QTest::addColumn<QJsonObject>("stored");
        QTest::addColumn<int>("pool");
        QTest::addColumn<bool>("programsGeneral");
        QTest::addColumn<bool>("autoconnect");
        QTest::addColumn<QString>("operatorName");

        const QJsonObject person{{"typ", "Eva"}};
        QTest::newRow("pool 2, general, on")
            << QJsonObject{{"presetsGenuine", "2"}, {"programsGenuine", "1"},
                           {"machineAutoconnect", "7"}, {"operator", person}}
            << 2 << true << true << "Eva";
        QTest::newRow("pool 3 is 0") << QJsonObject{{"presetsGenuine", "3"}} << 0 << false << false << "noname";
        QTest::newRow("empty pool is 0") << QJsonObject{{"presetsGenuine", ""}} << 0 << false << false << "noname";
        QTest::newRow("programs true is false")
            << QJsonObject{{"programsGenuine", "true"}} << 0 << false << false << "noname";
        QTest::newRow("autoconnect abc") << QJsonObject{{"machineAutoconnect", "abc"}} << 0 << false << false << "noname";
        QTest::newRow("autoconnect 0") << QJsonObject{{"machineAutoconnect", "0"}} << 0 << false << false << "noname";
        QTest::newRow("numbers instead of strings")
            << QJsonObject{{"presetsGenuine", 2}, {"programsGenuine", 1}, {"machineAutoconnect", 1}}
            << 0 << false << false << "noname";
        QTest::newRow("operator as a string") << QJsonObject{{"operator", "Eva"}} << 0 << false << false << "noname";
        QTest::newRow("operator name not a string")
            << QJsonObject{{"operator", QJsonObject{{"typ", 5}}}} << 0 << false << false << "noname";
        QTest::newRow("three blanks") << QJsonObject{{"operator", QJsonObject{{"typ", "   "}}}}
                                      << 0 << false << false << "noname";
        QTest::newRow("blanks around letters kept")
            << QJsonObject{{"operator", QJsonObject{{"typ", " Jan "}}}} << 0 << false << false << " Jan ";
    }

    void readRules()
    {
        QFETCH(QJsonObject, stored);
        writeSettings(stored);
        Settings settings;
        settings.init("settings.dat");
        QVERIFY(settings.readSettings());
        QFETCH(int, pool);
        QFETCH(bool, programsGeneral);
        QFETCH(bool, autoconnect);
        QFETCH(QString, operatorName);
        QCOMPARE(settings.presetsPool(), pool);
        QCOMPARE(settings.programsGeneral(), programsGeneral);
        QCOMPARE(settings.machineAutoconnect(), autoconnect);
        QCOMPARE(settings.operatorName(), operatorName);
    }

    void roundTripThroughTheFile()
    {
        Settings written;
        written.init("settings.dat");
        written.setGeometry(QByteArray::fromHex("01d9d0cb00030000ff"));
        written.setPresetsPool(1);
        written.setProgramsGeneral(true);
        written.setOperatorName("Ondřej");
        QCOMPARE(written.pauseLimitMinutes(), 30);
        written.setPauseLimitMinutes(45);
        QVERIFY(written.saveSettings());

        // The stored form: geometry as lower-case hex, every value a string
        // but the operator, no "version" key.
        const QCborMap map = QCborValue::fromCbor(TestEnv::readFile(path())).toMap();
        QStringList stored;
        for (const char *key : {"geometry", "presetsGenuine", "programsGenuine", "machineAutoconnect", "pauseLimit"})
            stored << map.value(QLatin1String(key)).toString();
        QCOMPARE(stored, (QStringList{"01d9d0cb00030000ff", "1", "1", "0", "45"}));
        QVERIFY(!map.contains(QStringLiteral("version")));

        Settings read;
        read.init("settings.dat");
        QVERIFY(read.readSettings());
        QCOMPARE(read.geometry(), written.geometry());
        QCOMPARE(read.presetsPool(), 1);
        QVERIFY(read.programsGeneral());
        QCOMPARE(read.operatorName(), QString("Ondřej"));
        QVERIFY(!read.machineAutoconnect());
        QCOMPARE(read.pauseLimitMinutes(), 45);
        // A limit of no minutes, or none at all, keeps the last one.
        read.fromJson(QJsonObject {{"pauseLimit", "0"}});
        read.fromJson(QJsonObject {{"pauseLimit", "abc"}});
        QCOMPARE(read.pauseLimitMinutes(), 45);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
