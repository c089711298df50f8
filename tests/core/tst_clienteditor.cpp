#include "data/container.h"
#include "data/platformfile.h"
#include "data/writebeside.h"
#include "work/deviceslots.h"
#include "work/runstart.h"
#include "support/libraryfixture.h"
#include "support/testenv.h"
#include "editors/clienthistory.h"
#include "editors/libraryeditors.h"
#include "editors/librarysession.h"
#include "data/settings.h"
#include "work/sendtowork.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

class TestClientEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    // The client picked is the client opened and written, whatever the
    // names; a refused name writes nothing; nothing is selected, nothing
    // happens.
    void openNameRuleAndDelete()
    {
        LibraryFixture f;
        const QString ana = f.addClient("Ana");
        const QString bo = f.addClient("Bo");
        f.addPreset(1, "P", 0);
        Settings settings;
        LibrarySession session(f.library, settings);
        LibraryEditors editors(f.library);
        editors.attach(session);
        ClientEditor &client = editors.client;
        auto open = [&](int row) {
            session.selectRow(LibrarySession::ClientList, row);
            return session.openClient();
        };
        auto storedNames = [&] { return namesIn(f.folder() + "clients.dat", "clients", "name"); };
        QCOMPARE(client.fields().name, QString("Bo"));  // the one the library has open
        QVERIFY(open(0));
        QCOMPARE(f.library.openClientFile(), ana);
        QCOMPARE(client.fields().name, QString("Ana"));
        QVERIFY(open(1));
        QCOMPARE(client.fields().name, QString("Bo"));
        QCOMPARE(f.library.history().path(), f.folder() + bo + ".dat");
        QVERIFY(open(0));
        QCOMPARE(client.fields().name, QString("Ana"));
        f.library.history().notes().insertNote(LineType::Notes);
        QVERIFY(session.saveOpenHistory());

        // A taken name and an empty one: the message, and nothing written.
        for (const QString &refused : {QString("Bo"), QString()}) {
            ClientFields fields = client.fields();
            fields.name = refused;
            fields.address = "typed";
            client.nameEdited(refused);
            QCOMPARE(client.message(), QString(refused.isEmpty() ? ClientEditor::nameEmptyMessage
                                                                 : ClientEditor::nameTakenMessage));
            QVERIFY(!client.commit(fields));
            QCOMPARE(client.fields().address, QString("typed"));
            QCOMPARE(storedNames(), QStringList({"Ana", "Bo"}));
            History reread;
            reread.setPath(f.folder() + ana + ".dat");
            QVERIFY(reread.readBase());
            QCOMPARE(reread.notes().count(), 1);
        }
        // Under a refused name the history is still the client's: an entry
        // deleted and a note accepted meanwhile are stored, and what was
        // typed stays shown after a visit to the client list.
        f.library.history().notes().setCurrent(0);
        f.library.history().notes().removeCurrent();
        client.newNote(0);
        client.nameEdited("Bo");
        QVERIFY(!client.commit({"Bo", "typed", ""}));
        QVERIFY(client.takeNoteResult("accepted", 1));
        session.leaveClientSelection();
        QCOMPARE(client.fields().name, QString("Bo"));
        QCOMPARE(client.fields().address, QString("typed"));
        QCOMPARE(client.message(), QString(ClientEditor::nameTakenMessage));
        History reread;
        reread.setPath(f.folder() + ana + ".dat");
        QVERIFY(reread.readBase());
        QCOMPARE(reread.notes().count(), 1);
        QCOMPARE(reread.notes().records().at(0).text, QString("accepted"));
        QCOMPARE(storedNames(), QStringList({"Ana", "Bo"}));
        client.nameEdited("Ana");
        QCOMPARE(client.message(), QString());

        // Two clients of one name: each is opened and written by its file.
        f.library.clients().setCurrent(1);
        f.library.clients().setName("Ana");
        QVERIFY(open(1));
        QVERIFY(client.commit({"Ana", "second", ""}));
        QCOMPARE(f.library.clients().records().at(0).notes1, QString());
        QCOMPARE(f.library.clients().records().at(1).notes1, QString("second"));
        QCOMPARE(f.library.openClientFile(), bo);
        QVERIFY(client.commit({"Bo", "second", ""}));
        // A visit that changes nothing leaves the clients' file as it is.
        QVERIFY(WriteBeside::waitForAll(10000));
        const PlatformFile::Identity clientsFile = PlatformFile::identity(f.library.clients().path());
        QVERIFY(client.commit({"Bo", "second", ""}));
        QVERIFY(WriteBeside::waitForAll(10000));
        QVERIFY(PlatformFile::identity(f.library.clients().path()) == clientsFile);

        // A new client under a taken name is not stored, and keeps what was typed.
        client.newClient(0);
        QVERIFY(!f.library.hasOpenClient());
        QVERIFY(!client.commit({"Ana", "addr", "notes"}));
        QCOMPARE(client.message(), QString(ClientEditor::nameTakenMessage));
        QCOMPARE(client.fields().address, QString("addr"));
        QCOMPARE(storedNames(), QStringList({"Ana", "Bo"}));
        QVERIFY(client.commit({"Cy", "addr", "notes"}));
        QCOMPARE(storedNames(), QStringList({"Cy", "Ana", "Bo"}));
        QCOMPARE(f.library.openClientName(), QString("Cy"));
        QVERIFY(!TestEnv::readFile(f.library.history().path()).isEmpty());

        // Nothing selected (a click below the last row): nothing happens.
        session.selectedKey(LibrarySession::ClientList) = 0;
        session.deleteClient();
        QVERIFY(!session.moveRow(LibrarySession::ClientList, 1));
        QVERIFY(!session.openClient());
        QCOMPARE(f.library.clients().count(), 3);

        // Deleting another client leaves the editors alone; deleting the
        // open one lets go of what they hold of its pools only, and its
        // history file stays.
        QVERIFY(open(1));
        editors.preset.open(PresetPool::General, f.presetKey(PresetPool::General, 0));
        editors.program.newProgram(false, 0);
        session.selectRow(LibrarySession::ClientList, 2);
        session.deleteClient();
        QVERIFY(client.isLoaded() && editors.preset.isLoaded() && editors.program.isLoaded());
        const QString historyFile = f.library.history().path();
        session.selectRow(LibrarySession::ClientList, 1);
        session.deleteClient();
        QVERIFY(!client.isLoaded() && editors.preset.isLoaded() && !editors.program.isLoaded());
        QVERIFY(!f.library.hasOpenClient());
        QCOMPARE(storedNames(), QStringList({"Cy"}));
        QVERIFY(QFile::exists(historyFile));

        // A new client left without a name is dropped; the one open before
        // comes back, and a General preset's refused edit stays with its reason.
        QVERIFY(open(0));
        client.newClient(0);
        PresetFields refused = editors.preset.fields();
        refused.variable = "-5";
        QVERIFY(!editors.preset.commit(refused));
        QVERIFY(!client.commit(client.fields()));
        QCOMPARE(f.library.clients().count(), 1);
        QCOMPARE(client.fields().name, QString("Cy"));
        QCOMPARE(session.openClientName(), QString("Cy"));
        QVERIFY(editors.preset.holdsRefusedEdit());

        // The name is judged at the commit: taken when typed, free once the
        // other client is deleted.
        client.newClient(0);
        client.nameEdited("Cy");
        QCOMPARE(client.message(), QString(ClientEditor::nameTakenMessage));
        session.selectRow(LibrarySession::ClientList, 0);
        session.deleteClient();
        QVERIFY(client.commit({"Cy", "new", ""}));
        QCOMPARE(storedNames(), QStringList({"Cy"}));
        QCOMPARE(f.library.clients().records().at(0).notes1, QString("new"));
    }

    void notes()
    {
        LibraryFixture f;
        f.addClient("Ana");
        ClientEditor client(f.library);
        History &history = f.library.history();

        // New Notes stores nothing before the dialog's OK: Cancel leaves
        // none, and neither does an OK on blanks.
        client.newNote(0);
        QCOMPARE(history.notes().count(), 0);
        client.newNote(0);
        QVERIFY(!client.takeNoteResult(QString(), 0));
        QVERIFY(!client.takeNoteResult(" \n ", 0));
        QCOMPARE(history.notes().count(), 0);
        client.newNote(0);
        QVERIFY(client.takeNoteResult("n", 0));
        QCOMPARE(history.notes().count(), 1);
        QCOMPARE(history.notes().type(), int(LineType::Notes));
        client.newNote(0);  // the same minute and text: still another note
        QVERIFY(client.takeNoteResult("n", 0));
        QVERIFY(client.editNote(history.notes().keyAt(1)));
        QVERIFY(client.takeNoteResult("second", 1));
        QVERIFY(client.editNote(history.notes().keyAt(1)));
        QVERIFY(!client.takeNoteResult(" ", 0));  // emptied: it keeps its text
        QCOMPARE(history.notes().records().at(0).text, QString("n"));
        QCOMPARE(history.notes().records().at(1).text, QString("second"));
        QCOMPARE(history.notes().records().at(1).colour, 1);

        // The dialog does not block: the list may change under it.
        client.newNote(0);
        QVERIFY(client.takeNoteResult("n", 0));
        client.editNote(history.notes().keyAt(2));
        history.notes().setCurrent(0);
        QVERIFY(client.takeNoteResult("kept", 2));
        history.readBase();
        QCOMPARE(history.notes().count(), 3);
        QCOMPARE(history.notes().records().at(2).text, QString("kept"));
        QCOMPARE(history.notes().records().at(2).colour, 2);
        QCOMPARE(history.notes().records().at(0).text, QString("n"));


        // A history read from no file is nobody's: no client's file takes it.
        const QString historyPath = history.path();
        history.clear();
        history.notes().insertNote(LineType::Notes);
        QVERIFY(!f.library.saveHistory());
        History reread;
        reread.setPath(historyPath);
        QVERIFY(reread.readBase());
        QCOMPARE(reread.notes().count(), 3);

        // A client just typed is stored before its first note, once its
        // name may be; without a name it stays as typed, unstored.
        client.newClient(0);
        QVERIFY(!client.storeNewForNote({"", "addr", ""}));
        QVERIFY(client.isNewPending());
        QVERIFY(!client.storeNewForNote({"Ana", "addr", ""}));
        QCOMPARE(client.message(), QString(ClientEditor::nameTakenMessage));
        QVERIFY(client.storeNewForNote({"Dora", "addr", ""}));
        QVERIFY(!client.isNewPending());
        QCOMPARE(f.library.openClientName(), QString("Dora"));
        client.newNote(0);
        QVERIFY(client.takeNoteResult("first visit", 0));
        QCOMPARE(namesIn(f.library.history().path(), "history", "not"), QStringList{"first visit"});
    }

    void sendAndRenew()
    {
        LibraryFixture f;
        f.addClient("Ana");
        f.addPreset(1, "Sun", 0, 5, "1234.5");
        Programs &programs = f.library.programs();
        programs.insertNew(0, "op");
        programs.setName("Day");
        Program *day = programs.currentProgram();
        day->insertLine(0);
        day->setLineName("Sun");
        day->setLineTime(7);
        day->insertLine(1);
        day->setLineTypeWord("Notes");
        day->setLineName("Rest");

        DeviceSlots devices;
        devices.registry().setFolder(f.folder());
        QCOMPARE(SendToWork::program(f.library, devices, *day, true), SendToWork::NoDevice);
        QVERIFY(!QFile::exists(f.folder() + "machines.dat"));
        QVERIFY(!SendToWork::notice(SendToWork::NoDevice).isEmpty());

        devices.registry().addMachine(DeviceSlots::count);
        devices.setSelectedRow(0);
        QCOMPARE(SendToWork::program(f.library, devices, *day, true), SendToWork::Sent);
        Machines reread;
        reread.setFolder(f.folder());
        QVERIFY(reread.readBase());
        const WorkList *work = reread.work();
        QCOMPARE(work->count(), 2);
        QCOMPARE(work->records().at(0).value, QString("1234.5"));
        QCOMPARE(work->records().at(0).pool, 1);
        QCOMPARE(work->records().at(0).time, 7);
        QCOMPARE(work->records().at(1).type, LineType::Notes);
        QCOMPARE(work->records().at(1).pool, 10);

        // The run is recorded, then both kinds of entry are renewed.
        WorkList ran = *devices.registry().work();
        // With no client open a run is recorded in no history.
        const QString open = f.library.openClientFile();
        const QByteArray before = TestEnv::readFile(f.folder() + open + ".dat");
        f.library.closeClient();
        RunStart::recordRun(f.library, ran);
        QCOMPARE(TestEnv::readFile(f.folder() + open + ".dat"), before);
        QVERIFY(f.library.openClient(open));
        RunStart::recordRun(f.library, ran);
        QVERIFY(f.library.openClient(f.library.openClientFile()));
        QCOMPARE(f.library.history().notes().count(), 3);
        QCOMPARE(f.library.history().notes().records().at(1).type, int(LineType::PresetNote));
        devices.registry().work()->editRecords().clear();
        QVERIFY(ClientHistory::renew(f.library, devices, f.library.history().notes().keyAt(0)).startsWith("Program "));
        QCOMPARE(devices.registry().work()->count(), 2);
        QVERIFY(ClientHistory::renew(f.library, devices, f.library.history().notes().keyAt(1)).startsWith("Preset "));
        QCOMPARE(devices.registry().work()->count(), 3);
        QCOMPARE(devices.registry().work()->records().at(0).value, QString("1234.5"));

        // A program entry that names no general program, or several, sends nothing.
        programs.insertNew(0, "op");
        programs.setName("Day");
        QVERIFY(ClientHistory::renew(f.library, devices, f.library.history().notes().keyAt(0)).startsWith(" Several"));
        programs.setCurrent(0);
        programs.removeCurrent();
        programs.setCurrent(0);
        programs.removeCurrent();
        QVERIFY(ClientHistory::renew(f.library, devices, f.library.history().notes().keyAt(0)).startsWith(" No general program"));
        QCOMPARE(devices.registry().work()->count(), 3);
    }
};

QTEST_GUILESS_MAIN(TestClientEditor)
#include "tst_clienteditor.moc"
