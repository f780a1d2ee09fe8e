#include "event_store.h"

#include "event_table.h"
#include "safe_open.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

#include <array>
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
// Immediate: the write lock is taken (or waited for) before anything is read.
constexpr auto kBegin = "begin immediate";
constexpr auto kCommit = "commit";
constexpr auto kRollback = "rollback";

constexpr int kColumnCount = 12;

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
    // Bound as text: a blob would sort and compare bytewise in any tool reading the file.
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
    /// Makes a statement that has run ready to be bound and run again.
    void reset() { sqlite3_reset(m_row); }

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
        r.timetype = numberAt(3, r);
        r.consistancy = numberAt(4, r);
        r.eventmonth = numberAt(5, r);
        r.eventday = numberAt(6, r);
        r.eventyear = numberAt(7, r);
        r.eventweekdate = numberAt(8, r);
        r.eventweekday = numberAt(9, r);
        r.warnevent = numberAt(10, r);
        r.daysbefore = numberAt(11, r);
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
    [[noreturn]] void fail() const { throw StoreError(sqlite3_errmsg(m_db), sqlite3_errcode(m_db) & 0xff); }
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
    [[nodiscard]] std::optional<int> numberAt(int index, EventRecord& r) const
    {
        const int type = sqlite3_column_type(m_row, index);
        const sqlite3_int64 value = sqlite3_column_int64(m_row, index);
        if (type == SQLITE_INTEGER && value >= std::numeric_limits<int>::min() &&
            value <= std::numeric_limits<int>::max())
            return int(value);
        if (type != SQLITE_NULL)
            r.unusableColumns |= quint16(1u << index);
        return std::nullopt;
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

// The eleven values of a stored event, for finding one that is already there.
struct StoredValues
{
    QString title;
    QString description;
    std::array<int, 9> numbers{};

    friend bool operator==(const StoredValues&, const StoredValues&) = default;
    friend size_t qHash(const StoredValues& v, size_t seed = 0)
    {
        return qHashMulti(seed, v.title, v.description, qHashRange(v.numbers.begin(), v.numbers.end()));
    }
};

StoredValues valuesOf(const EventFields& f)
{
    return {f.title,
            f.description,
            {f.timetype, f.consistancy, f.eventmonth, f.eventday, f.eventyear, f.eventweekdate, f.eventweekday,
             f.warnevent, f.daysbefore}};
}

// Nothing for a row with a missing or odd number: no event the program writes equals it.
std::optional<StoredValues> valuesOf(const EventRecord& r)
{
    const std::optional<int> numbers[] = {r.timetype,      r.consistancy,  r.eventmonth, r.eventday,  r.eventyear,
                                          r.eventweekdate, r.eventweekday, r.warnevent,  r.daysbefore};
    StoredValues values{r.title, r.description, {}};
    for (std::size_t i = 0; i < values.numbers.size(); ++i) {
        if (!numbers[i])
            return std::nullopt;
        values.numbers[i] = *numbers[i];
    }
    return values;
}

void readRows(Statement& rows, const std::function<void(const EventRecord&)>& visit)
{
    while (rows.next())
        visit(rows.record());
}

// The shared folder is sticky, so no user may delete the journal another user's run left
// there: the journal is truncated instead, never deleted. That must already hold for the
// rollback of a crashed writer's journal, which the first read of the file does, and the
// journal mode can only be set by a statement that reads. In exclusive locking mode that
// rollback keeps the journal as well.
void keepJournal(SQLite::Database& db)
{
    db.exec("PRAGMA locking_mode=EXCLUSIVE");
    db.exec("PRAGMA journal_mode=TRUNCATE");
    db.exec("PRAGMA locking_mode=NORMAL");
    db.exec("SELECT count(*) FROM sqlite_schema"); // a read releases the lock the first one kept
}

void harden(SQLite::Database& db, int busyTimeoutMs)
{
    sqlite3* handle = db.getHandle();
    // The file is shared by every user of the machine, so its contents are untrusted.
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    db.exec("PRAGMA trusted_schema=OFF");
    // Two copies of the program writing the same file wait for each other this long.
    db.setBusyTimeout(busyTimeoutMs);
    keepJournal(db);
}

bool busy(const StoreError& e)
{
    return e.code() == SQLITE_BUSY || e.code() == SQLITE_LOCKED;
}

// `fileName` with its folder resolved: only the file itself must not be a symbolic link,
// which another user could put in its place in the shared folder.
std::string unlinkedName(const QString& fileName)
{
    const QFileInfo file(fileName);
    const QString folder = file.absoluteDir().canonicalPath();
    return (folder.isEmpty() ? fileName : folder + u'/' + file.fileName()).toStdString();
}

} // namespace

EventStore::EventStore() = default;
EventStore::~EventStore() = default;

