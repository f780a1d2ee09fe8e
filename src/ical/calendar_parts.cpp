#include "calendar_parts.h"

ComponentPtr ParseCalendar(const QByteArray& text)
{
    if (text.isEmpty() || text.contains('\0'))
        return {};
    icalerror_set_errors_are_fatal(0);
    ComponentPtr calendar(icalparser_parse_string(text.constData()));
    if (!calendar || icalcomponent_isa(calendar.get()) != ICAL_VCALENDAR_COMPONENT)
        return {};
    return calendar;
}

EventComponents EventComponentsOf(icalcomponent* calendar)
{
    EventComponents parts;
    for (icalcomponent* e = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); e;
         e = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
        if (icalcomponent_get_first_property(e, ICAL_RECURRENCEID_PROPERTY))
            parts.changes.append(e);
        else if (!parts.master)
            parts.master = e;
    }
    return parts;
}
