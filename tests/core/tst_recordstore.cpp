#include "data/container.h"
#include "data/recordstore.h"
#include "data/textforms.h"
#include "support/testenv.h"

#include <QCborMap>
#include <QCborValue>
#include <QTest>

#include <unistd.h>

namespace {

struct Item
{
    QString name;
    int version = 0;

    static Item fromJson(const QJsonObject &object)
    {
        Item item;
        TextForm::readText(object, "nam", item.name);
        TextForm::readInt(object, "ver", item.version);
        return item;
    }
    QJsonObject toJson() const
    {
        return {{"nam", name}, {"ver", TextForm::fromInt(version)}};
    }
    QString displayText() const { return name; }
};

class Items : public RecordStore<Item>
{
public:
    Items() : RecordStore<Item>(QStringLiteral("items"), QStringLiteral("items")) {}
    void insertNew(const QString &name, int version = 1) { insertRecord(Item{name, version}); }
    QString name() const { return field(&Item::name); }
};

Items makeItems(const QStringList &names)
{
    Items items;
    for (int i = names.size() - 1; i >= 0; --i) {
        items.setCurrent(0);
        items.insertNew(names.at(i));
    }
    return items;
}

} // namespace

class TestRecordStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void navigationWithAndWithoutFilter()
    {
        Items items = makeItems({"Alfa", "Beta", "Řez", "Gama", "rezonance"});
        items.first();
        QVERIFY(items.next());
        QCOMPARE(items.name(), QString("Beta"));

        items.setFilter("rez");
        items.select(1);
        QCOMPARE(items.name(), QString("rezonance"));
        QVERIFY(!items.next());
        QVERIFY(!items.hasCurrent());
        QCOMPARE(items.name(), QString());  // accessors yield empty past the end

        items.setFilter(QString());
        QVERIFY(!items.filterActive());
        items.select(3);
        QCOMPARE(items.name(), QString("Gama"));
    }

    void insertAndRemoveAtTheEnds()
    {
        Items items = makeItems({"a", "b", "c"});
        items.setCurrent(1);
        items.insertNew("x");
        QCOMPARE(items.current(), 1);
        QCOMPARE(items.records().at(1).name, QString("x"));
        QCOMPARE(items.records().at(2).name, QString("b"));

        // A current index beyond the records inserts at the end, not past it.
        items.setCurrent(99);
        items.insertNew("end");
        QCOMPARE(items.current(), 4);
        QCOMPARE(items.records().last().name, QString("end"));

        items.removeCurrent();  // the last: current moves to the new last
        QCOMPARE(items.count(), 4);
        QCOMPARE(items.current(), 3);
        items.setCurrent(0);
        items.removeCurrent();
        QCOMPARE(items.name(), QString("x"));
        items.setCurrent(-1);
        items.removeCurrent();  // nothing current: nothing removed
        items.setCurrent(10);
        items.removeCurrent();
        QCOMPARE(items.count(), 3);

        Items empty;
        empty.removeCurrent();
        QCOMPARE(empty.count(), 0);

        // A record keeps its key through edits in place, removals and swaps
        // of others; only a replaced list, or one whose length was changed
        // from outside, gets new keys.
        Items keyed = makeItems({"k0", "k1", "k2", "k3"});
        const quint64 k1 = keyed.keyAt(1);
        const quint64 k3 = keyed.keyAt(3);
        keyed.editRecords()[1].version = 7;
        QCOMPARE(keyed.keyAt(1), k1);
        keyed.removeRecordAt(0);
        keyed.swapRecords(0, 2);
        QCOMPARE(keyed.indexOfKey(k1), 2);
        QCOMPARE(keyed.indexOfKey(k3), 0);
        QCOMPARE(keyed.records().at(0).name, QString("k3"));
        keyed.removeRecordAt(5);  // outside: nothing
        QCOMPARE(keyed.count(), 3);
        const QList<Item> old = keyed.replaceRecords({Item{"n0", 1}});
        QCOMPARE(old.size(), 3);
        QCOMPARE(keyed.indexOfKey(k3), -1);
        QVERIFY(keyed.keyAt(0) != 0);
        const quint64 n0 = keyed.keyAt(0);
        keyed.editRecords().append(Item{"n1", 1});
        QCOMPARE(keyed.indexOfKey(n0), -1);
        QCOMPARE(keyed.count(), 2);
    }

    void keysAcrossReplacement()
    {
        // A list replaced whole keeps the key of each record still there,
        // by name and version, twins by their rank; the others get new ones.
        Items items = makeItems({"a", "b", "a", "c"});
        const QList<quint64> before = items.keys();
        items.replaceRecords({Item{"c", 1}, Item{"a", 1}, Item{"new", 1}, Item{"a", 1}, Item{"a", 1}, Item{"b", 2}});
        const QList<quint64> after = items.keys();
        QCOMPARE(after.at(0), before.at(3));
        QCOMPARE(after.at(1), before.at(0));
        QCOMPARE(after.at(3), before.at(2));
        for (int i : {2, 4, 5})
            QVERIFY(!before.contains(after.at(i)) && after.at(i) != 0);

        // A pool emptied before it is read again (as a restore does) keeps
        // its keys aside for what the read brings; a store given to
        // another list (another client's history) lets them go.
        const quint64 c = items.keyAt(0);
        items.replaceRecords({});
        QCOMPARE(items.keyAt(0), quint64(0));
        items.replaceRecords({Item{"x", 1}, Item{"c", 1}});
        QCOMPARE(items.keyAt(1), c);
        const quint64 x = items.keyAt(0);
        items.forgetKeys();
        items.replaceRecords({Item{"x", 1}});
        QVERIFY(items.keyAt(0) != x);

        // Keys carried beside the window (an import, a download, a pool
        // read again) are taken as they come while the store stands as it
        // was; a store changed meanwhile carries them itself, so that a key
        // never names a record that came after it.
        Items pool = makeItems({"a", "b"});
        const quint64 a = pool.keyAt(0), b = pool.keyAt(1);
        const QList<Item> swapped {Item{"b", 1}, Item{"a", 1}};
        pool.replaceRecords(swapped, Items::carriedKeys(swapped, pool.records(), pool.keys()), pool.revision());
        QCOMPARE(pool.keys(), (QList<quint64>{b, a}));
        const QList<Item> later {Item{"a", 1}, Item{"c", 1}};
        const QList<quint64> stale = Items::carriedKeys(later, pool.records(), pool.keys());
        const quint64 staleRevision = pool.revision();
        pool.remove(a);
        const quint64 a2 = pool.insert(0, Item{"a", 1});
        pool.replaceRecords(later, stale, staleRevision);
        QCOMPARE(pool.keyAt(0), a2);
        Items read;
        read.takeKeysOf(pool.letGo());
        QCOMPARE(pool.count(), 0);
        read.fromJson(QJsonObject{{"items", QJsonArray{Item{"c", 1}.toJson(), Item{"a", 1}.toJson()}}});
        pool.adoptRead(std::move(read));
        QCOMPARE(pool.keyAt(1), a2);

        // Reads by key move nothing and count as no change; a change by
        // key, an insert and a remove are told once made, by index.
        items.setFilter("x");
        items.setCurrent(0);
        const quint64 revision = items.revision();
        QCOMPARE(items.record(items.keyAt(0))->name, QString("x"));
        QVERIFY(!items.record(12345));
        QCOMPARE(items.countOf("x", 1), 1);
        QCOMPARE(items.revision(), revision);
        QVERIFY(items.filterActive());
        QStringList told;
        StoreSignals *announcements = items.announcements();
        connect(announcements, &StoreSignals::inserted, this, [&](int i) { told << "+" + items.records().at(i).name; });
        connect(announcements, &StoreSignals::removed, this, [&](int i) { told << QString("-%1").arg(i); });
        connect(announcements, &StoreSignals::changed, this, [&](int i) { told << "=" + items.records().at(i).name; });
        connect(announcements, &StoreSignals::swapped, this, [&](int a, int b) { told << QString("%1<>%2").arg(a).arg(b); });
        connect(announcements, &StoreSignals::reset, this, [&] { told << "reset"; });
        const quint64 y = items.insert(5, Item{"y", 1});
        QCOMPARE(items.indexOfKey(y), 1);
        QCOMPARE(items.current(), 0);
        QVERIFY(items.change(y, [](Item &item) { item.name = "z"; }));
        items.swapRecords(0, 1);
        QVERIFY(items.remove(y));
        QVERIFY(!items.remove(y));
        Items copy = items;  // a copy is another store: nobody listens to it
        copy.insert(0, Item{"unseen", 1});
        items.replaceRecords({});
        QCOMPARE(told, (QStringList{"+y", "=z", "0<>1", "-0", "reset"}));
    }

    void containerFileForm()
    {
        const QString path = TestEnv::dataFolder() + "items.dat";
        Items items = makeItems({"Alfa", "Beta"});
        items.setPath(path);
        QCOMPARE(items.count(), 0);  // a new path drops what came from the old one
        items.insertNew("Alfa", 3);
        QVERIFY(items.saveBase());

        const QCborValue stored = QCborValue::fromCbor(TestEnv::readFile(path));
        QVERIFY(stored.isMap());
        QCOMPARE(stored.toMap().value(QStringLiteral("version")).toString(), QString("1"));
        const QCborArray list = stored.toMap().value(QStringLiteral("items")).toArray();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.at(0).toMap().value(QStringLiteral("ver")).toString(), QString("3"));

        Items read;
        read.setPath(path);
        QVERIFY(read.readBase());
        QCOMPARE(read.count(), 1);
        QCOMPARE(read.records().at(0).name, QString("Alfa"));
        QCOMPARE(read.records().at(0).version, 3);

        // Written beside the window: a read of the path sees the newest
        // state asked, whole, and a write that failed leaves the store
        // changed, so the next save tries again.
        QVERIFY(!read.changedSinceFile() && read.saveIfChanged());
        for (int i = 0; i < 50; ++i) {
            read.insertNew(QString::number(i));
            QVERIFY(read.saveIfChanged());
        }
        QVERIFY(!read.changedSinceFile());
        Items again;
        again.setPath(path);
        QVERIFY(again.readBase());
        QCOMPARE(again.count(), 51);
        Items lost;
        lost.setPath(TestEnv::dataFolder() + "no-such-folder/items.dat");
        lost.insertNew("kept");
        Container::takeFailedWrites();
        QVERIFY(lost.saveIfChanged());
        QVERIFY(WriteBeside::waitForAll(10000));
        QVERIFY(lost.changedSinceFile());
        QCOMPARE(Container::takeFailedWrites().size(), 1);
    }

    void readableFilesWithoutAListLoadEmpty_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("list key missing") << Container::encode({{"version", "1"}});
        QTest::newRow("list not an array") << Container::encode({{"items", QJsonObject{{"nam", "x"}}}});
    }

    void readableFilesWithoutAListLoadEmpty()
    {
        QFETCH(QByteArray, bytes);
        const QString path = TestEnv::dataFolder() + "damaged.dat";
        QVERIFY(TestEnv::writeFile(path, bytes));
        Items items;
        items.setPath(path);
        items.insertNew("kept?");
        QVERIFY(items.readBase());
        QCOMPARE(items.count(), 0);
    }

    void unreadableFileKeepsMemory()
    {
        Items items;
        items.setPath(TestEnv::dataFolder() + "does-not-exist.dat");
        items.insertNew("kept");
        QVERIFY(!items.readBase());
        QCOMPARE(items.count(), 1);
    }

    void textForms()
    {
        const QDateTime moment(QDate(2026, 3, 11), QTime(7, 5));
        QCOMPARE(TextForm::fromDateTime(moment), QString("11.03.2026 07:05"));
        QCOMPARE(TextForm::toDateTime("11.03.2026 07:05"), moment);

        // A value that is no whole number, or not a string, leaves the old one.
        int number = 5;
        for (const auto &[value, expected] : QList<QPair<QJsonValue, int>>{{"12x", 5}, {12, 5}, {"99999999999", 5}, {"-7", -7}}) {
            TextForm::readInt({{"n", value}}, "n", number);
            QCOMPARE(number, expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
