#include "calendar/month_grid.h"
#include "test_env.h"

#include <QDate>
#include <QTest>

namespace {

constexpr ColorRef kWhite = 16777215;
constexpr ColorRef kBlankBlue = 16761024;
constexpr ColorRef kWeekendRed = 12632319;
constexpr ColorRef kTodayBlue = 16711680;

const QDate kSomeOtherDay(2030, 6, 15);

} // namespace

class TestMonthGrid : public QObject
{
    Q_OBJECT

private slots:
    void layoutOfTheMonth_data()
    {
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("days");
        QTest::newRow("February 2015, starts on Sunday, four full weeks") << 2 << 2015 << 0 << 28;
        QTest::newRow("August 2020, starts on Saturday, uses the sixth row") << 8 << 2020 << 6 << 31;
        QTest::newRow("February 2024, leap year") << 2 << 2024 << 4 << 29;
        QTest::newRow("November 2021, starts on Monday") << 11 << 2021 << 1 << 30;
    }
    void layoutOfTheMonth()
    {
        QFETCH(int, month);
        QFETCH(int, year);
        QFETCH(int, first);
        QFETCH(int, days);
        TestEnv env;
        MonthGrid grid;
        PaintMonth(grid, {month, year}, kSomeOtherDay, env.settings().snapshot());

        QCOMPARE(FirstCellOf({month, year}), first);
        for (int i = 0; i < MonthGrid::kCellCount; ++i) {
            const DayCell& cell = grid.cells[std::size_t(i)];
            const int day = i - first + 1;
            if (day >= 1 && day <= days) {
                QCOMPARE(cell.tag, QString::number(day));
                QCOMPARE(cell.text, QString::number(day));
                QCOMPARE(cell.background, kWhite);
            } else {
                QCOMPARE(cell.tag, QString("0"));
                QVERIFY(cell.text.isEmpty());
                QCOMPARE(cell.background, kBlankBlue);
            }
        }
    }

    void redrawingClearsWhatTheEarlierMonthLeft()
    {
        TestEnv env;
        MonthGrid grid;
        PaintMonth(grid, {8, 2020}, kSomeOtherDay, env.settings().snapshot()); // sixth row in use
        PaintMonth(grid, {2, 2015}, kSomeOtherDay, env.settings().snapshot());
        QCOMPARE(grid.cells[36].tag, QString("0"));
        QVERIFY(grid.cells[36].text.isEmpty());
        QCOMPARE(grid.cells[0].tag, QString("1"));
    }

    void todayIsColouredOnlyInItsOwnMonth_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("todayCell"); // -1: none
        QTest::newRow("shown month is today's") << QDate(2021, 11, 25) << 11 << 2021 << 25;
        QTest::newRow("same month, other year") << QDate(2022, 11, 25) << 11 << 2021 << -1;
        QTest::newRow("other month, same year") << QDate(2021, 10, 25) << 11 << 2021 << -1;
        QTest::newRow("today is the last day") << QDate(2020, 8, 31) << 8 << 2020 << 36;
    }
    void todayIsColouredOnlyInItsOwnMonth()
    {
        QFETCH(QDate, today);
        QFETCH(int, month);
        QFETCH(int, year);
        QFETCH(int, todayCell);
        TestEnv env;
        MonthGrid grid;
        PaintMonth(grid, {month, year}, today, env.settings().snapshot());
        for (int i = 0; i < MonthGrid::kCellCount; ++i) {
            const DayCell& cell = grid.cells[std::size_t(i)];
            const bool isToday = i == todayCell;
            QCOMPARE(cell.background == kTodayBlue, isToday);
            if (isToday)
                QCOMPARE(cell.foreground, kWhite);
        }
    }

    void weekendsAreColouredOnlyWithSpecialDaysOn_data()
    {
        QTest::addColumn<QString>("specialDay"); // empty: absent
        QTest::addColumn<bool>("coloured");
        QTest::newRow("switch absent") << QString() << false;
        QTest::newRow("switched on") << "1" << true;
        QTest::newRow("0 is off") << "0" << false;
        QTest::newRow("2 is not on") << "2" << false;
    }
    void weekendsAreColouredOnlyWithSpecialDaysOn()
    {
        QFETCH(QString, specialDay);
        QFETCH(bool, coloured);
        TestEnv env;
        if (!specialDay.isNull())
            env.settings().save("Special Day", specialDay);
        env.settings().save("Weekend Forecolor", "255");
        MonthGrid grid;
        PaintMonth(grid, {11, 2021}, kSomeOtherDay, env.settings().snapshot()); // 6 and 7 November: Saturday, Sunday
        const DayCell& saturday = grid.cells[6];
        const DayCell& sunday = grid.cells[7];
        const DayCell& friday = grid.cells[5];
        QCOMPARE(saturday.background, coloured ? kWeekendRed : kWhite);
        QCOMPARE(sunday.background, coloured ? kWeekendRed : kWhite);
        QCOMPARE(saturday.foreground, coloured ? ColorRef(255) : ColorRef(0));
        QCOMPARE(friday.background, kWhite);
    }

    void todayWinsOverTheWeekend()
    {
        TestEnv env;
        env.settings().save("Special Day", "1");
        MonthGrid grid;
        PaintMonth(grid, {11, 2021}, QDate(2021, 11, 6), env.settings().snapshot());
        QCOMPARE(grid.cells[6].background, kTodayBlue);
    }

    void chosenColoursAreUsed()
    {
        TestEnv env;
        env.settings().save("Day Backcolor", "65280");
        env.settings().save("Day Forecolor", "255");
        env.settings().save("Blank Backcolor", "0");
        MonthGrid grid;
        PaintMonth(grid, {8, 2020}, kSomeOtherDay, env.settings().snapshot());
        QCOMPARE(grid.cells[10].background, ColorRef(65280));
        QCOMPARE(grid.cells[10].foreground, ColorRef(255));
        QCOMPARE(grid.cells[0].background, ColorRef(0));
    }

    void brokenSettingLeavesTheCellsPaintedSoFar()
    {
        TestEnv env;
        MonthGrid grid;
        PaintMonth(grid, {2, 2015}, kSomeOtherDay, env.settings().snapshot());
        env.settings().save("Special Day", "1");
        env.settings().save("Weekend Backcolor", "pink");
        // August 2020 starts on Saturday: blank cells 0..5 are painted, then day 1 fails.
        QVERIFY_THROWS_EXCEPTION(SettingConversionError,
                                 PaintMonth(grid, {8, 2020}, kSomeOtherDay, env.settings().snapshot()));
        QCOMPARE(grid.cells[5].tag, QString("0"));
        QCOMPARE(grid.cells[6].tag, QString("1"));
        QCOMPARE(grid.cells[7].tag, QString("8")); // still February 2015's
    }
};

QTEST_GUILESS_MAIN(TestMonthGrid)
#include "tst_month_grid.moc"
