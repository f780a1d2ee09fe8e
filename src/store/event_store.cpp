#include "event_store.h"

#include "event_table.h"

#include <QFile>
#include <QFileInfo>

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

#include <limits>

namespace {

constexpr auto kSchema = R"(
create table tblEvents (
    id integer primary key autoincrement,
    title text,
    description text,
    timetype integer,
    consistancy integer,
    eventmonth integer,
    eventday integer,
    eventyear integer,
    eventweekdate integer,
    eventweekday integer,
    warnevent integer,
    daysbefore integer
))";

constexpr auto kSelectAll = "select * from tblEvents order by id";
constexpr auto kSelectOne = "select * from tblEvents where id=?";
constexpr auto kInsert = "insert into tblEvents (title,description,timetype,consistancy,eventmonth,eventday,"
                         "eventyear,eventweekdate,eventweekday,warnevent,daysbefore) values (?,?,?,?,?,?,?,?,?,?,?)";
constexpr auto kUpdate = "update tblEvents set title=?,description=?,timetype=?,consistancy=?,eventmonth=?,"
                         "eventday=?,eventyear=?,eventweekdate=?,eventweekday=?,warnevent=?,daysbefore=? where id=?";
constexpr auto kDelete = "delete from tblEvents where id=?";
constexpr auto kProbe = "select * from tblEvents limit 0";

constexpr int kColumnCount = 12;
// Two copies of the program writing the same file wait for each other this long.
constexpr int kBusyTimeoutMs = 5000;

// Every statement runs through SQLite's own calls: on 100,000 rows the wrapper's
// per-column objects (each copies a shared pointer) cost as much as SQLite itself.
// SQLiteCpp keeps the connection.
class Statement
{
public:
    Statement(SQLite::Database& db, const char* sql) : m_db(db.getHandle())
    {
        if (sqlite3_prepare_v2(m_db, sql, -1, &m_row, nullptr) != SQLITE_OK)
            fail();
    }
    ~Statement() { sqlite3_finalize(m_row); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int index, qint64 value) { check(sqlite3_bind_int64(m_row, index, value)); }
    // Bound as text: a blob would sort bytewise and ignore the title collation.
    void bind(int index, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        check(sqlite3_bind_text64(m_row, index, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT,
                                  SQLITE_UTF8));
    }

    /// Steps to the next row; false after the last one.
    bool next()
    {
        const int rc = sqlite3_step(m_row);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail();
        return false;
    }
    /// Runs a statement that returns no rows; the number of rows it changed.
    int run()
    {
        while (next()) {
        }
        return sqlite3_changes(m_db);
    }

    [[nodiscard]] int columnCount() const { return sqlite3_column_count(m_row); }

    [[nodiscard]] EventRecord record() const
    {
        EventRecord r = numbers();
        readTexts(r);
        return r;
    }

    /// The id and the nine numbers of the row; title and description stay empty.
    [[nodiscard]] EventRecord numbers() const
    {
        EventRecord r;
        r.id = sqlite3_column_int64(m_row, 0);
        r.timetype = numberAt(3);
        r.consistancy = numberAt(4);
        r.eventmonth = numberAt(5);
        r.eventday = numberAt(6);
        r.eventyear = numberAt(7);
        r.eventweekdate = numberAt(8);
        r.eventweekday = numberAt(9);
        r.warnevent = numberAt(10);
        r.daysbefore = numberAt(11);
        return r;
    }

    void readTexts(EventRecord& r) const
    {
        r.title = textAt(1);
        r.description = textAt(2);
    }

    /// Appends the row to `table`, its texts as the UTF-8 that SQLite holds.
    void appendTo(EventTable& table) const { table.append(numbers(), utf8At(1), utf8At(2)); }

private:
    [[noreturn]] void fail() const { throw StoreError(sqlite3_errmsg(m_db)); }
    void check(int rc) const
    {
        if (rc != SQLITE_OK)
            fail();
    }

    [[nodiscard]] QByteArrayView utf8At(int index) const
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_row, index));
        return text ? QByteArrayView(text, sqlite3_column_bytes(m_row, index)) : QByteArrayView();
    }
    [[nodiscard]] QString textAt(int index) const { return QString::fromUtf8(utf8At(index)); }

    // The shared file may have been written by any tool: anything but a whole number
    // in range reads as "no value", which the occurrence rule treats as "never".
    [[nodiscard]] std::optional<int> numberAt(int index) const
    {
        if (sqlite3_column_type(m_row, index) != SQLITE_INTEGER)
            return std::nullopt;
        const sqlite3_int64 value = sqlite3_column_int64(m_row, index);
        if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
            return std::nullopt;
        return int(value);
    }

    sqlite3* m_db;
    sqlite3_stmt* m_row = nullptr;
};

