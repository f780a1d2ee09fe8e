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

QString textAt(const SQLite::Statement& row, int index)
{
    const SQLite::Column column = row.getColumn(index);
    if (column.isNull())
        return {};
    const char* text = column.getText();
    return QString::fromUtf8(text, column.getBytes());
}

// The shared file may have been written by any tool: anything but a whole number
// in range reads as "no value", which the occurrence rule treats as "never".
std::optional<int> numberAt(const SQLite::Statement& row, int index)
{
    const SQLite::Column column = row.getColumn(index);
    if (column.getType() != SQLITE_INTEGER)
        return std::nullopt;
    const int64_t value = column.getInt64();
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(value);
}

EventRecord recordAt(const SQLite::Statement& row)
{
    EventRecord r;
    r.id = row.getColumn(0).getInt64();
    r.title = textAt(row, 1);
    r.description = textAt(row, 2);
    r.timetype = numberAt(row, 3);
    r.consistancy = numberAt(row, 4);
    r.eventmonth = numberAt(row, 5);
    r.eventday = numberAt(row, 6);
    r.eventyear = numberAt(row, 7);
    r.eventweekdate = numberAt(row, 8);
    r.eventweekday = numberAt(row, 9);
    r.warnevent = numberAt(row, 10);
    r.daysbefore = numberAt(row, 11);
    return r;
}

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

void readRows(SQLite::Statement& statement, const std::function<void(const EventRecord&)>& visit)
{
    while (statement.executeStep())
        visit(recordAt(statement));
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
    try {
        // Never create here: a missing live file is the preparation's business.
        auto db = std::make_unique<SQLite::Database>(fileName.toStdString(), SQLite::OPEN_READWRITE);
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
    try {
        SQLite::Statement statement(db(), kSelectAll);
        readRows(statement, visit);
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void EventStore::forEachEventByTitle(const std::function<void(const EventRecord&)>& visit) const
{
    try {
        SQLite::Statement statement(db(), kSelectByTitle);
        readRows(statement, visit);
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

std::optional<EventRecord> EventStore::eventById(qint64 id) const
{
    try {
        SQLite::Statement statement(db(), kSelectOne);
        statement.bind(1, static_cast<int64_t>(id));
        if (!statement.executeStep())
            return std::nullopt;
        return recordAt(statement);
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
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
