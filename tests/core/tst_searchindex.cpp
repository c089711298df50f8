#include "data/presets.h"
#include "data/textmatch.h"
#include "data/transliteration.h"

#include <QRandomGenerator>
#include <QSet>
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
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("shown");
        const QStringList mixed{"ever", "Řez", "Eden", "rozinka", "café", "Ètude", "\U00010400x"};
        const QStringList es{"ever", "Řez", "Eden", "café", "Ètude"};
        QTest::newRow("e") << mixed << "e" << es;
        QTest::newRow("E acute") << mixed << "É" << es;
        QTest::newRow("r caron in the pattern") << mixed << "ř" << QStringList{"ever", "Řez", "rozinka"};
        QTest::newRow("longer than every name") << mixed << "ever and ever" << QStringList{};
        QTest::newRow("decomposed pattern") << mixed << QString("cafe\u0301") << QStringList{"café"};
        QTest::newRow("a lone mark matches all") << mixed << QString("\u0301") << mixed;
        QTest::newRow("spaces alone match all") << mixed << "  " << mixed;
        QTest::newRow("astral letters case-folded") << mixed << QString("\U00010428") << QStringList{"\U00010400x"};

        // What an operator types for names written with letters that have
        // no decomposition, compatibility forms and odd spaces; beside each
        // name one that must not be found.
        const QStringList places{"Łódź", "Lodowa", "Straße", "Strase", "Grüße", "Øresund", "Tromsø", "Æble", "Able",
                                 "Ærø", "Đurđevac", "Þórshöfn", "Torshofn", "Œuvre", "Ouvre", "Ħal Far", "Halfar",
                                 "Ŀlanca", "ﬁlter", "ﬂter", "ＡＢＣ", "ＡＢＤ", "x\u00A0y", "xy", "Kraków",
                                 "Crème brûlée", "cremebrulee", "Müller", "ΑΘΗΝΑ", "O’Brien"};
        const struct
        {
            const char *typed;
            QStringList found;
        } operatorQueries[] = {
            {"lodz", {"Łódź"}},
            {"ŁÓDŹ", {"Łódź"}},
            {"strasse", {"Straße"}},
            {"STRASSE", {"Straße"}},
            {"ß", {"Straße", "Grüße"}},
            {"grusse", {"Grüße"}},
            {"oresund", {"Øresund"}},
            {"tromso", {"Tromsø"}},
            {"aeble", {"Æble"}},
            {"aero", {"Ærø"}},
            {"durdevac", {"Đurđevac"}},
            {"thorshofn", {"Þórshöfn"}},
            {"oeuvre", {"Œuvre"}},
            {"hal far", {"Ħal Far"}},
            {"llanca", {"Ŀlanca"}},
            {"filter", {"ﬁlter"}},
            {"fl", {"ﬂter"}},
            {"abc", {"ＡＢＣ"}},
            {"x y", {"x\u00A0y"}},
            {"x\u00A0y", {"x\u00A0y"}},
            {" krakow", {"Kraków"}},
            {"krakow\t ", {"Kraków"}},
            {"creme  brulee", {"Crème brûlée"}},
            {"muller", {"Müller"}},
            {"αθηνα", {"ΑΘΗΝΑ"}},
            {"o'brien", {"O’Brien"}},
        };
        for (const auto &query : operatorQueries) {
            const QString typed = QString::fromUtf8(query.typed);
            QTest::newRow(query.typed) << places << typed << query.found;
        }
    }

    void searchIgnoresCaseAndAccents()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, pattern);
        QFETCH(QStringList, shown);
        Presets presets = poolOf(names);
        presets.setFilter(pattern);
        QCOMPARE(shownNames(presets), shown);
        // first/next walk the same records as the list shows, and the one
        // shared match agrees.
        QStringList walked;
        for (presets.first(); presets.hasCurrent(); presets.next())
            walked << presets.name();
        QStringList matched = names;
        matched.removeIf([&](const QString &name) { return !containsIgnoringAccents(name, pattern); });
        QCOMPARE(walked, shown);
        QCOMPARE(matched, shown);
    }

    // A Latin keyboard finds names of other scripts by the spelling ICU
    // gives them, made beside the window; until then by their own letters.
    void searchSpellsOtherScripts()
    {
        const QStringList names{"Москва", "北京", "Αθήνα", "שלום", "مرحبا", "ソウル", "서울", "नमस्ते", "ქართული",
                                "Հայաստան", "ไทย", "Kraków", "Жито", "Ольга", "Θεσσαλονίκη", "Щука Юрьев",
                                "Дмитрий", "Юлия", "Фёдор", "Нижний Новгород", "Երևան", "मुंबई", "Ηράκλειο",
                                "Запоріжжя"};
        // Enough names in other scripts that they are spelled beside; and
        // Latin names an English spelling of another script must not find.
        QStringList pool = names;
        pool << "Žito" << "Bei Jing" << "Shuka";
        for (int i = 0; i < 100; ++i)
            pool << QStringLiteral("Город %1").arg(i);
        Presets presets = poolOf(pool);
        presets.prepareSearch();
        presets.setFilter("МОСКВА");
        QCOMPARE(shownNames(presets), QStringList{"Москва"});
        QTRY_VERIFY_WITH_TIMEOUT((presets.prepareSearch(), !presets.searchPending()), 20000);
        presets.setFilter("gorod 42");
        QCOMPARE(shownNames(presets), QStringList{"Город 42"});
        for (const QString &name : names) {
            // ICU's whole-text spelling, made plain by its own Latin-to-ASCII.
            const QString spelled =
                Transliteration::latinToAscii(Transliteration::toLatin(name)).toLower().simplified();
            QVERIFY2(!spelled.isEmpty() && spelled.at(0).unicode() < 0x80, qPrintable(name));
            presets.setFilter(spelled);
            QVERIFY2(shownNames(presets).contains(name), qPrintable(name + " by " + spelled));
            QVERIFY(containsIgnoringAccents(name, spelled));
            presets.setFilter(name.toUpper());
            QCOMPARE(shownNames(presets), QStringList{name});
        }
        // ICU's spelling, the English ones (BGN/PCGN, the press's, Greece's
        // and Ukraine's own), and Chinese syllables written together or apart.
        const struct
        {
            const char *typed;
            QStringList found;
        } spellings[] = {
            {"moskva", {"Москва"}},
            {"bei jing", {"北京", "Bei Jing"}},
            {"beijing", {"北京"}},
            {"athena", {"Αθήνα"}},
            {"athina", {"Αθήνα"}},
            {"thessaloniki", {"Θεσσαλονίκη"}},
            {"zito", {"Жито", "Žito"}},
            {"zhito", {"Жито"}},
            {"olga", {"Ольга"}},
            {"shchuka yuryev", {"Щука Юрьев"}},
            {"shuka", {"Shuka"}},
            {"dmitry", {"Дмитрий"}},
            {"dmitriy", {"Дмитрий"}},
            {"dmitrij", {"Дмитрий"}},
            {"yulia", {"Юлия"}},
            {"fyodor", {"Фёдор"}},
            {"nizhny novgorod", {"Нижний Новгород"}},
            {"nizhniy", {"Нижний Новгород"}},
            {"yerevan", {"Երևան"}},
            {"mumbai", {"मुंबई"}},
            {"irakleio", {"Ηράκλειο"}},
            {"iraklio", {"Ηράκλειο"}},
            {"zaporizhzhia", {"Запоріжжя"}},
        };
        for (const auto &query : spellings) {
            presets.setFilter(QString::fromUtf8(query.typed));
            QCOMPARE(shownNames(presets), query.found);
            for (const QString &name : query.found)
                QVERIFY2(containsIgnoringAccents(name, QString::fromUtf8(query.typed)), query.typed);
        }

        // A name renamed into another script is found by its spelling at once.
        presets.setFilter(QString());
        presets.select(int(names.indexOf("Kraków")));
        presets.setName("Київ");
        for (const char *typed : {"kiiv", "kyiv"}) {
            presets.setFilter(QString::fromUtf8(typed));
            QCOMPARE(shownNames(presets), QStringList{"Київ"});
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

        presets.setFilter(QString());

        // Renames, inserts, removals and swaps anywhere in a list of many
        // blocks of keys, runs of them between two searches, and whole
        // runs removed: the search always agrees with the shared match.
        const quint32 seed = 46;
        QRandomGenerator random(seed);
        QStringList names;
        for (int i = 0; i < 6000; ++i)
            names << QStringLiteral("%1 %2").arg(QString::fromUtf8(i % 7 ? "Řez" : "Жито")).arg(i);
        Presets walked = poolOf(names);
        const QStringList patterns{"rez 1", "zhito 2", "7", "ž", "rez 11"};
        for (int step = 0; step < 200; ++step) {
            const int edits = random.bounded(1, step % 50 == 0 ? 3000 : 4);
            for (int e = 0; e < edits && walked.count() > 0; ++e) {
                const int at = random.bounded(walked.count());
                switch (random.bounded(4)) {
                case 0:
                    walked.setCurrent(at);
                    walked.setName(QStringLiteral("Řez %1").arg(random.bounded(100000)));
                    break;
                case 1:
                    walked.setCurrent(at);
                    walked.insertNew();
                    walked.setName(QStringLiteral("Жито %1").arg(random.bounded(100000)));
                    break;
                case 2:
                    walked.setCurrent(at);
                    walked.removeCurrent();
                    break;
                default:
                    walked.swapRecords(at, random.bounded(walked.count()));
                    break;
                }
            }
            const QString pattern = patterns.at(step % patterns.size());
            walked.setFilter(pattern);
            QStringList expected = allNames(walked);
            expected.removeIf([&](const QString &name) { return !containsIgnoringAccents(name, pattern); });
            if (step % 7 == 0)
                QTRY_VERIFY_WITH_TIMEOUT((walked.prepareSearch(), !walked.searchPending()), 20000);
            const QStringList shown = shownNames(walked);
            // Before the Latin spellings arrive a Latin pattern may miss
            // Cyrillic names, and never shows a name that does not match.
            const bool whole = walked.searchPending() ? QSet<QString>(expected.cbegin(), expected.cend()).contains(
                                   QSet<QString>(shown.cbegin(), shown.cend()))
                                                      : shown == expected;
            QVERIFY2(whole, qPrintable(QStringLiteral("seed %1, step %2, pattern %3").arg(seed).arg(step).arg(pattern)));
        }
    }

    // A large list is folded and spelled beside the window while the
    // operator edits it; what a search shows must stay what the one shared
    // match says of every name, before the keys arrive and after.
    void searchKeepsUpWithWorkBeside()
    {
        QStringList names;
        for (int i = 0; i < 40000; ++i)
            names << (i % 7 == 0 ? QStringLiteral("Řez Kůra %1").arg(i) : QStringLiteral("Жито %1").arg(i));
        Presets presets = poolOf(names);
        auto expected = [&](const QString &pattern) {
            QStringList found = allNames(presets);
            found.removeIf([&](const QString &name) { return !containsIgnoringAccents(name, pattern); });
            return found;
        };
        auto check = [&](const QString &pattern) {
            presets.setFilter(pattern);
            QCOMPARE(shownNames(presets), expected(pattern));
        };
        // Keystrokes while the keys are folded beside, a slice at a time,
        // do not wait for them and find the same.
        const QStringList patterns{"жито 3999", "rez kura 2"};
        const QList<QStringList> found{expected(patterns.at(0)), expected(patterns.at(1))};
        presets.prepareSearch();
        for (int keystroke = 0; keystroke < 100; ++keystroke) {
            presets.prepareSearch();
            // Before their spellings the list and a walk agree.
            presets.setFilter("zito 3999");
            const QStringList shown = shownNames(presets);
            QStringList walked;
            for (presets.first(); presets.hasCurrent(); presets.next())
                walked << presets.name();
            QCOMPARE(walked, shown);
            for (int p = 0; p < 2; ++p) {
                presets.setFilter(patterns.at(p));
                QCOMPARE(shownNames(presets), found.at(p));
            }
        }
        auto spelled = [&presets]() {
            QTRY_VERIFY_WITH_TIMEOUT((presets.prepareSearch(), !presets.searchPending()), 60000);
        };
        // Until the Latin spellings arrive only patterns in the names' own
        // letters are sure to find them.
        presets.setCurrent(5);
        presets.insertNew();
        presets.setName("Łódź Жито");
        check("lodz");
        presets.setCurrent(20000);
        presets.removeCurrent();
        check("жито 14");
        presets.setCurrent(29990);
        presets.setName("Straße 7");
        for (const char *pattern : {"rez kura 2996", "strasse", "7"})
            check(QString::fromUtf8(pattern));
        spelled();
        check("zito 14");
        presets.setCurrent(0);
        presets.removeCurrent();
        presets.setCurrent(29000);
        presets.insertNew();
        presets.setName("Жито 1");
        spelled();
        for (const char *pattern : {"lodz zito", "zito 14", "zito 1", "rez kura 2996", "strasse", "7"})
            check(QString::fromUtf8(pattern));

        // Every name changed, folded beside again; one more renamed while
        // that goes on, and the window's tick asking meanwhile.
        for (Preset &preset : presets.editRecords())
            preset.name += QStringLiteral(" b");
        presets.prepareSearch();
        presets.setCurrent(100);
        presets.setName("Tromsø");
        presets.prepareSearch();
        check("tromso");

        // Many names added at the end, as an import adds them: those before
        // keep their keys while the new ones are folded beside, and a
        // keystroke meanwhile finds in both.
        QTRY_VERIFY_WITH_TIMEOUT((presets.prepareSearch(), !presets.searchPending()), 60000);
        for (int i = 0; i < 30000; ++i) {
            Preset added = Preset::newRecord();
            added.name = QStringLiteral("Kůra %1").arg(i);
            presets.editRecords().append(added);
        }
        const QStringList added{"kura 2999", "kura 28", "tromso", "ku"};
        QList<QStringList> addedFound;
        for (const QString &pattern : added)
            addedFound << expected(pattern);
        presets.prepareSearch();
        for (int p = 0; p < added.size(); ++p) {
            presets.setFilter(added.at(p));
            QCOMPARE(shownNames(presets), addedFound.at(p));
        }
        spelled();
        for (const char *pattern : {"kura 2999", "kura 28", "zito 39"})
            check(QString::fromUtf8(pattern));
    }

    void moveByOnePlace_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("step");
        QTest::addColumn<QStringList>("order");
        const QStringList same{"a1", "b", "a2", "c", "a3"};
        QTest::newRow("up") << "" << 2 << -1 << QStringList{"a1", "a2", "b", "c", "a3"};
        QTest::newRow("down") << "" << 0 << 1 << QStringList{"b", "a1", "a2", "c", "a3"};
        QTest::newRow("up on the first row") << "" << 0 << -1 << same;
        QTest::newRow("down on the last record") << "" << 4 << 1 << same;
        QTest::newRow("up past the end") << "" << 5 << -1 << same;
        QTest::newRow("negative row") << "" << -1 << 1 << same;
        // Under a search the neighbour may be hidden: a2 swaps with b.
        QTest::newRow("up over a hidden record") << "a" << 1 << -1 << QStringList{"a1", "a2", "b", "c", "a3"};
        QTest::newRow("down over a hidden record") << "a" << 1 << 1 << QStringList{"a1", "b", "c", "a2", "a3"};
        QTest::newRow("shown row beyond the matches") << "a" << 3 << -1 << same;
        QTest::newRow("down on the last shown, last record") << "a" << 2 << 1 << same;
    }

    void moveByOnePlace()
    {
        QFETCH(QString, filter);
        QFETCH(int, row);
        QFETCH(int, step);
        QFETCH(QStringList, order);
        Presets presets = poolOf({"a1", "b", "a2", "c", "a3"});
        presets.setFilter(filter);
        const QList<int> shown = presets.shownRows();
        const quint64 key = row >= 0 && row < shown.size() ? presets.keyAt(shown.at(row)) : 0;
        QCOMPARE(presets.move(key, step), order != QStringList({"a1", "b", "a2", "c", "a3"}));
        QCOMPARE(allNames(presets), order);

        Presets empty;
        QVERIFY(!empty.move(0, 1));
        QVERIFY(!empty.move(0, -1));
    }
};

QTEST_GUILESS_MAIN(TestSearchIndex)
#include "tst_searchindex.moc"
