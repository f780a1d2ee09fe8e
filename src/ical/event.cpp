#include "event.h"

std::variant<Event, QString> EventOf(const EventRecord& row, const QByteArray& text, icalcomponent_impl* readAlready)
{
    Event event{row, {}, {}};
    if (text.isEmpty())
        return event;
    auto read = EventDetails::read(text, readAlready);
    if (const QString* why = std::get_if<QString>(&read))
        return *why;
    event.details = std::get<std::shared_ptr<const EventDetails>>(std::move(read));
    auto span = event.details->span();
    if (const QString* why = std::get_if<QString>(&span))
        return *why;
    event.span = std::get<DetailsSpan>(span);
    return event;
}
