#pragma once

#include "calendar/event_record.h"
#include "libical_handles.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

#include <libical/ical.h>

#include <variant>

// One event of the calendar as one VEVENT and back: the mapping that every tool exchanging
// events with other calendars shares, so that they all agree on what an event means.

/// A new all-day VEVENT for `event`: UID `uid`, DTSTAMP `now`, SUMMARY, DESCRIPTION (when not
/// empty), DTSTART and DTEND the next day, an RRULE for a repeating event and a display VALARM
/// <daysbefore> days ahead when the warning is ticked. For an event that can never occur, why
/// not. A warning with a missing or negative number of days is left out and said in
/// `warningLeftOut` (empty when the warning is written or there is none).
[[nodiscard]] std::variant<ComponentPtr, QString> EventComponent(const EventRecord& event, const QByteArray& uid,
                                                                 const icaltimetype& now, QString& warningLeftOut);

/// What a VEVENT means for the calendar.
struct ReadVEvent
{
    std::variant<EventRecord, QString> outcome; ///< the fields to store, or why it has no kind of event
    QStringList alarmsLeftOut;                  ///< alarms the calendar cannot keep, one sentence each
};

/// Reads one VEVENT: kept when its start and rule map onto a kind of event, it lasts one day
/// (all day, or 24 hours at most), has a title no longer than kMaxTitleLength, no EXDATE, RDATE
/// or EXRULE, is no changed occurrence (RECURRENCE-ID), is not cancelled and libical found
/// nothing wrong in it; a DATE-TIME start counts by its date as written. The first VALARM a whole
/// number of days (0..9) before the start sets the warning.
[[nodiscard]] ReadVEvent ReadEventComponent(icalcomponent* vevent);

/// Sets the warning of `fields` from the first VALARM of `vevent` the calendar can keep as its
/// warning; returns a sentence for each of the others.
QStringList ReadWarning(icalcomponent* vevent, EventRecord& fields);

/// A DESCRIPTION as the calendar stores it: line breaks and tabs kept, other control characters blanks.
[[nodiscard]] QString DescriptionText(const char* text);

/// The longest title an import takes (what a typed title may reach): a title is a line in a
/// day cell, and longer text from another calendar is more likely a mistake than a title.
inline constexpr qsizetype kMaxTitleLength = 32767;

/// How many days before the start `alarm` warns, when it is one the calendar can keep as its warning.
[[nodiscard]] std::optional<int> WarningDaysOf(icalcomponent* alarm);

/// What libical found wrong in `component` itself (not in its subcomponents) that concerns the
/// days it gives (a start, an end, a repeat, a trigger it could not read, or a line that is no
/// property), or nothing: an empty or unknown property costs nothing.
[[nodiscard]] std::optional<QString> ParseError(icalcomponent* component);

/// `text` as an iCalendar TEXT value: line breaks as LF, other control characters but TAB as blanks.
[[nodiscard]] QByteArray ICalTextValue(QString text);
/// `date` as an iCalendar DATE value.
[[nodiscard]] icaltimetype ICalDateValue(QDate date);
/// The text libical writes for `component`; throws std::runtime_error when it cannot.
[[nodiscard]] QByteArray ICalTextOf(icalcomponent* component);