void EventStore::open(const QString& fileName)
{
    close();
    try {
        m_db = connect(fileName);
    } catch (const StoreError& e) {
        if (busy(e))
            m_busyFile = fileName;
        throw;
    }
}

std::unique_ptr<SQLite::Database> EventStore::connect(const QString& fileName) const
{
    // SQLite would take an empty name for a private temporary database.
    if (fileName.isEmpty())
        throw StoreError("There is no event database: its data folder could not be prepared.");
    InstallSafeOpen();
    CheckJournal(fileName);
    std::unique_ptr<SQLite::Database> db;
    int columns = 0;
    try {
        // Never create here: a missing live file is the preparation's business. One
        // thread uses the connection, so SQLite's per-call locking is only overhead.
        db = std::make_unique<SQLite::Database>(unlinkedName(fileName),
                                                SQLite::OPEN_READWRITE | SQLite::OPEN_NOMUTEX | SQLite::OPEN_NOFOLLOW);
        harden(*db, m_busyTimeoutMs);
        columns = Statement(*db, kProbe).columnCount();
    } catch (const std::exception& e) {
        const auto* store = dynamic_cast<const StoreError*>(&e);
        const auto* sqlite = dynamic_cast<const SQLite::Exception*>(&e);
        if (sqlite && sqlite->getExtendedErrorCode() == SQLITE_CANTOPEN_SYMLINK)
            throw StoreError(QStringLiteral("The event database %1 is a symbolic link. It is not opened, so that no "
                                            "other file is written through it; put the database file itself there.")
                                 .arg(fileName)
                                 .toStdString());
        throw StoreError(QStringLiteral("Cannot open the event database %1: %2")
                             .arg(fileName, QString::fromUtf8(e.what()))
                             .toStdString(),
                         store    ? store->code()
                         : sqlite ? sqlite->getErrorCode() & 0xff
                                  : 0);
    }
    if (columns != kColumnCount)
        throw StoreError(QStringLiteral("The table tblEvents in %1 has %2 columns instead of %3.")
                             .arg(fileName)
                             .arg(columns)
                             .arg(kColumnCount)
                             .toStdString());
    return db;
}

void EventStore::close()
{
    m_db.reset();
    m_busyFile.clear();
}

bool EventStore::isOpen() const
{
    return m_db != nullptr;
}

SQLite::Database& EventStore::db() const
{
    if (!m_db && !m_busyFile.isEmpty()) {
        // Busy at start-up is no reason to stay closed; anything else is.
        try {
            m_db = connect(m_busyFile);
            m_busyFile.clear();
        } catch (const StoreError& e) {
            if (!busy(e))
                m_busyFile.clear();
            throw;
        }
    }
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

qsizetype EventStore::insertNew(const QList<EventFields>& events)
{
    SQLite::Database& database = db();
    Statement(database, kBegin).run();
    try {
        QSet<StoredValues> present;
        {
            Statement rows(database, kSelectAll);
            while (rows.next()) {
                if (const std::optional<StoredValues> values = valuesOf(rows.record()))
                    present.insert(*values);
            }
        }
        qsizetype stored = 0;
        {
            Statement statement(database, kInsert);
            for (const EventFields& fields : events) {
                const qsizetype before = present.size();
                present.insert(valuesOf(fields));
                if (present.size() == before)
                    continue;
                bindFields(statement, fields);
                statement.run();
                statement.reset();
                ++stored;
            }
        }
        Statement(database, kCommit).run();
        return stored;
    } catch (...) {
        // SQLite ends the transaction by itself after some failures (a full disk, for one);
        // the first failure is the one to report.
        try {
            if (!sqlite3_get_autocommit(database.getHandle()))
                Statement(database, kRollback).run();
        } catch (const StoreError&) {
        }
        throw;
    }
}

void CreateEventDatabase(const QString& fileName)
{
    if (QFileInfo::exists(fileName))
        throw StoreError(QStringLiteral("%1 already exists.").arg(fileName).toStdString());
    InstallSafeOpen();
    try {
        SQLite::Database db(fileName.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec(kSchema);
    } catch (const std::exception& e) {
        QFile::remove(fileName);
        throw StoreError(
            QStringLiteral("Cannot create %1: %2").arg(fileName, QString::fromUtf8(e.what())).toStdString());
    }
}

QByteArray EmptyEventDatabase()
{
    try {
        SQLite::Database db(":memory:", SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec(kSchema);
        sqlite3_int64 size = 0;
        unsigned char* image = sqlite3_serialize(db.getHandle(), "main", &size, 0);
        if (!image)
            throw StoreError("out of memory");
        const QByteArray bytes(reinterpret_cast<const char*>(image), qsizetype(size));
        sqlite3_free(image);
        return bytes;
    } catch (const std::exception& e) {
        throw StoreError(
            QStringLiteral("Cannot make an empty event database: %1").arg(QString::fromUtf8(e.what())).toStdString());
    }
}
