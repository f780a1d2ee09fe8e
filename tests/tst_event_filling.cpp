#include "calendar/event_record.h"
#include "calendar/month_grid.h"
#include "test_env.h"

#include "event_codes.h"

#include <QTest>

#include <stdexcept>

Q_DECLARE_METATYPE(EventRecord)

namespace {

using Events = QList<EventRecord>;
using Ids = PassedEventIds;
using TextsByDay = QMap<int, QString>; // days not listed read their day number only

// A "today" in no month that these tests show.
const QDate kTodayElsewhere(1990, 5, 15);

EventRecord event(qint64 id, const QString& title, int timetype, int consistancy)
{
    EventRecord e;
    e.id = id;
    e.title = title;
    e.description = QStringLiteral("Description of ") + title;
    e.timetype = timetype;
    e.consistancy = consistancy;
    e.warnevent = 0;
    e.daysbefore = 0;
    return e;
}

EventRecord byDateOnce(qint64 id, const QString& title, QDate date)
{
    EventRecord e = event(id, title, kByDate, kOnce);
    e.eventmonth = date.month();
    e.eventday = date.day();
    e.eventyear = date.year();
    return e;
}

EventRecord byDateMonthly(qint64 id, const QString& title, int day)
{
    EventRecord e = event(id, title, kByDate, kMonthly);
    e.eventday = day;
    return e;
}

EventRecord byDateAnnually(qint64 id, const QString& title, int month, int day)
{
    EventRecord e = event(id, title, kByDate, kAnnually);
    e.eventmonth = month;
    e.eventday = day;
    return e;
}

EventRecord weekly(qint64 id, const QString& title, int weekday)
{
    EventRecord e = event(id, title, kByDayOfWeek, kWeekly);
    e.eventweekday = weekday;
    return e;
}

EventRecord byWeekdayOnce(qint64 id, const QString& title, int nth, int weekday, int month, int year)
{
    EventRecord e = event(id, title, kByDayOfWeek, kOnce);
    e.eventweekdate = nth;
    e.eventweekday = weekday;
    e.eventmonth = month;
    e.eventyear = year;
    return e;
}

EventRecord byWeekdayMonthly(qint64 id, const QString& title, int nth, int weekday)
{
    EventRecord e = event(id, title, kByDayOfWeek, kMonthly);
    e.eventweekdate = nth;
    e.eventweekday = weekday;
    return e;
}

EventRecord byWeekdayAnnually(qint64 id, const QString& title, int nth, int weekday, int month)
{
    EventRecord e = byWeekdayMonthly(id, title, nth, weekday);
    e.consistancy = kAnnually;
    e.eventmonth = month;
    return e;
}

// The event table as the drawing sees it: rows in the order given. A source can be
// made to fail before a given row, as the database does when it becomes unreachable.
class ListSource final : public EventSource
{
public:
    explicit ListSource(Events rows, int failBeforeRow = -1) : m_rows(std::move(rows)), m_failBeforeRow(failBeforeRow)
    {}

    void forEachEvent(const std::function<void(const EventRecord&)>& visit) const override
    {
        for (int row = 0; row < m_rows.size(); ++row) {
            if (row == m_failBeforeRow)
                throw std::runtime_error("disk I/O error");
            visit(m_rows[row]);
        }
        if (m_failBeforeRow == m_rows.size())
            throw std::runtime_error("disk I/O error");
    }

private:
    Events m_rows;
    int m_failBeforeRow;
};

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

