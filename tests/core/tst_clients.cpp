#include "data/clients.h"
#include "data/container.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTest>

namespace {

QJsonObject note(const char *type, const QString &text = QString())
{
    return {{"typ", type}, {"not", text}};
}

QJsonObject fileObject(const QString &path)
{
    return Container::decode(TestEnv::readFile(path));
}

} // namespace

class TestClients : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void noteWordsAndColours()
    {
        const QString base = TestEnv::dataFolder() + "notes";
        TestEnv::writeFile(base + ".dat", Container::encode({{"history", QJsonArray{
            QJsonObject{{"typ", "PresetNote"}, {"col", "9"}},
            QJsonObject{{"typ", "presetnote"}, {"col", 3}, {"tim", "1440"}},
        }}}));
        History history;
        history.setPath(base + ".dat");
        QVERIFY(history.readBase());
        QCOMPARE(history.notes().type(), 4);
        QCOMPARE(history.notes().colour(), 0);
        history.notes().select(1);
        QCOMPARE(history.notes().type(), 0);

        history.notes().setCurrent(0);
        history.notes().insertNote(LineType::Notes);
        QCOMPARE((QStringList{history.notes().variable(), history.notes().timeText()}), (QStringList{"0", "0"}));
        QVERIFY(history.saveBase());
        const QJsonArray saved = fileObject(base + ".dat")["history"].toArray();
        // The time kept as stored.
        QCOMPARE((QStringList{saved.at(0)["typ"].toString(), saved.at(1)["col"].toString(), saved.at(2)["typ"].toString(),
                              saved.at(2)["tim"].toString()}), (QStringList{"Notes", "9", "", "1440"}));
    }

    void historyListsAndPresetNoteRuns()
    {
        const QString base = TestEnv::dataFolder() + "onlyhistory";
        TestEnv::writeFile(base + ".dat", Container::encode({{"version", "1"}, {"history", QJsonArray{
            note("Program", "P"), note("PresetNote"), note("PresetNote"),
            note("Notes"), note("Program"), note("PresetNote"),
        }}}));
        History history;
        history.presets().insertNew();  // replaced by the read
        history.setPath(base + ".dat");
        QVERIFY(history.readBase());
        QCOMPARE(history.presets().count(), 0);
        QCOMPARE(history.programs().count(), 0);

        QCOMPARE(history.presetNotesAfterCurrent(), 2);
        QCOMPARE(history.notes().current(), 0);
        history.notes().select(4);
        QCOMPARE(history.presetNotesAfterCurrent(), -1);  // the run reaches the end
        history.notes().select(5);
        QCOMPARE(history.presetNotesAfterCurrent(), -1);  // the last note
        QCOMPARE(history.notes().current(), 5);
        history.notes().setFilter("P");  // nothing after the first note matches
        history.notes().first();
        QCOMPARE(history.presetNotesAfterCurrent(), -1);

        QVERIFY(history.saveBase());
        const QJsonObject saved = fileObject(base + ".dat");
        QCOMPARE(saved.keys(), QStringList({"history", "presets", "programs", "version"}));
        QVERIFY(saved["programs"].isArray());
    }

    void clientsAndTheirHistories()
    {
        const QString folder = TestEnv::dataFolder();
        const QString id = "0123456789abcdef0123456789abcdef";
        TestEnv::writeFile(folder + "clients.dat", Container::encode({{"clients", QJsonArray{
            QJsonObject{{"name", "Eva"}, {"notes2", 5}, {"file", id}},
            QJsonObject{{"name", "Eva"}},
        }}}));
        Clients clients;
        QVERIFY(!clients.loadHistory());  // no clients
        clients.setFolder(folder);
        QVERIFY(clients.readBase());
        QCOMPARE(clients.notes2(), QString());
        QCOMPARE(clients.countOf("Eva", 0), 2);

        clients.first();
        clients.history().presets().insertNew();
        QVERIFY(clients.saveHistory());
        clients.history().clear();
        QVERIFY(clients.loadHistory());
        QCOMPARE(clients.history().presets().count(), 1);
        TestEnv::writeFile(folder + id + ".json", "{}");
        QVERIFY(clients.removeJsonFile(clients.keyAt(clients.current())));
        QVERIFY(!QFile::exists(folder + id + ".json"));

        clients.insertNew();
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(clients.file()).hasMatch());
        QVERIFY(clients.saveBase());
        QCOMPARE(fileObject(folder + "clients.dat")["clients"].toArray().at(0).toObject().keys(),
                 QStringList({"file", "name", "notes1", "notes2"}));

        // A failed write is reported, naming the client, not taken for a saved history.
        clients.setName("Ida");
        QVERIFY(QDir().mkpath(folder + clients.file() + ".dat/blocked"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not overwriting"));
        Container::takeNotices();
        QVERIFY(!clients.saveHistory());
        const QStringList told = Container::takeNotices();
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.first().startsWith("the history of \"Ida\" (" + clients.file() + ".dat) could not be written"),
                 qPrintable(told.first()));
    }

    void unsafeFileIdentifiersAreNotPaths()
    {
        const QString folder = TestEnv::dataFolder();
        const QString outside = folder + "../victim";
        TestEnv::writeFile(outside + ".json", "keep");
        TestEnv::writeFile(outside + ".dat", "keep");
        TestEnv::writeFile(folder + "..json", "keep");
        TestEnv::writeFile(folder + "clients.dat", Container::encode({{"clients", QJsonArray{
            QJsonObject{{"file", "../victim"}}, QJsonObject{{"file", ".."}},
            QJsonObject{}, QJsonObject{{"file", QString(65, 'a')}},
        }}}));
        Clients clients;
        clients.setFolder(folder);
        QVERIFY(clients.readBase());
        const QRegularExpression unusable("unusable file identifier");
        for (int i = 0; i < clients.count(); ++i) {
            clients.setCurrent(i);
            clients.history().notes().insertNote(LineType::Notes);
            QTest::ignoreMessage(QtWarningMsg, unusable);
            QVERIFY(!clients.loadHistory());
            QCOMPARE(clients.history().notes().count(), 0);  // no other client's entries remain
            clients.history().notes().insertNote(LineType::Notes);
            QTest::ignoreMessage(QtWarningMsg, unusable);
            QVERIFY(!clients.saveHistory());
            QTest::ignoreMessage(QtWarningMsg, unusable);
            QVERIFY(!clients.removeJsonFile(clients.keyAt(i)));
        }
        QTest::ignoreMessage(QtWarningMsg, unusable);
        QVERIFY(!clients.setHistoryFile("../victim"));
        for (const QString &kept : {outside + ".json", outside + ".dat", folder + "..json"})
            QCOMPARE(TestEnv::readFile(kept), QByteArray("keep"));
        QVERIFY(!QFile::exists(folder + "...dat"));
        QVERIFY(!QFile::exists(folder + ".dat"));
        QVERIFY(Client::isPlainIdentifier(QString(64, 'Z')));
        QVERIFY(!Client::isPlainIdentifier("abc\n"));
        // A note for a client not open is added on top of its file beside
        // the window, also where there is no file yet.
        for (const bool existed : {true, false}) {
            History other;
            other.setPath(folder + "other.dat");
            QFile::remove(other.path());
            if (existed) {
                other.notes().insertNote(LineType::Program);
                other.presets().insertNew();
                QVERIFY(other.saveBase());
            }
            Note cut = Note::newRecord(LineType::Notes);
            cut.text = "cut short";
            // The caller never waits for the file: behind a write still
            // going, the entry is not in it yet.
            const auto asItStands = [&other] {
                QFile file(other.path());
                return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            };
            const QByteArray before = asItStands();
            QSemaphore going;
            WriteBeside::write(folder + "slow.dat", [&going] {
                going.acquire();
                return QByteArray("slow");
            });
            History::appendBeside(other.path(), cut);
            QCOMPARE(asItStands(), before);
            going.release();
            QVERIFY(WriteBeside::waitForAll(10000));
            QVERIFY(other.readBase());
            QCOMPARE(other.notes().count(), existed ? 2 : 1);
            QCOMPARE(other.notes().text(), QString("cut short"));
            QCOMPARE(other.presets().count(), existed ? 1 : 0);
        }
        // Every file the program keeps for itself, and what Windows takes for a device.
        for (const char *own : {"Restored", "untold", "RUNS", "settings", "con", "Com1", "lpt9"})
            QVERIFY2(!Client::isPlainIdentifier(own), own);
    }
};

QTEST_GUILESS_MAIN(TestClients)
#include "tst_clients.moc"
