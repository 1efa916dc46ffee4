#include "message/ClockTexts.h"

#include <QtTest>

// The date and time printed into every message, from a fixed time and locale.
class TestClockTexts : public QObject {
    Q_OBJECT
private slots:
    void clockTexts_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        const QDate jan5(2024, 1, 5);
        const QLocale australia(QLocale::English, QLocale::Australia);
        QTest::newRow("morning: hour unpadded, minute padded")
            << australia << QDateTime(jan5, QTime(9, 5)) << "5/1/24" << "9:05";
        QTest::newRow("afternoon") << QLocale(QLocale::English, QLocale::UnitedStates)
                                   << QDateTime(jan5, QTime(17, 30)) << "1/5/24" << "17:30";
        QTest::newRow("midnight") << QLocale(QLocale::German, QLocale::Germany)
                                  << QDateTime(QDate(2024, 12, 31), QTime(0, 0)) << "31.12.24" << "0:00";
        QTest::newRow("last minute of the day")
            << australia << QDateTime(jan5, QTime(23, 59, 59)) << "5/1/24" << "23:59";
    }

    void clockTexts()
    {
        QFETCH(QLocale, locale);
        QFETCH(QDateTime, now);
        QFETCH(QString, date);
        QFETCH(QString, time);
        const ClockTexts c = MakeClockTexts(now, locale);
        QCOMPARE(c.date, date);
        QCOMPARE(c.time, time);
        QCOMPARE(c.dateLine, "Date: " + date + "\r\n");
        QCOMPARE(c.timeLine, "Time: " + time + "\r\n");
        QCOMPARE(c.dateValue, date + "\r\n");
        QCOMPARE(c.timeValue, time + "\r\n");
    }
};

QTEST_APPLESS_MAIN(TestClockTexts)
#include "test_clock_texts.moc"
