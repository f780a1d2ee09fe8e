#include "calendar/event_record.h"
#include "calendar/month_grid.h"
#include "test_env.h"

#include "event_builder.h"

#include <QTest>
#include <QTimeZone>

#include <stdexcept>

Q_DECLARE_METATYPE(EventRecord)

namespace {

using Ids = PassedEventIds;
using TextsByDay = QMap<int, QString>; // days not listed read their day number only

// A "today" in no month that these tests show.
const QDate kTodayElsewhere(1990, 5, 15);

// Every day cell of `month`/`year` reads its entry in `texts`, or else its day number;
// blank cells are empty.
void verifyTexts(const MonthGrid& grid, int month, int year, const TextsByDay& texts)
{
    const QDate first(year, month, 1);
    const int firstCell = first.dayOfWeek() % 7;
    for (int i = 0; i < MonthGrid::kCellCount; ++i) {
        const DayCell& cell = grid.cells[std::size_t(i)];
        const int day = i - firstCell + 1;
        if (day < 1 || day > first.daysInMonth()) {
            QVERIFY2(cell.tag == u"0" && cell.text.isEmpty(), qPrintable(QStringLiteral("blank cell %1").arg(i)));
            continue;
        }
        QCOMPARE(cell.tag, QString::number(day));
        QCOMPARE(cell.text, texts.value(day, QString::number(day)));
    }
}

} // namespace

class TestEventFilling : public QObject
{
    Q_OBJECT

private slots:
    void titles_data()
    {
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("year");
        QTest::addColumn<Events>("events");
        QTest::addColumn<TextsByDay>("texts");

        const auto dentist = AnEvent("Dentist").id(1).once(QDate(2021, 11, 10));
        const auto rent = AnEvent("Rent").id(2).monthlyOn(10);
        QTest::newRow("Two events on one day, in the source's order")
            << 11 << 2021 << Events{dentist, rent}
            << TextsByDay{{10, "10\r\nDentist\r\nRent"}, {25, "25\rThanksgiving"}};
        QTest::newRow("The same two events, source order reversed")
            << 11 << 2021 << Events{rent, dentist}
            << TextsByDay{{10, "10\r\nRent\r\nDentist"}, {25, "25\rThanksgiving"}};
        QTest::newRow("Christmas and a party") << 12 << 2021 << Events{AnEvent("Party").id(3).annuallyOn(12, 25)}
                                               << TextsByDay{{25, "25\rChristmas\r\nParty"}};
        QTest::newRow("Thanksgiving and a dinner on the fourth Thursday")
            << 11 << 2021 << Events{AnEvent("Dinner").id(4).annually(4, kThursday, 11)}
            << TextsByDay{{25, "25\rThanksgiving\r\nDinner"}};
        QTest::newRow("Weekly on Mondays, every Monday of November 2021")
            << 11 << 2021 << Events{AnEvent("Gym").id(5).weekly(kMonday)}
            << TextsByDay{{1, "1\r\nGym"},   {8, "8\r\nGym"},   {15, "15\r\nGym"},
                          {22, "22\r\nGym"}, {29, "29\r\nGym"}, {25, "25\rThanksgiving"}};
        QTest::newRow("Weekly on Sundays, in the first and the sixth row of October 2021")
            << 10 << 2021 << Events{AnEvent("Mass").id(6).weekly(kSunday)}
            << TextsByDay{{3, "3\r\nMass"},
                          {10, "10\r\nMass"},
                          {17, "17\r\nMass"},
                          {24, "24\r\nMass"},
                          {31, "31\rHalloween\r\nMass"}};
        QTest::newRow("Monthly on the 31st, in a 30-day month")
            << 11 << 2021 << Events{AnEvent("Payday").id(7).monthlyOn(31)} << TextsByDay{{25, "25\rThanksgiving"}};
        QTest::newRow("Monthly on the 31st, in a 31-day month")
            << 12 << 2021 << Events{AnEvent("Payday").id(7).monthlyOn(31)}
            << TextsByDay{{25, "25\rChristmas"}, {31, "31\r\nPayday"}};
        QTest::newRow("Second Tuesday monthly, one day only")
            << 3 << 2021 << Events{AnEvent("Council").id(8).monthly(2, 3)} << TextsByDay{{9, "9\r\nCouncil"}};
        QTest::newRow("Once-only event in another month")
            << 11 << 2021 << Events{AnEvent("Trip").id(9).once(QDate(2021, 12, 3))}
            << TextsByDay{{25, "25\rThanksgiving"}};
        QTest::newRow("By date weekly never shows")
            << 3 << 2021 << Events{AnEvent("Never").id(10).once(QDate(2021, 3, 3)).codes(kByDate, kWeekly)}
            << TextsByDay{};
        QTest::newRow("Empty source: day numbers and the holiday only")
            << 11 << 2021 << Events{} << TextsByDay{{25, "25\rThanksgiving"}};
    }
    void titles()
    {
        QFETCH(int, month);
        QFETCH(int, year);
        QFETCH(Events, events);
        QFETCH(TextsByDay, texts);
        TestEnv env;
        MonthGrid grid;
        (void)DrawMonth(grid, {month, year}, kTodayElsewhere, env.settings().snapshot(), ListSource(events));
        verifyTexts(grid, month, year, texts);
    }

