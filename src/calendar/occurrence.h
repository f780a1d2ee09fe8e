#pragma once

#include "event_record.h"

#include <QDate>
#include <QList>
#include <QVarLengthArray>

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

/// Visits, in the source's order, every event that falls on at least one day of the
/// month, with those days. Events that never fall in the month are not read whole.
void ForEachOccurrence(const EventSource& events, const MonthFrame& frame,
                       const std::function<void(const EventRecord&, const QVarLengthArray<int, 5>&)>& visit);

/// An event as a list of titles shows it.
struct EventTitle
{
    qint64 id = 0;
    QString title;
    friend bool operator==(const EventTitle&, const EventTitle&) = default;
};

/// The events that fall on `date`: the source's plain events in its order, then those with
/// details, all-day ones first, then by start time; none on an invalid date. Events that do
/// not fall on it are not read whole.
[[nodiscard]] QList<EventTitle> EventsOn(const EventSource& events, QDate date);

/// An event's title as the lists of a day show it: after its start time (as the user's locale
/// writes a time) when it begins that day at a time, "10:30 Dentist"; else the title alone.
[[nodiscard]] QString ShownTitle(const QString& title, QTime start);

/// One day of an event with details, as the month and the day's lists show it.
struct DetailedShowing
{
    QDate day;
    QTime start;      ///< invalid: all day, or a day it goes on from before
    EventTitle shown; ///< the title with its start time
    QString title;    ///< the title alone
    bool passed;      ///< a once-only event wholly before the day asked about
};

/// Every day of [first, last] on which an event with details falls, by day, all-day ones
/// first, then by start time, equal ones in ascending id. `today` decides `passed`.
[[nodiscard]] QList<DetailedShowing> DetailedShowings(const EventSource& events, QDate first, QDate last, QDate today);
