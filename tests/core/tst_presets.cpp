#include "data/container.h"
#include "data/presets.h"
#include "support/testenv.h"

#include <QCborValue>
#include <QJsonArray>
#include <QTest>

namespace {

// Writes the records as a presets file and reads it back through the store.
Presets readBack(const QJsonArray &records, const QString &fileName)
{
    const QString path = TestEnv::dataFolder() + fileName;
    TestEnv::writeFile(path, Container::encode({{"version", "1"}, {"presets", records}}));
    Presets presets;
    presets.setPath(path);
    presets.readBase();
    return presets;
}

// Saves the store and returns the records as they are on disk.
QJsonArray savedRecords(const Presets &presets)
{
    presets.saveBase();
    return Container::decode(TestEnv::readFile(presets.path())).value("presets").toArray();
}

} // namespace

class TestPresets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void wordsAreReadCaseSensitively()
    {
        Presets presets = readBack({
            QJsonObject{{"for", "T8"}, {"obt", "DNA List"}},
            QJsonObject{{"for", "t8"}, {"obt", "FSCAN"}},
            QJsonObject{{"for", "T5 T7"}, {"obt", "FScan"}},
            QJsonObject{{"for", 1}, {"obt", 2}},  // not strings: ignored
        }, "words.dat");
        QList<QPair<int, int>> words;  // what each record is for, and how it was obtained
        for (const Preset &preset : presets.records())
            words.append({preset.forMachine, preset.obtained});
        QCOMPARE(words, (QList<QPair<int, int>>{{1, 1}, {0, 0}, {0, 2}, {0, 0}}));

        const QJsonArray saved = savedRecords(presets);
        QCOMPARE((QStringList{saved.at(0)["for"].toString(), saved.at(1)["for"].toString(), saved.at(1)["obt"].toString(),
                              saved.at(2)["obt"].toString()}), (QStringList{"T8", "T5 T7", "Calc", "FScan"}));
    }

    void timesVersionsAndDefaults()
    {
        Presets presets = readBack({
            QJsonObject{{"tim", "1439"}, {"ver", "abc"}},
            QJsonObject{{"tim", "1440"}, {"ver", "7"}},
            QJsonObject{{"nam", "no time"}},
            QJsonObject{{"tim", "-61"}, {"ver", 3}, {"nam", 5}, {"cre", "31.12.2025 23:59"}},
        }, "times.dat");
        // A day or more is a time like any other.
        QStringList read;
        for (const Preset &p : presets.records())
            read << QString("%1|%2|%3").arg(p.name).arg(p.version).arg(p.time);
        QCOMPARE(read, (QStringList{"|0|1439", "|7|1440", "no time|0|-61", "|0|-61"}));

        const QJsonArray saved = savedRecords(presets);
        QCOMPARE((QStringList{saved.at(0)["tim"].toString(), saved.at(1)["tim"].toString(), saved.at(2)["tim"].toString(),
                              saved.at(3)["cre"].toString()}), (QStringList{"1439", "1440", "-61", "31.12.2025 23:59"}));

        presets.setCurrent(4);
        presets.insertNew();
        presets.setTimeText("1:30");  // not a whole number: ignored
        QCOMPARE((QStringList{presets.timeText(), presets.variable(), presets.forMachineWord(), presets.obtainedWord()}),
                 (QStringList{"5", "5000.0", "T5 T7", "Calc"}));
    }

    void savedFileIsTheExpectedCbor()
    {
        Presets presets;
        presets.setPath(TestEnv::dataFolder() + "bytes.dat");
        presets.insertNew();
        presets.setCreatedText("");
        presets.setModifiedText("");
        presets.setName("Alpha");
        presets.setVersion(2);
        presets.setForMachineWord("T8");
        presets.setObtainedWord("FScan");
        presets.setTime(TextForm::noMinutes);
        presets.setVariable("");
        QVERIFY(presets.saveBase());

        const QByteArray expected = QByteArray::fromHex(
            "a2" "67" "70726573657473" "81" "aa"
            "63617574" "60"
            "63637265" "60"
            "63666f72" "625438"
            "636d6f64" "60"
            "636e616d" "65416c706861"
            "636e6f74" "60"
            "636f6274" "65465363616e"
            "6374696d" "632d3631"
            "63766172" "60"
            "63766572" "6132"
            "67" "76657273696f6e" "6131");
        QCOMPARE(TestEnv::readFile(presets.path()).toHex(), expected.toHex());

        // Texts of every length and letter are written as the JSON object's
        // CBOR would have them.
        presets.setNotes(QString(300, QChar(0x159)));
        presets.setAuthor("Jiří Dvořák, a text longer than twenty-three bytes");
        QVERIFY(presets.saveBase());
        const QJsonObject tree{{"version", "1"}, {"presets", QJsonArray{presets.records().first().toJson()}}};
        QCOMPARE(TestEnv::readFile(presets.path()), QCborValue::fromJsonValue(tree).toCbor());
    }

    // Other encoders' ways of writing the same data read as the same data:
    // tags, keys in chunks, keys with other letters (unknown, so ignored).
    void otherEncodingsReadWhole()
    {
        // By hand: the self-describing tag, a tagged list, a tagged record
        // with an unknown accented key, and a record whose key "nam" comes
        // in two chunks.
        const QByteArray bytes = QByteArray::fromHex(
            "d9d9f7" "a2" "6776657273696f6e" "6131" "67707265736574 73" "d904d2" "82"
            "d863" "a2" "69" "506f7a6ec3a16d6b61" "67" "69676e6f726564" "63" "6e616d" "65" "6669727374"
            "a1" "7f" "626e61" "616d" "ff" "66" "7365636f6e64");
        Presets presets;
        QVERIFY(presets.readBytes(bytes));
        QCOMPARE(presets.count(), 2);
        QCOMPARE(presets.records().at(0).name, QString("first"));
        QCOMPARE(presets.records().at(1).name, QString("second"));
        // Malformed, it is refused whole: a chunk that is not text.
        QByteArray broken = bytes;
        broken.replace(QByteArray::fromHex("626e61"), QByteArray::fromHex("426e61"));
        QVERIFY(!presets.readBytes(broken));
        QCOMPARE(presets.count(), 2);
        // A list that announces more records than its bytes could hold.
        QVERIFY(!presets.readBytes(QByteArray::fromHex("a1" "67707265736574 73" "9b0fffffffffffffff" "a0")));

        // A repeated key counts by its last value, and a value that is not a
        // text leaves the default, as in a JSON object.
        const Presets repeated = readBack({QJsonObject{{"nam", "kept"}, {"ver", 3}}}, "repeated.dat");
        QCOMPARE(repeated.records().at(0).version, 0);
        QByteArray twice = Container::encode({{"presets", QJsonArray{QJsonObject{{"nam", 1}, {"ver", "2"}}}}});
        twice.replace(QByteArray::fromHex("63766572"), QByteArray::fromHex("636e616d"));  // "ver" -> "nam"
        QVERIFY(presets.readBytes(twice));
        QCOMPARE(presets.records().at(0).name, QString("2"));
        twice = Container::encode({{"presets", QJsonArray{QJsonObject{{"nam", "1"}, {"ver", 2}}}}});
        twice.replace(QByteArray::fromHex("63766572"), QByteArray::fromHex("636e616d"));
        QVERIFY(presets.readBytes(twice));
        QCOMPARE(presets.records().at(0).name, QString());
    }

    // A large file is read a piece at a time: whichever byte of a record
    // a piece ends at, and with a text longer than a piece, it reads as its
    // bytes do; one that turns out not to be of our shape near its end is
    // read again whole, without the records read the first time.
    void largeFilesReadAsTheirBytes()
    {
        QList<Preset> records;
        for (int i = 0; i < 20000; ++i) {
            Preset preset = Preset::newRecord();
            preset.name = QString(i % 23, QChar(u'a' + i % 26)) + QChar(u'\u0159');
            preset.version = i;
            records.append(preset);
        }
        const Container::ListOf<Preset> list(QStringLiteral("presets"), records);
        const QString path = TestEnv::dataFolder() + "large.dat";
        for (int shift = 0; shift < 12; ++shift) {
            const QByteArray bytes = Container::encode({{"a", QString(shift, QLatin1Char('x'))}, {"version", "1"}}, {&list});
            QVERIFY(TestEnv::writeFile(path, bytes));
            Container::ListOf<Preset> read(QStringLiteral("presets"));
            QJsonObject rest;
            QCOMPARE(Container::readFile(path, rest, {&read}), Container::ReadStatus::Read);
            QCOMPARE(Container::encode(rest, {&read}), bytes);
        }

        records[10000].notes = QString(1024 * 1024 + 7, QLatin1Char('n'));
        QJsonArray array;
        for (const Preset &preset : std::as_const(records))
            array.append(preset.toJson());
        array.append(QJsonObject{{"nam", "last"}, {"ver", 7}});
        const Presets presets = readBack(array, "large.dat");
        QCOMPARE(presets.count(), records.size() + 1);
        QCOMPARE(presets.records().last().name, QString("last"));
        QCOMPARE(presets.records().last().version, 0);
        QCOMPARE(presets.records().at(10000).notes.size(), records.at(10000).notes.size());
    }

    void findCountsNameAndVersion()
    {
        Presets presets = readBack({
            QJsonObject{{"nam", "Alpha"}, {"ver", "1"}},
            QJsonObject{{"nam", "Alpha"}, {"ver", "2"}},
            QJsonObject{{"nam", "alpha"}, {"ver", "2"}},
            QJsonObject{{"nam", "Alpha"}, {"ver", "2"}},
        }, "find.dat");
        // A count is a read: the search and the current record stay.
        presets.setFilter("alpha");
        presets.setCurrent(1);
        const quint64 revision = presets.revision();
        int last = -1;
        QCOMPARE(presets.countOf("Alpha", 2, &last), 2);
        QCOMPARE(last, 3);
        QVERIFY(presets.filterActive());
        QCOMPARE(presets.current(), 1);
        QCOMPARE(presets.countOf("Alpha", 3, &last), 0);
        QCOMPARE(last, -1);
        QCOMPARE(presets.revision(), revision);
    }
};

QTEST_GUILESS_MAIN(TestPresets)
#include "tst_presets.moc"
