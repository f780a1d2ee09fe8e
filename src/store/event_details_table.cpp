#include "event_details_table.h"

#include "event_rows.h"

#include <sqlite3.h>

#include <algorithm>

namespace {

constexpr char kCreate[] = "create table if not exists tblEventDetails (id integer primary key, details text not "
                           "null, firstday integer not null, lastday integer)";
// The starts of each event with details on the days around the present, as DetailedStart holds
// them (`day` is the day written), found by the day; which days they are kept for, and for
// which details (by their size: a copy of the program that keeps none may have changed them),
// with the leads of their alarms (seconds, blank-separated; NULL: kept by a copy that wrote none).
constexpr char kCreateDays[] = "create table if not exists tblEventDays (day integer not null, id integer not null, "
                               "seq integer not null, kind integer not null, begins integer not null, length integer "
                               "not null, title text, primary key (day, id, seq), unique (id, seq)) without rowid";
constexpr char kCreateKept[] =
    "create table if not exists tblEventDaysKept (id integer primary key, fromday integer "
    "not null, today integer not null, longest integer not null, size integer not null, firstday "
    "integer not null, lastday integer, alarms text)";
constexpr char kKeptOf[] = "tblEventDaysKept k on k.id = d.id and k.size = length(cast(d.details as blob))";
// Drawing trusts what is kept without the size, which would read every text: the program and
// the reminder agent keep the starts again. When every event with details has them, drawing
// reads the small table of kept days alone; a copy of the program that keeps none stores its
// new events under greater ids.

// Starts are kept from about three months before the present to eight after it, the months a
// user looks at most, and kept again when the present comes within a month and a half of either
// end. Occurrences longer than two months are rare and stay with libical.
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

QString leadsText(const QList<qint64>& leads)
{
    QStringList words;
    for (qint64 lead : leads)
        words << QString::number(lead);
    return words.join(u' ');
}

QList<qint64> leadsOf(QByteArrayView text)
{
    // Far more than any event sets; another user may write any number of them here.
    constexpr qsizetype kMaxLeads = 16;
    QList<qint64> leads;
    while (!text.isEmpty() && leads.size() < kMaxLeads) {
        const qsizetype blank = text.indexOf(' ');
        const QByteArrayView word = blank < 0 ? text : text.first(blank);
        text = blank < 0 ? QByteArrayView() : text.sliced(blank + 1);
        bool ok = false;
        const qint64 lead = word.toLongLong(&ok);
        // Another user may write anything here: only what AlarmLead can give counts.
        if (ok && lead >= 0 && lead <= 7 * 24 * 3600 && !leads.contains(lead))
            leads.append(lead);
    }
    return leads;
}

} // namespace

EventDetailsTable::EventDetailsTable(const sqlite::Connection& db) : m_db(db)
{}

EventDetailsTable::~EventDetailsTable() = default;

bool EventDetailsTable::hasTable(const char* name) const
{
    sqlite::Statement& table = prepared("select count(*) from sqlite_schema where type = 'table' and name = ?1");
    table.bind(1, QString::fromLatin1(name));
    const bool found = table.next() && table.numberAt(0) > 0;
    table.reset();
    return found;
}

bool EventDetailsTable::exists() const
{
    return hasTable("tblEventDetails");
}

bool EventDetailsTable::keepsLeads() const
{
    // Asked for each event an import stores: prepared once.
    sqlite::Statement& column =
        prepared("select count(*) from pragma_table_info('tblEventDaysKept') where name = 'alarms' collate nocase");
    const bool found = column.next() && column.numberAt(0) > 0;
    column.reset();
    return found;
}

sqlite::Statement& EventDetailsTable::prepared(const char* sql) const
{
    std::unique_ptr<sqlite::Statement>& statement = m_prepared[sql];
    if (!statement)
        statement = std::make_unique<sqlite::Statement>(m_db, sql);
    statement->reset();
    return *statement;
}

void EventDetailsTable::run(const char* sql, qint64 id) const
{
    sqlite::Statement& statement = prepared(sql);
    if (id)
        statement.bind(1, id);
    statement.run();
}

QByteArray EventDetailsTable::textOf(qint64 id) const
{
    if (!exists())
        return {};
    sqlite::Statement& row = prepared("select details from tblEventDetails where id = ?1");
    row.bind(1, id);
    QByteArray text = row.next() ? row.utf8At(0).toByteArray() : QByteArray();
    row.reset(); // a statement left on a row keeps the file's read lock
    return text;
}

