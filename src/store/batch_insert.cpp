// Storing many events at once (an import): one transaction, and no event stored twice.
#include "event_details_table.h"
#include "event_rows.h"
#include "event_store.h"

#include <QSet>

namespace {

// An event as the set of known events holds it: equal when they are the same event.
struct Known
{
    EventRecord event;
    QByteArray details;
    friend bool operator==(const Known& a, const Known& b)
    {
        return a.details == b.details && SameEvent(a.event, b.event);
    }
    friend size_t qHash(const Known& k, size_t seed = 0) { return SameEventHash(k.event, seed) ^ qHash(k.details); }
};

} // namespace

qsizetype EventStore::insertNew(const QList<EventRecord>& events)
{
    QList<Event> plain;
    plain.reserve(events.size());
    for (const EventRecord& event : events)
        plain.append({event, {}, {}});
    return insertNew(plain);
}

qsizetype EventStore::insertNew(const QList<Event>& events)
{
    const sqlite::Connection& db = connection();
    details().wrote();
    sqlite::Transaction transaction(db);
    QSet<Known> known;
    {
        const QHash<qint64, QByteArray> details = allDetails();
        sqlite::Statement row(db, rows::statements().selectAll);
        while (row.next()) {
            EventRecord r = rows::recordOf(row);
            known.insert({r, details.value(r.id)});
        }
    }
    qsizetype stored = 0;
    sqlite::Statement statement(db, rows::statements().insert);
    for (const Event& event : events) {
        const qsizetype before = known.size();
        known.insert({event.row, event.detailsText()});
        if (known.size() == before)
            continue;
        rows::bindValues(statement, event.row);
        statement.run();
        statement.reset();
        details().put(db.lastInsertId(), event, true);
        ++stored;
    }
    transaction.commit();
    return stored;
}
