#pragma once

#include "event_record.h"

#include <QDate>
#include <QList>
#include <QVarLengthArray>

#include <span>

/// The facts about one month that the occurrence rule needs, computed once per month.
struct MonthFrame
{
    /// Throws std::invalid_argument for a month outside 1..12 or an unusable year.
    MonthFrame(int month, int year);
    [[nodiscard]] static MonthFrame of(int month, int year) { return {month, year}; }

    int month;        ///< 1..12
    int year;         ///< four-digit year
    int firstWeekday; ///< weekday of day 1, Sunday = 1
    int dayCount;     ///< 28..31

    /// Index (0..6) of the month-grid cell that holds day 1.
    [[nodiscard]] int firstCell() const { return firstWeekday - 1; }
    /// Weekday (Sunday = 1) of day 1..dayCount.
    [[nodiscard]] int weekdayOf(int day) const { return (firstWeekday - 1 + day - 1) % 7 + 1; }
};

/// Whether `event` falls on day `day` of `month`/`year`. Days outside the month,
/// unknown codes and missing fields that the event's kind needs all give false.
/// A by-date weekly event never occurs; nothing moves to the month's last day.
/// Throws std::invalid_argument for a month outside 1..12 or an unusable year.
[[nodiscard]] bool OccurrenceRule(const EventRecord& event, int month, int year, int day);

/// The same rule on a precomputed month.
[[nodiscard]] bool OccursOn(const EventRecord& event, const MonthFrame& frame, int day);

/// All days of the month on which `event` falls, ascending. Every kind but
/// by-weekday weekly yields at most one day.
[[nodiscard]] QVarLengthArray<int, 5> OccurrenceDays(const EventRecord& event, const MonthFrame& frame);

/// One day on which an event falls, whichever rule gave it: the row's own (the occurrence
/// rule), the starts the file keeps ready, or libical's expansion of its details.
struct Occurrence
{
    const EventRecord* event = nullptr; ///< the event's row, valid during the visit
    QDate day;
    QTime start;                        ///< when it starts that day; invalid: all day, or going on from before
    QStringView title;                  ///< a changed occurrence's own title, else the event's; valid during the visit
    bool passed = false;                ///< a once-only event whose last day is before the query's `today`
    std::span<const qint64> alarmLeads; ///< seconds before `start` another calendar's alarms go off
    bool goesOn = false;                ///< a later day of an occurrence that began at a time of day
    QTime end;                          ///< with goesOn, when it ends that day; invalid: it goes on all day
};

/// Which occurrences a caller wants.
struct OccurrenceQuery
{
    QDate first, last; ///< the days asked about
    QDate today;       ///< decides `passed`
    /// The last day wanted of each event, when earlier than `last` (a warning's reach, say).
    /// It must decide on the event's id and numbers alone: a plain row's texts are read later.
    EventSource::Reach reach = {};
    /// Only the occurrences of events with alarms before their start (the rows' own have none).
    bool alarmsOnly = false;
};

/// Every occurrence on a day of the query: first the rows the occurrence rule decides, in the
/// source's order, each with its days ascending; then the events with details, by day, all-day
/// ones first, then by start time, equal ones in ascending id. So each day lists its events as
/// the month shows them. Events that never fall in the days asked about are not read whole.
void ForEachOccurrence(const EventSource& events, const OccurrenceQuery& query,
                       const std::function<void(const Occurrence&)>& visit);

/// An event as a list of titles shows it.
struct EventTitle
{
    qint64 id = 0;
    QString title;
    friend bool operator==(const EventTitle&, const EventTitle&) = default;
};

/// The events that fall on `date`, in the order of ForEachOccurrence, each with its start time
/// (ShownTitle); none on an invalid date.
[[nodiscard]] QList<EventTitle> EventsOn(const EventSource& events, QDate date);

/// An occurrence's title as the lists of a day show it: after its start time that day (as the
/// user's locale writes a time), "10:30 Dentist"; on a later day of a timed one after an arrow and
/// the time it ends that day, "→01:00 Late show", or the arrow alone where it goes on all day;
/// else the title alone.
[[nodiscard]] QString ShownTitle(const Occurrence& occurrence);
