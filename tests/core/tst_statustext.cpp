#include "device/statustext.h"

#include <QtTest>

class TestStatusText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void timeTexts()
    {
        QCOMPARE(StatusText::minutesSeconds(75), QString("1:15"));
        QCOMPARE(StatusText::minutesSeconds(5), QString("0:05"));
        QCOMPARE(StatusText::minutesSeconds(65535), QString("1092:15"));
        QCOMPARE(StatusText::durationText(90061), QString("01:01:01"));
        // The largest count a device sends must not wrap through a signed number.
        QCOMPARE(StatusText::durationText(0xFFFFFFFF), QString("06:28:15"));
        const QDateTime build = QDateTime(QDate(2026, 2, 3), QTime(9, 5, 7));
        QCOMPARE(StatusText::buildTimeText(quint32(build.toSecsSinceEpoch())), QString("03.02.2026 09:05:07"));
        QCOMPARE(StatusText::livetimeLine(90061, 60, 5),
                 QString("Livetime tube:01:01:01 lamp:00:01:00 uptime:00:00:05"));
    }
};

QTEST_GUILESS_MAIN(TestStatusText)
#include "tst_statustext.moc"
