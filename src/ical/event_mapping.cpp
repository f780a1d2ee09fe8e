#include "event_mapping.h"

#include "core/console.h"
#include "rules.h"

#include <algorithm>
#include <stdexcept>

namespace {

ComponentPtr warningAhead(int days, const QByteArray& title)
{
    icaltriggertype trigger{};
    trigger.time = icaltime_null_time();
    trigger.duration = icaldurationtype_null_duration();
    trigger.duration.is_neg = 1;
    trigger.duration.days = unsigned(days);
    ComponentPtr alarm(icalcomponent_new_valarm());
    icalcomponent_add_property(alarm.get(), icalproperty_new_action(ICAL_ACTION_DISPLAY));
    icalcomponent_add_property(alarm.get(), icalproperty_new_trigger(trigger));
    // A display alarm must carry the text it shows.
    icalcomponent_add_property(alarm.get(), icalproperty_new_description(title.constData()));
    return alarm;
}

constexpr int kMaxDaysAhead = 9; // the editor takes one digit

// Whether libical's note `text` about a component concerns the days it gives: a property that
// decides them that libical could not read, or a line that is no property at all. An empty
// place or description, an unknown property or one of another value type costs nothing: other
// calendars write them, and the days are known without them.
bool concernsTheDays(QStringView text)
{
    static const QStringList kDayProperties = {
        QStringLiteral("DTSTART"),       QStringLiteral("DTEND"),  QStringLiteral("DURATION"),
        QStringLiteral("RRULE"),         QStringLiteral("RDATE"),  QStringLiteral("EXDATE"),
        QStringLiteral("RECURRENCE-ID"), QStringLiteral("EXRULE"), QStringLiteral("TRIGGER")};
    if (text.contains(u"could not find a property name"))
        return true;
    QString word;
    for (QChar c : text) {
        if (c.isLetterOrNumber() || c == u'-') {
            word += c;
            continue;
        }
        if (kDayProperties.contains(word))
            return true;
        word.clear();
    }
    return kDayProperties.contains(word);
}

// What libical found wrong in a component itself (not in its subcomponents) that concerns its
// days, or nothing.
std::optional<QString> parseErrorOf(icalcomponent* component)
{
    for (icalproperty* error = icalcomponent_get_first_property(component, ICAL_XLICERROR_PROPERTY); error;
         error = icalcomponent_get_next_property(component, ICAL_XLICERROR_PROPERTY)) {
        const char* text = icalproperty_get_xlicerror(error);
        const QString line = OneLine(QString::fromUtf8(text ? text : "unreadable content")).trimmed();
        if (!text || concernsTheDays(line))
            return line;
    }
    return std::nullopt;
}

QString utf8(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// Line breaks and tabs stay in a description; other control characters become blanks.
QString descriptionText(QString text)
{
    for (QChar& c : text) {
        if ((c.unicode() < 0x20 && c != u'\n' && c != u'\t') || c.unicode() == 0x7f)
            c = u' ';
    }
    return text;
}

bool has(icalcomponent* component, icalproperty_kind kind)
{
    return icalcomponent_get_first_property(component, kind) != nullptr;
}

QString tzidOf(icalproperty* property)
{
    icalparameter* tzid = property ? icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER) : nullptr;
    const char* text = tzid ? icalparameter_get_tzid(tzid) : nullptr;
    return text ? QString::fromUtf8(text) : QString();
}

QDate dateOf(const icaltimetype& time)
{
    return QDate(time.year, time.month, time.day);
}

// The number of days an event lasts, as its times are written: an all-day event the days
// from its start to its end, a timed one each 24 hours begun, so that an evening that runs
// past midnight is still one day. An end in another time zone than the start cannot be
// compared that way and counts as one day.
int daysCovered(icalcomponent* event, icalproperty* startProperty, const icaltimetype& start)
{
    const icaltimetype end = icalcomponent_get_dtend(event);
    icalproperty* endProperty = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY);
    if (icaltime_is_null_time(end) || (endProperty && tzidOf(endProperty) != tzidOf(startProperty)) ||
        icaltime_is_utc(end) != icaltime_is_utc(start) || !dateOf(end).isValid())
        return 1;
    constexpr qint64 kDay = 24 * 60 * 60;
    const auto secondsOf = [](const icaltimetype& t) {
        return t.is_date ? 0 : qint64(t.hour) * 3600 + qint64(t.minute) * 60 + t.second;
    };
    const qint64 seconds = dateOf(start).daysTo(dateOf(end)) * kDay + secondsOf(end) - secondsOf(start);
    return int(std::clamp<qint64>((seconds + kDay - 1) / kDay, 1, 1'000'000));
}

