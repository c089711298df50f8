#include "support/libraryfixture.h"
#include "support/testenv.h"
#include "work/deviceslots.h"
#include "editors/programeditor.h"
#include "editors/programlinesmodel.h"

#include <QAbstractItemModelTester>
#include <QTest>

namespace {

// A general program "P" v1 whose one line names preset "Five" v0.
void fill(LibraryFixture &f)
{
    f.addPreset(1, "Five", 0, 5, "1000.0");
    Programs &programs = f.library.programs();
    programs.insertNew(0, "op");
    programs.setName("P");
    programs.setVersion(1);
    programs.change(programs.keyAt(programs.current()), [](Program &program) {
        program.insertLine(0);
        program.setLineName("Five");
        program.time = 5;
    });
    programs.saveBase();
}

} // namespace

class TestProgramEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void timeOverride_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("total");
        QTest::newRow("own time") << "10" << "10 (5)" << 10;
        QTest::newRow("preset's time removes the override") << "5" << "5" << 5;
        QTest::newRow("not a number changes nothing") << "ten" << "7 (5)" << 7;
    }

    void timeOverride()
    {
        QFETCH(QString, typed);
        LibraryFixture f;
        fill(f);
        ProgramEditor editor(f.library);
        editor.open(true, f.programKey(true, 0));
        QCOMPARE(editor.caption(), QString("Program\nP.v.1"));
        QCOMPARE(editor.totalMinutes(), 5);
        // The edit arrives as the Program tab's table makes it.
        ProgramLinesModel lines(editor);
        QAbstractItemModelTester tester(&lines, QAbstractItemModelTester::FailureReportingMode::QtTest);
        lines.refill();
        const QModelIndex time = lines.index(0, ProgramLinesModel::ColumnTime);
        QVERIFY(lines.flags(time) & Qt::ItemIsEditable);
        QVERIFY(!(lines.flags(lines.index(0, ProgramLinesModel::ColumnName)) & Qt::ItemIsEditable));
        QVERIFY(lines.setData(time, "7"));  // an override first, so that "5" has one to remove
        QCOMPARE(lines.setData(time, typed), typed != "ten");
        QTEST(time.data().toString(), "shown");
        QTEST(lines.totalMinutes(), "total");
        QTEST(editor.totalMinutes(), "total");

        QVERIFY(editor.commit());
        f.library.programs().readBase();
        QTEST(f.library.programs().timeMinutes(), "total");
    }

    void linesAndAdding()
    {
        LibraryFixture f;
        fill(f);
        f.addClient("Ana");
        f.addPreset(0, "Mine", 0, 3);
        f.addPreset(2, "Legit", 2, 4, "42.0");
        f.addPreset(1, "Twice", 0);
        f.addPreset(2, "Twice", 0);
        ProgramEditor editor(f.library);
        QCOMPARE(editor.addPreset(1, "Legit", 2), ProgramEditor::NoProgram);
        editor.open(true, f.programKey(true, 0));

        QCOMPARE(editor.addPreset(0, "Mine", 0), ProgramEditor::ClientToGeneral);
        QCOMPARE(editor.addResultText(ProgramEditor::ClientToGeneral), QString(" ERROR: client to global"));
        for (const char *name : {"Twice", "Gone", "Legit"})
            QCOMPARE(editor.addPreset(name == QString("Legit") ? 2 : 1, name, name == QString("Legit") ? 2 : 0),
                     ProgramEditor::Added);

        const QList<ProgramLineView> lines = editor.lineViews();
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.at(0).name, QString("Legit"));  // added at the top
        QCOMPARE(lines.at(0).poolWord, QString("Legitimate"));
        QCOMPARE(lines.at(0).frequency, QString("42.0"));
        QCOMPARE(lines.at(1).notes, QString("Not found"));
        QCOMPARE(lines.at(1).poolWord, QString());
        QCOMPARE(lines.at(1).timeText, QString());
        ProgramLinesModel model(editor);
        model.refill();
        QVERIFY(!model.setData(model.index(1, ProgramLinesModel::ColumnTime), "8"));
        QCOMPARE(lines.at(2).notes, QString("Duplicate"));
        QCOMPARE(lines.at(3).poolWord, QString("General"));
        QCOMPARE(editor.totalMinutes(), 4 + 5);

        // The lines reached the file with the add.
        f.library.programs().readBase();
        QCOMPARE(f.library.programs().currentProgram()->count(), 4);

        QCOMPARE(editor.moveDown(0), 1);
        QCOMPARE(editor.moveUp(0), 0);
        editor.deleteLine(1);
        QCOMPARE(editor.lineViews().at(1).name, QString("Twice"));
    }

    void newProgramAndCheck()
    {
        LibraryFixture f;
        fill(f);
        const QString ana = f.addClient("Ana");
        ProgramEditor editor(f.library);
        DeviceSlots devices;

        // Opening a program and leaving it changes nothing, though its
        // stored total is no longer its presets' sum; nor does sending it
        // to no device.
        Presets &general = f.library.generalPresets();
        general.change(general.keyAt(0), [](Preset &five) { five.time = 6; });
        const quint64 revision = f.library.programs().revision();
        QVERIFY(editor.open(true, f.programKey(true, 0)));
        QVERIFY(editor.commit());
        QCOMPARE(editor.toWork(devices), SendToWork::NoDevice);
        QCOMPARE(f.library.programs().revision(), revision);
        QVERIFY(!f.library.programs().changedSinceFile());
        general.change(general.keyAt(0), [](Preset &five) { five.time = 5; });

        // With no client open, a client's program is kept with the reason.
        f.library.closeClient();
        editor.newProgram(false, 0);
        editor.check("Loose", 1);
        QVERIFY(!editor.commit());
        QVERIFY(editor.holdsRefusedEdit());
        QCOMPARE(editor.message(), QString(ProgramEditor::noClientMessage));
        QVERIFY(f.library.openClient(ana));

        // A new program is in no list until stored; left as it came, it goes.
        editor.newProgram(true, 0);
        QCOMPARE(f.library.programs().count(), 1);
        QVERIFY(!editor.commit());
        QVERIFY(!editor.isLoaded());

        // A refused new program stays open with its edits and the reason,
        // also when a preset is added before it has a name; once its name
        // is acceptable it is stored with all of them.
        editor.newProgram(false, 0);
        QCOMPARE(editor.addPreset(0, "Five", 0), ProgramEditor::NotSaved);
        QCOMPARE(editor.addResultText(ProgramEditor::NotSaved),
                 QString(" Not added: the program cannot be saved: Will not be saved: a program needs a name"));
        QVERIFY(editor.isLoaded());
        editor.setNotes("typed");
        editor.check("P", 1);
        QCOMPARE(editor.message(),
                 QString("Protected can't save - program exist in general, please change name or version"));
        QVERIFY(!editor.commit());
        QCOMPARE(editor.toWork(devices), SendToWork::NotSaved);
        QVERIFY(editor.isLoaded() && editor.isNewPending());
        QCOMPARE(editor.message(),
                 QString("Protected can't save - program exist in general, please change name or version"));
        QCOMPARE(f.library.history().programs().count(), 0);
        editor.check("Fresh", 1);
        QVERIFY(editor.commit());
        f.library.clients().loadHistory();
        QCOMPARE(f.library.history().programs().count(), 1);
        QCOMPARE(f.library.history().programs().notes(), QString("typed"));
        f.library.history().programs().removeCurrent();

        // The pair is judged again when it is stored: a clash that came
        // since it was typed refuses it, one gone since no longer does.
        editor.newProgram(false, 0);
        editor.check("Late", 1);
        QVERIFY(editor.message().isEmpty());
        Program late;
        late.name = "Late";
        late.version = 1;
        const quint64 lateKey = f.library.programs().insert(0, late);
        QVERIFY(!editor.commit());
        QCOMPARE(editor.message(),
                 QString("Protected can't save - program exist in general, please change name or version"));
        QCOMPARE(f.library.history().programs().count(), 0);
        QVERIFY(f.library.programs().remove(lateKey));
        QVERIFY(editor.commit());
        QCOMPARE(f.library.history().programs().count(), 1);
        f.library.history().programs().remove(f.library.history().programs().keyAt(0));

        // A program shown under a refused pair is never sent nor added to.
        Programs &mine = f.library.history().programs();
        mine.insertNew(0, "op");
        mine.setName("Mine");
        QVERIFY(f.library.history().saveBase());
        QVERIFY(editor.open(false, f.programKey(false, 0)));
        editor.check("P", 1);
        QCOMPARE(editor.addPreset(0, "Five", 0), ProgramEditor::NotSaved);
        QCOMPARE(editor.lineViews().size(), 0);
        QCOMPARE(editor.toWork(devices), SendToWork::NotSaved);
        editor.check("Mine", 0);

        // Times a device cannot run, alone or in the total, are refused.
        QCOMPARE(editor.addPreset(0, "Five", 0), ProgramEditor::Added);
        QCOMPARE(editor.addPreset(0, "Five", 0), ProgramEditor::Added);
        QVERIFY(editor.setLineTime(0, "1093").startsWith("Will not be saved"));
        QCOMPARE(editor.setLineTime(0, "1000"), QString());
        QVERIFY(editor.setLineTime(1, "100").contains("over 1092 minutes"));
        QCOMPARE(editor.totalMinutes(), 1005);

        QVERIFY(!editor.open(true, 0));
        // Clearing a stored program's name keeps every edit, with the reason.
        editor.open(true, f.programKey(true, 0));
        editor.setNotes("kept");
        editor.check("", 1);
        QVERIFY(!editor.commit());
        QCOMPARE(editor.message(), QString("Will not be saved: a program needs a name"));
        QVERIFY(editor.holdsRefusedEdit());
        QCOMPARE(editor.notes(), QString("kept"));
        editor.check("Q", 1);
        QCOMPARE(editor.caption(), QString("Program\nQ.v.1"));
        QVERIFY(editor.commit());
        f.library.programs().readBase();
        QCOMPARE(f.library.programs().name(), QString("Q"));
    }
};

QTEST_GUILESS_MAIN(TestProgramEditor)
#include "tst_programeditor.moc"
