#include "data/presets.h"
#include "data/textmatch.h"

#include <QRegularExpression>

#include <QTest>

namespace {

// A General pool holding these names, in this order, all version 1.
Presets poolOf(const QStringList &names)
{
    Presets presets;
    for (const QString &name : names) {
        presets.setCurrent(presets.count());
        presets.insertNew();
        presets.setName(name);
        presets.setVersion(1);
    }
    return presets;
}

QStringList shownNames(Presets &presets)
{
    QStringList names;
    for (const int index : presets.shownRows())
        names << presets.records().at(index).name;
    return names;
}

QStringList allNames(const Presets &presets)
{
    QStringList names;
    for (const Preset &preset : presets.records())
        names << preset.name;
    return names;
}

} // namespace

class TestSearchIndex : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void searchIgnoresCaseAndAccents_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("shown");
        const QStringList es{"ever", "Řez", "Eden", "café", "Ètude"};
        QTest::newRow("e") << "e" << es;
        QTest::newRow("E acute") << "É" << es;
        QTest::newRow("r caron in the pattern") << "ř" << QStringList{"ever", "Řez", "rozinka"};
        QTest::newRow("longer than every name") << "ever and ever" << QStringList{};
        QTest::newRow("decomposed pattern") << QString("cafe\u0301") << QStringList{"café"};
        QTest::newRow("a lone mark matches all")
            << QString("\u0301") << QStringList{"ever", "Řez", "Eden", "rozinka", "café", "Ètude", "𝐀x"};
        QTest::newRow("astral letters kept") << QString::fromUtf8("\xF0\x9D\x90\x80") << QStringList{"𝐀x"};
    }

    void searchIgnoresCaseAndAccents()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, shown);
        Presets presets = poolOf({"ever", "Řez", "Eden", "rozinka", "café", "Ètude", "𝐀x"});
        presets.setFilter(pattern);
        QCOMPARE(shownNames(presets), shown);
        // first/next walk the same records as the list shows.
        QStringList walked;
        for (presets.first(); presets.hasCurrent(); presets.next())
            walked << presets.name();
        QCOMPARE(walked, shown);
    }

    // The quick fold of Latin names must give what decomposing does.
    void foldMatchesDecomposition()
    {
        static const QRegularExpression marks("\\p{M}");
        for (const QString &text : {QString("Řez Kůra"), QString("ŒUVRE straße"), QString("İstanbul ǅ Ǆ ŉ"),
                                    QString("Ångström ĳ ſ µ"), QString("ﬁ Ω café")}) {
            const QString reference = text.normalized(QString::NormalizationForm_D).remove(marks).toCaseFolded();
            QCOMPARE(foldForSearch(text), reference);
        }
    }

    // Keys kept from earlier keystrokes must follow every change of the
    // store and of the pattern, including a pattern that gets shorter.
    void searchFollowsChanges()
    {
        Presets presets = poolOf({"Alfa", "Beta", "Alba", "Gama"});
        presets.setFilter("al");
        QCOMPARE(shownNames(presets), (QStringList{"Alfa", "Alba"}));
        presets.setFilter("alb");
        QCOMPARE(shownNames(presets), QStringList{"Alba"});
        presets.setFilter("a");
        QCOMPARE(shownNames(presets), (QStringList{"Alfa", "Beta", "Alba", "Gama"}));

        presets.setFilter("al");
        presets.select(0);
        presets.setName("Omega");  // renamed in place: its key is folded again
        presets.setCurrent(0);
        presets.insertNew();
        presets.setName("Álef");
        presets.setCurrent(3);  // "Alba"
        presets.removeCurrent();
        QCOMPARE(shownNames(presets), QStringList{"Álef"});
        presets.select(0);
        QCOMPARE(presets.name(), QString("Álef"));
        presets.select(1);
        QVERIFY(!presets.hasCurrent());

        // A lookup switches the filter off; the filter text stays.
        presets.find("Gama", 1);
        QVERIFY(!presets.filterActive());
        QCOMPARE(presets.filter(), QString("al"));
        QCOMPARE(shownNames(presets).size(), 4);
    }

    void moveByOnePlace_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("rowAfter");
        QTest::addColumn<QStringList>("order");
        const QStringList same{"a1", "b", "a2", "c", "a3"};
        QTest::newRow("up") << "" << 2 << -1 << 1 << QStringList{"a1", "a2", "b", "c", "a3"};
        QTest::newRow("down") << "" << 0 << 1 << 1 << QStringList{"b", "a1", "a2", "c", "a3"};
        QTest::newRow("up on the first row") << "" << 0 << -1 << 0 << same;
        QTest::newRow("down on the last record") << "" << 4 << 1 << 4 << same;
        QTest::newRow("up past the end") << "" << 5 << -1 << 5 << same;
        QTest::newRow("negative row") << "" << -1 << 1 << -1 << same;
        // Under a search the neighbour may be hidden: a2 swaps with b.
        QTest::newRow("up over a hidden record") << "a" << 1 << -1 << 0 << QStringList{"a1", "a2", "b", "c", "a3"};
        QTest::newRow("down over a hidden record") << "a" << 1 << 1 << 2 << QStringList{"a1", "b", "c", "a2", "a3"};
        QTest::newRow("shown row beyond the matches") << "a" << 3 << -1 << 3 << same;
        QTest::newRow("down on the last shown, last record") << "a" << 2 << 1 << 2 << same;
    }

    void moveByOnePlace()
    {
        QFETCH(QString, filter);
        QFETCH(int, row);
        QFETCH(int, step);
        QFETCH(int, rowAfter);
        QFETCH(QStringList, order);
        Presets presets = poolOf({"a1", "b", "a2", "c", "a3"});
        presets.setFilter(filter);
        QCOMPARE(presets.moveShown(row, step), rowAfter);
        QCOMPARE(allNames(presets), order);

        Presets empty;
        QCOMPARE(empty.moveShown(0, 1), 0);
        QCOMPARE(empty.moveShown(0, -1), 0);
    }
};

QTEST_GUILESS_MAIN(TestSearchIndex)
#include "tst_searchindex.moc"
