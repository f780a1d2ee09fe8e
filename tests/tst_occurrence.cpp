#include "calendar/occurrence.h"

#include "event_builder.h"

#include <QTest>

#include <array>
#include <limits>

Q_DECLARE_METATYPE(EventRecord)

namespace {

using Days = QList<int>;

// Every column of Thursday 25 November 2021, the fourth Thursday, for the kinds to pick from.
const AnEvent kThursday25 = AnEvent().date(11, 25, 2021).week(4, kThursday);

Days toDays(const QVarLengthArray<int, 5>& days)
{
    return Days(days.begin(), days.end());
}

QString describe(const EventRecord& e, int month, int year)
{
    const auto field = [](NumberValue v) { return v ? QString::number(*v) : QStringLiteral("empty"); };
    return QStringLiteral("%1/%2: timetype %3, consistancy %4, month %5, day %6, year %7, weekdate %8, weekday %9")
        .arg(month)
        .arg(year)
        .arg(field(e.timetype), field(e.consistancy), field(e.eventmonth), field(e.eventday), field(e.eventyear),
             field(e.eventweekdate), field(e.eventweekday));
}

// The reference for the cross-check: lay the month out as the main window does,
// six weeks from Sunday, and walk the cells one by one, counting weekdays as it
// goes. Weekdays come from QDate, not from any arithmetic of the engine.
struct NaiveCell
{
    int day = 0; // 0: blank
    int weekday = 0;
};
using NaiveGrid = std::array<NaiveCell, 42>;

int sundayFirst(QDate date)
{
    return date.dayOfWeek() == Qt::Sunday ? 1 : date.dayOfWeek() + 1;
}

NaiveGrid naiveGrid(int month, int year)
{
    NaiveGrid cells;
    const QDate first(year, month, 1);
    const int blanksBefore = sundayFirst(first) - 1;
    for (int i = 0; i < int(cells.size()); ++i) {
        const QDate date = first.addDays(i - blanksBefore);
        if (date.month() == month && date.year() == year)
            cells[std::size_t(i)] = {date.day(), sundayFirst(date)};
    }
    return cells;
}

QVarLengthArray<int, 5> walkGrid(const EventRecord& e, const NaiveGrid& grid, int month, int year)
{
    // An empty field becomes a number that no day, weekday, count, month or year equals.
    constexpr int kEmpty = std::numeric_limits<int>::min();
    const int timetype = e.timetype.value_or(kEmpty);
    const int consistancy = e.consistancy.value_or(kEmpty);
    const int eventMonth = e.eventmonth.value_or(kEmpty);
    const int eventDay = e.eventday.value_or(kEmpty);
    const int eventYear = e.eventyear.value_or(kEmpty);
    const int weekdate = e.eventweekdate.value_or(kEmpty);
    const int weekday = e.eventweekday.value_or(kEmpty);

    QVarLengthArray<int, 5> days;
    int count = 0;
    for (const NaiveCell& cell : grid) {
        if (cell.day == 0)
            continue;
        if (timetype == 1) {
            bool falls = false;
            if (consistancy == 1)
                falls = eventMonth == month && eventYear == year && eventDay == cell.day;
            else if (consistancy == 3)
                falls = eventDay == cell.day;
            else if (consistancy == 4)
                falls = eventMonth == month && eventDay == cell.day;
            if (falls) {
                days.append(cell.day);
                break;
            }
        } else if (timetype == 2) {
            if (weekday != cell.weekday)
                continue;
            ++count;
            if (consistancy == 2) {
                days.append(cell.day);
                continue;
            }
            if (count != weekdate)
                continue;
            bool falls = false;
            if (consistancy == 1)
                falls = eventMonth == month && eventYear == year;
            else if (consistancy == 3)
                falls = true;
            else if (consistancy == 4)
                falls = eventMonth == month;
            if (falls)
                days.append(cell.day);
            break;
        }
    }
    return days;
}

// One event for the cross-check, with month and year given relative to the shown month.
struct Combination
{
    int timetype;
    int consistancy;
    int weekday;
    int weekdate;
    int day;
    bool sameMonth;
    bool sameYear;
};

// Time type 0..3, repetition 0..5, weekday 0..8 and week 0..6, month and year the shown
// ones or not. The day runs through 0..32 alongside the 63 weekday/week pairs, so every
// day meets every time type, repetition, month and year.
QList<Combination> allCombinations()
{
    QList<Combination> all;
    for (int timetype = 0; timetype <= 3; ++timetype)
        for (int consistancy = 0; consistancy <= 5; ++consistancy)
            for (bool sameMonth : {true, false})
                for (bool sameYear : {true, false})
                    for (int weekday = 0; weekday <= 8; ++weekday)
                        for (int weekdate = 0; weekdate <= 6; ++weekdate)
                            all.append({timetype, consistancy, weekday, weekdate, (weekday * 7 + weekdate) % 33,
                                        sameMonth, sameYear});
    return all;
}

} // namespace

