#pragma once

#include "calendar/event_record.h"

#include <QDate>
#include <QString>

#include <libical/ical.h>

#include <optional>
#include <variant>

// How the calendar's kinds of event and iCalendar's recurrence rules (RFC 5545) map onto
// each other. Both directions decide with the occurrence rule, so an exported rule falls
// on the days the month grid shows, and an imported one is stored only when it does.

/// Where an exported event starts and how it repeats.
struct ICalendarDates
{
    QDate start;                            ///< the first day on which the event falls
    std::optional<icalrecurrencetype> rule; ///< empty for an event that happens once
};

/// The start and rule of `event`, or, for an event that can never occur (a by-date weekly
/// event, an unknown code, a missing or impossible value, a date that does not exist),
/// one short sentence that says why. A repeating event starts on its first day on or after
/// 1 January of its year when that is 1900..9999, else of 1970.
[[nodiscard]] std::variant<ICalendarDates, QString> ICalendarDatesOf(const EventRecord& event);

/// The stored kind of an event that starts on `start` and repeats by `rule` (none: once),
/// with every number of the record set from `start` where the kind does not use it and
/// title and description empty; or why the rule has no kind of its own (COUNT, UNTIL,
/// INTERVAL, several days, a weekday counted from the month's end, an unsupported
/// frequency, a start that is not one of the rule's days, ...).
[[nodiscard]] std::variant<EventRecord, QString> EventRecordFor(QDate start, const icalrecurrencetype* rule);
