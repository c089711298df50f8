#include "data/presetlookup.h"
#include "support/libraryfixture.h"
#include "support/testenv.h"
#include "editors/preseteditor.h"

#include <QTest>

namespace {

constexpr int C = 1, G = 2, L = 4;

const QString overwrite = PresetEditor::overwriteMessage;
QString refused(const char *pool)
{
    return QString("Protected can't save - preset exist in %1, please change name or version").arg(pool);
}

// The edited preset "Edited" v0 lives in `pool`; "X" v1 in each pool of `where`.
void fill(LibraryFixture &f, int pool, int where)
{
    f.addClient("Ana");
    f.addPreset(pool, "Edited", 0);
    for (int p : {0, 1, 2}) {
        if (where & (p == 0 ? C : p == 1 ? G : L))
            f.addPreset(p, "X", 1);
    }
}

} // namespace

class TestPresetEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void checkTable_data()
    {
        QTest::addColumn<int>("pool");
        QTest::addColumn<int>("where");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("saveRefused");
        QTest::addColumn<bool>("overwriteWarned");
        QTest::newRow("nowhere") << 1 << 0 << QString() << false << false;
        QTest::newRow("client in client") << 0 << (C | G) << overwrite << false << true;
        QTest::newRow("client, general") << 0 << (G | L) << refused("general") << true << false;
        QTest::newRow("client, legitimate") << 0 << L << refused("legitimate") << true << false;
        QTest::newRow("general in general") << 1 << (G | L) << overwrite << false << true;
        QTest::newRow("general, client") << 1 << (C | L) << refused("client") << true << false;
        QTest::newRow("general, legitimate") << 1 << L << refused("legitimate") << true << false;
        QTest::newRow("legitimate in legitimate") << 2 << (L | G) << overwrite << false << true;
        QTest::newRow("legitimate, general") << 2 << (G | C) << refused("general") << true << false;
        QTest::newRow("legitimate, client") << 2 << C << refused("client") << true << false;
    }

    void checkTable()
    {
        QFETCH(int, pool);
        QFETCH(int, where);
        LibraryFixture f;
        fill(f, pool, where);
        PresetEditor editor(f.library);
        editor.open(pool, f.presetKey(pool, 0));
        QCOMPARE(editor.fields().name, QString("Edited"));
        editor.check("X", 1);
        QTEST(editor.message(), "message");
        QTEST(editor.saveRefused(), "saveRefused");
        QTEST(editor.overwriteWarned(), "overwriteWarned");

        // Typing the saved pair back clears whatever was said.
        editor.check("Edited", 0);
        QCOMPARE(editor.message(), QString());
        QVERIFY(!editor.saveRefused() && !editor.overwriteWarned());
    }

    void commitPaths()
    {
        LibraryFixture f;
        Presets &general = f.library.generalPresets();
        f.addPreset(1, "A", 0, 5);
        f.addPreset(1, "B", 0, 7);
        f.addPreset(2, "L", 0);
        PresetEditor editor(f.library);
        editor.setAuthor("op");

        // New, left as it came: nothing is added, and a second commit
        // does not write the empty fields over another preset.
        editor.newPreset(1, 0);
        QCOMPARE(general.count(), 2);
        PresetFields empty = editor.fields();
        QVERIFY(!editor.commit(empty));
        QCOMPARE(general.count(), 2);
        QVERIFY(!editor.isLoaded());
        QVERIFY(!editor.commit(empty));
        QCOMPARE(general.records().at(0).name, QString("A"));

        // A client's preset with no client open: kept with the reason.
        editor.newPreset(PresetPool::Client, 0);
        PresetFields loose = editor.fields();
        loose.name = "Loose";
        QVERIFY(!editor.commit(loose));
        QVERIFY(editor.holdsRefusedEdit());
        QCOMPARE(editor.message(), QString(PresetEditor::noClientMessage));

        // Overwrite: the other record goes, the edited one takes the pair.
        editor.open(1, f.presetKey(1, 0));
        PresetFields fields = editor.fields();
        fields.name = "B";
        fields.notes = "edited A";
        editor.check(fields.name, fields.version);
        QVERIFY(editor.overwriteWarned());
        QVERIFY(editor.commit(fields));
        general.readBase();
        QCOMPARE(general.count(), 1);
        QCOMPARE(general.records().at(0).name, QString("B"));
        QCOMPARE(general.records().at(0).notes, QString("edited A"));
        QCOMPARE(general.records().at(0).time, 5);

        // A named new preset is saved with the operator as author.
        editor.newPreset(1, 0);
        fields = editor.fields();
        QCOMPARE(fields.variable, QString("5000.0"));
        QCOMPARE(fields.workTime, QString("5"));
        fields.name = "N";
        fields.workTime = "12";
        QVERIFY(editor.commit(fields));
        general.readBase();
        QCOMPARE(general.count(), 2);
        QCOMPARE(general.records().at(0).author, QString("op"));
        QCOMPARE(general.records().at(0).time, 12);

        // A refused new preset stays in the editor with what was typed and
        // why, in no list, until it can be stored; its pair is judged again
        // at the commit, so a pair another pool took since is refused too.
        for (const auto &[name, time] : {std::pair{"L", "7"}, {"Free", "0"}, {"", "7"}, {"Late", "7"}}) {
            editor.newPreset(1, 0);
            fields = editor.fields();
            fields.notes = "typed";
            fields.name = name;
            fields.workTime = time;
            editor.check(name, 0);
            if (QString(name) == "Late")
                f.addPreset(2, "Late", 0);
            QVERIFY2(!editor.commit(fields), name);
            QVERIFY2(editor.message().startsWith(*name ? (time == QString("0") ? "Will not be saved: " : "Protected")
                                                       : "Will not be saved: a preset needs a name"),
                     qPrintable(editor.message()));
            QVERIFY(editor.isLoaded() && editor.isNewPending());
            QCOMPARE(general.count(), 2);
        }
        fields.name = "Free";
        QVERIFY(editor.commit(fields));
        general.readBase();
        QCOMPARE(general.records().at(0).name, QString("Free"));
        QCOMPARE(general.records().at(0).notes, QString("typed"));

        // A preset a download took out of its pool while it was edited is
        // stored anew with what was typed.
        QVERIFY(editor.open(2, f.presetKey(2, 0)));
        fields = editor.fields();
        fields.notes = "edited while downloading";
        Preset downloaded = Preset::newRecord();
        downloaded.name = "D";
        f.library.legitimatePresets().editRecords() = {downloaded};
        QVERIFY(editor.commit(fields));
        QCOMPARE(namesIn(f.library.legitimatePresets().path(), "presets"), (QStringList{"D", "L"}));
        QCOMPARE(f.library.legitimatePresets().records().at(1).notes, QString("edited while downloading"));
        // Edited and stored, or only opened, then taken out by a download
        // (which writes the pool itself): nothing typed is held, so the
        // download stands and the editor lets go of the record.
        Presets &legitimate = f.library.legitimatePresets();
        for (const bool edited : {false, true}) {
            legitimate.replaceRecords({downloaded});
            f.addPreset(2, "E", 0);
            QVERIFY(editor.open(2, f.presetKey(2, 1)));
            fields = editor.fields();
            fields.notes = edited ? "mine" : fields.notes;
            QVERIFY(editor.commit(fields));
            legitimate.replaceRecords({downloaded});
            QVERIFY(legitimate.saveBase());
            QVERIFY(!editor.commit(editor.fields()));
            QVERIFY(!editor.isLoaded() && !editor.holdsRefusedEdit());
            QCOMPARE(namesIn(legitimate.path(), "presets"), QStringList{"D"});
        }

        // Two records under one pair (an older file may hold both): the one
        // opened is the one shown and stored, and only its key names it.
        f.addPreset(1, "Twin", 0, 3);
        f.addPreset(1, "Twin", 0, 4);
        const int first = general.count() - 2;
        const quint64 twin = f.presetKey(1, first), other = f.presetKey(1, first + 1);
        QVERIFY(editor.open(1, twin));
        QCOMPARE(editor.fields().workTime, QString("3"));
        QVERIFY(editor.edits(twin) && !editor.edits(other) && !editor.edits(f.presetKey(2, 0)));
        fields = editor.fields();
        fields.notes = "the first twin";
        QVERIFY(editor.commit(fields));
        QCOMPARE(general.records().at(first).notes, QString("the first twin"));
        QCOMPARE(general.records().at(first + 1).notes, QString());
        // The list replaced whole (an import): still the first twin.
        QList<Preset> imported = general.records();
        imported.prepend(Preset::newRecord());
        general.replaceRecords(imported);
        fields.notes = "still the first twin";
        QVERIFY(editor.commit(fields));
        QCOMPARE(general.records().at(first + 1).notes, QString("still the first twin"));
        QCOMPARE(general.records().at(first + 2).notes, QString());
    }

    // Stored values the device cannot take stay as stored until edited;
    // edited ones are refused with the reason; nothing unnamed is written.
    void valuesAndUntouchedRecords()
    {
        LibraryFixture f;
        f.addPreset(1, "Big", 12000, 100000, "NaN");
        f.addPreset(1, "Neg", -3, -5, "5e9");
        f.addPreset(1, "Top", 9999);
        Presets &general = f.library.generalPresets();
        QVERIFY(general.saveBase());
        const QByteArray stored = TestEnv::readFile(general.path());
        PresetEditor editor(f.library);
        for (int row = 0; row < 3; ++row) {
            QVERIFY(editor.open(1, f.presetKey(1, row)));
            QVERIFY(editor.commit(editor.fields()));
        }
        QCOMPARE(TestEnv::readFile(general.path()), stored);

        const QList<std::pair<QString, QString>> refusedValues{
            {"workTime", "0"}, {"workTime", "-5"}, {"workTime", "1093"}, {"workTime", "1:30"},
            {"variable", "NaN"}, {"name", ""}};
        QVERIFY(editor.open(1, f.presetKey(1, 2)));
        for (const auto &[field, value] : refusedValues) {
            PresetFields fields = editor.fields();
            (field == "workTime" ? fields.workTime : field == "name" ? fields.name : fields.variable) = value;
            QVERIFY2(!editor.commit(fields), qPrintable(value));
            QVERIFY2(editor.message().startsWith("Will not be saved: "), qPrintable(value));
        }
        PresetFields comma = editor.fields();
        comma.variable = "1,5";
        editor.commit(comma);
        QVERIFY(editor.message().contains("point"));
        comma.variable = "0.5";  // above 0, and still refused: the message says what is taken
        editor.commit(comma);
        QVERIFY(editor.message().contains("from 1 to 4294967295,"));
        QCOMPARE(TestEnv::readFile(general.path()), stored);
        PresetFields fine = editor.fields();
        fine.workTime = "1092";
        fine.variable = "4294967295.25";
        QVERIFY(editor.commit(fine));
        QCOMPARE(general.records().at(2).time, 1092);

        // A note too long for the field is shown cut short, read-only, and
        // an edit of the other fields stores it whole.
        const QString longNote = QString(PresetEditor::editableNotesLength, QLatin1Char('x')) + QStringLiteral("end");
        general.setCurrent(2);
        general.setNotes(longNote);
        QVERIFY(editor.open(1, f.presetKey(1, 2)));
        QVERIFY(!editor.notesEditable());
        QVERIFY(editor.notesShown().size() < PresetEditor::editableNotesLength + 200);
        PresetFields shown = editor.fields();
        shown.notes = editor.notesShown();
        shown.workTime = "1091";
        QVERIFY(editor.commit(shown));
        QCOMPARE(general.records().at(2).notes, longNote);
        QCOMPARE(general.records().at(2).time, 1091);

        // Changed beneath the editor, as an import updates it: shown as now
        // stored, so that leaving the editor does not write the old values
        // back; a refused edit stays as typed.
        general.setCurrent(2);
        general.setVariable("777");
        QVERIFY(editor.followStore());
        QCOMPARE(editor.fields().variable, QString("777"));
        QVERIFY(editor.commit(editor.fields()));
        QCOMPARE(general.records().at(2).variable, QString("777"));
        PresetFields refused = editor.fields();
        refused.workTime = "0";
        QVERIFY(!editor.commit(refused));
        general.setVariable("778");
        QVERIFY(!editor.followStore());
        // The operator mends the refused value: stored over what the import
        // left, the value the operator did not touch stays the import's.
        refused.workTime = "12";
        QVERIFY(editor.commit(refused));
        QCOMPARE(general.records().at(2).variable, QString("778"));
        QCOMPARE(general.records().at(2).time, 12);

        editor.newPreset(1, 0);
        QVERIFY(!editor.open(1, 0));  // nothing selected: the new one stays edited
        QVERIFY(editor.isNewPending());
    }

    void cloneAndLookup()
    {
        LibraryFixture f;
        f.addPreset(1, "Sun", 0);
        f.addPreset(2, "Sun", 3, 9, "777.0");
        PresetEditor editor(f.library);
        editor.open(2, f.presetKey(2, 0));
        QCOMPARE(editor.cloneToClient(editor.fields()), PresetEditor::NoClient);

        f.addClient("Ana");
        PresetFields fields = editor.fields();
        fields.notes = "for Ana";
        QCOMPARE(editor.cloneToClient(fields), PresetEditor::Cloned);
        QCOMPARE(editor.pool(), 0);
        QCOMPARE(editor.fields().version, 4);
        QCOMPARE(editor.fields().notes, QString("for Ana"));
        QCOMPARE(editor.fields().variable, QString("777.0"));
        QCOMPARE(editor.message(), QString());
        f.library.clients().loadHistory();
        QCOMPARE(f.library.presetPool(0).count(), 1);
        // A clone stores only what a commit would.
        for (const auto &[time, frequency] : {std::pair{"5", "NaN"}, {"5000", "777.0"}}) {
            PresetFields wrong = editor.fields();
            wrong.workTime = time;
            wrong.variable = frequency;
            QCOMPARE(editor.cloneToClient(wrong), PresetEditor::Refused);
            QVERIFY(editor.message().startsWith("Will not be saved: "));
        }
        // Nor is a clone made of an edit that cannot be stored, which
        // would let that edit go.
        QVERIFY(editor.open(1, f.presetKey(1, 0)));
        PresetFields taken = editor.fields();
        taken.version = 3;
        QCOMPARE(editor.cloneToClient(taken), PresetEditor::Refused);
        QCOMPARE(editor.message(), QString("Protected can't save - preset exist in legitimate, please change name or version"));
        f.addPreset(1, "Stored NaN", 0, 5, "NaN");
        QVERIFY(editor.open(1, f.presetKey(1, 1)));
        QCOMPARE(editor.cloneToClient(editor.fields()), PresetEditor::Refused);
        f.library.clients().loadHistory();
        QCOMPARE(f.library.presetPool(0).count(), 1);

        Preset out;
        QCOMPARE(PresetLookup::resolve(f.library, "Sun", 4, out), 0);
        QCOMPARE(PresetLookup::resolve(f.library, "Sun", 0, out), 1);
        QCOMPARE(PresetLookup::resolve(f.library, "Sun", 3, out), 2);
        QCOMPARE(out.variable, QString("777.0"));
        QCOMPARE(PresetLookup::resolve(f.library, "Sun", 9, out), int(PresetLookup::NotFound));

        // A clone takes a version no pool holds, or it would be a second
        // record of a pair: after a lone version 0, after versions 1 and 2
        // stored in that order and in the other, across pools, and after
        // versions below 0.
        const auto next = [&](const QString &name) {
            const int version = PresetLookup::nextFreeVersion(f.library, name);
            return PresetLookup::count(f.library, name, version).none() ? version : -1000;
        };
        f.addPreset(1, "Moon", 0);
        QCOMPARE(next("Moon"), 1);
        f.addPreset(1, "Star", 1);
        f.addPreset(1, "Star", 2);
        QCOMPARE(next("Star"), 3);
        f.addPreset(0, "Mars", 2);
        f.addPreset(2, "Mars", 1);
        QCOMPARE(next("Mars"), 3);
        f.addPreset(1, "Deep", -4);
        QVERIFY(next("Deep") >= 0);
    }
};

QTEST_GUILESS_MAIN(TestPresetEditor)
#include "tst_preseteditor.moc"
