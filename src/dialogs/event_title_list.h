#pragma once

#include "calendar/occurrence.h"

#include <QList>
#include <QStringList>

class EventStore;
class QPlainTextEdit;

/// The events a dialog lists by title (the day's events, today's alert), kept entry for
/// entry beside the list widget, whose chosen entry shows its description.
class EventTitleList
{
public:
    explicit EventTitleList(const EventStore& store) : m_store(store) {}

    /// Lists `events` in place of those listed so far; their titles as shown (kit::ShownPart), for the list widget.
    QStringList set(QList<EventTitle> events);
    [[nodiscard]] bool isEmpty() const { return m_events.isEmpty(); }

    /// Shows in `box` the description of entry `entry`, read afresh by id: an event deleted
    /// meanwhile leaves the box as it was. Nothing for an entry outside the list. Throws StoreError.
    void showDescription(qsizetype entry, QPlainTextEdit& box) const;

private:
    const EventStore& m_store;
    QList<EventTitle> m_events;
};
