#include "rules.h"

#include "calendar/dates.h"
#include "calendar/occurrence.h"

#include <QLocale>

#include <strings.h>

static_assert(ICAL_SUNDAY_WEEKDAY == 1 && ICAL_SATURDAY_WEEKDAY == 7, "libical numbers weekdays as we do");

namespace {

constexpr int kLastYear = 9999; // iCalendar writes years with four digits

QString monthName(int month)
{
    return QLocale::c().standaloneMonthName(month);
}

// Only called with a week of the month, 1..5.
QString ordinal(int n)
{
    static const char* const names[] = {"first", "second", "third", "fourth", "fifth"};
    return QString::fromLatin1(names[n - 1]);
}

// Why a value that the event's kind needs is unusable, or nothing when it is in low..high.
std::optional<QString> unusable(const char* what, NumberValue value, int low, int high)
{
    if (!value)
        return QStringLiteral("it has no %1").arg(QLatin1String(what));
    if (*value < low || *value > high)
        return QStringLiteral("its %1 %2 is not %3 to %4").arg(QLatin1String(what)).arg(*value).arg(low).arg(high);
    return std::nullopt;
}

// The first day on or after 1 January `fromYear` on which `event` falls, found with the
// occurrence rule itself; nothing when there is none up to the last year.
std::optional<QDate> firstOccurrence(const EventRecord& event, int fromYear)
{
    const bool annual = event.is(Consistancy::Annually);
    const int firstMonth = annual ? *event.eventmonth : 1;
    const int lastMonth = annual ? *event.eventmonth : 12;
    for (int year = fromYear; year <= kLastYear; ++year) {
        for (int month = firstMonth; month <= lastMonth; ++month) {
            const QVarLengthArray<int, 5> days = OccurrenceDays(event, MonthFrame::of(month, year));
            if (!days.isEmpty())
                return QDate(year, month, days.front());
        }
    }
    return std::nullopt;
}

short byDayOf(int weekday, int nth)
{
    // libical's encoding of a BYDAY entry: week number times 8 plus the weekday.
    return short(nth * 8 + weekday);
}

icalrecurrencetype ruleOf(const EventRecord& e)
{
    icalrecurrencetype rule;
    icalrecurrencetype_clear(&rule);
    const bool byDate = e.is(TimeType::ByDate);
    switch (Consistancy(*e.consistancy)) {
    case Consistancy::Weekly:
        rule.freq = ICAL_WEEKLY_RECURRENCE;
        rule.by_day[0] = byDayOf(*e.eventweekday, 0);
        break;
    case Consistancy::Monthly:
    case Consistancy::Annually:
        if (e.is(Consistancy::Annually)) {
            rule.freq = ICAL_YEARLY_RECURRENCE;
            rule.by_month[0] = short(*e.eventmonth);
        } else {
            rule.freq = ICAL_MONTHLY_RECURRENCE;
        }
        if (byDate)
            rule.by_month_day[0] = short(*e.eventday);
        else
            rule.by_day[0] = byDayOf(*e.eventweekday, *e.eventweekdate);
        break;
    case Consistancy::Once:
        break;
    }
    return rule;
}

} // namespace

