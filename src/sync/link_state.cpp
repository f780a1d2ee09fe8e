#include "link_state.h"

#include <QFileInfo>

#include <sqlite3.h>

#include <limits>

namespace {

constexpr auto kSchema = R"(
create table if not exists tblSyncCollections (
    id integer primary key,
    url text not null unique,
    synctoken text
);
create table if not exists tblSyncLinks (
    collection integer not null,
    href text not null,
    uid text not null,
    etag text not null,
    eventid integer,
    digest blob,
    component blob,
    primary key (collection, href)
);)";
constexpr auto kProbe = "select * from tblEvents limit 0";
constexpr auto kFindCollection = "select id, synctoken from tblSyncCollections where url=?";
constexpr auto kAddCollection = "insert into tblSyncCollections (url) values (?)";
constexpr auto kSetToken = "update tblSyncCollections set synctoken=? where id=?";
constexpr auto kSelectLinks = "select href, uid, etag, eventid, digest, component from tblSyncLinks where collection=?";
constexpr auto kSaveLink =
    "insert or replace into tblSyncLinks (collection, href, uid, etag, eventid, digest, component)"
    " values (?,?,?,?,?,?,?)";
constexpr auto kRemoveLink = "delete from tblSyncLinks where collection=? and href=?";
constexpr auto kSelectAll = "select * from tblEvents order by id";
constexpr auto kInsert = "insert into tblEvents (title,description,timetype,consistancy,eventmonth,eventday,"
                         "eventyear,eventweekdate,eventweekday,warnevent,daysbefore) values (?,?,?,?,?,?,?,?,?,?,?)";
constexpr auto kUpdate = "update tblEvents set title=?,description=?,timetype=?,consistancy=?,eventmonth=?,"
                         "eventday=?,eventyear=?,eventweekdate=?,eventweekday=?,warnevent=?,daysbefore=? where id=?";
constexpr auto kDelete = "delete from tblEvents where id=?";

class Statement
{
public:
    Statement(sqlite3* db, const char* sql) : m_db(db)
    {
        if (sqlite3_prepare_v2(m_db, sql, -1, &m_row, nullptr) != SQLITE_OK)
            fail();
    }
    ~Statement() { sqlite3_finalize(m_row); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, qint64 value)
    {
        check(sqlite3_bind_int64(m_row, index, value));
        return *this;
    }
    Statement& bind(int index, const std::optional<qint64>& value)
    {
        check(value ? sqlite3_bind_int64(m_row, index, *value) : sqlite3_bind_null(m_row, index));
        return *this;
    }
    Statement& bind(int index, const QString& text) { return bindText(index, text.toUtf8()); }
    Statement& bindText(int index, const QByteArray& utf8)
    {
        check(sqlite3_bind_text64(m_row, index, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT,
                                  SQLITE_UTF8));
        return *this;
    }
    Statement& bindBlob(int index, const QByteArray& bytes)
    {
        check(sqlite3_bind_blob64(m_row, index, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT));
        return *this;
    }

    bool next()
    {
        const int rc = sqlite3_step(m_row);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail();
        return false;
    }
    void run()
    {
        while (next()) {
        }
    }

    [[nodiscard]] qint64 integer(int i) const { return sqlite3_column_int64(m_row, i); }
    [[nodiscard]] bool isNull(int i) const { return sqlite3_column_type(m_row, i) == SQLITE_NULL; }
    [[nodiscard]] QByteArray bytes(int i) const
    {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(m_row, i));
        return data ? QByteArray(data, sqlite3_column_bytes(m_row, i)) : QByteArray();
    }
    [[nodiscard]] QString text(int i) const { return QString::fromUtf8(bytes(i)); }
    // As the store reads a row: anything but a whole number in range is "no value".
    [[nodiscard]] std::optional<int> number(int i) const
    {
        const sqlite3_int64 value = sqlite3_column_int64(m_row, i);
        if (sqlite3_column_type(m_row, i) == SQLITE_INTEGER && value >= std::numeric_limits<int>::min() &&
            value <= std::numeric_limits<int>::max())
            return int(value);
        return std::nullopt;
    }

private:
    [[noreturn]] void fail() const { throw StoreError(sqlite3_errmsg(m_db), sqlite3_errcode(m_db) & 0xff); }
    void check(int rc) const
    {
        if (rc != SQLITE_OK)
            fail();
    }

    sqlite3* m_db;
    sqlite3_stmt* m_row = nullptr;
};

