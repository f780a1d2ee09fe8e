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
// The starts of each event with details on the days around the present, as DetailedStart holds
// them (`day` is the day written), found by the day; which days they are kept for, and for
// which details (by their size: a copy of the program that keeps none may have changed them).
constexpr char kCreateDays[] = "create table if not exists tblEventDays (day integer not null, id integer not null, "
                               "seq integer not null, kind integer not null, begins integer not null, length integer "
                               "not null, title text, primary key (day, id, seq), unique (id, seq)) without rowid";
constexpr char kCreateKept[] =
    "create table if not exists tblEventDaysKept (id integer primary key, fromday integer "
    "not null, today integer not null, longest integer not null, size integer not null, firstday "
    "integer not null, lastday integer)";
constexpr char kKeptOf[] = "tblEventDaysKept k on k.id = d.id and k.size = length(cast(d.details as blob))";
// Drawing trusts what is kept without the size, which would read every text: the program keeps
// the starts again at its start. When every event with details has them, drawing reads this
// small table alone; a copy of the program that keeps none stores its new events under greater ids.

// Starts are kept from about three months before the present to eight after it, the months a
// user looks at most, and kept again when the present comes within a month and a half of either
// end. Each day more costs an import of many events time that libical's iterator makes dear.
// Occurrences longer than two months are rare and stay with libical.
constexpr qint64 kKeepBefore = 100, kKeepAfter = 240, kKeepAgainWithin = 45;
constexpr qint64 kMaxKeptLength = 62;

// The first and last day as Julian days at `index` and the one after (NULL: without end).
void bindSpan(sqlite::Statement& statement, int index, const DetailsSpan& span)
{
    statement.bind(index, span.first.toJulianDay());
    if (span.last)
        statement.bind(index + 1, span.last->toJulianDay());
    else
        statement.bindNull(index + 1);
}

} // namespace

bool EventStore::hasTable(const QByteArray& name) const
{
    sqlite::Statement table(connection(), "select count(*) from sqlite_schema where type = 'table' and name = ?1");
    table.bind(1, QString::fromLatin1(name));
    return table.next() && table.numberAt(0) > 0;
}

sqlite::Statement& EventStore::prepared(const char* sql) const
{
    std::unique_ptr<sqlite::Statement>& statement = m_prepared[sql];
    if (!statement)
        statement = std::make_unique<sqlite::Statement>(connection(), sql);
    statement->reset();
    return *statement;
}

QByteArray EventStore::detailsText(qint64 id) const
{
    sqlite::Statement& row = prepared("select details from tblEventDetails where id = ?1");
    row.bind(1, id);
    QByteArray text = row.next() ? row.utf8At(0).toByteArray() : QByteArray();
    row.reset(); // a statement left on a row keeps the file's read lock
    return text;
}

