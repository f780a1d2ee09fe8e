#include "occurrence.h"

#include "dates.h"

#include <QLocale>

#include <algorithm>
#include <vector>

MonthFrame::MonthFrame(int month, int year)
    : month(month), year(year), firstWeekday(0), dayCount(DaysInMonth(month, year))
{
    firstWeekday = WeekdayNumber(QDate(year, month, 1));
}

namespace {

// Which occurrence of its weekday a day is: days 1-7 are the first, 8-14 the second, ...
int occurrenceNumber(int day)
{
    return (day - 1) / 7 + 1;
}

// The day holding occurrence `nth` of `weekday`, or 0 where the month has none.
int nthWeekday(const MonthFrame& frame, int weekday, int nth)
{
    if (weekday < 1 || weekday > 7 || nth < 1 || nth > 5)
        return 0;
    const int firstSuch = 1 + (weekday - frame.firstWeekday + 7) % 7;
    const int day = firstSuch + 7 * (nth - 1);
    return day <= frame.dayCount ? day : 0;
}

bool inShownMonthAndYear(const EventRecord& e, const MonthFrame& frame)
{
    return e.eventmonth == frame.month && e.eventyear == frame.year;
}

} // namespace

bool OccursOn(const EventRecord& e, const MonthFrame& frame, int day)
{
    if (day < 1 || day > frame.dayCount || !e.consistancy)
        return false;
    const auto repeat = Consistancy(*e.consistancy);

    if (e.is(TimeType::ByDate)) {
        switch (repeat) {
        case Consistancy::Once:
            return inShownMonthAndYear(e, frame) && e.eventday == day;
        case Consistancy::Weekly:
            return false;
        case Consistancy::Monthly:
            return e.eventday == day;
        case Consistancy::Annually:
            return e.eventmonth == frame.month && e.eventday == day;
        }
        return false;
    }
    if (e.is(TimeType::ByDayOfWeek)) {
        const bool weekdayMatches = e.eventweekday == frame.weekdayOf(day);
        const bool nthMatches = weekdayMatches && e.eventweekdate == occurrenceNumber(day);
        switch (repeat) {
        case Consistancy::Once:
            return inShownMonthAndYear(e, frame) && nthMatches;
        case Consistancy::Weekly:
            return weekdayMatches;
        case Consistancy::Monthly:
            return nthMatches;
        case Consistancy::Annually:
            return e.eventmonth == frame.month && nthMatches;
        }
        return false;
    }
    return false;
}

bool OccurrenceRule(const EventRecord& event, int month, int year, int day)
{
    return OccursOn(event, MonthFrame::of(month, year), day);
}

QVarLengthArray<int, 5> OccurrenceDays(const EventRecord& e, const MonthFrame& frame)
{
    QVarLengthArray<int, 5> days;
    if (!e.consistancy)
        return days;
    const auto repeat = Consistancy(*e.consistancy);

    // Work out the one candidate day (or, for weekly, every candidate), then let
    // OccursOn confirm it, so there is a single definition of "falls on".
    if (e.is(TimeType::ByDate)) {
        if (e.eventday && OccursOn(e, frame, *e.eventday))
            days.append(*e.eventday);
    } else if (e.is(TimeType::ByDayOfWeek) && e.eventweekday) {
        if (repeat == Consistancy::Weekly) {
            for (int day = nthWeekday(frame, *e.eventweekday, 1); day != 0 && day <= frame.dayCount; day += 7)
                days.append(day);
        } else if (e.eventweekdate) {
            const int day = nthWeekday(frame, *e.eventweekday, *e.eventweekdate);
            if (day != 0 && OccursOn(e, frame, day))
                days.append(day);
        }
    }
    return days;
}