void bindFields(Statement& s, const EventFields& f)
{
    s.bind(1, f.title).bind(2, f.description);
    const int numbers[] = {f.timetype,      f.consistancy,  f.eventmonth, f.eventday,  f.eventyear,
                           f.eventweekdate, f.eventweekday, f.warnevent,  f.daysbefore};
    int index = 3;
    for (int n : numbers)
        s.bind(index++, qint64(n));
}

} // namespace

LinkState::LinkState(const QString& fileName, const QString& collectionUrl) : m_url(collectionUrl)
{
    if (!QFileInfo(fileName).isFile())
        throw StoreError(QStringLiteral("%1 is no event database file").arg(fileName).toStdString());
    const int rc =
        sqlite3_open_v2(fileName.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (rc != SQLITE_OK) {
        const std::string why = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        throw StoreError(why, rc & 0xff);
    }
    // The shared file may come from anywhere: as the store, trust none of its schema.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_busy_timeout(m_db, 5000);
    try {
        run("pragma journal_mode=truncate");
        Statement(m_db, kProbe).run();
        begin();
        run(kSchema);
        Statement find(m_db, kFindCollection);
        find.bind(1, m_url);
        if (find.next()) {
            m_collection = find.integer(0);
        } else {
            Statement(m_db, kAddCollection).bind(1, m_url).run();
            m_collection = sqlite3_last_insert_rowid(m_db);
        }
        commit();
    } catch (...) {
        if (m_inTransaction)
            sqlite3_exec(m_db, "rollback", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
        throw;
    }
}

LinkState::~LinkState()
{
    if (m_inTransaction)
        sqlite3_exec(m_db, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(m_db);
}

void LinkState::run(const char* sql) const
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string why = message ? message : sqlite3_errmsg(m_db);
        sqlite3_free(message);
        throw StoreError(why, sqlite3_errcode(m_db) & 0xff);
    }
}

void LinkState::begin()
{
    run("begin immediate");
    m_inTransaction = true;
}

void LinkState::commit()
{
    run("commit");
    m_inTransaction = false;
}

QList<EventRecord> LinkState::events() const
{
    QList<EventRecord> rows;
    Statement s(m_db, kSelectAll);
    while (s.next()) {
        EventRecord r;
        r.id = s.integer(0);
        r.title = s.text(1);
        r.description = s.text(2);
        std::optional<int>* numbers[] = {&r.timetype,      &r.consistancy,  &r.eventmonth, &r.eventday,  &r.eventyear,
                                         &r.eventweekdate, &r.eventweekday, &r.warnevent,  &r.daysbefore};
        for (int i = 0; i < 9; ++i)
            *numbers[i] = s.number(3 + i);
        rows.append(r);
    }
    return rows;
}

QHash<QString, SyncLink> LinkState::links() const
{
    QHash<QString, SyncLink> links;
    Statement s(m_db, kSelectLinks);
    s.bind(1, m_collection);
    while (s.next()) {
        SyncLink link{s.text(0), s.bytes(1), s.bytes(2), std::nullopt, s.bytes(4), s.bytes(5)};
        if (!s.isNull(3))
            link.eventId = s.integer(3);
        links.insert(link.href, link);
    }
    return links;
}

QString LinkState::syncToken() const
{
    Statement s(m_db, kFindCollection);
    s.bind(1, m_url);
    return s.next() ? s.text(1) : QString();
}

qint64 LinkState::insertEvent(const EventFields& fields)
{
    Statement s(m_db, kInsert);
    bindFields(s, fields);
    s.run();
    return sqlite3_last_insert_rowid(m_db);
}

void LinkState::updateEvent(qint64 id, const EventFields& fields)
{
    Statement s(m_db, kUpdate);
    bindFields(s, fields);
    s.bind(12, id).run();
}

void LinkState::removeEvent(qint64 id)
{
    Statement(m_db, kDelete).bind(1, id).run();
}

void LinkState::saveLink(const SyncLink& link)
{
    Statement(m_db, kSaveLink)
        .bind(1, m_collection)
        .bind(2, link.href)
        .bindText(3, link.uid)
        .bindText(4, link.etag)
        .bind(5, link.eventId)
        .bindBlob(6, link.digest)
        .bindBlob(7, link.component)
        .run();
}

void LinkState::removeLink(const QString& href)
{
    Statement(m_db, kRemoveLink).bind(1, m_collection).bind(2, href).run();
}

void LinkState::setSyncToken(const QString& token)
{
    Statement(m_db, kSetToken).bind(1, token).bind(2, m_collection).run();
}
