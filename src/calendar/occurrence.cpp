#include "occurrence.h"

#include "dates.h"

#include <QLocale>

#include <algorithm>

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

void ForEachOccurrence(const EventSource& events, const MonthFrame& frame,
                       const std::function<void(const EventRecord&, const QVarLengthArray<int, 5>&)>& visit)
{
    const auto occurs = [&](const EventRecord& event) { return !OccurrenceDays(event, frame).isEmpty(); };
    events.forEachEventWhere(occurs, [&](const EventRecord& event) { visit(event, OccurrenceDays(event, frame)); });
}

QList<EventTitle> EventsOn(const EventSource& events, QDate date)
{
    QList<EventTitle> found;
    if (!date.isValid())
        return found;
    const MonthFrame frame = MonthFrame::of(date.month(), date.year());
    events.forEachEventWhere([&](const EventRecord& event) { return OccursOn(event, frame, date.day()); },
                             [&](const EventRecord& e) {
                                 found.append({e.id, e.title});
                             });
    for (const DetailedShowing& s : DetailedShowings(events, date, date, date))
        found.append(s.shown);
    return found;
}

QString ShownTitle(const QString& title, QTime start)
{
    if (!start.isValid())
        return title;
    // The locale's short time without seconds (the C locale's has them): "10:30", "10:30 AM".
    static const QString format = [] {
        QString f = QLocale::system().timeFormat(QLocale::ShortFormat);
        f.remove(QStringLiteral(":ss")).remove(QStringLiteral(".ss"));
        return f;
    }();
    return QLocale::system().toString(start, format) + u' ' + title;
}

QList<DetailedShowing> DetailedShowings(const EventSource& events, QDate first, QDate last, QDate today)
{
    QList<DetailedShowing> showings;
    events.forEachDetailedEvent(
        first, last,
        [&](const EventRecord& e, const EventDetails*, const DetailsSpan& span, const QList<DetailedDay>& days) {
            const bool passed = e.is(Consistancy::Once) && span.last && *span.last < today;
            for (const DetailedDay& d : days) {
                const QString& title = d.title.isEmpty() ? e.title : d.title;
                showings.append({d.day, d.start, {e.id, ShownTitle(title, d.start)}, title, passed});
            }
        });
    // Invalid times (all day) come before every time of day.
    std::stable_sort(showings.begin(), showings.end(), [](const DetailedShowing& a, const DetailedShowing& b) {
        return a.day != b.day ? a.day < b.day : a.start < b.start;
    });
    return showings;
}