        const auto dentist = byDateOnce(1, "Dentist", QDate(2021, 11, 10));
        const auto rent = byDateMonthly(2, "Rent", 10);
        QTest::newRow("Two events on one day, in the source's order")
            << 11 << 2021 << Events{dentist, rent}
            << TextsByDay{{10, "10\r\nDentist\r\nRent"}, {25, "25\rThanksgiving"}};
        QTest::newRow("The same two events, source order reversed")
            << 11 << 2021 << Events{rent, dentist}
            << TextsByDay{{10, "10\r\nRent\r\nDentist"}, {25, "25\rThanksgiving"}};
        QTest::newRow("Christmas and a party")
            << 12 << 2021 << Events{byDateAnnually(3, "Party", 12, 25)} << TextsByDay{{25, "25\rChristmas\r\nParty"}};
        QTest::newRow("Thanksgiving and a dinner on the fourth Thursday")
            << 11 << 2021 << Events{byWeekdayAnnually(4, "Dinner", 4, kThursday, 11)}
            << TextsByDay{{25, "25\rThanksgiving\r\nDinner"}};
        QTest::newRow("Weekly on Mondays, every Monday of November 2021")
            << 11 << 2021 << Events{weekly(5, "Gym", kMonday)}
            << TextsByDay{{1, "1\r\nGym"},   {8, "8\r\nGym"},   {15, "15\r\nGym"},
                          {22, "22\r\nGym"}, {29, "29\r\nGym"}, {25, "25\rThanksgiving"}};
        QTest::newRow("Weekly on Sundays, in the first and the sixth row of October 2021")
            << 10 << 2021 << Events{weekly(6, "Mass", kSunday)}
            << TextsByDay{{3, "3\r\nMass"},
                          {10, "10\r\nMass"},
                          {17, "17\r\nMass"},
                          {24, "24\r\nMass"},
                          {31, "31\rHalloween\r\nMass"}};
        QTest::newRow("Monthly on the 31st, in a 30-day month")
            << 11 << 2021 << Events{byDateMonthly(7, "Payday", 31)} << TextsByDay{{25, "25\rThanksgiving"}};
        QTest::newRow("Monthly on the 31st, in a 31-day month")
            << 12 << 2021 << Events{byDateMonthly(7, "Payday", 31)}
            << TextsByDay{{25, "25\rChristmas"}, {31, "31\r\nPayday"}};
        QTest::newRow("Second Tuesday monthly, one day only")
            << 3 << 2021 << Events{byWeekdayMonthly(8, "Council", 2, 3)} << TextsByDay{{9, "9\r\nCouncil"}};
        QTest::newRow("Once-only event in another month")
            << 11 << 2021 << Events{byDateOnce(9, "Trip", QDate(2021, 12, 3))} << TextsByDay{{25, "25\rThanksgiving"}};
        EventRecord byDateWeekly = byDateOnce(10, "Never", QDate(2021, 3, 3));
        byDateWeekly.consistancy = kWeekly;
        QTest::newRow("By date weekly never shows") << 3 << 2021 << Events{byDateWeekly} << TextsByDay{};
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
        QTest::newRow("By date, yesterday") << the15th << Events{byDateOnce(7, "A", QDate(2021, 11, 14))} << Ids{7};
        QTest::newRow("By date, today") << the15th << Events{byDateOnce(7, "A", the15th)} << Ids{};
        QTest::newRow("By date, tomorrow") << the15th << Events{byDateOnce(7, "A", QDate(2021, 11, 16))} << Ids{};
        QTest::newRow("By weekday, second Sunday is yesterday")
            << the15th << Events{byWeekdayOnce(8, "B", 2, kSunday, 11, 2021)} << Ids{8};
        QTest::newRow("By weekday, third Monday is today")
            << the15th << Events{byWeekdayOnce(8, "B", 3, kMonday, 11, 2021)} << Ids{};
        QTest::newRow("First Monday, drawn on 2 November")
            << QDate(2021, 11, 2) << Events{byWeekdayOnce(9, "C", 1, kMonday, 11, 2021)} << Ids{9};
        QTest::newRow("First Monday, drawn on 1 November")
            << QDate(2021, 11, 1) << Events{byWeekdayOnce(9, "C", 1, kMonday, 11, 2021)} << Ids{};
        QTest::newRow("Whole month before today's month")
            << QDate(2022, 1, 3) << Events{byDateOnce(7, "A", QDate(2021, 11, 30))} << Ids{7};
        QTest::newRow("Whole month after today's month")
            << QDate(2021, 10, 31) << Events{byDateOnce(7, "A", QDate(2021, 11, 1))} << Ids{};
        QTest::newRow("Once-only events of other months, long passed")
            << the15th
            << Events{byDateOnce(7, "A", QDate(2021, 10, 1)), byWeekdayOnce(8, "B", 1, kMonday, 10, 2021),
                      byDateOnce(9, "C", QDate(2020, 11, 1))}
            << Ids{};
        QTest::newRow("Repeating events before today are never passed")
            << the15th
            << Events{byDateMonthly(1, "A", 1), byDateAnnually(2, "B", 11, 2), weekly(3, "C", kMonday),
                      byWeekdayMonthly(4, "D", 1, kMonday), byWeekdayAnnually(5, "E", 1, kMonday, 11)}
            << Ids{};
        QTest::newRow("Several passed events, in the source's order")
            << the15th
            << Events{byDateOnce(9, "A", QDate(2021, 11, 12)), byDateOnce(4, "B", QDate(2021, 11, 20)),
                      byWeekdayOnce(3, "C", 1, kMonday, 11, 2021), byDateOnce(5, "D", QDate(2021, 11, 1))}
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
        const ListSource source({byDateOnce(7, "Dentist", QDate(2021, 11, 3))});
        MonthGrid grid;
        const SettingsSnapshot settings = env.settings().snapshot();
        QCOMPARE(DrawMonth(grid, {11, 2021}, QDate(2021, 11, 15), settings, source).passed, Ids{7});
        QCOMPARE(DrawMonth(grid, {12, 2021}, QDate(2021, 11, 15), settings, source).passed, Ids{});
        QCOMPARE(DrawMonth(grid, {11, 2021}, QDate(2021, 11, 15), settings, source).passed, Ids{7});
        // The cells themselves start afresh with each drawing.
        verifyTexts(grid, 11, 2021, {{3, "3\r\nDentist"}, {25, "25\rThanksgiving"}});
    }

    void failingSourceKeepsTitlesSoFar()
    {
        TestEnv env;
        const ListSource source({byDateOnce(11, "Call", QDate(2021, 11, 3)), weekly(12, "Gym", kMonday),
                                 byDateMonthly(13, "Rent", 10), byDateMonthly(14, "Never", 20)},
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