QHash<qint64, QByteArray> EventDetailsTable::allTexts() const
{
    QHash<qint64, QByteArray> all;
    if (!exists())
        return all;
    sqlite::Statement row(m_db, "select id, details from tblEventDetails");
    while (row.next())
        all.insert(row.numberAt(0), row.utf8At(1).toByteArray());
    return all;
}

std::vector<EventDetailsTable::Row>& EventDetailsTable::rows() const
{
    Cache& c = m_cache;
    const std::pair<qint64, qint64> now{m_db.queryNumber("pragma data_version"), m_writes};
    if (now == c.asOf)
        return c.rows;
    // What libical read stands unless another program changed the file or this store changed
    // the event's details; the rows themselves are read again, for the events a drawing meets.
    const bool othersWrote = now.first != c.asOf.first;
    QHash<qint64, std::size_t> before;
    for (std::size_t i = 0; i < c.rows.size(); ++i)
        before.insert(c.rows[i].id, i);
    std::vector<Row> fresh;
    c.allKept = false;
    c.longestKept = 0;
    if (exists()) {
        const bool kept = hasTable("tblEventDaysKept");
        const char* leads = kept && keepsLeads() ? "k.alarms" : "null";
        c.allKept = kept && m_db.queryNumber("select ifnull(max(id), 0) from tblEventDetails") ==
                                m_db.queryNumber("select ifnull(max(id), 0) from tblEventDaysKept");
        const QByteArray select =
            c.allKept ? QByteArray("select k.id, k.firstday, k.lastday, k.fromday, k.today, k.longest, ") + leads +
                            " from tblEventDaysKept k order by k.id"
            : kept ? QByteArray("select d.id, d.firstday, d.lastday, k.fromday, k.today, k.longest, ") + leads +
                         " from tblEventDetails d left join tblEventDaysKept k on k.id = d.id order by d.id"
                   : QByteArray("select id, firstday, lastday, null, null, null, null from tblEventDetails order "
                                "by id");
        sqlite::Statement row(m_db, select.constData());
        fresh.reserve(c.rows.size());
        while (row.next()) {
            Row& r = fresh.emplace_back();
            r.id = row.numberAt(0);
            const auto known = before.constFind(r.id);
            if (!othersWrote && known != before.constEnd() && !c.written.contains(r.id)) {
                r.shown = std::move(c.rows[*known].shown);
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
                    c.longestKept = std::max(c.longestKept, r.longest);
                if (row.typeAt(6) != SQLITE_NULL)
                    r.leads = leadsOf(row.utf8At(6));
            }
        }
    }
    c.written.clear();
    c.rows = std::move(fresh);
    c.ids.clear();
    c.ids.reserve(c.rows.size());
    for (const Row& r : c.rows)
        c.ids.push_back(r.id);
    c.asOf = now;
    return c.rows;
}

const std::vector<qint64>& EventDetailsTable::ids() const
{
    rows();
    return m_cache.ids;
}

namespace {

// Its first and last day were worked out in the zone of whoever stored the event, which puts
// them up to a day and more (26 hours) from another user's: a user's days are only decided
// by the starts themselves.
constexpr qint64 kOtherZones = 2;

// Whether an event with details may touch a day of [from, to] (Julian days) at all.
template <typename Row> bool meets(const Row& r, qint64 from, qint64 to)
{
    return r.firstDay <= to + kOtherZones && (!r.lastDay || r.lastDay >= from - kOtherZones);
}

} // namespace

void EventDetailsTable::readRowsMeeting(qint64 from, qint64 to) const
{
    std::vector<Row>& all = m_cache.rows;
    for (Row& r : all) {
        if (meets(r, from, to) && !r.shown)
            r.shown = std::make_unique<Row::Shown>();
    }
    if (std::none_of(all.begin(), all.end(), [&](const Row& r) { return meets(r, from, to) && !r.shown->rowRead; }))
        return;
    // The rows of the events this window meets, in one statement; none: its row went, deleted by
    // a program that knows no details.
    const QByteArray select = QByteArray("select e.* from ") +
                              (m_cache.allKept ? "tblEventDaysKept" : "tblEventDetails") +
                              " d join tblEvents e on e.id = d.id where d.firstday <= ?2 and (d.lastday is null "
                              "or d.lastday >= ?1) order by d.id";
    sqlite::Statement row(m_db, select.constData());
    row.bind(1, from - kOtherZones);
    row.bind(2, to + kOtherZones);
    bool more = row.next();
    for (Row& r : all) {
        if (!meets(r, from, to) || r.shown->rowRead)
            continue;
        while (more && row.numberAt(0) < r.id)
            more = row.next();
        r.shown->row = more && row.numberAt(0) == r.id ? std::optional(rows::recordOf(row)) : std::nullopt;
        r.shown->rowRead = true;
    }
}

