#include "event_details.h"

#include <QDateTime>
#include <QSet>
#include <QTimeZone>

#include "calendar_parts.h"
#include "core/console.h"
#include "libical_handles.h"
#include "shared_zones.h"

#include <libical/ical.h>

#include <algorithm>

namespace {

// A repeat is followed this many occurrences at the most: a daily event for 270 years. It bounds
// the work for a COUNT of a billion, which libical can only count from the first occurrence.
constexpr int kMaxSteps = 100'000;

QDate dateOf(const icaltimetype& t)
{
    return QDate(t.year, t.month, t.day);
}

// The user's zone as libical knows it: converting with it costs no look at the system's zone
// files for each occurrence, as the C library's local time does. None: libical lacks it.
icaltimezone* userZone()
{
    static icaltimezone* const zone = [] {
        const QByteArray id = QTimeZone::systemTimeZoneId();
        return id.isEmpty() ? nullptr : icaltimezone_get_builtin_timezone(id.constData());
    }();
    return zone;
}

// The instant of a DATE-TIME: a zoned or UTC time as it says, a floating one at that
// wall-clock time here.
qint64 secondsOf(const icaltimetype& t)
{
    if (t.zone || icaltime_is_utc(t))
        return qint64(icaltime_as_timet_with_zone(t, t.zone ? t.zone : icaltimezone_get_utc_timezone()));
    if (icaltimezone* here = userZone())
        return qint64(icaltime_as_timet_with_zone(t, here));
    return QDateTime(dateOf(t), QTime(t.hour, t.minute, t.second)).toSecsSinceEpoch();
}

bool namesZone(icalproperty* property)
{
    return property && icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
}

// One occurrence as written: its start and how long it lasts (days for a DATE start).
struct Occurrence
{
    icaltimetype start;
    qint64 length;   // seconds, or days for a DATE start
    QString title{}; // a changed occurrence's own, when it differs
};

Occurrence occurrenceOf(icalcomponent* vevent, const SharedZones& zones)
{
    const icaltimetype start = zones.of(icalcomponent_get_dtstart(vevent));
    const icaltimetype end = zones.of(icalcomponent_get_dtend(vevent));
    if (start.is_date) {
        const qint64 days = icaltime_is_null_time(end) ? 1 : dateOf(start).daysTo(dateOf(end));
        return {start, std::max<qint64>(days, 1)};
    }
    if (icaltime_is_null_time(end))
        return {start, 0};
    return {start, std::max<qint64>(secondsOf(end) - secondsOf(start), 0)};
}

// An occurrence as the file keeps it, whatever the reader's zone.
DetailedStart startOf(const Occurrence& o)
{
    const icaltimetype& t = o.start;
    DetailedStart s;
    s.length = o.length;
    s.title = o.title;
    s.writtenDay = dateOf(t).toJulianDay();
    if (t.is_date) {
        s.begins = s.writtenDay;
    } else if (t.zone || icaltime_is_utc(t)) {
        s.kind = DetailedStart::Kind::Instant;
        s.begins = secondsOf(t);
    } else {
        constexpr qint64 kEpochDay = 2440588; // 1970-01-01
        s.kind = DetailedStart::Kind::Floating;
        s.begins = (s.writtenDay - kEpochDay) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
    }
    return s;
}

// libical reaches a late start of a rule with an INTERVAL by stepping one interval at a time
// from the first occurrence, which costs it dear over years. Without a COUNT, the same rule from
// a start whole intervals later falls on the same days from there on: the iterator begins at
// such a start before `from` instead (it may be no occurrence itself; it lies before `from`).
icaltimetype laterStart(const icalrecurrencetype& rule, icaltimetype start, QDate from)
{
    if (rule.count != 0 || rule.interval <= 1)
        return start;
    const QDate first = dateOf(start);
    QDate moved;
    if (rule.freq == ICAL_DAILY_RECURRENCE || rule.freq == ICAL_WEEKLY_RECURRENCE) {
        const qint64 period = rule.interval * (rule.freq == ICAL_WEEKLY_RECURRENCE ? 7 : 1);
        moved = first.addDays((first.daysTo(from) - 7) / period * period);
    } else if (rule.freq == ICAL_MONTHLY_RECURRENCE && first.day() <= 28) {
        const int months = (from.year() - first.year()) * 12 + from.month() - first.month() - 1;
        moved = first.addMonths(months / rule.interval * rule.interval);
    } else if (rule.freq == ICAL_YEARLY_RECURRENCE && !(first.month() == 2 && first.day() == 29)) {
        moved = first.addYears((from.year() - first.year() - 1) / rule.interval * rule.interval);
    }
    if (!moved.isValid() || moved <= first)
        return start;
    start.year = moved.year();
    start.month = moved.month();
    start.day = moved.day();
    return start;
}

} // namespace

