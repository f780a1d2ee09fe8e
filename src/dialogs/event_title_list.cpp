#include "event_title_list.h"

#include "store/event_store.h"
#include "ui/window_kit.h"

#include <QPlainTextEdit>

QStringList EventTitleList::set(QList<EventTitle> events)
{
    m_events = std::move(events);
    QStringList titles;
    titles.reserve(m_events.size());
    for (const EventTitle& event : m_events)
        titles.append(kit::ShownPart(event.title));
    return titles;
}

void EventTitleList::showDescription(qsizetype entry, QPlainTextEdit& box) const
{
    if (entry < 0 || entry >= m_events.size())
        return;
    if (const std::optional<EventRecord> event = m_store.eventById(m_events[entry].id))
        box.setPlainText(kit::ShownPart(event->description));
}