void EventStore::run(const char* sql, qint64 id)
{
    sqlite::Statement& statement = prepared(sql);
    if (id)
        statement.bind(1, id);
    statement.run();
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
    // What libical read stands unless another program changed the file or this store changed
    // the event's details; the rows themselves are read again, for the events a drawing meets.
    const bool othersWrote = now.first != m_detailedAsOf.first;
    QHash<qint64, std::size_t> before;
    for (std::size_t i = 0; i < m_detailed.size(); ++i)
        before.insert(m_detailed[i].id, i);
    std::vector<DetailedRow> fresh;
    m_allKept = false;
    m_longestKept = 0;
    if (hasTable("tblEventDetails")) {
        const bool kept = hasTable("tblEventDaysKept");
        m_allKept = kept && connection().queryNumber("select ifnull(max(id), 0) from tblEventDetails") ==
                                connection().queryNumber("select ifnull(max(id), 0) from tblEventDaysKept");
        sqlite::Statement row(
            connection(), m_allKept ? "select id, firstday, lastday, fromday, today, longest from tblEventDaysKept "
                                      "order by id"
                          : kept    ? "select d.id, d.firstday, d.lastday, k.fromday, k.today, k.longest from "
                                      "tblEventDetails d left join tblEventDaysKept k on k.id = d.id order by d.id"
                                 : "select id, firstday, lastday, null, null, null from tblEventDetails order by id");
        fresh.reserve(m_detailed.size());
        while (row.next()) {
            DetailedRow& r = fresh.emplace_back();
            r.id = row.numberAt(0);
            const auto known = before.constFind(r.id);
            if (!othersWrote && known != before.constEnd() && !m_detailsWritten.contains(r.id)) {
                r.shown = std::move(m_detailed[*known].shown);
                if (r.shown) {
                    r.shown->row.reset();
                    r.shown->rowRead = false;
                }
            }
            r.firstDay = row.numberAt(1);
            r.lastDay = row.typeAt(2) == SQLITE_NULL ? 0 : row.numberAt(2);
            if (row.typeAt(3) != SQLITE_NULL) {
                r.keptFrom = row.numberAt(3);
                r.keptTo = row.numberAt(4);
                r.longest = row.numberAt(5);
                if (r.longest <= kMaxKeptLength)
                    m_longestKept = std::max(m_longestKept, r.longest);
            } else {
                r.keptFrom = 0;
                r.keptTo = -1;
            }
        }
    }
    m_detailsWritten.clear();
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
        const qint64 id = row.numberAt(0);
        while (next != detailed.cend() && next->id < id)
            ++next;
        if (next != detailed.cend() && next->id == id)
            continue;
        EventRecord r = rows::numbersOf(row);
        if (!wanted(r))
            continue;
        rows::readTexts(row, r);
        visit(r);
    }
}

void EventStore::forEachDetailedEvent(QDate first, QDate last, const DetailedVisit& visit, bool withDetails) const
{
    if (!first.isValid() || !last.isValid())
        return;
    const qint64 from = first.toJulianDay();
    const qint64 to = last.toJulianDay();
    detailedRows();
    const auto covered = [&](const DetailedRow& r) {
        return r.longest <= kMaxKeptLength && r.keptFrom <= from - r.longest - 2 && to + 2 <= r.keptTo;
    };
    // The kept starts this window needs, read at once for all the events that have them.
    std::optional<QHash<qint64, QList<DetailedStart>>> kept;
    const auto keptStarts = [&](qint64 id) {
        if (!kept) {
            kept.emplace();
            sqlite::Statement start(connection(),
                                    "select id, kind, begins, length, day, title from tblEventDays where day "
                                    "between ?1 and ?2 order by id, seq");
            start.bind(1, from - m_longestKept - 2);
            start.bind(2, to + 2);
            while (start.next())
                (*kept)[start.numberAt(0)].append({DetailedStart::Kind(start.numberAt(1)), start.numberAt(2),
                                                   start.numberAt(3), start.numberAt(4),
                                                   start.typeAt(5) == SQLITE_NULL ? QString() : start.textAt(5)});
        }
        return kept->value(id);
    };
    const auto meets = [&](const DetailedRow& r) { return r.firstDay <= to && (!r.lastDay || r.lastDay >= from); };
    if (std::any_of(m_detailed.begin(), m_detailed.end(),
                    [&](const DetailedRow& r) { return meets(r) && !(r.shown && r.shown->rowRead); })) {
        // The rows of the events this window meets, in one statement; none: its row went,
        // deleted by a program that knows no details.
        const QByteArray select = QByteArray("select e.* from ") +
                                  (m_allKept ? "tblEventDaysKept" : "tblEventDetails") +
                                  " d join tblEvents e on e.id = d.id where d.firstday <= ?2 and (d.lastday is null "
                                  "or d.lastday >= ?1) order by d.id";
        sqlite::Statement row(connection(), select.constData());
        row.bind(1, from);
        row.bind(2, to);
        bool more = row.next();
        for (DetailedRow& r : m_detailed) {
            if (!meets(r) || (r.shown && r.shown->rowRead))
                continue;
            if (!r.shown)
                r.shown = std::make_unique<DetailedRow::Shown>();
            while (more && row.numberAt(0) < r.id)
                more = row.next();
            r.shown->row = more && row.numberAt(0) == r.id ? std::optional(rows::recordOf(row)) : std::nullopt;
            r.shown->rowRead = true;
        }
    }
    for (DetailedRow& r : m_detailed) {
        if (!meets(r) || !r.shown->row)
            continue;
        DetailedRow::Shown& shown = *r.shown;
        const bool ready = covered(r);
        // Read by libical the first time they are needed: most events lie in other months, and
        // the kept starts spare it for the days around the present.
        if (!shown.read && (withDetails || !ready)) {
            shown.read = true;
            auto read = EventDetails::read(detailsText(r.id));
            if (auto* details = std::get_if<std::shared_ptr<const EventDetails>>(&read))
                shown.details = *details;
        }
        if (!ready && !shown.details)
            continue;
        if (shown.first != first || shown.last != last) {
            shown.days = ready ? DetailedDays(keptStarts(r.id), first, last) : shown.details->daysWithin(first, last);
            shown.first = first;
            shown.last = last;
        }
        if (!shown.days.isEmpty())
            visit(*shown.row, shown.details.get(),
                  {QDate::fromJulianDay(r.firstDay),
                   r.lastDay ? std::optional(QDate::fromJulianDay(r.lastDay)) : std::nullopt},
                  shown.days);
    }
}

