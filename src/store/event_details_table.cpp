// The details of events from other calendars, in a table of their own beside tblEvents: the
// twelve columns stay as every copy of the program reads them, and a row without details is
// the calendar's own event.
#include "event_rows.h"
#include "event_store.h"

#include <QSet>

#include <sqlite3.h>

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

const std::vector<EventStore::DetailedRow>& EventStore::detailedRows() const
{
    const std::pair<qint64, qint64> now{connection().queryNumber("pragma data_version"), m_writes};
    if (now == m_detailedAsOf)
        return m_detailed;
    std::vector<DetailedRow> fresh;
    if (hasDetailsTable()) {
        // What was read before and has not changed is not read by libical again. The rows
        // themselves are read only for the events a drawing meets.
        QHash<qint64, std::size_t> before;
        for (std::size_t i = 0; i < m_detailed.size(); ++i)
            before.insert(m_detailed[i].id, i);
        sqlite::Statement row(connection(), "select id, details, firstday, lastday from tblEventDetails order by id");
        fresh.reserve(std::size_t(connection().queryNumber("select count(*) from tblEventDetails")));
        while (row.next()) {
            DetailedRow& r = fresh.emplace_back();
            r.id = row.numberAt(0);
            const QByteArrayView text = row.utf8At(1);
            r.digest = qHash(text);
            r.firstDay = row.numberAt(2);
            r.lastDay = row.typeAt(3) == SQLITE_NULL ? 0 : row.numberAt(3);
            const auto known = before.constFind(r.id);
            if (known != before.constEnd() && m_detailed[*known].digest == r.digest) {
                // The same text: what libical made of it stands; the row may have a new title.
                r = std::move(m_detailed[*known]);
                r.row.reset();
                r.rowRead = false;
            } else {
                r.text = text.toByteArray();
            }
        }
    }
    m_detailed = std::move(fresh);
    m_detailedAsOf = now;
    return m_detailed;
}

void EventStore::forEachEventWhere(const std::function<bool(const EventRecord&)>& wanted,
                                   const std::function<void(const EventRecord&)>& visit) const
{
    // Rows come in ascending id, and so do the events with details: one walk skips them.
    const std::vector<DetailedRow>& detailed = detailedRows();
    auto next = detailed.cbegin();
    sqlite::Statement row(connection(), rows::statements().selectAll);
    while (row.next()) {
        EventRecord r = rows::numbersOf(row);
        while (next != detailed.cend() && next->id < r.id)
            ++next;
        if ((next != detailed.cend() && next->id == r.id) || !wanted(r))
            continue;
        rows::readTexts(row, r);
        visit(r);
    }
}

void EventStore::forEachDetailedEvent(QDate first, QDate last, const DetailedVisit& visit) const
{
    if (!first.isValid() || !last.isValid())
        return;
    const qint64 from = first.toJulianDay();
    const qint64 to = last.toJulianDay();
    detailedRows();
    std::optional<sqlite::Statement> one;
    for (DetailedRow& r : m_detailed) {
        if (r.firstDay > to || (r.lastDay && r.lastDay < from))
            continue;
        if (!r.rowRead) {
            // One statement for all the rows this drawing reads; none: its row went, deleted by
            // a program that knows no details.
            if (!one)
                one.emplace(connection(), rows::statements().selectOne);
            one->bind(1, r.id);
            r.row = one->next() ? std::optional(rows::recordOf(*one)) : std::nullopt;
            one->reset();
            r.rowRead = true;
        }
        if (!r.row)
            continue;
        // Read by libical the first time they are needed: most events lie in other months.
        if (!r.read) {
            r.read = true;
            auto read = EventDetails::read(r.text);
            if (auto* details = std::get_if<std::shared_ptr<const EventDetails>>(&read))
                r.details = *details;
        }
        if (!r.details)
            continue;
        if (r.first != first || r.last != last) {
            r.days = r.details->daysWithin(first, last);
            r.first = first;
            r.last = last;
        }
        if (!r.days.isEmpty())
            visit(*r.row, *r.details,
                  {QDate::fromJulianDay(r.firstDay),
                   r.lastDay ? std::optional(QDate::fromJulianDay(r.lastDay)) : std::nullopt},
                  r.days);
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

void EventStore::setDetails(qint64 id, const QByteArray& details, const DetailsSpan& known)
{
    wrote();
    if (details.isEmpty()) {
        if (hasDetailsTable()) {
            sqlite::Statement drop(connection(), "delete from tblEventDetails where id = ?1");
            drop.bind(1, id);
            drop.run();
        }
        return;
    }
    DetailsSpan span = known;
    if (!span.first.isValid()) {
        const auto read = EventDetails::read(details);
        const auto whole = std::holds_alternative<QString>(read)
                               ? std::variant<DetailsSpan, QString>(std::get<QString>(read))
                               : std::get<std::shared_ptr<const EventDetails>>(read)->span();
        if (const QString* why = std::get_if<QString>(&whole))
            throw StoreError(QStringLiteral("The event cannot be shown: %1.").arg(*why));
        span = std::get<DetailsSpan>(whole);
    }
    connection().exec(kCreate);
    sqlite::Statement put(connection(), "insert or replace into tblEventDetails (id, details, firstday, lastday) "
                                        "values (?1, ?2, ?3, ?4)");
    put.bind(1, id);
    put.bind(2, QString::fromUtf8(details));
    put.bind(3, span.first.toJulianDay());
    if (span.last)
        put.bind(4, span.last->toJulianDay());
    else
        put.bindNull(4);
    put.run();
}

qint64 EventStore::insert(const EventRecord& event, const QByteArray& details)
{
    wrote();
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
    wrote();
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
    wrote();
    inTransaction([&] {
        sqlite::Statement statement(connection(), rows::statements().remove);
        statement.bind(1, id);
        statement.run();
        setDetails(id, {});
    });
}