struct EventDetails::Parsed
{
    QByteArray text;
    SharedZones zones;     // the zones of every time below
    ComponentPtr calendar; // only where a zone could not be shared
    QByteArray rscale;     // the rule's RSCALE, which libical leaves in the calendar
    Occurrence master{};
    std::optional<icalrecurrencetype> rule;
    QList<icaltimetype> extraStarts;                                 // RDATE
    QSet<qint64> leftOutDays;                                        // EXDATE as DATE: Julian days
    QSet<qint64> leftOutTimes;                                       // EXDATE as DATE-TIME: seconds since the epoch
    QList<std::pair<icaltimetype, std::optional<Occurrence>>> moved; // RECURRENCE-ID, and where to (none: cancelled)
    qint64 longestDays = 1;                                          // the most days one occurrence lasts
    QList<qint64> alarmLeads;                                        // seconds before a timed start its alarms go off

    // Whether `start` (an occurrence of the master as written) is left out or moved.
    bool replaced(const icaltimetype& start) const
    {
        if (leftOutDays.contains(dateOf(start).toJulianDay()))
            return true;
        if (!start.is_date && leftOutTimes.contains(secondsOf(start)))
            return true;
        return std::any_of(moved.begin(), moved.end(), [&](const auto& m) { return sameStart(m.first, start); });
    }

    static bool sameStart(const icaltimetype& a, const icaltimetype& b)
    {
        if (a.is_date || b.is_date)
            return dateOf(a) == dateOf(b);
        return secondsOf(a) == secondsOf(b);
    }
};

EventDetails::EventDetails(std::unique_ptr<Parsed> parsed) : m_parsed(std::move(parsed))
{}
EventDetails::~EventDetails() = default;