void ForEachOccurrence(const EventSource& events, const OccurrenceQuery& query,
                       const std::function<void(const Occurrence&)>& visit)
{
    const QDate first = query.first;
    const QDate last = query.last;
    if (!first.isValid() || !last.isValid() || last < first)
        return;
    const auto lastFor = [&](const EventRecord& event) {
        return query.reach ? std::min(last, query.reach(event)) : last;
    };

    // The rows' own never have alarms.
    if (!query.alarmsOnly) {
        // The rows' own rule works month by month; each month's facts are worked out once.
        struct Month
        {
            MonthFrame frame;
            qint64 firstDay; // Julian day of day 1
        };
        std::vector<Month> months;
        for (QDate m(first.year(), first.month(), 1); m <= last; m = m.addMonths(1))
            months.push_back({MonthFrame::of(m.month(), m.year()), m.toJulianDay()});
        QVarLengthArray<QDate, 8> days;
        events.forEachEventWhere(
            [&](const EventRecord& event) {
                days.clear();
                const qint64 from = first.toJulianDay();
                const QDate until = lastFor(event);
                if (!until.isValid() || until < first)
                    return false;
                const qint64 to = until.toJulianDay();
                for (const Month& month : months) {
                    if (month.firstDay > to)
                        break;
                    for (int day : OccurrenceDays(event, month.frame)) {
                        const qint64 julian = month.firstDay + day - 1;
                        if (julian >= from && julian <= to)
                            days.append(QDate::fromJulianDay(julian));
                    }
                }
                return !days.isEmpty();
            },
            [&](const EventRecord& event) {
                // A once-only row falls on one day, its last.
                const bool once = event.is(Consistancy::Once);
                for (QDate day : days)
                    visit({&event, day, QTime(), event.title, once && day < query.today, {}, false, QTime()});
            });
    }

    // Kept until they are visited in order: the source's days and leads may not outlive its call.
    struct Found
    {
        Occurrence occurrence;
        QString title;
        QList<qint64> alarmLeads;
    };
    std::vector<Found> detailed;
    events.forEachDetailedEvent(first, last, query.reach, [&](const EventSource::DetailedEvent& e) {
        if (query.alarmsOnly && e.alarmLeads.isEmpty())
            return;
        const bool passed = e.row.is(Consistancy::Once) && e.span.last && *e.span.last < query.today;
        for (const DetailedDay& d : e.days)
            detailed.push_back({{&e.row, d.day, d.start, {}, passed, {}, d.goesOn, d.end},
                                d.title.isEmpty() ? e.row.title : d.title,
                                e.alarmLeads});
    });
    // Invalid times (all day) come before every time of day.
    std::stable_sort(detailed.begin(), detailed.end(), [](const Found& a, const Found& b) {
        return a.occurrence.day != b.occurrence.day ? a.occurrence.day < b.occurrence.day
                                                    : a.occurrence.start < b.occurrence.start;
    });
    for (Found& f : detailed) {
        f.occurrence.title = f.title;
        f.occurrence.alarmLeads = std::span<const qint64>(f.alarmLeads.constData(), std::size_t(f.alarmLeads.size()));
        visit(f.occurrence);
    }
}

QList<EventTitle> EventsOn(const EventSource& events, QDate date)
{
    QList<EventTitle> found;
    ForEachOccurrence(events, {date, date, date}, [&](const Occurrence& o) {
        found.append({o.event->id, ShownTitle(o)});
    });
    return found;
}

namespace {

// The locale's short time without seconds (the C locale's has them): "10:30", "10:30 AM".
QString shortTime(QTime time)
{
    static const QString format = [] {
        QString f = QLocale::system().timeFormat(QLocale::ShortFormat);
        f.remove(QStringLiteral(":ss")).remove(QStringLiteral(".ss"));
        return f;
    }();
    return QLocale::system().toString(time, format);
}

QString shownTitle(QStringView title, QTime start)
{
    if (!start.isValid())
        return title.toString();
    QString shown = shortTime(start);
    shown += u' ';
    shown += title;
    return shown;
}

} // namespace

QString ShownTitle(const Occurrence& o)
{
    if (!o.goesOn)
        return shownTitle(o.title, o.start);
    QString shown = QStringLiteral("\u2192");
    if (o.end.isValid())
        shown += shortTime(o.end);
    shown += u' ';
    shown += o.title;
    return shown;
}