    // November 2021 is shown; 1 November is a Monday.
    void passedOnceOnlyEvents_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<Events>("events");
        QTest::addColumn<Ids>("passed");

        const QDate the15th(2021, 11, 15);
        QTest::newRow("By date, yesterday")
            << the15th << Events{AnEvent("A").id(7).once(QDate(2021, 11, 14))} << Ids{7};
        QTest::newRow("By date, today") << the15th << Events{AnEvent("A").id(7).once(the15th)} << Ids{};
        QTest::newRow("By date, tomorrow") << the15th << Events{AnEvent("A").id(7).once(QDate(2021, 11, 16))} << Ids{};
        QTest::newRow("By weekday, second Sunday is yesterday")
            << the15th << Events{AnEvent("B").id(8).once(2, kSunday, 11, 2021)} << Ids{8};
        QTest::newRow("By weekday, third Monday is today")
            << the15th << Events{AnEvent("B").id(8).once(3, kMonday, 11, 2021)} << Ids{};
        QTest::newRow("First Monday, drawn on 2 November")
            << QDate(2021, 11, 2) << Events{AnEvent("C").id(9).once(1, kMonday, 11, 2021)} << Ids{9};
        QTest::newRow("First Monday, drawn on 1 November")
            << QDate(2021, 11, 1) << Events{AnEvent("C").id(9).once(1, kMonday, 11, 2021)} << Ids{};
        QTest::newRow("Whole month before today's month")
            << QDate(2022, 1, 3) << Events{AnEvent("A").id(7).once(QDate(2021, 11, 30))} << Ids{7};
        QTest::newRow("Whole month after today's month")
            << QDate(2021, 10, 31) << Events{AnEvent("A").id(7).once(QDate(2021, 11, 1))} << Ids{};
        QTest::newRow("Once-only events of other months, long passed")
            << the15th
            << Events{AnEvent("A").id(7).once(QDate(2021, 10, 1)), AnEvent("B").id(8).once(1, kMonday, 10, 2021),
                      AnEvent("C").id(9).once(QDate(2020, 11, 1))}
            << Ids{};
        QTest::newRow("Repeating events before today are never passed")
            << the15th
            << Events{AnEvent("A").id(1).monthlyOn(1), AnEvent("B").id(2).annuallyOn(11, 2),
                      AnEvent("C").id(3).weekly(kMonday), AnEvent("D").id(4).monthly(1, kMonday),
                      AnEvent("E").id(5).annually(1, kMonday, 11)}
            << Ids{};
        QTest::newRow("Several passed events, in the source's order")
            << the15th
            << Events{AnEvent("A").id(9).once(QDate(2021, 11, 12)), AnEvent("B").id(4).once(QDate(2021, 11, 20)),
                      AnEvent("C").id(3).once(1, kMonday, 11, 2021), AnEvent("D").id(5).once(QDate(2021, 11, 1))}
            << Ids{9, 3, 5};
    }
    void passedOnceOnlyEvents()
    {
        QFETCH(QDate, today);
        QFETCH(Events, events);
        QFETCH(Ids, passed);
        TestEnv env;
        MonthGrid grid;
        QCOMPARE(DrawMonth(grid, {11, 2021}, today, env.settings().snapshot(), ListSource(events)).passed, passed);
    }

    void everyDrawingFindsThePassedEventsAfresh()
    {
        TestEnv env;
        const ListSource source({AnEvent("Dentist").id(7).once(QDate(2021, 11, 3))});
        MonthGrid grid;
        const SettingsSnapshot settings = env.settings().snapshot();
        QCOMPARE(DrawMonth(grid, {11, 2021}, QDate(2021, 11, 15), settings, source).passed, Ids{7});
        QCOMPARE(DrawMonth(grid, {12, 2021}, QDate(2021, 11, 15), settings, source).passed, Ids{});
        QCOMPARE(DrawMonth(grid, {11, 2021}, QDate(2021, 11, 15), settings, source).passed, Ids{7});
        // The cells themselves start afresh with each drawing.
        verifyTexts(grid, 11, 2021, {{3, "3\r\nDentist"}, {25, "25\rThanksgiving"}});
    }

    void eventsFromOtherCalendarsFollowTheRowsByTime()
    {
        TestEnv env;
        qputenv("TZ", "UTC");
        const auto at = [](QDate day, int hour) {
            return QDateTime(day, QTime(hour, 0), QTimeZone::utc()).toSecsSinceEpoch();
        };
        const QDate the3rd(2021, 11, 3);
        using Kind = DetailedStart::Kind;
        // A trip over two days that has passed, a course whose second start got a title of its own,
        // and a late show from 23:00 to 01:30.
        const ListSource source({AnEvent("Call").id(1).once(the3rd)},
                                {{AnEvent("Course").id(2).once(the3rd),
                                  {the3rd, {}},
                                  {{Kind::Instant, at(the3rd, 18), 3600, the3rd.toJulianDay(), {}},
                                   {Kind::Instant, at(the3rd, 9), 3600, the3rd.toJulianDay(), "Moved course"}}},
                                 {AnEvent("Trip").id(3).once(the3rd),
                                  {the3rd, the3rd.addDays(1)},
                                  {{Kind::Day, the3rd.toJulianDay(), 2, the3rd.toJulianDay(), {}}}},
                                 {AnEvent("Late show").id(4).monthlyOn(3),
                                  {the3rd, {}},
                                  {{Kind::Instant, at(the3rd, 23), 9000, the3rd.toJulianDay(), {}}}}});
        MonthGrid grid;
        const MonthFindings found = DrawMonth(grid, {11, 2021}, QDate(2021, 11, 15), env.settings().snapshot(), source);
        verifyTexts(grid, 11, 2021,
                    {{3, "3\r\nCall\r\nTrip\r\n09:00 Moved course\r\n18:00 Course\r\n23:00 Late show"},
                     {4, "4\r\nTrip\r\n\u219201:30 Late show"},
                     {25, "25\rThanksgiving"}});
        QCOMPARE(found.passed, (Ids{1, 3}));
    }

    void failingSourceKeepsTitlesSoFar()
    {
        TestEnv env;
        const ListSource source({AnEvent("Call").id(11).once(QDate(2021, 11, 3)), AnEvent("Gym").id(12).weekly(kMonday),
                                 AnEvent("Rent").id(13).monthlyOn(10), AnEvent("Never").id(14).monthlyOn(20)},
                                3);
        MonthGrid grid;
        try {
            (void)DrawMonth(grid, {11, 2021}, QDate(2021, 11, 15), env.settings().snapshot(), source);
            QFAIL("The source's failure was swallowed");
        } catch (const std::runtime_error& failure) {
            QCOMPARE(QString::fromUtf8(failure.what()), QString("disk I/O error"));
        }
        verifyTexts(grid, 11, 2021,
                    {{1, "1\r\nGym"},
                     {3, "3\r\nCall"},
                     {8, "8\r\nGym"},
                     {10, "10\r\nRent"},
                     {15, "15\r\nGym"},
                     {22, "22\r\nGym"},
                     {25, "25\rThanksgiving"},
                     {29, "29\r\nGym"}});
    }

    void unreachableSourceLeavesPaintedMonth()
    {
        TestEnv env;
        env.settings().save("Special Day", "1");
        const ListSource closed({}, 0);
        MonthGrid grid;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, (void)DrawMonth(grid, {11, 2021}, QDate(2021, 11, 15),
                                                                     env.settings().snapshot(), closed));
        verifyTexts(grid, 11, 2021, {{25, "25\rThanksgiving"}});
        QCOMPARE(grid.cells[15].background, ColorRef(16711680)); // today, the 15th
        QCOMPARE(grid.cells[25].background, ColorRef(255));      // Thanksgiving
        QCOMPARE(grid.cells[7].background, ColorRef(12632319));  // Sunday the 7th
    }
};

QTEST_GUILESS_MAIN(TestEventFilling)
#include "tst_event_filling.moc"
