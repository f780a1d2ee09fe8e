#pragma once

#include "calendar/detailed_days.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>

#include <memory>
#include <optional>
#include <variant>

// What an event from another calendar carries beyond the twelve columns: a time of day and a
// time zone, several days, a repeat with a start, an end, gaps and moved occurrences. It is
// kept as the iCalendar text it came in (a VCALENDAR with the event's VEVENT, the VEVENTs of
// its moved occurrences and the VTIMEZONEs they name), and its days come from libical's
// recurrence iterator, only ever within the days asked for.

struct icalcomponent_impl; // libical's icalcomponent, kept out of the headers that include this one

/// How many seconds before a timed start the VALARM `alarm` goes off, when it is one the
/// calendar keeps: a duration before the start (or at it), at most a week, not from the end.
[[nodiscard]] std::optional<qint64> AlarmLead(icalcomponent_impl* alarm);

/// The longest details text read: an event, its moved occurrences and their zones fit easily.
inline constexpr qsizetype kMaxDetailsSize = 1 << 20;

class EventDetails
{
public:
    /// Reads the details of one event, or says in one short sentence why they cannot be shown
    /// (a rule libical refuses or one that repeats more often than daily, an unknown time zone,
    /// ...). Whether it occurs at all is span()'s to say. `readAlready`: the VCALENDAR `text` was
    /// written from, copied instead of reading `text` again.
    [[nodiscard]] static std::variant<std::shared_ptr<const EventDetails>, QString>
    read(const QByteArray& text, icalcomponent_impl* readAlready = nullptr);
    ~EventDetails();
    EventDetails(const EventDetails&) = delete;
    EventDetails& operator=(const EventDetails&) = delete;

    /// The days within [first, last] on which the event falls, ascending; a day on which two
    /// occurrences start is there twice.
    [[nodiscard]] QList<DetailedDay> daysWithin(QDate first, QDate last) const;
    /// The starts written on a day of [from, to], in the order daysWithin gives their days: the
    /// repeat's, the added ones (RDATE), the moved ones.
    [[nodiscard]] QList<DetailedStart> startsWithin(QDate from, QDate to) const;
    /// The iCalendar text they were read from.
    [[nodiscard]] const QByteArray& text() const;
    /// Seconds before a timed start its alarms go off (AlarmLead), each once.
    [[nodiscard]] const QList<qint64>& alarmLeads() const;
    /// The most days one occurrence touches, in its own zone.
    [[nodiscard]] qint64 longestDays() const;

    /// The first and last day the event touches (the last none when it repeats without end or
    /// past the year 9999), or why it never occurs. Counts a COUNT through: for writing, not drawing.
    [[nodiscard]] std::variant<DetailsSpan, QString> span() const;

    struct Parsed; // libical's side, kept out of this header

private:
    explicit EventDetails(std::unique_ptr<Parsed> parsed);
    std::unique_ptr<Parsed> m_parsed;
};