std::variant<ICalendarDates, QString> ICalendarDatesOf(const EventRecord& e)
{
    for (const auto& [what, code, known] : {std::tuple{"time type", e.timetype, 2}, {"repetition", e.consistancy, 4}}) {
        if (!code)
            return QStringLiteral("it has no %1").arg(QLatin1String(what));
        if (*code < 1 || *code > known)
            return QStringLiteral("its %1 %2 is unknown").arg(QLatin1String(what)).arg(*code);
    }
    const bool byDate = e.is(TimeType::ByDate);
    const auto repeat = Consistancy(*e.consistancy);
    if (byDate && repeat == Consistancy::Weekly)
        return QStringLiteral("an event on a date never repeats weekly");

    // The values the occurrence rule reads for this kind, each in its range.
    const bool once = repeat == Consistancy::Once;
    if (once || repeat == Consistancy::Annually) {
        if (auto why = unusable("month", e.eventmonth, 1, 12))
            return *why;
    }
    if (once) {
        if (auto why = unusable("year", e.eventyear, 1, kLastYear))
            return *why;
    }
    if (byDate) {
        if (auto why = unusable("day", e.eventday, 1, 31))
            return *why;
    } else {
        if (auto why = unusable("weekday", e.eventweekday, 1, 7))
            return *why;
        if (repeat != Consistancy::Weekly) {
            if (auto why = unusable("week of the month", e.eventweekdate, 1, 5))
                return *why;
        }
    }

    if (once) {
        const MonthFrame frame = MonthFrame::of(*e.eventmonth, *e.eventyear);
        const QVarLengthArray<int, 5> days = OccurrenceDays(e, frame);
        if (days.isEmpty()) {
            if (byDate)
                return QStringLiteral("there is no %1 %2 %3")
                    .arg(*e.eventday)
                    .arg(monthName(frame.month))
                    .arg(frame.year);
            return QStringLiteral("%1 %2 has no %3 %4")
                .arg(monthName(frame.month))
                .arg(frame.year)
                .arg(ordinal(*e.eventweekdate), WeekdayNameOf(*e.eventweekday));
        }
        return ICalendarDates{QDate(frame.year, frame.month, days.front()), std::nullopt};
    }
    // A date that no year has would send the search through eight thousand years.
    if (byDate && repeat == Consistancy::Annually && *e.eventday > DaysInMonth(*e.eventmonth, 2000))
        return QStringLiteral("there is no %1 %2").arg(*e.eventday).arg(monthName(*e.eventmonth));
    const int fromYear = e.eventyear && *e.eventyear >= 1900 && *e.eventyear <= kLastYear ? *e.eventyear : 1970;
    const std::optional<QDate> start = firstOccurrence(e, fromYear);
    if (!start)
        return QStringLiteral("it falls on no day from %1 to %2").arg(fromYear).arg(kLastYear);
    return ICalendarDates{*start, ruleOf(e)};
}

namespace {

// How many entries of a libical BY... list are used.
template <std::size_t N> int used(const short (&list)[N])
{
    int n = 0;
    while (std::size_t(n) < N && list[n] != ICAL_RECURRENCE_ARRAY_MAX)
        ++n;
    return n;
}

QString weekdayCode(short byDay)
{
    return QString::fromLatin1(icalrecur_weekday_to_string(icalrecurrencetype_day_day_of_week(byDay)));
}

// The weekday and week of the month of a BYDAY entry of a monthly or yearly rule.
std::variant<std::pair<int, int>, QString> nthWeekday(short byDay)
{
    const int weekday = int(icalrecurrencetype_day_day_of_week(byDay));
    const int nth = icalrecurrencetype_day_position(byDay);
    if (nth < 0)
        return QStringLiteral("it counts weekdays from the end of the month (BYDAY=%1%2)")
            .arg(nth)
            .arg(weekdayCode(byDay));
    if (nth == 0)
        return QStringLiteral("it falls on every %1 of the month (BYDAY=%2 without a week number)")
            .arg(WeekdayNameOf(weekday), weekdayCode(byDay));
    if (nth > 5)
        return QStringLiteral("no month has a week %1 (BYDAY=%1%2)").arg(nth).arg(weekdayCode(byDay));
    return std::pair{weekday, nth};
}

std::optional<QString> unsupportedParts(const icalrecurrencetype& r)
{
    if (r.rscale && *r.rscale && strcasecmp(r.rscale, "GREGORIAN") != 0)
        return QStringLiteral("it repeats in the %1 calendar (RSCALE)").arg(QString::fromUtf8(r.rscale));
    if (r.count > 0)
        return QStringLiteral("it ends after %1 times (COUNT)").arg(r.count);
    if (!icaltime_is_null_time(r.until))
        return QStringLiteral("it ends on a given day (UNTIL)");
    if (r.interval != 1)
        return QStringLiteral("it leaves out periods between its days (INTERVAL=%1)").arg(r.interval);
    const std::pair<const char*, int> parts[] = {{"BYSECOND", used(r.by_second)},  {"BYMINUTE", used(r.by_minute)},
                                                 {"BYHOUR", used(r.by_hour)},      {"BYYEARDAY", used(r.by_year_day)},
                                                 {"BYWEEKNO", used(r.by_week_no)}, {"BYSETPOS", used(r.by_set_pos)}};
    for (const auto& [name, count] : parts) {
        if (count > 0)
            return QStringLiteral("its rule uses %1").arg(QLatin1String(name));
    }
    if (used(r.by_day) > 1)
        return QStringLiteral("it falls on several weekdays");
    if (used(r.by_month_day) > 1)
        return QStringLiteral("it falls on several days of the month");
    if (used(r.by_month) > 1)
        return QStringLiteral("it falls in several months");
    if (used(r.by_month) == 1 && icalrecurrencetype_month_is_leap(r.by_month[0]))
        return QStringLiteral("it falls in a leap month");
    if (used(r.by_day) == 1 && used(r.by_month_day) == 1)
        return QStringLiteral("it names both a weekday and a day of the month");
    if (used(r.by_month_day) == 1 && r.by_month_day[0] < 0)
        return QStringLiteral("it counts days from the end of the month (BYMONTHDAY=%1)").arg(r.by_month_day[0]);
    return std::nullopt;
}

} // namespace

