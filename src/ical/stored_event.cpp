#include "stored_event.h"

#include "calendar_parts.h"
#include "core/console.h"
#include "event.h"
#include "event_mapping.h"
#include "rules.h"
#include "shared_zones.h"

#include <QDateTime>
#include <QSet>

namespace {

bool has(icalcomponent* component, icalproperty_kind kind)
{
    return icalcomponent_get_first_property(component, kind) != nullptr;
}

// The day the event starts on here: a DATE as written, a time in the user's zone.
QDate localStartDay(const icaltimetype& start)
{
    if (start.is_date || (!start.zone && !icaltime_is_utc(start)))
        return QDate(start.year, start.month, start.day);
    const icaltimezone* zone = start.zone ? start.zone : icaltimezone_get_utc_timezone();
    return QDateTime::fromSecsSinceEpoch(qint64(icaltime_as_timet_with_zone(start, zone))).date();
}

// The calendar's own kind nearest to the event: its rule's when it has one, else one that
// repeats as often (a daily event weekly), starting on its first day. Only an older copy of
// the program, and the editor, see it: the details say when the event falls.
EventRecord nearestKind(QDate day, icalcomponent* master)
{
    icalproperty* ruleProperty = icalcomponent_get_first_property(master, ICAL_RRULE_PROPERTY);
    std::optional<icalrecurrencetype> rule;
    if (ruleProperty)
        rule = icalproperty_get_rrule(ruleProperty);
    if (auto kind = EventRecordFor(day, rule ? &*rule : nullptr); std::holds_alternative<EventRecord>(kind))
        return std::get<EventRecord>(kind);
    if (rule) {
        const char* plain = rule->freq == ICAL_YEARLY_RECURRENCE    ? "FREQ=YEARLY"
                            : rule->freq == ICAL_MONTHLY_RECURRENCE ? "FREQ=MONTHLY"
                                                                    : "FREQ=WEEKLY";
        const icalrecurrencetype simple = icalrecurrencetype_from_string(plain);
        if (auto kind = EventRecordFor(day, &simple); std::holds_alternative<EventRecord>(kind))
            return std::get<EventRecord>(kind);
    }
    return std::get<EventRecord>(EventRecordFor(day, nullptr));
}

} // namespace

bool RowSaysItAll(icalcomponent* master, const EventRecord& fields)
{
    const icaltimetype start = icalcomponent_get_dtstart(master);
    if (!start.is_date)
        return false;
    if (!has(master, ICAL_RRULE_PROPERTY))
        return true;
    const std::variant<ICalendarDates, QString> dates = ICalendarDatesOf(fields);
    return std::holds_alternative<ICalendarDates>(dates) &&
           std::get<ICalendarDates>(dates).start == QDate(start.year, start.month, start.day);
}

namespace {

void collectZones(icalcomponent* component, QSet<QByteArray>& names)
{
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(component, ICAL_ANY_PROPERTY)) {
        if (icalparameter* tzid = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER))
            names.insert(QByteArray(icalparameter_get_tzid(tzid)));
    }
}

} // namespace