class TestOccurrence : public QObject
{
    Q_OBJECT

private:
    // Checks both entry points against the expected days, and that no other day matches.
    static void verifyDays(const EventRecord& event, int month, int year, const Days& days)
    {
        QCOMPARE(toDays(OccurrenceDays(event, MonthFrame::of(month, year))), days);
        const int dayCount = QDate(year, month, 1).daysInMonth();
        for (int day = 1; day <= dayCount; ++day)
            QVERIFY2(OccurrenceRule(event, month, year, day) == days.contains(day),
                     qPrintable(QStringLiteral("day %1").arg(day)));
    }

private slots:
    void occursOn_data()
    {
        QTest::addColumn<EventRecord>("event");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("year");
        QTest::addColumn<Days>("days");

        const auto date25Nov2021 = AnEvent().once(QDate(2021, 11, 25)).record();
        QTest::newRow("November 2021, by date once on 25 November 2021") << date25Nov2021 << 11 << 2021 << Days{25};
        QTest::newRow("November 2021, by date once on 25 November 2022")
            << AnEvent().once(QDate(2022, 11, 25)).record() << 11 << 2021 << Days{};
        QTest::newRow("November 2022, by date once on 25 November 2021") << date25Nov2021 << 11 << 2022 << Days{};
        QTest::newRow("December 2021, by date once on 25 November 2021") << date25Nov2021 << 12 << 2021 << Days{};

        const auto monthly31 = AnEvent().monthlyOn(31).record();
        QTest::newRow("November 2021, monthly on the 31st") << monthly31 << 11 << 2021 << Days{};
        QTest::newRow("December 2021, monthly on the 31st") << monthly31 << 12 << 2021 << Days{31};
        QTest::newRow("November 2021, monthly on the 25th, month and year of another date")
            << AnEvent().monthlyOn(25).date(3, 25, 1990).record() << 11 << 2021 << Days{25};

        const auto annually11Nov = AnEvent().annuallyOn(11, 11).record();
        QTest::newRow("November 2021, annually on 11 November") << annually11Nov << 11 << 2021 << Days{11};
        QTest::newRow("November 1999, annually on 11 November") << annually11Nov << 11 << 1999 << Days{11};
        QTest::newRow("November 2031, annually on 11 November") << annually11Nov << 11 << 2031 << Days{11};
        QTest::newRow("October 2021, annually on 11 November") << annually11Nov << 10 << 2021 << Days{};
        QTest::newRow("December 2021, annually on 11 November") << annually11Nov << 12 << 2021 << Days{};
        QTest::newRow("November 2021, annually on 11 November, year of another date")
            << AnEvent().annuallyOn(11, 11).date(11, 11, 1990).record() << 11 << 2021 << Days{11};

        const auto annually29Feb = AnEvent().annuallyOn(2, 29).record();
        QTest::newRow("February 2024, annually on 29 February") << annually29Feb << 2 << 2024 << Days{29};
        QTest::newRow("February 2023, annually on 29 February") << annually29Feb << 2 << 2023 << Days{};
        QTest::newRow("February 2000, annually on 29 February") << annually29Feb << 2 << 2000 << Days{29};
        QTest::newRow("February 2100, annually on 29 February") << annually29Feb << 2 << 2100 << Days{};

        QTest::newRow("November 2021, by date weekly with every field of 25 November 2021")
            << AnEvent(kThursday25).codes(kByDate, kWeekly).record() << 11 << 2021 << Days{};

        const auto fourthThursday = AnEvent().monthly(4, kThursday).record();
        const auto fifthThursday = AnEvent().monthly(5, kThursday).record();
        QTest::newRow("November 2021, fourth Thursday") << fourthThursday << 11 << 2021 << Days{25};
        QTest::newRow("November 2021, fifth Thursday: there are only four") << fifthThursday << 11 << 2021 << Days{};
        QTest::newRow("September 2021, fifth Thursday") << fifthThursday << 9 << 2021 << Days{30};
        QTest::newRow("November 2021, fourth Thursday, day, month and year of another date")
            << AnEvent().monthly(4, kThursday).date(3, 9, 1990).record() << 11 << 2021 << Days{25};

        const auto mondays = AnEvent().weekly(kMonday).record();
        QTest::newRow("November 2021, weekly on Mondays") << mondays << 11 << 2021 << Days{1, 8, 15, 22, 29};
        QTest::newRow("February 2021, weekly on Mondays") << mondays << 2 << 2021 << Days{1, 8, 15, 22};
        QTest::newRow("November 2021, weekly on Mondays, every other field of another date")
            << AnEvent().weekly(kMonday).date(3, 9, 1990).week(3, kMonday).record() << 11 << 2021
            << Days{1, 8, 15, 22, 29};

        QTest::newRow("November 2021, fourth Thursday of October every year")
            << AnEvent().annually(4, kThursday, 10).record() << 11 << 2021 << Days{};
        QTest::newRow("November 2021, fourth Thursday of November every year, year of another date")
            << AnEvent().annually(4, kThursday, 11).date(11, 9, 1990).record() << 11 << 2021 << Days{25};

        const auto firstMondayNov2021 = AnEvent().once(1, kMonday, 11, 2021).record();
        QTest::newRow("November 2021, first Monday of November 2021 once")
            << firstMondayNov2021 << 11 << 2021 << Days{1};
        QTest::newRow("November 2022, first Monday of November 2021 once")
            << firstMondayNov2021 << 11 << 2022 << Days{};
        QTest::newRow("December 2021, first Monday of November 2021 once")
            << firstMondayNov2021 << 12 << 2021 << Days{};
    }
    void occursOn()
    {
        QFETCH(EventRecord, event);
        QFETCH(int, month);
        QFETCH(int, year);
        QFETCH(Days, days);
        verifyDays(event, month, year, days);
    }

