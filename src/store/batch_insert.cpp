// Storing many events at once (an import): one transaction, and no event stored twice.
#include "event_rows.h"
#include "event_store.h"

#include <QSet>

namespace {

// An event as the set of known events holds it: equal when they are the same event.
struct Known
{
    EventRecord event;
    friend bool operator==(const Known& a, const Known& b) { return SameEvent(a.event, b.event); }
    friend size_t qHash(const Known& k, size_t seed = 0) { return SameEventHash(k.event, seed); }
};

} // namespace

qsizetype EventStore::insertNew(const QList<EventRecord>& events)
{
    const sqlite::Connection& db = connection();
    sqlite::Transaction transaction(db);
    QSet<Known> known;
    {
        sqlite::Statement row(db, rows::statements().selectAll);
        while (row.next())
            known.insert({rows::recordOf(row)});
    }
    qsizetype stored = 0;
    sqlite::Statement statement(db, rows::statements().insert);
    for (const EventRecord& event : events) {
        const qsizetype before = known.size();
        known.insert({event});
        if (known.size() == before)
            continue;
        rows::bindValues(statement, event);
        statement.run();
        statement.reset();
        ++stored;
    }
    transaction.commit();
    return stored;
}
