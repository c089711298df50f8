#include "data/presets.h"
#include "maintenance/csvimport.h"
#include "support/testenv.h"

#include <QTest>

namespace {

const QByteArray header = "1,preset\n"
                          "name,version,variable,worktime,notes,created,modified,formachine,author,obtained\n";

// "name|version|frequency|minutes|notes|created|modified|for|author|obtained";
// a date set by the import itself reads "now".
QString describe(const Preset &p)
{
    const auto date = [](const QDateTime &d) {
        return d.isValid() && qAbs(d.secsTo(QDateTime::currentDateTime())) < 120
                   ? QStringLiteral("now") : d.toString("dd.MM.yyyy hh:mm");
    };
    return QStringList{p.name, QString::number(p.version), p.variable,
                       QString::number(p.time.isValid() ? p.time.hour() * 60 + p.time.minute() : -1),
                       p.notes, date(p.created), date(p.modified), Preset::forMachineWord(p.forMachine),
                       p.author, Preset::obtainedWord(p.obtained)}.join('|');
}

Preset preset(const QString &name, int version, const QString &frequency)
{
    Preset p;
    p.name = name;
    p.version = version;
    p.variable = frequency;
    p.time = QTime(0, 7);
    p.notes = "old";
    p.author = "Ann";
    return p;
}

} // namespace

Q_DECLARE_METATYPE(QList<Preset>)

class TestCsvImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void importsIntoPool_data()
    {
        QTest::addColumn<QByteArray>("csv");  // null: no file at all
        QTest::addColumn<QList<Preset>>("pool");
        QTest::addColumn<int>("runs");
        QTest::addColumn<QStringList>("expected");

        const QString kept = "A|1|x|7|old|||T5 T7|Ann|Calc";
        QTest::newRow("preset table: overwrites eight fields, adds an unknown pair, skips short lines")
            << header + "A,1,123.4,90,new note,01.02.2024 10:00,03.04.2025 11:30,T8,Bob,FScan\n"
                        "B,2,5,1,n,x,x,T8,Bob\n"
                        "\n"
                        "C,abc,7,3,n,bad date,02.01.2020 00:05,??,Eve,??\n"
            << QList<Preset>{preset("A", 1, "x")} << 1
            << QStringList{"A|1|123.4|90|new note|01.02.2024 10:00|03.04.2025 11:30|T8|Bob|FScan",
                           "C|0|7|3|n||02.01.2020 00:05|T5 T7|Eve|Calc"};
        QTest::newRow("preset table: of two equal pairs the later is updated")
            << header + "A,1,9,1,n,,,T8,Bob,Calc\n"
            << QList<Preset>{preset("A", 1, "x"), preset("A", 1, "y")} << 1
            << QStringList{kept, "A|1|9|1|n|||T8|Bob|Calc"};
        QTest::newRow("preset table: header differing in one character")
            << QByteArray("1,preset\n"
                          "name,version,variable,worktime,notes,created,modified,formachine,author,Obtained\n"
                          "A,1,9,1,n,,,T8,Bob,Calc\n")
            << QList<Preset>{preset("A", 1, "x")} << 1 << QStringList{kept};
        const QByteArray frequencies = "Actinomyces israelii ,1000\r\n"
                                       "  Foo   3 , 200.5 \n"
                                       "Bar12,300\n"
                                       "\n"
                                       "a line without a comma\n"
                                       "Caf\xe9,400\n"
                                       "7,500\n";
        const QStringList imported{"Actinomyces israelii|0|1000|5||now|now|T5 T7|Tavik Genuine|DNA List",
                                   "Foo|3|200.5|5||now|now|T5 T7|Tavik Genuine|DNA List",
                                   "Bar|12|300|5||now|now|T5 T7|Tavik Genuine|DNA List",
                                   QString::fromUtf8("Café|0|400|5||now|now|T5 T7|Tavik Genuine|DNA List"),
                                   "7|0|500|5||now|now|T5 T7|Tavik Genuine|DNA List"};
        QTest::newRow("frequency table into an empty pool") << frequencies << QList<Preset>{} << 1 << imported;
        QTest::newRow("frequency table imported twice adds nothing")
            << frequencies << QList<Preset>{} << 2 << imported;
        QTest::newRow("frequency table updates the pair a line carries")
            << QByteArray("Actinomyces israelii ,1\nFoo 3,9\n")
            << QList<Preset>{preset("Foo", 3, "x"), preset("Foo", 0, "y")} << 1
            << QStringList{"Foo|3|9|7|old|now|now|T5 T7|Tavik Genuine|DNA List", "Foo|0|y|7|old|||T5 T7|Ann|Calc",
                           "Actinomyces israelii|0|1|5||now|now|T5 T7|Tavik Genuine|DNA List"};
        QTest::newRow("unknown first line") << QByteArray("name,frequency\nFoo,1\n")
                                            << QList<Preset>{preset("A", 1, "x")} << 1 << QStringList{kept};
        QTest::newRow("no file") << QByteArray() << QList<Preset>{preset("A", 1, "x")} << 1 << QStringList{kept};
    }

    void importsIntoPool()
    {
        QFETCH(QByteArray, csv);
        QFETCH(QList<Preset>, pool);
        QFETCH(int, runs);
        QFETCH(QStringList, expected);

        const QString path = TestEnv::dataFolder() + "import.csv";
        QFile::remove(path);
        if (!csv.isNull())
            QVERIFY(TestEnv::writeFile(path, csv));
        Presets store;
        store.records() = pool;
        store.setCurrent(pool.size());
        Import import;
        import.setFileName(path);
        for (int run = 0; run < runs; ++run)
            QVERIFY(import.importCsv(store));

        QStringList got;
        for (const Preset &p : store.records())
            got << describe(p);
        QCOMPARE(got, expected);
        QCOMPARE(store.current(), pool.size());
        QCOMPARE(import.fileError().isEmpty(), !csv.isNull());
    }
};

QTEST_GUILESS_MAIN(TestCsvImport)
#include "tst_csvimport.moc"
