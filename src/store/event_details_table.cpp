// The details of events from other calendars, in a table of their own beside tblEvents: the
// twelve columns stay as every copy of the program reads them, and a row without details is
// the calendar's own event.
#include "event_rows.h"
#include "event_store.h"

#include <QSet>

#include <algorithm>
#include <vector>

namespace {

constexpr char kCreate[] = "create table if not exists tblEventDetails (id integer primary key, details text not "
                           "null, firstday integer not null, lastday integer)";

} // namespace

bool EventStore::hasDetailsTable() const
{
    return connection().queryNumber("select count(*) from sqlite_schema where type = 'table' and name = "
                                    "'tblEventDetails'") > 0;
}

void EventStore::inTransaction(const std::function<void()>& change)
{
    if (connection().inTransaction()) {
        change();
        return;
    }
    sqlite::Transaction transaction(connection());
    change();
    transaction.commit();
}

std::shared_ptr<const EventDetails> EventStore::parsed(qint64 id, QByteArrayView text) const
{
    const size_t digest = qHash(text);
    const auto cached = m_parsed.constFind(id);
    if (cached != m_parsed.constEnd() && cached->first == digest)
        return cached->second;
    auto read = EventDetails::read(text.toByteArray());
    auto* details = std::get_if<std::shared_ptr<const EventDetails>>(&read);
    std::shared_ptr<const EventDetails> kept = details ? *details : nullptr;
    m_parsed.insert(id, {digest, kept});
    return kept;
}

void EventStore::forEachEventWhere(const std::function<bool(const EventRecord&)>& wanted,
                                   const std::function<void(const EventRecord&)>& visit) const
{
    // Rows come in ascending id, and so do the ids with details: one walk skips them.
    std::vector<qint64> detailed;
    if (hasDetailsTable()) {
        sqlite::Statement id(connection(), "select id from tblEventDetails order by id");
        while (id.next())
            detailed.push_back(id.numberAt(0));
    }
    auto next = detailed.cbegin();
    sqlite::Statement row(connection(), rows::statements().selectAll);
    while (row.next()) {
        EventRecord r = rows::numbersOf(row);
        while (next != detailed.cend() && *next < r.id)
            ++next;
        if ((next != detailed.cend() && *next == r.id) || !wanted(r))
            continue;
        rows::readTexts(row, r);
        visit(r);
    }
}

void EventStore::forEachDetailedEvent(QDate first, QDate last, const DetailedVisit& visit) const
{
    if (!first.isValid() || !last.isValid() || !hasDetailsTable())
        return;
    sqlite::Statement row(connection(), "select e.*, d.details from tblEvents e join tblEventDetails d on d.id = e.id "
                                        "where d.firstday <= ?1 and (d.lastday is null or d.lastday >= ?2) "
                                        "order by e.id");
    row.bind(1, last.toJulianDay());
    row.bind(2, first.toJulianDay());
    while (row.next()) {
        const EventRecord r = rows::recordOf(row);
        const std::shared_ptr<const EventDetails> details = parsed(r.id, row.utf8At(kEventColumnCount));
        if (!details)
            continue;
        const QList<DetailedDay> days = details->daysWithin(first, last);
        if (!days.isEmpty())
            visit(r, *details, days);
    }
}

QByteArray EventStore::detailsOf(qint64 id) const
{
    if (!hasDetailsTable())
        return {};
    sqlite::Statement row(connection(), "select details from tblEventDetails where id = ?1");
    row.bind(1, id);
    return row.next() ? row.utf8At(0).toByteArray() : QByteArray();
}

QHash<qint64, QByteArray> EventStore::allDetails() const
{
    QHash<qint64, QByteArray> all;
    if (!hasDetailsTable())
        return all;
    sqlite::Statement row(connection(), "select id, details from tblEventDetails");
    while (row.next())
        all.insert(row.numberAt(0), row.utf8At(1).toByteArray());
    return all;
}

void EventStore::setDetails(qint64 id, const QByteArray& details)
{
    if (details.isEmpty()) {
        if (hasDetailsTable()) {
            sqlite::Statement drop(connection(), "delete from tblEventDetails where id = ?1");
            drop.bind(1, id);
            drop.run();
        }
        return;
    }
    auto read = EventDetails::read(details);
    if (const QString* why = std::get_if<QString>(&read))
        throw StoreError(QStringLiteral("The event cannot be shown: %1.").arg(*why));
    const EventDetails& span = *std::get<std::shared_ptr<const EventDetails>>(read);
    connection().exec(kCreate);
    sqlite::Statement put(connection(), "insert or replace into tblEventDetails (id, details, firstday, lastday) "
                                        "values (?1, ?2, ?3, ?4)");
    put.bind(1, id);
    put.bind(2, QString::fromUtf8(details));
    put.bind(3, span.firstDay().toJulianDay());
    if (span.lastDay())
        put.bind(4, span.lastDay()->toJulianDay());
    else
        put.bindNull(4);
    put.run();
}

qint64 EventStore::insert(const EventRecord& event, const QByteArray& details)
{
    qint64 id = 0;
    inTransaction([&] {
        sqlite::Statement statement(connection(), rows::statements().insert);
        rows::bindValues(statement, event);
        statement.run();
        id = connection().lastInsertId();
        if (!details.isEmpty())
            setDetails(id, details);
    });
    return id;
}

bool EventStore::update(qint64 id, const EventRecord& event)
{
    bool changed = false;
    inTransaction([&] {
        const std::optional<EventRecord> before = hasDetailsTable() ? eventById(id) : std::nullopt;
        sqlite::Statement statement(connection(), rows::statements().update);
        rows::bindValues(statement, event);
        statement.bind(kEventColumnCount, id);
        changed = statement.run() > 0;
        const auto dateField = [](const EventColumn& c) {
            return c.number != &EventRecord::warnevent && c.number != &EventRecord::daysbefore;
        };
        if (changed && before && std::any_of(kNumberColumns.begin(), kNumberColumns.end(), [&](const EventColumn& c) {
                return dateField(c) && (*before).*c.number != event.*c.number;
            }))
            setDetails(id, {});
    });
    return changed;
}

void EventStore::remove(qint64 id)
{
    inTransaction([&] {
        sqlite::Statement statement(connection(), rows::statements().remove);
        statement.bind(1, id);
        statement.run();
        setDetails(id, {});
    });
}
