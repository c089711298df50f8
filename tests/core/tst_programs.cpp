#include "data/container.h"
#include "data/programs.h"
#include "support/testenv.h"

#include <QTest>

namespace {

Programs readBack(const QJsonArray &records, const QString &fileName)
{
    TestEnv::writeFile(TestEnv::dataFolder() + fileName,
                       Container::encode({{"version", "1"}, {"programs", records}}));
    Programs programs;
    programs.setPath(TestEnv::dataFolder() + fileName);
    programs.readBase();
    return programs;
}

QJsonArray savedRecords(const Programs &programs)
{
    programs.saveBase();
    return Container::decode(TestEnv::readFile(programs.path())).value("programs").toArray();
}

} // namespace

class TestPrograms : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void nestedLinesAndWords()
    {
        const QJsonArray lines {
            QJsonObject{{"nam", "P1"}, {"ver", "3"}, {"typ", "Program"}, {"tim", "90"}},
            QJsonObject{{"nam", "P2"}, {"typ", "preset"}, {"tim", "1440"}},
            QJsonObject{{"typ", "Notes"}, {"ver", 4}},
            "not an object",
        };
        Programs programs = readBack({
            QJsonObject{{"nam", "A"}, {"for", "X"}, {"program", lines},
                        {"version", "7"}, {"programVersion", "9"}},
            QJsonObject{{"nam", "B"}, {"for", "T8"}, {"program", QJsonObject{{"nam", "x"}}}},
            QJsonObject{{"nam", "C"}, {"for", 1}},
        }, "programs.dat");
        QCOMPARE(programs.count(), 3);
        const Program &a = programs.records().at(0);
        QCOMPARE(a.count(), 4);
        QCOMPARE(a.forMachine, 0);
        QCOMPARE(a.records().at(0).type, 2);
        QCOMPARE(a.records().at(0).time, QTime(1, 30));
        QCOMPARE(a.records().at(1).type, 1);
        QVERIFY(!a.records().at(1).time.isValid());
        QCOMPARE(a.records().at(2).type, 3);
        QCOMPARE(a.records().at(2).version, 0);
        QCOMPARE(a.records().at(3).type, 1);  // read defaults
        QCOMPARE(programs.records().at(1).count(), 0);
        QCOMPARE(programs.records().at(1).forMachine, 1);
        QCOMPARE(programs.records().at(2).forMachine, 0);

        // A program keeps its value on an unknown word, where a preset would reset it.
        programs.setCurrent(1);
        programs.setForMachineWord("t8");
        QCOMPARE(programs.forMachine(), 1);

        const QJsonArray saved = savedRecords(programs);
        const QJsonObject savedA = saved.at(0).toObject();
        QCOMPARE(savedA["for"].toString(), QString("T5 T7"));
        QCOMPARE(savedA["version"].toString(), QString("1"));
        QCOMPARE(savedA["programVersion"].toString(), QString("1"));
        const QJsonArray savedLines = savedA["program"].toArray();
        QCOMPARE(savedLines.size(), 4);
        QCOMPARE(savedLines.at(0)["typ"].toString(), QString("Program"));
        QCOMPARE(savedLines.at(0)["tim"].toString(), QString("90"));
        QCOMPARE(savedLines.at(1)["typ"].toString(), QString("Preset"));
        QCOMPARE(savedLines.at(1)["tim"].toString(), QString("-61"));
        QCOMPARE(savedLines.at(3)["nam"].toString(), QString());
        QCOMPARE(saved.at(1)["program"].toArray().size(), 0);
        QCOMPARE(saved.at(1)["version"].toString(), QString("1"));
    }

    void insertIndexOfAndLines()
    {
        Programs programs = readBack({
            QJsonObject{{"nam", "Twin"}, {"ver", "1"}},
            QJsonObject{{"nam", "Solo"}, {"ver", "1"}},
            QJsonObject{{"nam", "Twin"}, {"ver", "1"}},
        }, "index.dat");
        programs.setFilter("Solo");
        QCOMPARE(programs.indexOf("Twin", 1), -2);
        QVERIFY(!programs.filterActive());
        QCOMPARE(programs.current(), programs.count());
        QCOMPARE(programs.name(), QString());
        QCOMPARE(programs.indexOf("Solo", 1), 1);
        QCOMPARE(programs.indexOf("Solo", 2), -1);
        QCOMPARE(programs.indexOf("twin", 1), -1);

        programs.insertNew(1, "Operator");
        QCOMPARE(programs.count(), 4);
        QCOMPARE(programs.current(), 1);
        QCOMPARE(programs.author(), QString("Operator"));
        QCOMPARE(programs.timeText(), QString("0"));
        QCOMPARE(programs.records().at(2).name, QString("Solo"));

        Program *program = programs.currentProgram();
        QVERIFY(program);
        program->insertLine(0);
        program->insertLine(99);  // past the end: appended
        QCOMPARE(program->count(), 2);
        QCOMPARE(program->current(), 1);
        QCOMPARE(program->lineTypeWord(), QString("Preset"));
        QCOMPARE(program->lineTimeText(), QString("-61"));
        program->setLineTimeText("45");
        program->setLineTypeWord("Notes");
        program->setLineTypeWord("nonsense");
        program->setLineName("Line");
        program->setLineVersionText("12");
        QVERIFY(programs.saveBase());

        Programs read;
        read.setFolder(TestEnv::dataFolder());
        QCOMPARE(read.path(), TestEnv::dataFolder() + "programs.dat");
        read.setPath(programs.path());
        QVERIFY(read.readBase());
        read.select(1);
        const ProgramLine line = read.currentProgram()->records().at(1);
        QCOMPARE(line.name, QString("Line"));
        QCOMPARE(line.version, 12);
        QCOMPARE(line.type, 3);
        QCOMPARE(line.time, QTime(0, 45));
    }
};

QTEST_GUILESS_MAIN(TestPrograms)
#include "tst_programs.moc"