// How many days ahead an alarm warns, or why the calendar cannot keep it.
std::variant<int, QString> daysAhead(icalcomponent* alarm)
{
    if (std::optional<QString> error = parseErrorOf(alarm))
        return *error;
    icalproperty* property = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
    if (!property)
        return QStringLiteral("it has no TRIGGER");
    const icaltriggertype trigger = icalproperty_get_trigger(property);
    if (!icaltime_is_null_time(trigger.time))
        return QStringLiteral("it goes off at a fixed time");
    icalparameter* related = icalproperty_get_first_parameter(property, ICAL_RELATED_PARAMETER);
    if (related && icalparameter_get_related(related) == ICAL_RELATED_END)
        return QStringLiteral("it goes off relative to the end");
    const icaldurationtype& d = trigger.duration;
    if (d.hours != 0 || d.minutes != 0 || d.seconds != 0)
        return QStringLiteral("it goes off at a time of day, not whole days before");
    const qint64 days = qint64(d.weeks) * 7 + d.days;
    if (!d.is_neg && days > 0)
        return QStringLiteral("it goes off after the start");
    if (days > kMaxDaysAhead)
        return QStringLiteral("it goes off %1 days before; the calendar warns at most %2 days before")
            .arg(days)
            .arg(kMaxDaysAhead);
    return int(days);
}

EventRecord withTexts(EventRecord r, const QString& title, const QString& description)
{
    r.title = title;
    r.description = description;
    return r;
}

std::variant<EventRecord, QString> storable(icalcomponent* e, const QString& summary)
{
    if (has(e, ICAL_RECURRENCEID_PROPERTY))
        return QStringLiteral("it changes one occurrence of a repeating event (RECURRENCE-ID)");
    if (std::optional<QString> error = parseErrorOf(e))
        return *error;
    if (icalcomponent_get_status(e) == ICAL_STATUS_CANCELLED)
        return QStringLiteral("it is cancelled");
    icalproperty* startProperty = icalcomponent_get_first_property(e, ICAL_DTSTART_PROPERTY);
    if (!startProperty)
        return QStringLiteral("it has no start (DTSTART)");
    const icaltimetype start = icalproperty_get_dtstart(startProperty);
    if (!start.is_date && (start.hour > 23 || start.minute > 59 || start.second > 60))
        return QStringLiteral("its start (DTSTART) has a time of day that does not exist, %1:%2:%3")
            .arg(start.hour, 2, 10, QLatin1Char('0'))
            .arg(start.minute, 2, 10, QLatin1Char('0'))
            .arg(start.second, 2, 10, QLatin1Char('0'));
    if (has(e, ICAL_EXDATE_PROPERTY) || has(e, ICAL_RDATE_PROPERTY) || has(e, ICAL_EXRULE_PROPERTY))
        return QStringLiteral("it adds or leaves out single days (EXDATE, RDATE or EXRULE)");
    icalproperty* ruleProperty = icalcomponent_get_first_property(e, ICAL_RRULE_PROPERTY);
    if (ruleProperty && icalcomponent_get_next_property(e, ICAL_RRULE_PROPERTY))
        return QStringLiteral("it has several RRULEs");
    const int days = daysCovered(e, startProperty, start);
    if (days > 1)
        return QStringLiteral("it lasts %1 days; the calendar keeps one day per event").arg(days);

    std::optional<icalrecurrencetype> rule;
    if (ruleProperty)
        rule = icalproperty_get_rrule(ruleProperty);
    const std::variant<EventRecord, QString> kind = EventRecordFor(dateOf(start), rule ? &*rule : nullptr);
    if (const QString* why = std::get_if<QString>(&kind))
        return *why;

    const QString title = OneLine(summary);
    if (title.trimmed().isEmpty())
        return QStringLiteral("it has no title (SUMMARY)");
    if (title.size() > kMaxTitleLength)
        return QStringLiteral("its title is longer than %1 characters").arg(kMaxTitleLength);
    return withTexts(std::get<EventRecord>(kind), title, descriptionText(utf8(icalcomponent_get_description(e))));
}

} // namespace