    // Each row is one field away from an event that falls on a day of November 2021.
    void neverOccurs_data()
    {
        QTest::addColumn<EventRecord>("event");
        QTest::newRow("no time type") << AnEvent().monthlyOn(25).codes({}, kMonthly).record();
        QTest::newRow("time type 0") << AnEvent(kThursday25).codes(0, kMonthly).record();
        QTest::newRow("time type 3") << AnEvent(kThursday25).codes(3, kMonthly).record();
        QTest::newRow("time type -1") << AnEvent(kThursday25).codes(-1, kMonthly).record();

        QTest::newRow("by date, no repetition") << AnEvent().once(QDate(2021, 11, 25)).codes(kByDate, {}).record();
        QTest::newRow("by date, repetition 0") << AnEvent().once(QDate(2021, 11, 25)).codes(kByDate, 0).record();
        QTest::newRow("by date, repetition 5") << AnEvent().once(QDate(2021, 11, 25)).codes(kByDate, 5).record();
        QTest::newRow("by date once, no month") << AnEvent().once(QDate(2021, 11, 25)).date({}, 25, 2021).record();
        QTest::newRow("by date once, no day") << AnEvent().once(QDate(2021, 11, 25)).date(11, {}, 2021).record();
        QTest::newRow("by date once, no year") << AnEvent().once(QDate(2021, 11, 25)).date(11, 25, {}).record();
        QTest::newRow("by date monthly, no day") << AnEvent().monthlyOn(25).date(11, {}, 2021).record();
        QTest::newRow("by date monthly, day 0") << AnEvent().monthlyOn(0).date(11, 0, 2021).record();
        QTest::newRow("by date monthly, day 32") << AnEvent().monthlyOn(32).date(11, 32, 2021).record();
        QTest::newRow("by date monthly, day -5") << AnEvent().monthlyOn(-5).date(11, -5, 2021).record();
        QTest::newRow("by date annually, no month") << AnEvent().annuallyOn(11, 25).date({}, 25, 2021).record();
        QTest::newRow("by date annually, month 23: November counted modulo 12")
            << AnEvent().annuallyOn(23, 25).date(23, 25, 2021).record();

        QTest::newRow("by weekday, no repetition")
            << AnEvent().once(4, kThursday, 11, 2021).codes(kByDayOfWeek, {}).record();
        QTest::newRow("by weekday, repetition 0") << AnEvent(kThursday25).codes(kByDayOfWeek, 0).record();
        QTest::newRow("by weekday, repetition 5") << AnEvent(kThursday25).codes(kByDayOfWeek, 5).record();
        QTest::newRow("weekly, no weekday") << AnEvent(kThursday25).weekly({}).record();
        QTest::newRow("weekly, weekday 0") << AnEvent(kThursday25).weekly(0).record();
        QTest::newRow("weekly, weekday 8") << AnEvent(kThursday25).weekly(8).record();
        QTest::newRow("weekly, weekday 9") << AnEvent(kThursday25).weekly(9).record();
        QTest::newRow("monthly, no week") << AnEvent(kThursday25).monthly({}, kThursday).record();
        QTest::newRow("monthly, no weekday") << AnEvent(kThursday25).monthly(4, {}).record();
        QTest::newRow("monthly, week 0") << AnEvent(kThursday25).monthly(0, kThursday).record();
        QTest::newRow("monthly, week 6") << AnEvent(kThursday25).monthly(6, kThursday).record();
        QTest::newRow("monthly, weekday 12: Thursday counted modulo 7") << AnEvent(kThursday25).monthly(4, 12).record();
        QTest::newRow("by weekday once, no month") << AnEvent(kThursday25).once(4, kThursday, {}, 2021).record();
        QTest::newRow("by weekday once, no year") << AnEvent(kThursday25).once(4, kThursday, 11, {}).record();
        QTest::newRow("by weekday annually, no month") << AnEvent(kThursday25).annually(4, kThursday, {}).record();
        QTest::newRow("by weekday annually, no week") << AnEvent(kThursday25).annually({}, kThursday, 11).record();
    }
    void neverOccurs()
    {
        QFETCH(EventRecord, event);
        verifyDays(event, 11, 2021, Days{});
    }

