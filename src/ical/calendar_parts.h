#pragma once

#include "libical_handles.h"

#include <QByteArray>
#include <QList>

#include <libical/ical.h>

// The steps every reader of one event's iCalendar text takes alike: the import, the export,
// the sync and the drawing.

/// The VCALENDAR libical reads of `text`; none for a text with a NUL byte (libical would stop
/// there, unseen) or one that is no VCALENDAR. Text from elsewhere passes CheckUntrustedText first.
[[nodiscard]] ComponentPtr ParseCalendar(const QByteArray& text);

/// The VEVENTs of one event in a VCALENDAR: the event itself, the first without a
/// RECURRENCE-ID (none: only changed occurrences are there), and its changed occurrences in
/// the order they come.
struct EventComponents
{
    icalcomponent* master = nullptr;
    QList<icalcomponent*> changes;
};
[[nodiscard]] EventComponents EventComponentsOf(icalcomponent* calendar);

/// Why an event without its own VEVENT is not shown.
inline constexpr char kChangesWithoutEvent[] = "it changes occurrences (RECURRENCE-ID) of an event that is not there";