QStringList ReadWarning(icalcomponent* e, EventRecord& fields)
{
    QStringList leftOut;
    bool kept = false;
    for (icalcomponent* alarm = icalcomponent_get_first_component(e, ICAL_VALARM_COMPONENT); alarm;
         alarm = icalcomponent_get_next_component(e, ICAL_VALARM_COMPONENT)) {
        const std::variant<int, QString> ahead = daysAhead(alarm);
        if (const QString* why = std::get_if<QString>(&ahead)) {
            leftOut.append(QStringLiteral("alarm left out: %1").arg(*why));
        } else if (!kept) {
            kept = true;
            fields.warnevent = 1;
            fields.daysbefore = std::get<int>(ahead);
        } else if (std::get<int>(ahead) != fields.daysbefore) {
            leftOut.append(QStringLiteral("alarm left out: the calendar keeps one warning per event"));
        }
    }
    return leftOut;
}

QString DescriptionText(const char* text)
{
    return descriptionText(utf8(text));
}

std::optional<int> WarningDaysOf(icalcomponent* alarm)
{
    const std::variant<int, QString> ahead = daysAhead(alarm);
    return std::holds_alternative<int>(ahead) ? std::optional(std::get<int>(ahead)) : std::nullopt;
}

std::optional<QString> ParseError(icalcomponent* component)
{
    return parseErrorOf(component);
}

QByteArray ICalTextValue(QString text)
{
    // libical writes line breaks as \n; RFC 5545 allows no other control character but TAB.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (QChar& c : text) {
        if (c == u'\r')
            c = u'\n';
        else if ((c.unicode() < 0x20 && c != u'\n' && c != u'\t') || c.unicode() == 0x7f)
            c = u' ';
    }
    return text.toUtf8();
}

icaltimetype ICalDateValue(QDate date)
{
    // Not icaltime_null_date(): its hours of -1 send libical's own recurrence iterator astray.
    icaltimetype value = icaltime_null_time();
    value.is_date = 1;
    value.year = date.year();
    value.month = date.month();
    value.day = date.day();
    return value;
}

QByteArray ICalTextOf(icalcomponent* component)
{
    const ICalText text(icalcomponent_as_ical_string_r(component));
    if (!text)
        throw std::runtime_error("libical could not write the calendar.");
    return QByteArray(text.get());
}

std::variant<ComponentPtr, QString> EventComponent(const EventRecord& event, const QByteArray& uid,
                                                   const icaltimetype& now, QString& warningLeftOut)
{
    warningLeftOut.clear();
    const std::variant<ICalendarDates, QString> dates = ICalendarDatesOf(event);
    if (const QString* why = std::get_if<QString>(&dates))
        return *why;
    const auto& [start, rule] = std::get<ICalendarDates>(dates);
    const QByteArray title = ICalTextValue(event.title);
    const QByteArray description = ICalTextValue(event.description);

    ComponentPtr vevent(icalcomponent_new_vevent());
    icalcomponent* e = vevent.get();
    icalcomponent_add_property(e, icalproperty_new_uid(uid.constData()));
    icalcomponent_add_property(e, icalproperty_new_dtstamp(now));
    icalcomponent_add_property(e, icalproperty_new_dtstart(ICalDateValue(start)));
    icalcomponent_add_property(e, icalproperty_new_dtend(ICalDateValue(start.addDays(1))));
    if (rule)
        icalcomponent_add_property(e, icalproperty_new_rrule(*rule));
    icalcomponent_add_property(e, icalproperty_new_summary(title.constData()));
    if (!description.isEmpty())
        icalcomponent_add_property(e, icalproperty_new_description(description.constData()));
    if (event.warnevent == 1) {
        if (!event.daysbefore || *event.daysbefore < 0)
            warningLeftOut = event.daysbefore ? QStringLiteral("its %1 days before are negative").arg(*event.daysbefore)
                                              : QStringLiteral("it has no number of days before");
        else
            icalcomponent_add_component(e, warningAhead(*event.daysbefore, title).release());
    }
    return vevent;
}

ReadVEvent ReadEventComponent(icalcomponent* e)
{
    ReadVEvent event;
    event.outcome = storable(e, utf8(icalcomponent_get_summary(e)));
    if (EventRecord* fields = std::get_if<EventRecord>(&event.outcome))
        event.alarmsLeftOut = ReadWarning(e, *fields);
    return event;
}
