#include "data/settings.h"
#include "data/clients.h"
#include "data/container.h"
#include "data/folderlock.h"
#include "data/untoldnotice.h"
#include "data/history.h"
#include "data/presets.h"
#include "data/programs.h"
#include "discovery/machines.h"
#include "support/testenv.h"
#include "data/worklist.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QDir>
#include <QElapsedTimer>
#include <QLockFile>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <functional>

namespace {

// Each kind of file as the program reads it at start-up and writes it
// after a change: read, change one thing, save.
using Cycle = std::function<void(const QString &folder)>;

template <typename Store>
Cycle storeCycle(const QString &file, std::function<void(Store &)> change)
{
    return [=](const QString &folder) {
        Store store;
        store.setPath(folder + file);
        QVERIFY(store.readBase());
        QCOMPARE(store.count(), 0);
        change(store);
        QVERIFY(store.saveBase());
    };
}

QMap<QString, Cycle> cycles()
{
    return {
        {"presets.dat", storeCycle<Presets>("presets.dat", [](Presets &s) { s.insertNew(); })},
        {"programs.dat", storeCycle<Programs>("programs.dat", [](Programs &s) { s.insertNew(0, "Eva"); })},
        {"clients.dat", storeCycle<Clients>("clients.dat", [](Clients &s) { s.insertNew(); })},
        {"machines.dat", storeCycle<Machines>("machines.dat", [](Machines &s) { s.addMachine(5); })},
        {"work.dat", storeCycle<WorkList>("work.dat", [](WorkList &s) { s.insertNew(); })},
        {"history.dat", [](const QString &folder) {
             History store;
             store.setPath(folder + "history.dat");
             QVERIFY(store.readBase());
             QCOMPARE(store.notes().count() + store.presets().count() + store.programs().count(), 0);
             store.notes().insertNote(LineType::Program);  // a run recorded
             QVERIFY(store.saveBase());
         }},
        {"settings.dat", [](const QString &) {
             Settings settings;
             settings.init("settings.dat");
             QVERIFY(settings.readSettings());
             QCOMPARE(settings.operatorName(), QString("noname"));
             settings.setOperatorName("Eva");
             QVERIFY(settings.saveSettings());
         }},
    };
}

// A file every kind reads with content: each list key holds one record.
QByteArray wholeFile()
{
    const QJsonArray one{QJsonObject{{"nam", "Alfa"}, {"name", "Alfa"}, {"typ", "Notes"}}};
    return Container::encode({{"version", "1"}, {"presets", one}, {"programs", one}, {"clients", one},
                              {"history", one}, {"machines", one}, {"program", one},
                              {"operator", QJsonObject{{"typ", "Eva"}}}});
}

QStringList asideFiles(const QString &folder, const QString &name)
{
    return QDir(folder).entryList({name + ".damaged-*"}, QDir::Files);
}

} // namespace

class TestDataSafety : public QObject
{
    Q_OBJECT

    QString m_folder;

    void cleanFolder()
    {
        QDir(m_folder).removeRecursively();
        QDir().mkpath(m_folder);
    }

private Q_SLOTS:
    void initTestCase()
    {
        TestEnv::useTemporaryHome();
        m_folder = TestEnv::dataFolder();
    }

