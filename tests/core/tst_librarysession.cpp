#include "data/settings.h"
#include "data/container.h"
#include "data/library.h"
#include "data/platformfile.h"
#include "data/presetlookup.h"
#include "data/writebeside.h"
#include "support/libraryfixture.h"
#include "support/testenv.h"
#include "editors/librarysession.h"
#include "editors/preseteditor.h"

#include <QDir>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>


namespace {

// A library folder with two clients; Ana's history holds two presets and
// two programs.
struct Folder
{
    QTemporaryDir dir;
    QString path = dir.path() + "/";

    Folder() { writeLibraryFolder(path); }
};

} // namespace

class TestLibrarySession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    // Leaving a pool writes it, whichever it is; the choice goes to the settings.
    void poolSwitchesWriteThePoolLeft_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("file");
        QTest::newRow("General") << 1 << 2 << "presets.dat";
        QTest::newRow("Legitimate") << 2 << 0 << "genpresets.dat";
        QTest::newRow("Client") << 0 << 1 << anaFile + ".dat";
    }

    void poolSwitchesWriteThePoolLeft()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, file);
        Folder folder;
        Library library;
        library.load(folder.path);
        Settings settings;
        settings.setPresetsPool(from);
        LibrarySession session(library, settings);

        // A pool left as it was read is not written again, the open
        // client's history included.
        const PlatformFile::Identity read = PlatformFile::identity(folder.path + file);
        session.switchPresetPool(to);
        session.switchPresetPool(from);
        QVERIFY(WriteBeside::waitForAll(10000));
        QVERIFY(PlatformFile::identity(folder.path + file) == read);

        session.selectRow(LibrarySession::PresetList, 1);
        QVERIFY(session.moveRow(LibrarySession::PresetList, -1));
        QCOMPARE(session.row(LibrarySession::PresetList), 0);
        const QString first = session.presetListStore().records().at(0).name;
        session.switchPresetPool(to);
        QCOMPARE(namesIn(folder.path + file, "presets").value(0), first);
        QCOMPARE(settings.presetsPool(), to);
        QCOMPARE(session.presetPool(), to);

        // A delete taken back after its pool was left is stored again at
        // once, in its place; the other records keep their keys.
        session.switchPresetPool(from);
        session.selectRow(LibrarySession::PresetList, 0);
        const quint64 second = session.presetListStore().keyAt(1);
        session.deletePreset();
        session.switchPresetPool(to);
        QVERIFY(!namesIn(folder.path + file, "presets").contains(first));
        QString what;
        QVERIFY(session.undo(what));
        QVERIFY(WriteBeside::waitForAll(10000));
        QCOMPARE(namesIn(folder.path + file, "presets").value(0), first);
        QCOMPARE(library.presetPool(from).indexOfKey(second), 1);

        // Not while another pool holds its name and version, or every
        // program line naming it would read "Duplicate"; once the pair is
        // free again, it comes back.
        session.switchPresetPool(from);
        session.selectRow(LibrarySession::PresetList, 0);
        const Preset taken = session.presetListStore().records().at(0);
        session.deletePreset();
        const quint64 elsewhere = library.presetPool(to).insert(0, taken);
        QString why;
        QVERIFY(!session.undo(what, &why));
        QVERIFY2(why.startsWith("Protected can't save - preset exist in "), qPrintable(why));
        const auto held = [&](int pool) {
            return PresetLookup::count(library, taken.name, taken.version).*(
                pool == PresetPool::Client ? &PresetLookup::Counts::client
                : pool == PresetPool::General ? &PresetLookup::Counts::general : &PresetLookup::Counts::legitimate);
        };
        QCOMPARE(held(from), 0);
        QVERIFY(library.presetPool(to).remove(elsewhere));
        QVERIFY(session.undo(what));
        QCOMPARE(held(from), 1);
        QCOMPARE(library.presetPool(from).records().at(0).name, taken.name);
    }

    void programPools()
    {
        Folder folder;
        Library library;
        library.load(folder.path);
        Settings settings;
        settings.setProgramsGeneral(true);
        LibrarySession session(library, settings);
        QCOMPARE(&session.programListStore(), &library.programs());

        session.selectRow(LibrarySession::ProgramList, 0);
        session.moveRow(LibrarySession::ProgramList, 1);
        session.switchProgramPool(false);
        QCOMPARE(namesIn(folder.path + "programs.dat", "programs"), (QStringList{"P2", "P1"}));
        QVERIFY(!settings.programsGeneral());
        QCOMPARE(&session.programListStore(), &library.history().programs());

        // A deleted program is not put back while the other pool holds its
        // name and version.
        session.selectRow(LibrarySession::ProgramList, 0);
        const Program mine = session.programListStore().records().at(0);
        session.deleteProgram();
        const quint64 elsewhere = library.programs().insert(0, mine);
        QString what, why;
        QVERIFY(!session.undo(what, &why));
        QCOMPARE(why, QString("Protected can't save - program exist in general, please change name or version"));
        QVERIFY(library.programs().remove(elsewhere));
        QVERIFY(session.undo(what));
        QCOMPARE(session.programListStore().records().at(0).name, mine.name);

        // Another client opened: a delete from the client's own list says
        // why it cannot come back; the General list did not change, and its
        // delete still comes back.
        session.selectRow(LibrarySession::ProgramList, 0);
        session.deleteProgram();
        session.selectRow(LibrarySession::ClientList, 1);
        QVERIFY(session.openClient());
        why.clear();
        QVERIFY(!session.undo(what, &why));
        QVERIFY2(!why.isEmpty(), "a step that cannot come back says why");
        session.switchProgramPool(true);
        session.selectRow(LibrarySession::ProgramList, 0);
        const QString general = session.programListStore().records().at(0).name;
        session.deleteProgram();
        session.selectRow(LibrarySession::ClientList, 0);
        QVERIFY(session.openClient());
        QVERIFY(session.undo(what));
        QCOMPARE(library.programs().records().at(0).name, general);
        session.switchProgramPool(false);

        // With no client open no history is shown, and none is overwritten.
        const QStringList stored = namesIn(folder.path + anaFile + ".dat", "programs");
        library.closeClient();
        QCOMPARE(session.programListStore().count(), 0);
        session.programListStore().insertNew(0, "op");
        QVERIFY(!session.saveProgramList());
        QCOMPARE(namesIn(folder.path + anaFile + ".dat", "programs"), stored);
    }

    // Steps in several lists come back one after another and are made
    // again; a list changed by another path voids the steps on it alone.
    void undoAndRedoAcrossLists()
    {
        Folder folder;
        Library library;
        library.load(folder.path);
        Settings settings;
        settings.setPresetsPool(PresetPool::General);
        LibrarySession session(library, settings);
        Presets &general = library.generalPresets();
        Presets &client = library.history().presets();
        const QStringList generalNames = namesIn(folder.path + "presets.dat", "presets");
        const auto names = [](const Presets &presets) {
            QStringList list;
            for (const Preset &preset : presets.records())
                list << preset.name;
            return list;
        };

        session.selectRow(LibrarySession::PresetList, 0);
        QVERIFY(session.moveRow(LibrarySession::PresetList, 1));
        session.selectRow(LibrarySession::PresetList, 0);
        const quint64 first = session.selectedKey(LibrarySession::PresetList);
        session.deletePreset();
        session.switchPresetPool(PresetPool::Client);
        const QStringList clientNames = names(client);
        session.selectRow(LibrarySession::PresetList, 1);
        session.deletePreset();
        const QStringList afterAll = names(general);

        QString text, why;
        QVERIFY(session.undo(text));
        QCOMPARE(names(client), clientNames);
        QVERIFY(session.undo(text));
        QVERIFY(session.undo(text));
        QCOMPARE(names(general), generalNames);
        // Back under its key: a pick or an older step still names it.
        QCOMPARE(general.indexOfKey(first), 1);
        QVERIFY(!session.undo(text, &why));
        QVERIFY2(why.isEmpty() && text.isEmpty(), qPrintable(text + " / " + why));
        QCOMPARE(namesIn(folder.path + "presets.dat", "presets"), generalNames);
        QVERIFY(session.redo(text));
        QVERIFY(session.redo(text));
        QVERIFY(session.redo(text));
        QCOMPARE(names(general), afterAll);
        QVERIFY(!session.redo(text, &why));

        // The General list changed by another path: its steps go, the
        // client's stays.
        QVERIFY(session.undo(text));
        QCOMPARE(names(client), clientNames);
        Preset other = Preset::newRecord();
        other.name = "Other";
        general.insert(0, other);
        QVERIFY(!session.undo(text, &why));
        QCOMPARE(why, QString("its list changed since"));
        QCOMPARE(session.undoStack().count(), 1);
        QVERIFY(session.redo(text));
        QCOMPARE(client.count(), clientNames.size() - 1);
        // A new step drops what was taken back.
        QVERIFY(session.undo(text));
        session.selectRow(LibrarySession::PresetList, 0);
        QVERIFY(session.moveRow(LibrarySession::PresetList, 1));
        QVERIFY(!session.redo(text));

        // A stored edit is a step: taken back, its editor shows the record
        // as it is again; not made again while another pool holds its pair.
        PresetEditor editor(library);
        editor.setSession(&session);
        const quint64 edited = general.keyAt(0);
        QVERIFY(editor.open(PresetPool::General, edited));
        PresetFields fields = editor.fields();
        const QString was = fields.name;
        fields.name = "Renamed";
        QVERIFY(editor.commit(fields));
        QVERIFY(session.undo(text));
        QCOMPARE(general.record(edited)->name, was);
        QCOMPARE(editor.fields().name, was);
        QCOMPARE(namesIn(folder.path + "presets.dat", "presets").value(0), was);
        Preset taken = *general.record(edited);
        taken.name = "Renamed";
        library.legitimatePresets().insert(0, taken);
        QVERIFY(!session.redo(text, &why));
        QVERIFY2(why.startsWith("Protected can't save - preset exist in "), qPrintable(why));
        QCOMPARE(general.record(edited)->name, was);
        // A record gone from under its editor is stored anew: no step puts
        // a blank record in its place.
        QVERIFY(editor.open(PresetPool::General, edited));
        fields = editor.fields();
        fields.notes = "kept";
        QVERIFY(general.remove(edited));
        QVERIFY(editor.commit(fields));
        session.undo(text);
        for (const Preset &preset : general.records())
            QVERIFY(!preset.name.isEmpty());
    }

    void deletesActOnlyOnShownRows()
    {
        Folder folder;
        Library library;
        library.load(folder.path);
        Settings settings;
        settings.setPresetsPool(1);
        LibrarySession session(library, settings);
        QSignalSpy removing(&session, &LibrarySession::presetRemoving);
        QSignalSpy clientGone(&session, &LibrarySession::currentClientRemoved);

        library.generalPresets().setFilter("2");
        session.selectRow(LibrarySession::PresetList, 1);  // beyond the one shown
        session.deletePreset();
        QCOMPARE(library.generalPresets().count(), 2);
        session.selectRow(LibrarySession::PresetList, 0);
        const quint64 g2 = session.selectedKey(LibrarySession::PresetList);
        QCOMPARE(library.generalPresets().records().at(library.generalPresets().indexOfKey(g2)).name, QString("G2"));
        session.deletePreset();
        QCOMPARE(library.generalPresets().count(), 1);
        QCOMPARE(removing.takeFirst(), (QVariantList{g2}));

        // Another client: the current one stays open.
        session.selectRow(LibrarySession::ClientList, 1);
        session.deleteClient();
        QCOMPARE(clientGone.count(), 0);
        QCOMPARE(library.history().presets().count(), 2);
        session.selectRow(LibrarySession::ClientList, 0);
        session.deleteClient();
        QCOMPARE(clientGone.count(), 1);
        QVERIFY(!session.clientOpen());
        QCOMPARE(library.history().presets().count(), 0);
        QCOMPARE(Container::decode(TestEnv::readFile(folder.path + "clients.dat")).value("clients").toArray().size(), 0);
        session.deleteClient();  // empty store: nothing happens
        QVERIFY(QFile::exists(folder.path + anaFile + ".dat"));

        // A pool that cannot be written keeps its records.
        QFile::remove(folder.path + "presets.dat");
        QDir(folder.path).mkdir("presets.dat");
        session.switchPresetPool(2);
        QCOMPARE(library.generalPresets().count(), 1);
    }

    // A client whose file is no client's file (one of the library's own, a
    // path) is never opened, and the operator hears why. With clients.dat
    // unreadable, leaving the list unchanged is no failed save to tell.
    void clientsOfNoFileAndNoChange()
    {
        Folder folder;
        QVERIFY(TestEnv::writeFile(folder.path + "clients.dat", Container::encode({{"version", "1"}, {"clients", QJsonArray{
            QJsonObject{{"name", "Ana"}, {"file", anaFile}}, QJsonObject{{"name", "Odd"}, {"file", "machines"}}}}})));
        Library library;
        library.load(folder.path);
        Settings settings;
        LibrarySession session(library, settings);
        QSignalSpy refused(&session, &LibrarySession::clientRefused);
        QSignalSpy opened(&session, &LibrarySession::clientOpened);
        const QString before = library.openClientName();
        session.selectRow(LibrarySession::ClientList, 1);
        QVERIFY(!session.openClient());
        QCOMPARE(refused.size(), 1);
        QVERIFY(refused.first().at(0).toString().startsWith("Client \"Odd\" cannot be opened: clients.dat names its file \"machines\""));
        QCOMPARE(opened.size(), 0);
        QCOMPARE(library.openClientName(), before);

        QVERIFY(QFile::remove(folder.path + "clients.dat"));
        QVERIFY(QDir(folder.path).mkdir("clients.dat"));
        Library unreadable;
        unreadable.load(folder.path);
        LibrarySession left(unreadable, settings);
        Container::takeNotices();
        left.leaveClientSelection();
        QVERIFY(WriteBeside::waitForAll(10000));
        QCOMPARE(Container::takeNotices(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestLibrarySession)
#include "tst_librarysession.moc"