QHash<qint64, QList<DetailedStart>> EventDetailsTable::keptStartsBetween(qint64 from, qint64 to) const
{
    QHash<qint64, QList<DetailedStart>> kept;
    sqlite::Statement start(m_db, "select id, kind, begins, length, day, title from tblEventDays where day between ?1 "
                                  "and ?2 order by id, seq");
    start.bind(1, from - m_cache.longestKept - 2);
    start.bind(2, to + 2);
    while (start.next())
        kept[start.numberAt(0)].append({DetailedStart::Kind(start.numberAt(1)), start.numberAt(2), start.numberAt(3),
                                        start.numberAt(4),
                                        start.typeAt(5) == SQLITE_NULL ? QString() : start.textAt(5)});
    return kept;
}

void EventDetailsTable::forEachDetailedEvent(QDate first, QDate last, const EventSource::Reach& reach,
                                             const EventSource::DetailedVisit& visit) const
{
    if (!first.isValid() || !last.isValid() || last < first)
        return;
    const qint64 from = first.toJulianDay();
    std::vector<Row>& all = rows();
    readRowsMeeting(from, last.toJulianDay());
    // The last day each event is wanted for, asked once; the kept starts are read up to the latest.
    QHash<qint64, QDate> untilOf;
    qint64 latest = from - 1;
    for (const Row& r : all) {
        if (!meets(r, from, last.toJulianDay()) || !r.shown->row)
            continue;
        const QDate until = reach ? std::min(last, reach(*r.shown->row)) : last;
        untilOf.insert(r.id, until);
        if (until.isValid())
            latest = std::max(latest, until.toJulianDay());
    }
    // Read at once for all the events that have them, when the first one needs them.
    std::optional<QHash<qint64, QList<DetailedStart>>> kept;
    for (Row& r : all) {
        const QDate until = untilOf.value(r.id);
        if (!until.isValid() || until < first)
            continue;
        Row::Shown& shown = *r.shown;
        const qint64 end = until.toJulianDay();
        const bool ready = r.longest <= kMaxKeptLength && r.keptFrom <= from - r.longest - 2 && end + 2 <= r.keptTo;
        // Read by libical the first time they are needed: most events lie in other months, and
        // the kept starts spare it for the days around the present.
        if (!shown.read && (!ready || !r.leads)) {
            shown.read = true;
            auto read = EventDetails::read(textOf(r.id));
            if (auto* details = std::get_if<std::shared_ptr<const EventDetails>>(&read))
                shown.details = *details;
        }
        if (!ready && !shown.details)
            continue;
        if (shown.first != first || shown.last != until) {
            if (ready && !kept)
                kept = keptStartsBetween(from, latest);
            shown.days =
                ready ? DetailedDays(kept->value(r.id), first, until) : shown.details->daysWithin(first, until);
            shown.first = first;
            shown.last = until;
        }
        if (shown.days.isEmpty())
            continue;
        const QList<qint64> leads = r.leads ? *r.leads : shown.details ? shown.details->alarmLeads() : QList<qint64>();
        visit({*shown.row,
               {QDate::fromJulianDay(r.firstDay),
                r.lastDay ? std::optional(QDate::fromJulianDay(r.lastDay)) : std::nullopt},
               shown.days,
               leads});
    }
}

void EventDetailsTable::put(qint64 id, const Event& event, bool isNew)
{
    if (!event.details && isNew)
        return;
    wrote();
    m_cache.written.insert(id);
    if (!event.details) {
        if (exists())
            run("delete from tblEventDetails where id = ?1", id);
        if (hasTable("tblEventDaysKept")) {
            run("delete from tblEventDays where id = ?1", id);
            run("delete from tblEventDaysKept where id = ?1", id);
        }
        return;
    }
    run(kCreate);
    sqlite::Statement& put =
        prepared("insert or replace into tblEventDetails (id, details, firstday, lastday) values (?1, ?2, ?3, ?4)");
    put.bind(1, id);
    put.bind(2, QString::fromUtf8(event.details->text()));
    bindSpan(put, 3, event.span);
    put.run();
    keepDays(id, *event.details, event.span, isNew);
}

QDate EventDetailsTable::today() const
{
    // The present only decides which days are quick to draw, never what they show.
    return m_today.isValid() ? m_today : QDate::currentDate();
}