    // Every combination of the rule's fields, in every month from 1999 to 2031, against
    // the walk above. OccurrenceDays is compared in every month. OccurrenceRule, asked
    // one day at a time, is compared on every day of one month of each shape (weekday of
    // the 1st and length), which is all a month is to the rule besides its number; time
    // types outside the table are left to OccurrenceDays and the rows above there.
    void matchesDayByDayWalk()
    {
        const QList<Combination> combinations = allCombinations();
        QSet<int> shapesAskedDayByDay;
        EventRecord e;
        for (int year = 1999; year <= 2031; ++year) {
            for (int month = 1; month <= 12; ++month) {
                const NaiveGrid grid = naiveGrid(month, year);
                const MonthFrame frame = MonthFrame::of(month, year);
                const QDate first(year, month, 1);
                const int shape = first.dayOfWeek() * 100 + first.daysInMonth();
                const bool newShape = !shapesAskedDayByDay.contains(shape);
                shapesAskedDayByDay.insert(shape);

                for (const Combination& c : combinations) {
                    e.timetype = c.timetype;
                    e.consistancy = c.consistancy;
                    e.eventmonth = c.sameMonth ? month : month % 12 + 1;
                    e.eventyear = c.sameYear ? year : year + 1;
                    e.eventday = c.day;
                    e.eventweekdate = c.weekdate;
                    e.eventweekday = c.weekday;

                    const auto expected = walkGrid(e, grid, month, year);
                    if (OccurrenceDays(e, frame) != expected)
                        QFAIL(qPrintable("OccurrenceDays differs from the walk for " + describe(e, month, year)));
                    if (!newShape || (c.timetype != 1 && c.timetype != 2))
                        continue;
                    for (int day = 0; day <= frame.dayCount + 1; ++day) {
                        if (OccurrenceRule(e, month, year, day) != expected.contains(day))
                            QFAIL(qPrintable(
                                QStringLiteral("OccurrenceRule on day %1 differs from the walk for ").arg(day) +
                                describe(e, month, year)));
                    }
                }
            }
        }
        // Guards the claim above: these years hold every shape of month.
        QCOMPARE(shapesAskedDayByDay.size(), 28);
    }
};

QTEST_GUILESS_MAIN(TestOccurrence)
#include "tst_occurrence.moc"
