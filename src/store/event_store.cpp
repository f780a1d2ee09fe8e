#include "event_store.h"

#include <QCollator>
#include <QDir>
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
constexpr auto kSelectByTitle = "select * from tblEvents order by title collate quillmoor_title, id";
constexpr auto kInsert = "insert into tblEvents (title,description,timetype,consistancy,eventmonth,eventday,"
                         "eventyear,eventweekdate,eventweekday,warnevent,daysbefore) values (?,?,?,?,?,?,?,?,?,?,?)";
constexpr auto kUpdate = "update tblEvents set title=?,description=?,timetype=?,consistancy=?,eventmonth=?,"
                         "eventday=?,eventyear=?,eventweekdate=?,eventweekday=?,warnevent=?,daysbefore=? where id=?";
constexpr auto kDelete = "delete from tblEvents where id=?";

constexpr int kColumnCount = 12;
// Two copies of the program writing the same file wait for each other this long.
constexpr int kBusyTimeoutMs = 5000;

[[noreturn]] void fail(const std::exception& e)
{
    throw StoreError(e.what());
}

// Reads walk their rows with SQLite's own calls: on 100,000 rows the wrapper's
// per-column objects (each copies a shared pointer) cost as much as SQLite itself.
class Rows
{
public:
    Rows(SQLite::Database& db, const char* sql) : m_db(db.getHandle())
    {
        if (sqlite3_prepare_v2(m_db, sql, -1, &m_row, nullptr) != SQLITE_OK)
            throw StoreError(sqlite3_errmsg(m_db));
    }
    ~Rows() { sqlite3_finalize(m_row); }
    Rows(const Rows&) = delete;
    Rows& operator=(const Rows&) = delete;

    void bind(int index, qint64 value)
    {
        if (sqlite3_bind_int64(m_row, index, value) != SQLITE_OK)
            throw StoreError(sqlite3_errmsg(m_db));
    }

    /// Steps to the next row; false after the last one.
    bool next()
    {
        const int rc = sqlite3_step(m_row);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw StoreError(sqlite3_errmsg(m_db));
    }

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

private:
    [[nodiscard]] QString textAt(int index) const
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_row, index));
        return text ? QString::fromUtf8(text, sqlite3_column_bytes(m_row, index)) : QString();
    }

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

void bindFields(SQLite::Statement& statement, const EventFields& f)
{
    // Bound as text (the pointer-and-size overload would store blobs, which sort
    // bytewise and ignore the title collation).
    statement.bind(1, f.title.toStdString());
    statement.bind(2, f.description.toStdString());
    const int numbers[] = {f.timetype,      f.consistancy,  f.eventmonth, f.eventday,  f.eventyear,
                           f.eventweekdate, f.eventweekday, f.warnevent,  f.daysbefore};
    int index = 3;
    for (int n : numbers)
        statement.bind(index++, n);
}

void readRows(Rows& rows, const std::function<void(const EventRecord&)>& visit)
{
    while (rows.next())
        visit(rows.record());
}

// Title order: case-insensitive and as the user's language sorts.
int compareTitles(void* collator, int lengthA, const void* a, int lengthB, const void* b)
{
    const QString left = QString::fromUtf8(static_cast<const char*>(a), lengthA);
    const QString right = QString::fromUtf8(static_cast<const char*>(b), lengthB);
    return static_cast<QCollator*>(collator)->compare(left, right);
}

void harden(SQLite::Database& db)
{
    sqlite3* handle = db.getHandle();
    // The file is shared by every user of the machine, so its contents are untrusted.
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    db.exec("PRAGMA trusted_schema=OFF");
    db.setBusyTimeout(kBusyTimeoutMs);

    auto* collator = new QCollator;
    collator->setCaseSensitivity(Qt::CaseInsensitive);
    const int rc = sqlite3_create_collation_v2(handle, "quillmoor_title", SQLITE_UTF8, collator, compareTitles,
                                               [](void* p) { delete static_cast<QCollator*>(p); });
    if (rc != SQLITE_OK) {
        delete collator;
        throw StoreError(sqlite3_errmsg(handle));
    }
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
    try {
        // Never create here: a missing live file is the preparation's business. One
        // thread uses the connection, so SQLite's per-call locking is only overhead.
        auto db =
            std::make_unique<SQLite::Database>(fileName.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_NOMUTEX);
        harden(*db);
        SQLite::Statement probe(*db, "select * from tblEvents limit 0");
        if (probe.getColumnCount() != kColumnCount)
            throw StoreError(QStringLiteral("The table tblEvents in %1 has %2 columns instead of %3.")
                                 .arg(fileName)
                                 .arg(probe.getColumnCount())
                                 .arg(kColumnCount)
                                 .toStdString());
        m_db = std::move(db);
    } catch (const StoreError&) {
        throw;
    } catch (const std::exception& e) {
        throw StoreError(QStringLiteral("Cannot open the event database %1: %2")
                             .arg(fileName, QString::fromUtf8(e.what()))
                             .toStdString());
    }
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
    Rows rows(db(), kSelectAll);
    readRows(rows, visit);
}