void bindFields(Statement& statement, const EventFields& f)
{
    statement.bind(1, f.title);
    statement.bind(2, f.description);
    const int numbers[] = {f.timetype,      f.consistancy,  f.eventmonth, f.eventday,  f.eventyear,
                           f.eventweekdate, f.eventweekday, f.warnevent,  f.daysbefore};
    int index = 3;
    for (int n : numbers)
        statement.bind(index++, qint64(n));
}

void readRows(Statement& rows, const std::function<void(const EventRecord&)>& visit)
{
    while (rows.next())
        visit(rows.record());
}

void harden(SQLite::Database& db)
{
    sqlite3* handle = db.getHandle();
    // The file is shared by every user of the machine, so its contents are untrusted.
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    db.exec("PRAGMA trusted_schema=OFF");
    db.setBusyTimeout(kBusyTimeoutMs);
}

} // namespace

EventStore::EventStore() = default;
EventStore::~EventStore() = default;

void EventStore::open(const QString& fileName)
{
    close();
    // SQLite would take an empty name for a private temporary database.
    if (fileName.isEmpty())
        throw StoreError("There is no event database: its data folder could not be prepared.");
    std::unique_ptr<SQLite::Database> db;
    int columns = 0;
    try {
        // Never create here: a missing live file is the preparation's business. One
        // thread uses the connection, so SQLite's per-call locking is only overhead.
        db = std::make_unique<SQLite::Database>(fileName.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_NOMUTEX);
        harden(*db);
        columns = Statement(*db, kProbe).columnCount();
    } catch (const std::exception& e) {
        throw StoreError(QStringLiteral("Cannot open the event database %1: %2")
                             .arg(fileName, QString::fromUtf8(e.what()))
                             .toStdString());
    }
    if (columns != kColumnCount)
        throw StoreError(QStringLiteral("The table tblEvents in %1 has %2 columns instead of %3.")
                             .arg(fileName)
                             .arg(columns)
                             .arg(kColumnCount)
                             .toStdString());
    m_db = std::move(db);
}

void EventStore::close()
{
    m_db.reset();
}

bool EventStore::isOpen() const
{
    return m_db != nullptr;
}

SQLite::Database& EventStore::db() const
{
    if (!m_db)
        throw StoreError("The event database is not open.");
    return *m_db;
}

void EventStore::forEachEvent(const std::function<void(const EventRecord&)>& visit) const
{
    Statement rows(db(), kSelectAll);
    readRows(rows, visit);
}

void EventStore::forEachEventWhere(const std::function<bool(const EventRecord&)>& wanted,
                                   const std::function<void(const EventRecord&)>& visit) const
{
    Statement rows(db(), kSelectAll);
    while (rows.next()) {
        EventRecord r = rows.numbers();
        if (!wanted(r))
            continue;
        rows.readTexts(r);
        visit(r);
    }
}

void EventStore::readEventsByTitle(EventTable& table) const
{
    table.clear();
    // Sorted here rather than by SQLite: on 100,000 rows its sorter alone takes three
    // times as long as the read, and with QCollator called for each of its 1.6 million
    // comparisons eight times. What a failing read got is still put in order.
    try {
        Statement rows(db(), kSelectAll);
        while (rows.next())
            rows.appendTo(table);
    } catch (...) {
        table.sortByTitle();
        throw;
    }
    table.sortByTitle();
}

std::optional<EventRecord> EventStore::eventById(qint64 id) const
{
    Statement rows(db(), kSelectOne);
    rows.bind(1, id);
    if (!rows.next())
        return std::nullopt;
    return rows.record();
}

qint64 EventStore::insert(const EventFields& fields)
{
    Statement statement(db(), kInsert);
    bindFields(statement, fields);
    statement.run();
    return sqlite3_last_insert_rowid(db().getHandle());
}

bool EventStore::update(qint64 id, const EventFields& fields)
{
    Statement statement(db(), kUpdate);
    bindFields(statement, fields);
    statement.bind(12, id);
    return statement.run() > 0;
}

void EventStore::remove(qint64 id)
{
    Statement statement(db(), kDelete);
    statement.bind(1, id);
    statement.run();
}

void CreateEventDatabase(const QString& fileName)
{
    if (QFileInfo::exists(fileName))
        throw StoreError(QStringLiteral("%1 already exists.").arg(fileName).toStdString());
    try {
        SQLite::Database db(fileName.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec(kSchema);
    } catch (const std::exception& e) {
        QFile::remove(fileName);
        throw StoreError(
            QStringLiteral("Cannot create %1: %2").arg(fileName, QString::fromUtf8(e.what())).toStdString());
    }
}
