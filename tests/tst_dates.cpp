#include "calendar/dates.h"

#include <QTest>

class TestDates : public QObject
{
    Q_OBJECT

private slots:
    void lastDayOfMonth_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QDate>("last");
        QTest::newRow("February 2024, leap year") << QDate(2024, 2, 10) << QDate(2024, 2, 29);
        QTest::newRow("February 2100, century not leap") << QDate(2100, 2, 1) << QDate(2100, 2, 28);
        QTest::newRow("February 2000, divisible by 400") << QDate(2000, 2, 29) << QDate(2000, 2, 29);
        QTest::newRow("December rolls into the next year") << QDate(2021, 12, 5) << QDate(2021, 12, 31);
        QTest::newRow("April has 30 days") << QDate(2021, 4, 30) << QDate(2021, 4, 30);
    }
    void lastDayOfMonth()
    {
        QFETCH(QDate, date);
        QFETCH(QDate, last);
        QCOMPARE(LastDayOfMonth(date), last);
    }

    void thanksgivingCell_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("cell");
        QTest::addColumn<int>("fourthThursday");
        QTest::newRow("2021, 1 November a Monday") << 2021 << 25 << 25;
        QTest::newRow("2018, a Thursday") << 2018 << 25 << 22;
        QTest::newRow("2019, a Friday") << 2019 << 32 << 28;
        QTest::newRow("2025, a Saturday") << 2025 << 32 << 27;
        QTest::newRow("2020, a Sunday") << 2020 << 25 << 26;
    }
    void thanksgivingCell()
    {
        QFETCH(int, year);
        QFETCH(int, cell);
        QFETCH(int, fourthThursday);
        QCOMPARE(ThanksgivingCell(year), cell);
        // The cell really holds the fourth Thursday in a Sunday-first grid.
        const int first = WeekdayNumber(QDate(year, 11, 1)) - 1;
        const QDate inCell(year, 11, cell - first + 1);
        QCOMPARE(inCell.day(), fourthThursday);
        QCOMPARE(WeekdayNumber(inCell), 5);
    }

    void workingDaysAndWeekdayNumbers_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("weekday");
        QTest::addColumn<bool>("working");
        QTest::newRow("Sunday") << QDate(2021, 11, 7) << 1 << false;
        QTest::newRow("Monday") << QDate(2021, 11, 1) << 2 << true;
        QTest::newRow("Friday") << QDate(2021, 11, 5) << 6 << true;
        QTest::newRow("Saturday") << QDate(2021, 11, 6) << 7 << false;
    }
    void workingDaysAndWeekdayNumbers()
    {
        QFETCH(QDate, date);
        QFETCH(int, weekday);
        QFETCH(bool, working);
        QCOMPARE(WeekdayNumber(date), weekday);
        QCOMPARE(IsWorkingDay(date), working);
    }

    void weekdayNames_data()
    {
        QTest::addColumn<int>("weekday");
        QTest::addColumn<QString>("name");
        QTest::newRow("0 is no weekday") << 0 << QString();
        QTest::newRow("1 Sunday") << 1 << "Sunday";
        QTest::newRow("4 Wednesday") << 4 << "Wednesday";
        QTest::newRow("7 Saturday") << 7 << "Saturday";
        QTest::newRow("8 is no weekday") << 8 << QString();
        QTest::newRow("negative") << -3 << QString();
    }
    void weekdayNames()
    {
        QFETCH(int, weekday);
        QFETCH(QString, name);
        QCOMPARE(WeekdayNameOf(weekday), name);
    }
};

QTEST_GUILESS_MAIN(TestDates)
#include "tst_dates.moc"