void EventStore::forEachEventWhere(const std::function<bool(const EventRecord&)>& wanted,
                                   const std::function<void(const EventRecord&)>& visit) const
{
    Rows rows(db(), kSelectAll);
    while (rows.next()) {
        EventRecord r = rows.numbers();
        if (!wanted(r))
            continue;
        rows.readTexts(r);
        visit(r);
    }
}

void EventStore::forEachEventByTitle(const std::function<void(const EventRecord&)>& visit) const
{
    Rows rows(db(), kSelectByTitle);
    readRows(rows, visit);
}

std::optional<EventRecord> EventStore::eventById(qint64 id) const
{
    Rows rows(db(), kSelectOne);
    rows.bind(1, id);
    if (!rows.next())
        return std::nullopt;
    return rows.record();
}

qint64 EventStore::insert(const EventFields& fields)
{
    try {
        SQLite::Statement statement(db(), kInsert);
        bindFields(statement, fields);
        statement.exec();
        return db().getLastInsertRowid();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

bool EventStore::update(qint64 id, const EventFields& fields)
{
    try {
        SQLite::Statement statement(db(), kUpdate);
        bindFields(statement, fields);
        statement.bind(12, static_cast<int64_t>(id));
        return statement.exec() > 0;
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void EventStore::remove(qint64 id)
{
    try {
        SQLite::Statement statement(db(), kDelete);
        statement.bind(1, static_cast<int64_t>(id));
        statement.exec();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
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

namespace {

const QString kLiveFileName = QStringLiteral("dbData.mdb");

// Creates root/Quendrix/Quillmoor. Every user of the machine shares the folder, and
// SQLite writes its journal beside the file, so the folder must be writable by all.
bool makeSharedFolder(const QString& root, QString& folder)
{
    QDir dir(root);
    const QString company = QStringLiteral("Quendrix");
    const QString product = QStringLiteral("Quillmoor");
    for (const QString& part : {company, product}) {
        if (!dir.exists(part)) {
            if (!dir.mkdir(part))
                return false;
            QFile::setPermissions(dir.filePath(part),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                      QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                      QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
        }
        if (!dir.cd(part))
            return false;
    }
    folder = dir.absolutePath();
    return true;
}

bool usable(const QString& folder)
{
    const QFileInfo live(QDir(folder).filePath(kLiveFileName));
    if (live.exists())
        return true; // even a folder in its place: opening it reports that
    return QFileInfo(folder).isWritable();
}

} // namespace

DataFolder PrepareDataFolder(const QString& machineRoot, const QString& userRoot, const QString& templateFile)
{
    DataFolder data;
    if (!makeSharedFolder(machineRoot, data.folder) || !usable(data.folder)) {
        QDir().mkpath(userRoot);
        if (!makeSharedFolder(userRoot, data.folder) || !usable(data.folder))
            throw StoreError(
                QStringLiteral("Cannot create a data folder in %1 or in %2.").arg(machineRoot, userRoot).toStdString());
    }
    data.liveFile = QDir(data.folder).filePath(kLiveFileName);
    if (QFileInfo::exists(data.liveFile))
        return data;

    if (QFileInfo::exists(templateFile)) {
        if (!QFile::copy(templateFile, data.liveFile))
            throw StoreError(QStringLiteral("Cannot copy %1 to %2.").arg(templateFile, data.liveFile).toStdString());
    } else {
        CreateEventDatabase(data.liveFile);
    }
    QFile::setPermissions(data.liveFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                             QFileDevice::WriteGroup | QFileDevice::ReadOther |
                                             QFileDevice::WriteOther);
    return data;
}
