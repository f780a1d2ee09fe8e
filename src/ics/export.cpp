#include "export.h"

#include "ical/event_mapping.h"

#include <stdexcept>

namespace {

constexpr char kProductId[] = "-//Quendrix//Quillmoor 1.0//EN";

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
    const QByteArray envelope = ICalTextOf(calendar.get());
    const qsizetype end = envelope.lastIndexOf("END:VCALENDAR");
    QByteArray text = envelope.left(end);
    const icaltimetype now =
        icaltime_from_timet_with_zone(stamp.now.toSecsSinceEpoch(), 0, icaltimezone_get_utc_timezone());

    events.forEachEvent([&](const EventRecord& event) {
        QString warningLeftOut;
        std::variant<ComponentPtr, QString> vevent =
            EventComponent(event, uid(event.id, stamp.uidDomain), now, warningLeftOut);
        if (const QString* why = std::get_if<QString>(&vevent)) {
            report(event, Omission::Event, *why);
            return;
        }
        if (!warningLeftOut.isEmpty())
            report(event, Omission::Warning, warningLeftOut);
        text += ICalTextOf(std::get<ComponentPtr>(vevent).get());
    });
    text += envelope.mid(end);
    return text;
}
