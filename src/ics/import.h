#pragma once

#include "ical/event.h"
#include "ical/event_mapping.h"
#include "store/event_store.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <stdexcept>

/// A file that cannot be read as iCalendar at all; nothing of it may be stored. The
/// message says what is wrong with the file, to follow its name ("cut short: ...").
class ICalendarError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Something of an iCalendar file that an import leaves out.
struct ImportNote
{
    QString summary;   ///< the event's SUMMARY as it was in the file
    QString reason;    ///< one short sentence
    bool event = true; ///< the whole event; false: only its warning (the event is stored)
};

/// What an iCalendar file holds for the calendar.
struct ImportedCalendar
{
    QList<Event> events;     ///< each event the calendar can show, in file order
    QList<ImportNote> notes; ///< what was left out, in file order
};

/// Reads every VEVENT of every VCALENDAR in `text` (RFC 5545, UTF-8). An event is kept when
/// its start and rule map onto a kind of event (EventRecordFor), it lasts one day (all day,
/// or 24 hours at most), has a title no longer than kMaxTitleLength, no EXDATE, RDATE or
/// EXRULE, no changed occurrences (RECURRENCE-ID), is not cancelled, and libical found
/// nothing wrong in it; a DATE-TIME start counts by its date as written, in its own time
/// zone. A VALARM a whole number of days (0..9) before the start sets the warning; other
/// alarms are noted. Line breaks and control characters in a title become blanks, and
/// control characters other than line breaks and tabs in a description. Throws
/// ICalendarError with a one-line message for text that is not iCalendar, is cut short,
/// or is damaged outside its events.
[[nodiscard]] ImportedCalendar ReadCalendar(const QByteArray& text);
