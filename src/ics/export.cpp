#include "export.h"

#include "ical/event_mapping.h"
#include "ical/stored_event.h"

#include <stdexcept>

namespace {

constexpr char kProductId[] = "-//Quendrix//Quillmoor 1.0//EN";

QByteArray uid(qint64 id, const QString& domain)
{
    return QStringLiteral("quillmoor-event-%1@%2").arg(QString::number(id), domain).toUtf8();
}

} // namespace

QByteArray ExportCalendar(const EventSource& events, const ExportStamp& stamp, const OmissionReport& report,
                          const QHash<qint64, QByteArray>& details)
{
    // Each event is written and freed on its own and its text put inside the calendar's,
    // so that memory holds one event at a time, not a tree of all (twenty times the text).
    const ComponentPtr calendar(icalcomponent_new_vcalendar());
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid(kProductId));
    const QByteArray envelope = ICalTextOf(calendar.get());
    const qsizetype end = envelope.lastIndexOf("END:VCALENDAR");
    QByteArray text;
    const icaltimetype now =
        icaltime_from_timet_with_zone(stamp.now.toSecsSinceEpoch(), 0, icaltimezone_get_utc_timezone());
    std::map<QByteArray, ComponentPtr> zones;

    events.forEachEvent([&](const EventRecord& event) {
        QString warningLeftOut;
        // An event from another calendar goes back under its own UID, as it came.
        std::variant<std::vector<ComponentPtr>, QString> vevents =
            ComponentsOf(event, details.value(event.id), uid(event.id, stamp.uidDomain), now, zones, warningLeftOut);
        if (const QString* why = std::get_if<QString>(&vevents)) {
            report(event, Omission::Event, *why);
            return;
        }
        if (!warningLeftOut.isEmpty())
            report(event, Omission::Warning, warningLeftOut);
        for (const ComponentPtr& vevent : std::get<std::vector<ComponentPtr>>(vevents))
            text += ICalTextOf(vevent.get());
    });
    QByteArray head = envelope.left(end);
    for (const auto& [name, zone] : zones)
        head += ICalTextOf(zone.get());
    return head + text + envelope.mid(end);
}