std::variant<EventRecord, QString> EventRecordFor(QDate start, const icalrecurrencetype* rule)
{
    if (!start.isValid() || start.year() < 1 || start.year() > kLastYear)
        return QStringLiteral("its start is not a day of the years 1 to %1").arg(kLastYear);
    // Every number has a value, also those the kind does not use, as the editor stores them.
    EventRecord e;
    e.timetype = int(TimeType::ByDate);
    e.consistancy = int(Consistancy::Once);
    e.eventmonth = start.month();
    e.eventday = start.day();
    e.eventyear = start.year();
    e.eventweekdate = (start.day() - 1) / 7 + 1;
    e.eventweekday = WeekdayNumber(start);
    e.warnevent = 0;
    e.daysbefore = 1;
    if (!rule)
        return e;

    const icalrecurrencetype& r = *rule;
    if (auto why = unsupportedParts(r))
        return *why;
    const bool hasMonth = used(r.by_month) == 1;
    const bool hasMonthDay = used(r.by_month_day) == 1;
    const bool hasWeekday = used(r.by_day) == 1;
    switch (r.freq) {
    case ICAL_WEEKLY_RECURRENCE:
        if (hasMonth || hasMonthDay)
            return QStringLiteral("it repeats weekly in some months or on some days only");
        if (hasWeekday && icalrecurrencetype_day_position(r.by_day[0]) != 0)
            return QStringLiteral("its weekly rule names a week of the month");
        e.timetype = int(TimeType::ByDayOfWeek);
        e.consistancy = int(Consistancy::Weekly);
        if (hasWeekday)
            e.eventweekday = int(icalrecurrencetype_day_day_of_week(r.by_day[0]));
        break;
    case ICAL_MONTHLY_RECURRENCE:
    case ICAL_YEARLY_RECURRENCE:
        if (r.freq == ICAL_MONTHLY_RECURRENCE) {
            if (hasMonth)
                return QStringLiteral("it repeats monthly in some months only");
            e.consistancy = int(Consistancy::Monthly);
        } else {
            // Without a month, BYDAY would count the weekday through the whole year.
            if (hasWeekday && !hasMonth)
                return QStringLiteral("it counts a weekday through the whole year (BYDAY without BYMONTH)");
            e.consistancy = int(Consistancy::Annually);
            if (hasMonth)
                e.eventmonth = icalrecurrencetype_month_month(r.by_month[0]);
        }
        if (hasWeekday) {
            const auto weekday = nthWeekday(r.by_day[0]);
            if (const QString* why = std::get_if<QString>(&weekday))
                return *why;
            e.timetype = int(TimeType::ByDayOfWeek);
            std::tie(e.eventweekday, e.eventweekdate) = std::get<std::pair<int, int>>(weekday);
        } else if (hasMonthDay) {
            e.eventday = r.by_month_day[0];
        }
        break;
    default:
        return QStringLiteral("it repeats %1, which the calendar has no kind for")
            .arg(QString::fromLatin1(icalrecur_freq_to_string(r.freq)).toLower());
    }
    // RFC 5545 leaves a start that is not one of the rule's days undefined.
    if (!OccursOn(e, MonthFrame::of(start.month(), start.year()), start.day()))
        return QStringLiteral("its start, %1, is not one of the days its rule gives").arg(start.toString(Qt::ISODate));
    return e;
}
