#include "export.h"

#include "libical_handles.h"
#include "rules.h"

#include <stdexcept>

namespace {

constexpr char kProductId[] = "-//Quendrix//Quillmoor 1.0//EN";

// iCalendar text: line breaks as LF (libical writes them as \n), and no other control
// character but TAB, which RFC 5545 does not allow in a TEXT value.
QByteArray textValue(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (QChar& c : text) {
        if (c == u'\r')
            c = u'\n';
        else if ((c.unicode() < 0x20 && c != u'\n' && c != u'\t') || c.unicode() == 0x7f)
            c = u' ';
    }
    return text.toUtf8();
}

icaltimetype dateValue(QDate date)
{
    // Not icaltime_null_date(): its hours of -1 send libical's own recurrence iterator astray.
    icaltimetype value = icaltime_null_time();
    value.is_date = 1;
    value.year = date.year();
    value.month = date.month();
    value.day = date.day();
    return value;
}

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

QByteArray textOf(icalcomponent* component)
{
    const ICalText text(icalcomponent_as_ical_string_r(component));
    if (!text)
        throw std::runtime_error("libical could not write the calendar.");
    return QByteArray(text.get());
}

QByteArray uid(qint64 id, const QString& domain)
{
    return QStringLiteral("quillmoor-event-%1@%2").arg(QString::number(id), domain).toUtf8();
}

} // namespace

QByteArray ExportCalendar(const EventSource& events, const ExportStamp& stamp, const OmissionReport& report)
{
    // Each event is written and freed on its own and its text put inside the calendar's,
    // so that memory holds one event at a time, not a tree of all (twenty times the text).
    const ComponentPtr calendar(icalcomponent_new_vcalendar());
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid(kProductId));
    const QByteArray envelope = textOf(calendar.get());
    const qsizetype end = envelope.lastIndexOf("END:VCALENDAR");
    QByteArray text = envelope.left(end);
    const icaltimetype now =
        icaltime_from_timet_with_zone(stamp.now.toSecsSinceEpoch(), 0, icaltimezone_get_utc_timezone());

    events.forEachEvent([&](const EventRecord& event) {
        const std::variant<ICalendarDates, QString> dates = ICalendarDatesOf(event);
        if (const QString* why = std::get_if<QString>(&dates)) {
            report(event, Omission::Event, *why);
            return;
        }
        const auto& [start, rule] = std::get<ICalendarDates>(dates);
        const QByteArray title = textValue(event.title);
        const QByteArray description = textValue(event.description);

        ComponentPtr vevent(icalcomponent_new_vevent());
        icalcomponent* e = vevent.get();
        icalcomponent_add_property(e, icalproperty_new_uid(uid(event.id, stamp.uidDomain).constData()));
        icalcomponent_add_property(e, icalproperty_new_dtstamp(now));
        icalcomponent_add_property(e, icalproperty_new_dtstart(dateValue(start)));
        icalcomponent_add_property(e, icalproperty_new_dtend(dateValue(start.addDays(1))));
        if (rule)
            icalcomponent_add_property(e, icalproperty_new_rrule(*rule));
        icalcomponent_add_property(e, icalproperty_new_summary(title.constData()));
        if (!description.isEmpty())
            icalcomponent_add_property(e, icalproperty_new_description(description.constData()));
        if (event.warnevent == 1) {
            if (!event.daysbefore || *event.daysbefore < 0)
                report(event, Omission::Warning,
                       event.daysbefore ? QStringLiteral("its %1 days before are negative").arg(*event.daysbefore)
                                        : QStringLiteral("it has no number of days before"));
            else
                icalcomponent_add_component(e, warningAhead(*event.daysbefore, title).release());
        }
        text += textOf(e);
    });
    text += envelope.mid(end);
    return text;
}
