#include "calendar/month_grid.h"
#include "test_env.h"

#include <QTest>

namespace {

// A "today" in no month that these tests show.
const QDate kTodayElsewhere(1990, 5, 15);

constexpr ColorRef kWhite = 16777215;
constexpr ColorRef kBlack = 0;
constexpr ColorRef kPureRed = 255;
constexpr ColorRef kPureBlue = 16711680;

MonthGrid markedMonth(int month, int year, QDate today, const SettingsStore& settings)
{
    MonthGrid grid;
    const SettingsSnapshot values = settings.snapshot();
    PaintMonth(grid, {month, year}, today, values);
    MarkHoliday(grid, {month, year}, values);
    return grid;
}

// Every cell but `except` shows only its day number, or nothing when blank.
void verifyOnlyDayNumbers(const MonthGrid& grid, int except = -1)
{
    for (int i = 0; i < MonthGrid::kCellCount; ++i) {
        if (i == except)
            continue;
        const DayCell& cell = grid.cells[std::size_t(i)];
        const QString expected = cell.tag == u"0" ? QString() : cell.tag;
        QVERIFY2(cell.text == expected, qPrintable(QStringLiteral("cell %1 reads \"%2\"").arg(i).arg(cell.text)));
    }
}

} // namespace

class TestHolidays : public QObject
{
    Q_OBJECT

private slots:
    void nameAndCell_data()
    {
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("cell");
        QTest::addColumn<QString>("text");

        QTest::newRow("January 2022, New Year's Day on a Saturday") << 1 << 2022 << 6 << "1\rNew Year's Day";
        QTest::newRow("February 2015, Valentine's Day in a month starting on Sunday")
            << 2 << 2015 << 13 << "14\rValentine's Day";
        QTest::newRow("July 2021, Independence Day") << 7 << 2021 << 7 << "4\rAmerican Independance Day";
        QTest::newRow("October 2020, Halloween in the fifth row") << 10 << 2020 << 34 << "31\rHalloween";
        QTest::newRow("October 2021, Halloween in the sixth row") << 10 << 2021 << 35 << "31\rHalloween";
        QTest::newRow("November 2019, Thanksgiving on the 28th") << 11 << 2019 << 32 << "28\rThanksgiving";
        QTest::newRow("November 2021, Thanksgiving on the 25th") << 11 << 2021 << 25 << "25\rThanksgiving";
        QTest::newRow("November 2025, 1 November a Saturday") << 11 << 2025 << 32 << "27\rThanksgiving";
        QTest::newRow("November 2020, 1 November a Sunday") << 11 << 2020 << 25 << "26\rThanksgiving";
        QTest::newRow("December 2021, Christmas after a lone carriage return") << 12 << 2021 << 27 << "25\rChristmas";
    }
    void nameAndCell()
    {
        QFETCH(int, month);
        QFETCH(int, year);
        QFETCH(int, cell);
        QFETCH(QString, text);
        TestEnv env;
        const MonthGrid grid = markedMonth(month, year, kTodayElsewhere, env.settings());
        QCOMPARE(grid.cells[std::size_t(cell)].text, text);
        QCOMPARE(grid.cells[std::size_t(cell)].tag, text.section(u'\r', 0, 0));
        verifyOnlyDayNumbers(grid, cell);
    }

    void monthWithoutHoliday_data()
    {
        QTest::addColumn<int>("month");
        QTest::newRow("March") << 3;
        QTest::newRow("April") << 4;
        QTest::newRow("May") << 5;
        QTest::newRow("June") << 6;
        QTest::newRow("August") << 8;
        QTest::newRow("September") << 9;
    }
    void monthWithoutHoliday()
    {
        QFETCH(int, month);
        TestEnv env;
        env.settings().save("Special Day", "1");
        const MonthGrid grid = markedMonth(month, 2021, kTodayElsewhere, env.settings());
        verifyOnlyDayNumbers(grid);
        for (const DayCell& cell : grid.cells)
            QVERIFY(cell.background != kPureRed);
    }

    void colours_data()
    {
        QTest::addColumn<int>("month");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("specialDay"); // null: the key is absent
        QTest::addColumn<int>("cell");
        QTest::addColumn<ColorRef>("background");
        QTest::addColumn<ColorRef>("foreground");

        // 25 December 2021 is a Saturday: with colouring off it must not take the weekend colour
        // either, and with colouring on the holiday colour must win over the weekend colour.
        const QDate christmas(2021, 12, 25);
        QTest::newRow("December, Special Day absent: regular-day colours")
            << 12 << kTodayElsewhere << QString() << 27 << kWhite << kBlack;
        QTest::newRow("December, Special Day = 1: holiday colours")
            << 12 << kTodayElsewhere << "1" << 27 << kPureRed << kBlack;
        QTest::newRow("December, Special Day = 2 counts as off")
            << 12 << kTodayElsewhere << "2" << 27 << kWhite << kBlack;
        QTest::newRow("December, Special Day = 0") << 12 << kTodayElsewhere << "0" << 27 << kWhite << kBlack;
        QTest::newRow("December, Special Day = -1 counts as off")
            << 12 << kTodayElsewhere << "-1" << 27 << kWhite << kBlack;
        QTest::newRow("Christmas is today, Special Day absent: today's colours stay")
            << 12 << christmas << QString() << 27 << kPureBlue << kWhite;
        // 4 July 2021 is a Sunday, so weekend, today and holiday colours all apply in turn.
        const QDate independenceDay(2021, 7, 4);
        QTest::newRow("4 July is today, Special Day = 1: holiday colours, not today's")
            << 7 << independenceDay << "1" << 7 << kPureRed << kBlack;
        QTest::newRow("4 July is today, Special Day = 2: today's colours")
            << 7 << independenceDay << "2" << 7 << kPureBlue << kWhite;
    }
    void colours()
    {
        QFETCH(int, month);
        QFETCH(QDate, today);
        QFETCH(QString, specialDay);
        QFETCH(int, cell);
        QFETCH(ColorRef, background);
        QFETCH(ColorRef, foreground);
        TestEnv env;
        if (!specialDay.isNull())
            env.settings().save("Special Day", specialDay);
        const MonthGrid grid = markedMonth(month, 2021, today, env.settings());
        const DayCell& marked = grid.cells[std::size_t(cell)];
        QVERIFY(marked.text.contains(u'\r'));
        QCOMPARE(marked.background, background);
        QCOMPARE(marked.foreground, foreground);
    }

    void holidayColoursAreTheUsersChoice()
    {
        TestEnv env;
        env.settings().save("Special Day", "1");
        env.settings().save("Holiday Backcolor", "65280");
        env.settings().save("Holiday Forecolor", "16711935");
        const MonthGrid grid = markedMonth(12, 2021, kTodayElsewhere, env.settings());
        QCOMPARE(grid.cells[27].text, QString("25\rChristmas"));
        QCOMPARE(grid.cells[27].background, ColorRef(65280));
        QCOMPARE(grid.cells[27].foreground, ColorRef(16711935));
    }
};

QTEST_GUILESS_MAIN(TestHolidays)
#include "tst_holidays.moc"
