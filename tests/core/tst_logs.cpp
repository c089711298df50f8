#include "data/container.h"
#include "data/logs.h"
#include "support/testenv.h"

#include <QTest>

class TestLogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void limitAndOrder()
    {
        Logs logs;
        logs.setPath(TestEnv::dataFolder() + "logs.dat");
        logs.add("first");
        logs.setCurrent(0);
        for (int i = 2; i <= 501; ++i)
            logs.add(QString("entry %1").arg(i));
        logs.setCurrent(499);
        logs.add("newest");
        QCOMPARE(logs.current(), 499);

        QVERIFY(logs.saveBase());
        Logs read;
        read.setPath(logs.path());
        QVERIFY(read.readBase());
        read.first();
        // "first" and "entry 2" are gone.
        QCOMPARE((QStringList{QString::number(read.count()), read.text(), read.records().at(1).text, read.records().last().text}),
                 (QStringList{"500", "newest", "entry 501", "entry 3"}));

        // A log that holds more than the limit is cut to it when read.
        QJsonArray many;
        for (int i = 0; i < 600; ++i)
            many.append(QJsonObject{{"cre", ""}, {"log", QString("entry %1").arg(i)}});
        read.fromJson(QJsonObject{{"version", "1"}, {"logs", many}});
        QCOMPARE((QStringList{QString::number(read.count()), read.records().first().text, read.records().last().text}),
                 (QStringList{"500", "entry 0", "entry 499"}));
    }

    void stampsAndNestedObject()
    {
        const QJsonObject machine {
            {"logs", QJsonObject{{"version", "1"}, {"logs", QJsonArray{
                QJsonObject{{"cre", "03.02.2026 09:05:07.042"}, {"log", "on air"}},
                QJsonObject{{"cre", "03.02.2026 09:05"}, {"log", 5}},
            }}}},
        };
        Logs logs;
        logs.fromJson(machine["logs"].toObject());
        QCOMPARE(logs.count(), 2);
        QCOMPARE(logs.records().at(0).created,
                 QDateTime(QDate(2026, 2, 3), QTime(9, 5, 7, 42)));
        QCOMPARE(logs.createdText(), QString("03.02.2026 09:05:07.042"));
        QVERIFY(!logs.records().at(1).created.when.isValid());
        QCOMPARE(logs.records().at(1).text, QString());

        QJsonObject nested;
        logs.toJson(nested);
        const QJsonArray entries = nested["logs"].toArray();
        // The second date kept as it was.
        QCOMPARE((QStringList{nested["version"].toString(), entries.at(0)["cre"].toString(), entries.at(1)["cre"].toString()}),
                 (QStringList{"1", "03.02.2026 09:05:07.042", "03.02.2026 09:05"}));

        logs.fromJson(QJsonObject{{"version", "1"}});  // no inner list
        QCOMPARE(logs.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestLogs)
#include "tst_logs.moc"
