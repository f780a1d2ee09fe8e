#pragma once

#include "calendar/event_record.h"
#include "event.h"
#include "libical_handles.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <libical/ical.h>

#include <map>
#include <memory>
#include <variant>
#include <vector>

// An event from another calendar as the calendar keeps it: the twelve columns as near as they
// can say it, and, where they cannot say it exactly (a time of day, several days, a repeat
// that starts, ends, skips or moves), the event's own iCalendar text beside them, from which
// it is shown and written back as it came.

struct StoredEvent
{
    Event event;               ///< its row is what an older copy of the program shows the event by
    QStringList alarmsLeftOut; ///< alarms the calendar cannot keep, one sentence each
};

/// What the event in `calendar` (a VCALENDAR holding one event's VEVENT, the VEVENTs of its
/// changed occurrences and the VTIMEZONEs they name) becomes here, or why it cannot be shown.
/// An all-day event of one day whose rule, if any, the calendar has a kind for and which starts
/// on the first day of that kind in its year needs no details.
[[nodiscard]] std::variant<StoredEvent, QString> StoredEventOf(icalcomponent* calendar);

/// Whether the row `fields` (as ReadEventComponent read `vevent`) shows `vevent` exactly: all
/// day, one day, and a repeat that starts on its kind's first day of that year.
[[nodiscard]] bool RowSaysItAll(icalcomponent* vevent, const EventRecord& fields);

/// A VCALENDAR of `vevents` (taken) and those of `timezones` (by TZID, copied) that they name.
[[nodiscard]] ComponentPtr OneEventCalendar(std::vector<ComponentPtr> vevents,
                                            const QHash<QByteArray, icalcomponent*>& timezones,
                                            const char* productId = "-//Quendrix//Quillmoor 1.0//EN");

/// The VEVENTs for event `fields` with `details`, as another calendar gets them back: its own
/// components with the title and description of the row; empty details: the row's own VEVENT
/// (EventComponent) with `uid`. The VTIMEZONEs they name go to `timezones` (by TZID).
[[nodiscard]] std::variant<std::vector<ComponentPtr>, QString>
ComponentsOf(const EventRecord& fields, const QByteArray& details, const QByteArray& uid, const icaltimetype& now,
             std::map<QByteArray, ComponentPtr>& timezones, QString& warningLeftOut);