std::variant<StoredEvent, QString> StoredEventOf(icalcomponent* calendar)
{
    const EventComponents parts = EventComponentsOf(calendar);
    icalcomponent* const master = parts.master;
    const bool changedOccurrences = !parts.changes.isEmpty();
    if (!master)
        return QString::fromLatin1(kChangesWithoutEvent);

    ReadVEvent plain = ReadEventComponent(master);
    if (const EventRecord* fields = std::get_if<EventRecord>(&plain.outcome);
        fields && !changedOccurrences && RowSaysItAll(master, *fields))
        return StoredEvent{{*fields, {}, {}}, plain.alarmsLeftOut};

    // What the row cannot say goes into the details; what no event may be stays refused.
    if (std::optional<QString> error = ParseError(master))
        return *error;
    if (icalcomponent_get_status(master) == ICAL_STATUS_CANCELLED)
        return QStringLiteral("it is cancelled");
    const char* summary = icalcomponent_get_summary(master);
    const QString title = OneLine(summary ? QString::fromUtf8(summary) : QString());
    if (title.trimmed().isEmpty())
        return QStringLiteral("it has no title (SUMMARY)");
    if (title.size() > kMaxTitleLength)
        return QStringLiteral("its title is longer than %1 characters").arg(kMaxTitleLength);
    QByteArray details;
    // libical's notes on what it could not read (an empty place, an unknown property) are no
    // part of the event: kept, they would go out with every export and sync.
    icalcomponent_strip_errors(calendar);
    try {
        details = ICalTextOf(calendar);
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    // The details first: only an event that can be shown has a nearest kind.
    std::variant<Event, QString> event = EventOf({}, details, calendar);
    if (const QString* why = std::get_if<QString>(&event))
        return *why;
    EventRecord& fields = std::get<Event>(event).row;
    fields = nearestKind(localStartDay(SharedZones(calendar, details).of(icalcomponent_get_dtstart(master))), master);
    fields.title = title;
    fields.description = DescriptionText(icalcomponent_get_description(master));
    QStringList alarmsLeftOut;
    if (icalcomponent_get_dtstart(master).is_date) {
        alarmsLeftOut = ReadWarning(master, fields);
    } else {
        // A timed event's alarms before its start go off at their time (quillmoor-remind);
        // the day's warning would say the same a second time.
        fields.warnevent = 0;
        for (icalcomponent* alarm = icalcomponent_get_first_component(master, ICAL_VALARM_COMPONENT); alarm;
             alarm = icalcomponent_get_next_component(master, ICAL_VALARM_COMPONENT)) {
            if (!AlarmLead(alarm))
                alarmsLeftOut.append(QStringLiteral("alarm left out: it does not go off before the start"));
        }
    }
    return StoredEvent{std::get<Event>(std::move(event)), alarmsLeftOut};
}

ComponentPtr OneEventCalendar(std::vector<ComponentPtr> vevents, const QHash<QByteArray, icalcomponent*>& timezones,
                              const char* productId)
{
    ComponentPtr calendar(icalcomponent_new_vcalendar());
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid(productId));
    QSet<QByteArray> named;
    for (const ComponentPtr& e : vevents)
        collectZones(e.get(), named);
    for (const QByteArray& name : std::as_const(named)) {
        if (icalcomponent* zone = timezones.value(name))
            icalcomponent_add_component(calendar.get(), icalcomponent_new_clone(zone));
    }
    for (ComponentPtr& e : vevents)
        icalcomponent_add_component(calendar.get(), e.release());
    return calendar;
}

std::variant<std::vector<ComponentPtr>, QString> ComponentsOf(const EventRecord& fields, const QByteArray& details,
                                                              const QByteArray& uid, const icaltimetype& now,
                                                              std::map<QByteArray, ComponentPtr>& timezones,
                                                              QString& warningLeftOut)
{
    std::vector<ComponentPtr> out;
    warningLeftOut.clear();
    if (details.isEmpty()) {
        std::variant<ComponentPtr, QString> vevent = EventComponent(fields, uid, now, warningLeftOut);
        if (const QString* why = std::get_if<QString>(&vevent))
            return *why;
        out.push_back(std::move(std::get<ComponentPtr>(vevent)));
        return out;
    }
    const ComponentPtr calendar = ParseCalendar(details);
    if (!calendar)
        return QStringLiteral("its details are damaged");
    for (icalcomponent* zone = icalcomponent_get_first_component(calendar.get(), ICAL_VTIMEZONE_COMPONENT); zone;
         zone = icalcomponent_get_next_component(calendar.get(), ICAL_VTIMEZONE_COMPONENT)) {
        icalproperty* tzid = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY);
        const QByteArray name = tzid ? QByteArray(icalproperty_get_tzid(tzid)) : QByteArray();
        if (!name.isEmpty() && !timezones.count(name))
            timezones.emplace(name, ComponentPtr(icalcomponent_new_clone(zone)));
    }
    // The row's title and description are the user's last word; the rest is as it came.
    const QByteArray title = ICalTextValue(fields.title);
    const QByteArray description = ICalTextValue(fields.description);
    const EventComponents parts = EventComponentsOf(calendar.get());
    for (icalcomponent* e : QList<icalcomponent*>{parts.master} + parts.changes) {
        if (!e)
            continue;
        ComponentPtr copy(icalcomponent_new_clone(e));
        if (e == parts.master) {
            icalcomponent_set_summary(copy.get(), title.constData());
            if (description.isEmpty()) {
                if (icalproperty* p = icalcomponent_get_first_property(copy.get(), ICAL_DESCRIPTION_PROPERTY)) {
                    icalcomponent_remove_property(copy.get(), p);
                    icalproperty_free(p);
                }
            } else {
                icalcomponent_set_description(copy.get(), description.constData());
            }
        }
        out.push_back(std::move(copy));
    }
    return out;
}
