#pragma once

#include "calendar/event_record.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <functional>

/// What an export writes besides the events.
struct ExportStamp
{
    QDateTime now;     ///< written as every event's DTSTAMP, in UTC
    QString uidDomain; ///< after the "@" of every UID; names the machine the events come from
};

/// What an export leaves out: a whole event, or only the warning of an event it writes.
enum class Omission
{
    Event,
    Warning,
};
using OmissionReport = std::function<void(const EventRecord& event, Omission what, const QString& reason)>;

/// One VCALENDAR (RFC 5545; UTF-8, CRLF line ends, folded) with one all-day VEVENT for each
/// event of `events` that can occur, in the source's order: UID "quillmoor-event-<id>@<domain>",
/// SUMMARY, DESCRIPTION (when not empty), DTSTART and DTEND the next day, an RRULE for a
/// repeating event, and a display VALARM <daysbefore> days ahead when the warning is ticked.
/// An event that can never occur is left out, and a warning with a missing or negative
/// number of days is left out, each reported to `report`. An event with `details` (by id)
/// goes out as it came from its calendar (its UID, rule, times, zones and changed occurrences),
/// with the row's title and description. Throws what the source throws.
[[nodiscard]] QByteArray ExportCalendar(const EventSource& events, const ExportStamp& stamp,
                                        const OmissionReport& report, const QHash<qint64, QByteArray>& details = {});
