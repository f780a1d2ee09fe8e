#pragma once

#include "calendar/event_record.h"
#include "event_details.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <variant>

/// One event, whatever made it: its row and, where the row cannot say it all, its details
/// (their iCalendar text, read once on the way in) with the days they touch. Import, sync,
/// the store's writes and the editor take and hand on this one value.
struct Event
{
    EventRecord row;
    std::shared_ptr<const EventDetails> details; ///< none: the row says it all
    DetailsSpan span;                            ///< the days the details touch; none without details

    [[nodiscard]] bool hasDetails() const { return details != nullptr; }
    /// The details' text; empty without details.
    [[nodiscard]] QByteArray detailsText() const { return details ? details->text() : QByteArray(); }
};

/// The event of `row` with the details `text` (empty: none), read and spanned once, or why the
/// details cannot be shown. `readAlready`: the VCALENDAR `text` was written from.
[[nodiscard]] std::variant<Event, QString> EventOf(const EventRecord& row, const QByteArray& text,
                                                   icalcomponent_impl* readAlready = nullptr);