std::variant<std::shared_ptr<const EventDetails>, QString> EventDetails::read(const QByteArray& text,
                                                                              icalcomponent* readAlready)
{
    if (text.size() > kMaxDetailsSize)
        return QStringLiteral("its details are damaged");
    icalerror_set_errors_are_fatal(0);
    auto parsed = std::make_unique<Parsed>();
    parsed->text = text;
    ComponentPtr own;
    if (!readAlready)
        own = ParseCalendar(text);
    icalcomponent* calendar = readAlready ? readAlready : own.get();
    if (!calendar || icalcomponent_isa(calendar) != ICAL_VCALENDAR_COMPONENT)
        return QStringLiteral("its details are damaged");
    // Times in shared zones need nothing of the calendar once read. Only where a zone could not be
    // shared do they keep the calendar's own, and with it the calendar (a copy of `readAlready`).
    parsed->zones = SharedZones(calendar, text);
    if (!parsed->zones.sharesAll()) {
        if (readAlready) {
            own.reset(icalcomponent_new_clone(readAlready));
            calendar = own.get();
            if (!calendar)
                return QStringLiteral("its details are damaged");
            parsed->zones = SharedZones(calendar, text);
        }
        parsed->calendar = std::move(own);
    }
    const SharedZones& zones = parsed->zones;

    const EventComponents parts = EventComponentsOf(calendar);
    icalcomponent* const master = parts.master;
    if (!master)
        return QString::fromLatin1(kChangesWithoutEvent);
    for (icalcomponent* e : QList<icalcomponent*>{master} + parts.changes) {
        icalproperty* start = icalcomponent_get_first_property(e, ICAL_DTSTART_PROPERTY);
        if (!start)
            return QStringLiteral("it or one of its changed occurrences has no start (DTSTART)");
        const icaltimetype begins = icalcomponent_get_dtstart(e);
        if (icaltime_is_null_time(begins) || !dateOf(begins).isValid() || begins.year > 9999)
            return QStringLiteral("its start (DTSTART) is not a day of the calendar");
        if (!begins.is_date && (begins.hour > 23 || begins.minute > 59 || begins.second > 60))
            return QStringLiteral("its start (DTSTART) has a time of day that does not exist, %1:%2:%3")
                .arg(begins.hour, 2, 10, QLatin1Char('0'))
                .arg(begins.minute, 2, 10, QLatin1Char('0'))
                .arg(begins.second, 2, 10, QLatin1Char('0'));
        if (namesZone(start) && !begins.zone)
            return QStringLiteral("its time zone \"%1\" is unknown")
                .arg(QString::fromUtf8(
                    icalparameter_get_tzid(icalproperty_get_first_parameter(start, ICAL_TZID_PARAMETER))));
        if (icalproperty* id = icalcomponent_get_first_property(e, ICAL_RECURRENCEID_PROPERTY)) {
            const bool cancelled = icalcomponent_get_status(e) == ICAL_STATUS_CANCELLED;
            std::optional<Occurrence> to;
            if (!cancelled) {
                to = occurrenceOf(e, zones);
                to->title = OneLine(QString::fromUtf8(icalcomponent_get_summary(e))).trimmed();
            }
            // One occurrence changed twice is changed once, by the first (RFC 5545 3.8.4.4).
            const icaltimetype which = zones.of(icalproperty_get_datetime_with_component(id, e));
            if (std::none_of(parsed->moved.cbegin(), parsed->moved.cend(),
                             [&](const auto& m) { return Parsed::sameStart(m.first, which); }))
                parsed->moved.append({which, to});
        }
    }
    parsed->master = occurrenceOf(master, zones);
    // A changed occurrence keeps a title of its own only where another calendar gave it one.
    const QString title = OneLine(QString::fromUtf8(icalcomponent_get_summary(master))).trimmed();
    for (auto& [id, to] : parsed->moved) {
        if (to && to->title == title)
            to->title.clear();
    }
    const icaltimetype start = parsed->master.start;
    for (icalcomponent* alarm = icalcomponent_get_first_component(master, ICAL_VALARM_COMPONENT); alarm;
         alarm = icalcomponent_get_next_component(master, ICAL_VALARM_COMPONENT)) {
        const std::optional<qint64> lead = AlarmLead(alarm);
        if (lead && !start.is_date && !parsed->alarmLeads.contains(*lead))
            parsed->alarmLeads.append(*lead);
    }

    if (icalcomponent_get_first_property(master, ICAL_EXRULE_PROPERTY))
        return QStringLiteral("it leaves out days by a rule (EXRULE)");
    if (icalproperty* rule = icalcomponent_get_first_property(master, ICAL_RRULE_PROPERTY)) {
        if (icalcomponent_get_next_property(master, ICAL_RRULE_PROPERTY))
            return QStringLiteral("it has several RRULEs");
        const icalrecurrencetype r = icalproperty_get_rrule(rule);
        if (r.freq == ICAL_NO_RECURRENCE)
            return QStringLiteral("its repeat rule (RRULE) cannot be read");
        if (r.freq == ICAL_SECONDLY_RECURRENCE || r.freq == ICAL_MINUTELY_RECURRENCE ||
            r.freq == ICAL_HOURLY_RECURRENCE)
            return QStringLiteral("it repeats more often than daily");
        parsed->rule = r;
        if (r.rscale) {
            parsed->rscale = r.rscale;
            parsed->rule->rscale = parsed->rscale.data();
        }
    }
    for (icalproperty* p = icalcomponent_get_first_property(master, ICAL_RDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(master, ICAL_RDATE_PROPERTY)) {
        const icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
        if (!icaltime_is_null_time(rdate.time))
            parsed->extraStarts.append(zones.of(icalproperty_get_datetime_with_component(p, master)));
        else if (!icaltime_is_null_time(rdate.period.start))
            parsed->extraStarts.append(rdate.period.start);
    }
    for (icalproperty* p = icalcomponent_get_first_property(master, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(master, ICAL_EXDATE_PROPERTY)) {
        // In the zone its TZID names, from the calendar's VTIMEZONE or libical's own.
        const icaltimetype day = zones.of(icalproperty_get_datetime_with_component(p, master));
        if (day.is_date)
            parsed->leftOutDays.insert(dateOf(day).toJulianDay());
        else
            parsed->leftOutTimes.insert(secondsOf(day));
    }
    const auto daysOf = [](const Occurrence& o) { return o.start.is_date ? o.length : o.length / (24 * 3600) + 2; };
    parsed->longestDays = daysOf(parsed->master);
    for (const auto& [id, to] : std::as_const(parsed->moved)) {
        if (to)
            parsed->longestDays = std::max(parsed->longestDays, daysOf(*to));
    }

    return std::shared_ptr<const EventDetails>(new EventDetails(std::move(parsed)));
}

std::variant<DetailsSpan, QString> EventDetails::span() const
{
    // From the first occurrence (or a moved one) to the last, none for ever.
    const QDate far(9999, 12, 31);
    const Parsed& p = *m_parsed;
    const icaltimetype start = p.master.start;
    QDate firstDay = far;
    QDate lastDay;
    const auto stretch = [&](const Occurrence& o) {
        const auto [from, to] = DaysTouched(startOf(o));
        if (from.isValid() && to.isValid()) {
            firstDay = std::min(firstDay, from);
            lastDay = std::max(lastDay.isValid() ? lastDay : to, to);
        }
    };
    bool endless = false;
    if (p.rule) {
        // Only a COUNT needs every occurrence counted; an UNTIL bounds the span at once.
        const bool counted = p.rule->count > 0;
        endless = !counted && icaltime_is_null_time(p.rule->until);
        const IteratorPtr it(icalrecur_iterator_new(*p.rule, start));
        if (!it)
            return QStringLiteral("libical refuses its repeat rule (RRULE)");
        int steps = 0;
        bool any = false;
        // Occurrences come in order and last alike: the first and the last one span them all.
        icaltimetype latest = icaltime_null_time();
        for (icaltimetype t = icalrecur_iterator_next(it.get()); !icaltime_is_null_time(t);
             t = icalrecur_iterator_next(it.get())) {
            if (++steps > kMaxSteps) {
                endless = true;
                break;
            }
            if (!p.replaced(t)) {
                if (!any)
                    stretch({t, p.master.length});
                any = true;
                latest = t;
            }
            if (any && !counted)
                break;
        }
        if (any && !endless)
            stretch({latest, p.master.length});
        if (any && !counted && !endless) {
            const QDate until = dateOf(p.rule->until).addDays(p.longestDays + 1);
            lastDay = std::max(lastDay, std::min(until, far));
        }
    } else if (!p.replaced(start)) {
        stretch(p.master);
    }
    for (const icaltimetype& extra : p.extraStarts)
        stretch({extra, p.master.length});
    for (const auto& [id, to] : p.moved) {
        if (to)
            stretch(*to);
    }
    if (firstDay == far && !lastDay.isValid())
        return QStringLiteral("it never occurs (its repeat ends before its start, or every day is left out)");
    DetailsSpan span{firstDay, std::nullopt};
    if (!endless && lastDay.isValid() && lastDay < far)
        span.last = lastDay;
    return span;
}

std::optional<qint64> AlarmLead(icalcomponent* alarm)
{
    icalproperty* trigger = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
    if (!trigger)
        return std::nullopt;
    const icaltriggertype t = icalproperty_get_trigger(trigger);
    icalparameter* related = icalproperty_get_first_parameter(trigger, ICAL_RELATED_PARAMETER);
    const qint64 lead = -qint64(icaldurationtype_as_int(t.duration));
    if (!icaltime_is_null_time(t.time) || lead < 0 || lead > 7 * 24 * 3600 ||
        (related && icalparameter_get_related(related) == ICAL_RELATED_END))
        return std::nullopt;
    return lead;
}

const QByteArray& EventDetails::text() const
{
    return m_parsed->text;
}

const QList<qint64>& EventDetails::alarmLeads() const
{
    return m_parsed->alarmLeads;
}

qint64 EventDetails::longestDays() const
{
    return m_parsed->longestDays;
}

QList<DetailedDay> EventDetails::daysWithin(QDate first, QDate last) const
{
    if (!first.isValid() || !last.isValid() || last < first)
        return {};
    // Occurrences that began up to their length (and a zone's offset) before `first` reach into it.
    return DetailedDays(startsWithin(first.addDays(-m_parsed->longestDays - 2), last.addDays(2)), first, last);
}

QList<DetailedStart> EventDetails::startsWithin(QDate from, QDate to) const
{
    QList<DetailedStart> out;
    const Parsed& p = *m_parsed;
    if (!from.isValid() || !to.isValid() || to < from)
        return out;
    const auto near = [&](const icaltimetype& t) { return dateOf(t) >= from && dateOf(t) <= to; };
    QList<icaltimetype> given; // the starts of the days asked for, so far
    if (p.rule) {
        const icaltimetype begin = laterStart(*p.rule, p.master.start, from);
        const IteratorPtr it(icalrecur_iterator_new(*p.rule, begin));
        if (!it)
            return out;
        if (p.rule->count == 0 && dateOf(begin) < from && icaltime_compare(begin, p.master.start) == 0) {
            icaltimetype jump = p.master.start;
            jump.year = from.year();
            jump.month = from.month();
            jump.day = from.day();
            icalrecur_iterator_set_start(it.get(), jump);
        }
        int steps = 0;
        for (icaltimetype t = icalrecur_iterator_next(it.get()); !icaltime_is_null_time(t) && ++steps <= kMaxSteps;
             t = icalrecur_iterator_next(it.get())) {
            if (dateOf(t) > to)
                break;
            if (near(t) && !p.replaced(t)) {
                out.append(startOf({t, p.master.length}));
                given.append(t);
            }
        }
    } else if (near(p.master.start) && !p.replaced(p.master.start)) {
        out.append(startOf(p.master));
        given.append(p.master.start);
    }
    // An added start that the event has already is no second occurrence (RFC 5545 3.8.5.2).
    for (const icaltimetype& extra : p.extraStarts) {
        if (!near(extra) || p.replaced(extra) || std::any_of(given.cbegin(), given.cend(), [&](const icaltimetype& g) {
                return Parsed::sameStart(g, extra);
            }))
            continue;
        out.append(startOf({extra, p.master.length}));
        given.append(extra);
    }
    for (const auto& [id, to] : p.moved) {
        if (to && near(to->start))
            out.append(startOf(*to));
    }
    return out;
}