QByteArray EventStore::detailsOf(qint64 id) const
{
    return hasTable("tblEventDetails") ? detailsText(id) : QByteArray();
}

QHash<qint64, QByteArray> EventStore::allDetails() const
{
    QHash<qint64, QByteArray> all;
    if (!hasTable("tblEventDetails"))
        return all;
    sqlite::Statement row(connection(), "select id, details from tblEventDetails");
    while (row.next())
        all.insert(row.numberAt(0), row.utf8At(1).toByteArray());
    return all;
}

void EventStore::setDetails(qint64 id, const QByteArray& details, const DetailsSpan& known,
                            std::shared_ptr<const EventDetails> read)
{
    wrote();
    m_detailsWritten.insert(id);
    if (details.isEmpty()) {
        if (hasTable("tblEventDetails"))
            run("delete from tblEventDetails where id = ?1", id);
        if (hasTable("tblEventDaysKept")) {
            run("delete from tblEventDays where id = ?1", id);
            run("delete from tblEventDaysKept where id = ?1", id);
        }
        return;
    }
    storeDetails(id, details, known, std::move(read), false);
}

void EventStore::storeDetails(qint64 id, const QByteArray& details, const DetailsSpan& known,
                              std::shared_ptr<const EventDetails> read, bool isNew)
{
    DetailsSpan span = known;
    if (!read || !span.first.isValid()) {
        auto parsed = EventDetails::read(details);
        const auto whole = std::holds_alternative<QString>(parsed)
                               ? std::variant<DetailsSpan, QString>(std::get<QString>(parsed))
                               : std::get<std::shared_ptr<const EventDetails>>(parsed)->span();
        if (const QString* why = std::get_if<QString>(&whole))
            throw StoreError(QStringLiteral("The event cannot be shown: %1.").arg(*why));
        span = std::get<DetailsSpan>(whole);
        read = std::get<std::shared_ptr<const EventDetails>>(parsed);
    }
    run(kCreate);
    sqlite::Statement& put =
        prepared("insert or replace into tblEventDetails (id, details, firstday, lastday) values (?1, ?2, ?3, ?4)");
    put.bind(1, id);
    put.bind(2, QString::fromUtf8(details));
    bindSpan(put, 3, span);
    put.run();
    keepDays(id, *read, details.size(), span, isNew);
}

QDate EventStore::keptToday() const
{
    // The present only decides which days are quick to draw, never what they show.
    return m_today.isValid() ? m_today : QDate::currentDate();
}