void EventDetailsTable::keepDays(qint64 id, const EventDetails& details, const DetailsSpan& span, bool isNew)
{
    run(kCreateDays);
    if (!hasTable("tblEventDaysKept"))
        run(kCreateKept);
    else if (!keepsLeads()) // kept by a copy of the program that wrote no alarms
        m_db.exec("alter table tblEventDaysKept add column alarms text");
    if (!isNew) {
        run("delete from tblEventDays where id = ?1", id);
        run("delete from tblEventDaysKept where id = ?1", id);
    }
    const qint64 present = today().toJulianDay();
    const qint64 longest = details.longestDays();
    const bool meets = span.first.toJulianDay() <= present + kKeepAfter &&
                       (!span.last || span.last->toJulianDay() >= present - kKeepBefore);
    if (longest <= kMaxKeptLength && meets) {
        sqlite::Statement& put =
            prepared("insert into tblEventDays (day, id, seq, kind, begins, length, title) values (?1, ?2, ?3, ?4, ?5, "
                     "?6, ?7)");
        qint64 seq = 0;
        for (const DetailedStart& start : details.startsWithin(QDate::fromJulianDay(present - kKeepBefore),
                                                               QDate::fromJulianDay(present + kKeepAfter))) {
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
                                        "lastday, alarms) values (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    range.bind(1, id);
    range.bind(2, present - kKeepBefore);
    range.bind(3, present + kKeepAfter);
    range.bind(4, longest);
    range.bind(5, details.text().size());
    bindSpan(range, 6, span);
    range.bind(8, leadsText(details.alarmLeads()));
    range.run();
}

bool EventDetailsTable::keepSomeDaysAround(QDate present, int batch, int busyTimeoutMs)
{
    if (!present.isValid())
        return false;
    m_today = present;
    // Never worth a wait for another program's lock, nor a message: the days are drawn anyway.
    m_db.setBusyTimeout(0);
    bool more = false;
    try {
        more = [&] {
            if (!exists())
                return false;
            const qint64 day = present.toJulianDay();
            const bool kept = hasTable("tblEventDaysKept");
            bool orphans = false;
            if (m_pending.isEmpty() || m_pendingFor != present) {
                // Which are due is found once; the calls after it keep the next few each.
                m_pending.clear();
                const QByteArray due =
                    QByteArray("select d.id from tblEventDetails d left join ") + kKeptOf +
                    " where k.id is null or k.fromday > ?1 or k.today < ?2 or k.alarms is null order by d.id";
                sqlite::Statement row(m_db, kept && keepsLeads() ? due.constData()
                                                                 : "select id from tblEventDetails order by id");
                if (kept && keepsLeads()) {
                    row.bind(1, day - kKeepAgainWithin);
                    row.bind(2, day + kKeepAgainWithin);
                }
                while (row.next())
                    m_pending.append(row.numberAt(0));
                m_pendingFor = present;
                // Starts of details another program deleted.
                orphans = kept && m_db.queryNumber("select count(*) from tblEventDaysKept k where not exists (select "
                                                   "1 from tblEventDetails d where d.id = k.id)") > 0;
            }
            if (m_pending.isEmpty() && !orphans)
                return false;
            sqlite::Transaction transaction(m_db);
            if (orphans) {
                run("delete from tblEventDays where id not in (select id from tblEventDetails)");
                run("delete from tblEventDaysKept where id not in (select id from tblEventDetails)");
            }
            const qsizetype count = std::min<qsizetype>(batch, m_pending.size());
            sqlite::Statement& row = prepared("select details, firstday, lastday from tblEventDetails where id = ?1");
            for (qsizetype i = 0; i < count; ++i) {
                const qint64 id = m_pending[i];
                row.reset();
                row.bind(1, id);
                if (!row.next())
                    continue;
                const QByteArray text = row.utf8At(0).toByteArray();
                const DetailsSpan span{
                    QDate::fromJulianDay(row.numberAt(1)),
                    row.typeAt(2) == SQLITE_NULL ? std::nullopt : std::optional(QDate::fromJulianDay(row.numberAt(2)))};
                row.reset();
                auto read = EventDetails::read(text);
                if (auto* details = std::get_if<std::shared_ptr<const EventDetails>>(&read))
                    keepDays(id, **details, span, false);
            }
            transaction.commit();
            m_pending.remove(0, count);
            wrote();
            return !m_pending.isEmpty();
        }();
    } catch (const StoreError&) {
        more = false;
    }
    m_db.setBusyTimeout(busyTimeoutMs);
    return more;
}
