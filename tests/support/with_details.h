#pragma once

#include "ical/event.h"

#include <stdexcept>

/// `row` with the details `text`, read as an import reads them; a test's text that cannot be
/// read is a fault of the test.
inline Event WithDetails(const EventRecord& row, const QByteArray& text)
{
    std::variant<Event, QString> event = EventOf(row, text);
    if (const QString* why = std::get_if<QString>(&event))
        throw std::invalid_argument(why->toStdString());
    return std::get<Event>(std::move(event));
}