    void damagedFilesAreKeptAsideAndNeverOverwritten_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray whole = wholeFile();
        QCborMap badText;
        badText.insert(QStringLiteral("version"), QStringLiteral("1"));
        QByteArray invalidUtf8 = QCborValue(badText).toCbor();
        invalidUtf8.replace(QByteArray("\x61" "1"), QByteArray("\x61\xff"));
        QList<QPair<const char *, QByteArray>> damages{
            {"garbage", QByteArray("\x00\xffnot a record file\x1c", 20)},
            {"empty", QByteArray()},
            {"truncated", whole.chopped(5)},
            {"an array", QCborValue(QCborArray{1, 2}).toCbor()},
            {"trailing bytes", whole + QByteArray(1, '\0')},
            {"invalid UTF-8", invalidUtf8},
            {"a number key", QByteArray::fromHex("a1 01 61 78")},
            {"nested too deep", QByteArray("\xa1\x61k") + QByteArray(100, '\x81') + QByteArray(1, '\x01')},
        };
        // Other CBOR writers: a character split between two chunks of a
        // text, and a name stored as bytes, which would be saved back empty.
        const QByteArray splitCharacter = QByteArray::fromHex("a1 67") + "version" + QByteArray::fromHex("7f 61 c5 61 98 ff");
        QCborMap good, bytesRecord;
        for (const char *key : {"nam", "name", "typ"}) {
            good.insert(QLatin1String(key), QStringLiteral("Alfa"));
            bytesRecord.insert(QLatin1String(key), QCborValue(QByteArray("Alfa")));
        }
        damages.append({"a character split between chunks", splitCharacter});
        // The reader is one for all: one store meets every damage. Every
        // store meets a name as bytes in its own lists, after a good record,
        // so neither its file name, its record shape nor a list read halfway escapes.
        for (const auto &[damage, bytes] : damages)
            QTest::addRow("presets.dat %s", damage) << "presets.dat" << bytes;
        const QList<QPair<QString, QStringList>> listsOf{
            {"presets.dat", {"presets"}}, {"programs.dat", {"programs"}}, {"clients.dat", {"clients"}},
            {"machines.dat", {"machines"}}, {"work.dat", {"program"}},
            {"history.dat", {"history", "presets", "programs"}}, {"settings.dat", {}}};
        for (const auto &[file, lists] : listsOf) {
            QCborMap own;
            for (const QString &list : lists)
                own.insert(list, QCborArray{good, list == lists.last() ? bytesRecord : good});
            if (lists.isEmpty())
                own.insert(QStringLiteral("operator"), bytesRecord);  // settings keep no list
            QTest::addRow("%s a name as bytes", qPrintable(file)) << file << QCborValue(own).toCbor();
        }
        QTest::addRow("presets.dat over the size limit") << "presets.dat" << QByteArray("sparse");
    }

    void damagedFilesAreKeptAsideAndNeverOverwritten()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        cleanFolder();
        const QString path = m_folder + file;
        QVERIFY(TestEnv::writeFile(path, bytes));
        if (bytes == "sparse")
            QVERIFY(QFile(path).resize(Container::sizeLimit + 1));
        const qint64 size = QFileInfo(path).size();

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("kept aside"));
        cycles().value(file)(m_folder);
        const QStringList aside = asideFiles(m_folder, file);
        QCOMPARE(aside.size(), 1);
        QVERIFY(QRegularExpression("\\.damaged-\\d{8}-\\d{6}$").match(aside.first()).hasMatch());
        QCOMPARE(QFileInfo(m_folder + aside.first()).size(), size);
        if (size < 1000)
            QCOMPARE(TestEnv::readFile(m_folder + aside.first()), bytes);
        QCOMPARE(Container::keptAside().last().path, path);
        QCOMPARE(Container::takeNewlyKeptAside().size(), 1);

        // The fresh file reads whole; the damaged copy stays as it was.
        QJsonObject object;
        QVERIFY(Container::decode(TestEnv::readFile(path), object));
        QCOMPARE(Container::readFile(path, object), Container::ReadStatus::Read);
        QCOMPARE(asideFiles(m_folder, file), aside);
        QCOMPARE(QFileInfo(m_folder + aside.first()).size(), size);
    }

    // A well-formed file that keeps its records where this program does not
    // look (another version's form) is kept aside and told, never read as
    // empty and saved over. A file not there yet is no failure at all.
    void foreignFormsAreKeptAsideAndTold()
    {
        cleanFolder();
        QTest::failOnWarning(QRegularExpression("Couldn't open save file"));
        Presets first;  // a first start
        first.setPath(m_folder + "presets.dat");
        QVERIFY(!first.readBase());
        const QJsonArray records{QJsonObject{{"nam", "Alfa"}, {"name", "Alfa"}}, QJsonObject{{"nam", "Beta"}}};
        const QList<QPair<QString, QJsonObject>> foreign{
            {"presets.dat", {{"version", "2"}, {"items", records}}},
            {"presets.dat", {{"version", "1"}, {"presets", QJsonObject{{"Alfa", "1"}}}}},
            {"presets.dat", {{"presets", QJsonArray{QJsonArray{"Alfa", "1"}}}}},
            {"clients.dat", {{"version", "2"}, {"people", records}}},
            {"machines.dat", {{"version", "2"}, {"devices", records}}},
            {"history.dat", {{"version", "1"}, {"history", records}, {"presets", "Alfa"}}},
            {"history.dat", {{"version", "2"}, {"entries", records}, {"presets", records}}},
            // A record's own list is read as the store's list is.
            {"programs.dat", {{"programs", QJsonArray{QJsonObject{{"nam", "P"}, {"program", QJsonArray{records[1], 5}}}}}}},
            {"programs.dat", {{"programs", QJsonArray{QJsonObject{{"nam", "P"}, {"program", QJsonObject{{"Alfa", "1"}}}}}}}},
            {"machines.dat", {{"machines", QJsonArray{QJsonObject{{"Work", QJsonObject{{"program", QJsonArray{"Alfa"}}}}}}}}},
            {"machines.dat", {{"machines", QJsonArray{QJsonObject{{"logs", QJsonObject{{"logs", QJsonArray{records[1], 1}}}}}}}}},
            {"history.dat", {{"history", records}, {"programs", QJsonArray{QJsonObject{{"program", QJsonArray{"x"}}}}}}},
        };
        for (const auto &[file, object] : foreign) {
            cleanFolder();
            const QByteArray bytes = Container::encode(object);
            QVERIFY(TestEnv::writeFile(m_folder + file, bytes));
            Container::takeNotices();
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("is not of a form this program reads"));
            cycles().value(file)(m_folder);
            const QStringList aside = QDir(m_folder).entryList({file + ".foreign-*"}, QDir::Files);
            QCOMPARE(aside.size(), 1);
            QCOMPARE(TestEnv::readFile(m_folder + aside.first()), bytes);
            const QStringList told = Container::takeNotices();
            QCOMPARE(told.size(), 1);
            QVERIFY2(told.first().startsWith(file + " is not of a form this program reads"), qPrintable(told.first()));
            QVERIFY2(!object.contains("items") || told.first().contains("version 2"), qPrintable(told.first()));
        }
        // A history whose client has no notes yet, only presets, is ours.
        cleanFolder();
        QVERIFY(TestEnv::writeFile(m_folder + "history.dat", Container::encode({{"presets", records}})));
        History history;
        history.setPath(m_folder + "history.dat");
        QVERIFY(history.readBase());
        QCOMPARE(history.presets().count(), 2);
        QVERIFY(Container::takeNotices().isEmpty());
    }

    // What cannot be read (as root, permissions do not stop reading: a link
    // to a folder, a folder, a pipe, a device) is never waited on, never
    // replaced, and told once: that it cannot be read, and that an edit is
    // not saved over it.
    void unreadableFilesAreNotReplaced()
    {
        const QStringList kinds{"link to a folder", "folder", "pipe", "link to /dev/zero"};
        for (const QString &kind : kinds) {
            cleanFolder();
            // Told once a file while it stays so: each case a file of its own.
            const QString name = QString("presets%1.dat").arg(kinds.indexOf(kind));
            const QString path = m_folder + name;
            if (kind == "link to a folder") {
                QVERIFY(QDir().mkpath(m_folder + "elsewhere"));
                QVERIFY(QFile::link(m_folder + "elsewhere", path));
            } else if (kind == "folder") {
                QVERIFY(QDir().mkpath(path));
            } else if (kind == "pipe") {
                QCOMPARE(QProcess::execute("mkfifo", {path}), 0);
            } else {
                QVERIFY(QFile::link("/dev/zero", path));
            }
            Container::takeNotices();
            Presets store;
            store.setPath(path);
            store.insertNew();
            QElapsedTimer took;
            took.start();
            QTest::ignoreMessage(QtWarningMsg, "Couldn't open save file.");
            QVERIFY(!store.readBase());
            QVERIFY(took.elapsed() < 5000);
            QCOMPARE(store.count(), 1);  // memory stays as it was
            for (int save = 0; save < 2; ++save) {
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not overwriting"));
                if (save == 0)
                    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Could not write"));
                QVERIFY(!store.saveBase());
            }
            const QStringList told = Container::takeNotices();
            QVERIFY2(told.size() == 2, qPrintable(kind + ": " + told.join(" / ")));
            QVERIFY2(told.at(0).startsWith(name + " cannot be read ("), qPrintable(told.at(0)));
            QVERIFY2(told.at(1).contains("the change is not saved"), qPrintable(told.at(1)));
            QVERIFY(!QFileInfo(path).isFile());
            QVERIFY(asideFiles(m_folder, name).isEmpty());
        }
    }

    // A stored date the program does not read (another tool's form, a day
    // or hour that does not exist, an hour a daylight-saving change skips
    // or repeats) is written back as it was by a save nobody asked for,
    // shown as it is, and replaced only by a new value.
    void storedDateTextsAreKept()
    {
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Europe/Prague");
        tzset();
        const auto restoreZone = qScopeGuard([&zone] {
            qputenv("TZ", zone);
            tzset();
        });
        for (const QString odd : {"1.2.2026 9:05", "31.04.2026 10:00", "01.02.2026 24:00", "yesterday",
                                  "29.03.2026 02:30", "25.10.2026 02:30"}) {
            cleanFolder();
            const QJsonObject dated{{"nam", "A"}, {"name", "A"}, {"cre", odd}, {"mod", odd}};
            for (const char *file : {"presets", "programs"})
                TestEnv::writeFile(m_folder + file + ".dat", Container::encode({{file, QJsonArray{dated}}}));
            TestEnv::writeFile(m_folder + "history.dat", Container::encode({{"history", QJsonArray{dated}}}));
            // The registry's dates carry seconds, a log's milliseconds too.
            const QString contact = odd + ":59", logged = odd + ":15.250";
            const QJsonObject log{{"logs", QJsonArray{QJsonObject{{"cre", logged}, {"log", "x"}}}}};
            TestEnv::writeFile(m_folder + "machines.dat", Container::encode(
                {{"machines", QJsonArray{QJsonObject{{"LastConnected", contact}, {"logs", log}}}}}));

            Presets presets;
            presets.setPath(m_folder + "presets.dat");
            Programs programs;
            programs.setFolder(m_folder);
            History history;
            history.setPath(m_folder + "history.dat");
            Machines machines;
            machines.setFolder(m_folder);
            QVERIFY(presets.readBase() && programs.readBase() && history.readBase() && machines.readBase());
            QCOMPARE((QStringList{presets.createdText(), programs.modifiedText(), history.notes().createdText(),
                                  machines.lastContactText()}), (QStringList{odd, odd, odd, contact}));
            QVERIFY(presets.saveBase() && programs.saveBase() && history.saveBase() && machines.saveBase());

            const auto first = [this](const char *file, const char *list) {
                return Container::decode(TestEnv::readFile(m_folder + file)).value(list).toArray().at(0).toObject();
            };
            const QJsonObject machine = first("machines.dat", "machines");
            QCOMPARE((QStringList{first("presets.dat", "presets")["cre"].toString(), first("presets.dat", "presets")["mod"].toString(),
                                  first("programs.dat", "programs")["cre"].toString(), first("history.dat", "history")["cre"].toString(),
                                  machine["LastConnected"].toString(),
                                  machine["logs"].toObject()["logs"].toArray().at(0).toObject()["cre"].toString()}),
                     (QStringList{odd, odd, odd, odd, contact, logged}));

            presets.setModifiedNow();
            QCOMPARE(presets.modifiedText(), TextForm::fromDateTime(TextForm::now()));
            QCOMPARE(presets.createdText(), odd);
            machines.touch();
            QVERIFY(machines.lastContactText() != contact);
        }

        // Dates another writer tagged as dates (text and seconds since 1970)
        // are read and written back in the program's own form.
        QCborMap tagged{{QStringLiteral("nam"), QStringLiteral("A")},
                        {QStringLiteral("cre"), QCborValue(QCborKnownTags::DateTimeString, QStringLiteral("2026-02-01T09:05:00Z"))},
                        {QStringLiteral("mod"), QCborValue(QCborKnownTags::UnixTime_t, 1769936700)}};
        TestEnv::writeFile(m_folder + "presets.dat", QCborValue(QCborMap{{QStringLiteral("presets"), QCborArray{tagged}}}).toCbor());
        Presets presets;
        presets.setPath(m_folder + "presets.dat");
        QVERIFY(presets.readBase());
        QCOMPARE((QStringList{presets.createdText(), presets.modifiedText()}), QStringList(2, "01.02.2026 10:05"));
        QVERIFY(presets.saveBase());
        const QJsonObject saved = Container::decode(TestEnv::readFile(m_folder + "presets.dat"))["presets"].toArray().at(0).toObject();
        QCOMPARE((QStringList{saved["cre"].toString(), saved["mod"].toString()}), QStringList(2, "01.02.2026 10:05"));
    }

    // A file another program wrote after this one read it (or made where
    // there was none) is kept beside the save that replaces it, and said so.
    void filesChangedElsewhereAreKept()
    {
        for (const bool existed : {true, false}) {
            cleanFolder();
            const QString path = m_folder + "clients.dat";
            if (existed)
                QVERIFY(TestEnv::writeFile(path, wholeFile()));
            Clients mine;
            mine.setFolder(m_folder);
            QCOMPARE(mine.readBase(), existed);
            // The other writer saves as this program does: a new file renamed over.
            const QByteArray theirs = Container::encode({{"clients", QJsonArray{QJsonObject{{"name", "Alice"}}}}});
            QVERIFY(TestEnv::writeFile(path + ".other", theirs));
            QVERIFY(QFile::rename(path + ".other", path) || (QFile::remove(path) && QFile::rename(path + ".other", path)));
            mine.insertNew();
            mine.setName("Bob");
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("changed by another program; that version is kept"));
            QVERIFY(mine.saveBase());
            const QList<Container::KeptAside> kept = Container::takeChangedElsewhere();
            QCOMPARE(kept.size(), 1);
            QCOMPARE(kept.first().path, path);
            QCOMPARE(TestEnv::readFile(kept.first().keptAs), theirs);
            QVERIFY(QRegularExpression("clients.dat.changed-\\d{8}-\\d{6}$").match(kept.first().keptAs).hasMatch());
            Clients reread;
            reread.setFolder(m_folder);
            QVERIFY(reread.readBase());
            QCOMPARE(reread.name(), QString("Bob"));
            // Nothing is written that the program would not read back.
            Container::takeFailedWrites();
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Could not write .*more than the 256.0 MiB"));
            QVERIFY(!Container::writeBytes(path, QByteArray(Container::sizeLimit + 1, 'x')));
            QCOMPARE(Container::takeFailedWrites().size(), 1);
            // Our own saves in a row are no change by another.
            QVERIFY(mine.saveBase());
            QVERIFY(Container::takeChangedElsewhere().isEmpty());
        }
    }

    // Saves in a batch replace nothing until all are written; a batch whose
    // renames stop part-way is finished at the next start, and saves that
    // were never committed leave nothing behind.
    void batchesLandWhole()
    {
        cleanFolder();
        Container::takeCleanups();
        const QString a = m_folder + "a.dat", b = m_folder + "b.dat";
        QVERIFY(Container::writeBytes(a, "old a"));
        {
            Container::Batch batch(m_folder);
            QVERIFY(Container::writeBytes(a, "new a"));
            QVERIFY(Container::writeBytes(b, "new b"));
            QCOMPARE(TestEnv::readFile(a), QByteArray("old a"));
            QVERIFY(!QFile::exists(b));
        }  // not committed
        QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden), QStringList{"a.dat"});

        {
            Container::Batch batch(m_folder);
            QVERIFY(Container::writeBytes(a, "new a"));
            QVERIFY(Container::writeBytes(b, "new b"));
            QVERIFY(QDir().mkpath(b + "/in the way"));  // b's rename fails
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Could not rename .*b.dat"));
            QCOMPARE(batch.commit(), Container::Batch::Pending);
        }
        QCOMPARE(TestEnv::readFile(a), QByteArray("new a"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Could not rename .*b.dat"));
        QVERIFY(!Container::finishPending(m_folder));  // still in the way: the journal stays
        QVERIFY(QDir(b).removeRecursively());
        QVERIFY(QFile::exists(b + Container::stagedSuffix));
        QVERIFY(Container::finishPending(m_folder));
        QCOMPARE(TestEnv::readFile(b), QByteArray("new b"));
        QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.dat", "b.dat"}));

        QCOMPARE(Container::takeCleanups(), QStringList{"A restore or an import cut short by the end of the program was "
                                                        "finished now (1 files put in place)"});

        // A kill's leftover of one save is removed at start, and a journal
        // that is not whole, not a plain file (which would hold up the start
        // for ever) or names what is not ours changes nothing it names. The
        // start says what it cleaned up.
        const QString journal = m_folder + "pending-saves.journal";
        for (const QString kind : {"cut short", "pipe", "link to /dev/zero", "names another file"}) {
            QVERIFY(TestEnv::writeFile(a + Container::stagedSuffix, "half"));
            if (kind == "cut short")
                QVERIFY(TestEnv::writeFile(journal, "\xa1"));
            else if (kind == "pipe")
                QCOMPARE(QProcess::execute("mkfifo", {journal}), 0);
            else if (kind == "link to /dev/zero")
                QVERIFY(QFile::link("/dev/zero", journal));
            else
                QVERIFY(TestEnv::writeFile(journal, Container::encode({{"replace", QJsonArray{"a.dat", "../a.dat"}}})));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Unreadable journal"));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("kept aside"));
            QElapsedTimer took;
            took.start();
            QVERIFY(Container::finishPending(m_folder));
            QVERIFY(took.elapsed() < 5000);
            QCOMPARE(TestEnv::readFile(a), QByteArray("new a"));
            QCOMPARE(QDir(m_folder).entryList({"*.dat*"}, QDir::Files | QDir::Hidden), (QStringList{"a.dat", "b.dat"}));
            const QStringList told = Container::takeCleanups();
            QCOMPARE(told.size(), 2);
            QVERIFY(told.at(0).contains("journal this program cannot read"));
            QVERIFY(told.at(1).startsWith("The program ended while saving a.dat"));
            for (const QString &kept : QDir(m_folder).entryList({"pending-saves.journal.damaged-*"}, QDir::AllEntries | QDir::System))
                QVERIFY(QFile::remove(m_folder + kept));
        }
    }

    // A lock that names no copy of the program (left empty or garbled by a
    // crash or a full disk, a folder or a link to nothing in its place) can
    // be taken over, what was found kept aside; one a live copy holds cannot.
    void onlyALockNamingNoCopyIsTakenOver()
    {
        for (const QString kind : {"empty", "garbage", "folder", "link to nothing", "live"}) {
            cleanFolder();
            const QString path = m_folder + FolderLock::fileName;
            QLockFile live(path);
            if (kind == "empty" || kind == "garbage")
                QVERIFY(TestEnv::writeFile(path, kind == "empty" ? QByteArray() : QByteArray("\x01\x02 not a lock")));
            else if (kind == "folder")
                QVERIFY(QDir().mkpath(path + "/inside"));
            else if (kind == "link to nothing")
                QVERIFY(QFile::link(m_folder + "nowhere", path));
            else
                QVERIFY(live.tryLock(0));
            FolderLock lock(m_folder);
            QVERIFY(!lock.tryLock());
            QCOMPARE(lock.mayTakeOver(), kind != "live");
            QVERIFY2(lock.refusal().contains(kind == "live" ? "is in use by" : "take the folder over"), qPrintable(lock.refusal()));
            QCOMPARE(lock.takeOver(), kind != "live");
            if (kind != "live")
                QCOMPARE(QDir(m_folder).entryList({"TavikStudio.lock.found-*"}, QDir::AllEntries | QDir::System).size(), 1);
        }
    }

    // Word of work that landed beside the window stays in the folder until
    // the window has shown it, beside what the last end left.
    void heldNoticesWaitForTheWindow()
    {
        cleanFolder();
        QVERIFY(UntoldNotice::leave(m_folder, {"left"}));
        QCOMPARE(UntoldNotice::read(m_folder), QStringList{"left"});
        const quint64 imported = UntoldNotice::hold(m_folder, "imported");
        QCOMPARE(UntoldNotice::read(m_folder), (QStringList{"left", "imported"}));
        UntoldNotice::forget(m_folder);
        QCOMPARE(UntoldNotice::read(m_folder), QStringList{"imported"});
        QVERIFY(UntoldNotice::leave(m_folder, {"failed"}));
        QCOMPARE(UntoldNotice::read(m_folder), (QStringList{"failed", "imported"}));
        UntoldNotice::told(imported);
        QCOMPARE(UntoldNotice::read(m_folder), QStringList{"failed"});
        UntoldNotice::forget(m_folder);
        QVERIFY(!QFile::exists(m_folder + "untold.dat"));
    }

    // A save on a full disk fails, says so, and leaves the old file whole.
    // Run on a small file system of its own: a tmpfs in a private mount
    // namespace, where this test runs again.
    void fullDiskKeepsTheOldFile()
    {
        const QString folder = qEnvironmentVariable("TAVIK_FULL_DISK_FOLDER");
        if (folder.isEmpty()) {
            if (QProcess::execute("unshare", {"-mr", "sh", "-c", "mount -t tmpfs tmpfs /mnt"}) != 0)
                QSKIP("no private mount namespace on this machine");
            QTemporaryDir mountPoint;
            const QString script = QStringLiteral("mount -t tmpfs -o size=64k tmpfs '%1' && exec '%2' fullDiskKeepsTheOldFile")
                                       .arg(mountPoint.path(), QCoreApplication::applicationFilePath());
            QProcess inner;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("TAVIK_FULL_DISK_FOLDER", mountPoint.path() + "/");
            inner.setProcessEnvironment(env);
            inner.setProcessChannelMode(QProcess::ForwardedChannels);
            inner.start("unshare", {"-mr", "sh", "-c", script});
            QVERIFY(inner.waitForFinished(60000));
            QCOMPARE(inner.exitCode(), 0);
            return;
        }
        Clients clients;
        clients.setFolder(folder);
        for (int i = 0; i < 20; ++i) {
            clients.insertNew();
            clients.setName(QStringLiteral("Client %1").arg(i));
        }
        QVERIFY(clients.saveBase());
        const QByteArray before = TestEnv::readFile(clients.path());
        for (const int size : {1024, 1}) {  // in blocks, then the last few bytes too
            QFile filler(folder + (size > 1 ? "filler" : "filler2"));
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray block(size, 'x');
            while (filler.write(block) == size) {}
        }

        clients.setCurrent(0);
        clients.setNotes1(QString(2000, QLatin1Char('n')));
        Container::takeFailedWrites();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Could not write .*clients.dat"));
        QVERIFY(!clients.saveBase());
        QCOMPARE(TestEnv::readFile(clients.path()), before);
        const QList<Container::FailedWrite> failed = Container::takeFailedWrites();
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().path, clients.path());
        QCOMPARE(failed.first().why, QString("the disk is full"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 3);  // no half-written file left
        // So does a file written as it is made (a backup) whose maker stops on the failure.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Could not write .*streamed.bkp"));
        const QByteArray piece(1 << 20, 's');
        QVERIFY(!Container::writeStream(folder + "streamed.bkp", [&piece](QIODevice &device) {
            return device.write(piece) == piece.size();
        }));
        QCOMPARE(Container::takeFailedWrites().size(), 1);
        FolderLock lock(folder);
        QVERIFY(!lock.tryLock());
        QVERIFY2(lock.refusal().contains("the disk is full") && !lock.mayTakeOver(), qPrintable(lock.refusal()));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 3);

        QVERIFY(QFile::remove(folder + "filler"));
        QVERIFY(clients.saveBase());
        // A write that fills a disk with room left: the room comes back
        // when the half-written file goes, yet the disk was full.
        Container::takeNotices();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Could not write .*nearly.bkp"));
        QVERIFY(!Container::writeStream(folder + "nearly.bkp", [&piece](QIODevice &device) {
            return device.write(piece) == piece.size();
        }));
        QCOMPARE(Container::takeNotices(), QStringList{"nearly.bkp could not be written (the disk is full); no file was made"});
        Clients reread;
        reread.setFolder(folder);
        QVERIFY(reread.readBase());
        QCOMPARE(reread.records().at(0).notes1.size(), 2000);
    }
};

QTEST_GUILESS_MAIN(TestDataSafety)
#include "tst_datasafety.moc"