void EventStore::keepDays(qint64 id, const EventDetails& details, qint64 size, const DetailsSpan& span, bool isNew)
{
    run(kCreateDays);
    run(kCreateKept);
    if (!isNew) {
        run("delete from tblEventDays where id = ?1", id);
        run("delete from tblEventDaysKept where id = ?1", id);
    }
    const qint64 today = keptToday().toJulianDay();
    const qint64 longest = details.longestDays();
    const bool meets = span.first.toJulianDay() <= today + kKeepAfter &&
                       (!span.last || span.last->toJulianDay() >= today - kKeepBefore);
    if (longest <= kMaxKeptLength && meets) {
        sqlite::Statement& put =
            prepared("insert into tblEventDays (day, id, seq, kind, begins, length, title) values (?1, ?2, ?3, ?4, ?5, "
                     "?6, ?7)");
        qint64 seq = 0;
        for (const DetailedStart& start : details.startsWithin(QDate::fromJulianDay(today - kKeepBefore),
                                                               QDate::fromJulianDay(today + kKeepAfter))) {
            put.bind(1, start.writtenDay);
            put.bind(2, id);
            put.bind(3, seq++);
            put.bind(4, qint64(start.kind));
            put.bind(5, start.begins);
            put.bind(6, start.length);
            if (start.title.isEmpty())
                put.bindNull(7);
            else
                put.bind(7, start.title);
            put.run();
            put.reset();
        }
    }
    sqlite::Statement& range = prepared("insert into tblEventDaysKept (id, fromday, today, longest, size, firstday, "
                                        "lastday) values (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    range.bind(1, id);
    range.bind(2, today - kKeepBefore);
    range.bind(3, today + kKeepAfter);
    range.bind(4, longest);
    range.bind(5, size);
    bindSpan(range, 6, span);
    range.run();
}

void EventStore::keepDaysAround(QDate today)
{
    if (!today.isValid())
        return;
    m_today = today;
    // Never worth a wait for another program's lock, nor a message: the days are drawn anyway.
    const sqlite::Connection& db = connection();
    db.setBusyTimeout(0);
    try {
        if (hasTable("tblEventDetails"))
            keepStaleDays(today.toJulianDay());
    } catch (const StoreError&) {
    }
    db.setBusyTimeout(m_busyTimeoutMs);
}

void EventStore::keepStaleDays(qint64 today)
{
    struct Stale
    {
        qint64 id;
        QByteArray text;
        DetailsSpan span;
    };
    QList<Stale> stale;
    {
        const QByteArray due = QByteArray("select d.id, d.details, d.firstday, d.lastday from tblEventDetails d left "
                                          "join ") +
                               kKeptOf + " where k.id is null or k.fromday > ?1 or k.today < ?2";
        const bool kept = hasTable("tblEventDaysKept");
        sqlite::Statement row(connection(),
                              kept ? due.constData() : "select id, details, firstday, lastday from tblEventDetails");
        if (kept) {
            row.bind(1, today - kKeepAgainWithin);
            row.bind(2, today + kKeepAgainWithin);
        }
        while (row.next())
            stale.append(
                {row.numberAt(0),
                 row.utf8At(1).toByteArray(),
                 {QDate::fromJulianDay(row.numberAt(2)),
                  row.typeAt(3) == SQLITE_NULL ? std::nullopt : std::optional(QDate::fromJulianDay(row.numberAt(3)))}});
    }
    // Starts of details another program deleted.
    const bool orphans =
        hasTable("tblEventDaysKept") &&
        connection().queryNumber("select count(*) from tblEventDaysKept k where not exists (select 1 from "
                                 "tblEventDetails d where d.id = k.id)") > 0;
    if (stale.isEmpty() && !orphans)
        return;
    inTransaction([&] {
        if (orphans) {
            run("delete from tblEventDays where id not in (select id from tblEventDetails)");
            run("delete from tblEventDaysKept where id not in (select id from tblEventDetails)");
        }
        for (const auto& [id, text, span] : std::as_const(stale)) {
            auto read = EventDetails::read(text);
            if (auto* details = std::get_if<std::shared_ptr<const EventDetails>>(&read))
                keepDays(id, **details, text.size(), span, false);
        }
    });
    wrote();
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
            storeDetails(id, details, {}, {}, true);
    });
    return id;
}

bool EventStore::update(qint64 id, const EventRecord& event)
{
    wrote();
    bool changed = false;
    inTransaction([&] {
        const std::optional<EventRecord> before = hasTable("tblEventDetails") ? eventById(id) : std::nullopt;
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
