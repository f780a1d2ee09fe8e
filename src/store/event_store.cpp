#include "event_store.h"

#include "event_details_table.h"
#include "event_rows.h"
#include "event_table.h"
#include "safe_open.h"

#include "core/console.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>
#include <sys/stat.h>

namespace {

constexpr auto kProbe = "select * from tblEvents limit 0";

// The shared folder is sticky, so no user may delete the journal another user's run left
// there: the journal is truncated instead, never deleted. That must already hold for the
// rollback of a crashed writer's journal, which the first read of the file does, and the
// journal mode can only be set by a statement that reads. In exclusive locking mode that
// rollback keeps the journal as well.
void keepJournal(const sqlite::Connection& db)
{
    db.exec("PRAGMA locking_mode=EXCLUSIVE");
    db.exec("PRAGMA journal_mode=TRUNCATE");
    db.exec("PRAGMA locking_mode=NORMAL");
    db.exec("SELECT count(*) FROM sqlite_schema"); // a read releases the lock the first one kept
}

void harden(const sqlite::Connection& db, int busyTimeoutMs)
{
    sqlite3* handle = db.handle();
    // The file is shared by every user of the machine, so its contents are untrusted.
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    // Any user could plant a view or a trigger that hangs or deletes inside everyone's session.
    sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    db.exec("PRAGMA trusted_schema=OFF");
    // Two copies of the program writing the same file wait for each other this long.
    db.setBusyTimeout(busyTimeoutMs);
    keepJournal(db);
}

// What the program never makes: views, triggers and indexes of its own (SQLite's own
// indexes of primary keys have no text). Any of them runs its code in every user's session.
constexpr auto kForeignSchema = "select type, name from sqlite_schema where type in ('view', 'trigger') or "
                                "(type = 'index' and sql is not null) or (name = 'tblEvents' collate nocase "
                                "and type <> 'table') order by type, name";

struct SchemaItem
{
    QString type;
    QString name;
};

QList<SchemaItem> foreignSchema(const sqlite::Connection& db)
{
    QList<SchemaItem> found;
    sqlite::Statement item(db, kForeignSchema);
    while (item.next())
        found.append({item.textAt(0), item.textAt(1)});
    return found;
}

// Where the file is the shared one, only the administrator can mend it for everyone.
QString mendAdvice(const QString& fileName)
{
    struct stat folder = {};
    struct stat file = {};
    const bool shared = ::stat(QFile::encodeName(QFileInfo(fileName).absolutePath()).constData(), &folder) == 0 &&
                        ::stat(QFile::encodeName(fileName).constData(), &file) == 0 && (folder.st_mode & S_ISVTX) &&
                        (file.st_mode & (S_IWGRP | S_IWOTH));
    return shared ? QStringLiteral("ask the administrator to run \"%1\"").arg(QLatin1String(kMendCommand))
                  : QStringLiteral("run \"quillmoor-agenda --mend --db %1\"").arg(fileName);
}

QStringList columnsOf(const sqlite::Connection& db, const QString& table)
{
    QStringList columns;
    sqlite::Statement column(db, "select name from pragma_table_info(?)");
    column.bind(1, table);
    while (column.next())
        columns << column.textAt(0).toLower();
    return columns;
}

QStringList programColumns()
{
    QStringList columns;
    for (const EventColumn& column : kEventColumns)
        columns << QString::fromLatin1(column.name);
    return columns;
}

void checkSchema(const sqlite::Connection& db, const QString& fileName)
{
    QStringList named;
    for (const SchemaItem& item : foreignSchema(db))
        named << QStringLiteral("%1 \"%2\"").arg(item.type, OneLine(item.name));
    if (!named.isEmpty())
        throw StoreError(QStringLiteral("The event database %1 holds what Quillmoor did not make (%2), so it is not "
                                        "opened; %3.")
                             .arg(fileName, named.join(QStringLiteral(", ")), mendAdvice(fileName)));
    // Rows are read by position: the columns must be the program's, in its order.
    const QStringList columns = columnsOf(db, QStringLiteral("tblEvents"));
    if (columns.size() != kEventColumnCount)
        return; // the probe names what is wrong
    for (int i = 0; i < kEventColumnCount; ++i) {
        if (columns[i] != QLatin1String(kEventColumns[i].name))
            throw StoreError(QStringLiteral("The table tblEvents in %1 has the column \"%2\" where the program keeps "
                                            "\"%3\".")
                                 .arg(fileName, OneLine(columns[i]), QLatin1String(kEventColumns[i].name)));
    }
}

// `fileName` with its folder resolved: only the file itself must not be a symbolic link,
// which another user could put in its place in the shared folder.
QString unlinkedName(const QString& fileName)
{
    const QFileInfo file(fileName);
    const QString folder = file.absoluteDir().canonicalPath();
    return folder.isEmpty() ? fileName : folder + u'/' + file.fileName();
}

std::unique_ptr<sqlite::Connection> connect(const QString& fileName, int busyTimeoutMs)
{
    // SQLite would take an empty name for a private temporary database.
    if (fileName.isEmpty())
        throw StoreError("There is no event database: its data folder could not be prepared.");
    InstallSafeOpen();
    CheckJournal(fileName);
    std::unique_ptr<sqlite::Connection> db;
    int columns = 0;
    try {
        // Never create here: a missing live file is the preparation's business.
        db = std::make_unique<sqlite::Connection>(unlinkedName(fileName), sqlite::Connection::Mode::ReadWrite);
        harden(*db, busyTimeoutMs);
        checkSchema(*db, fileName);
        columns = sqlite::Statement(*db, kProbe).columnCount();
    } catch (const StoreError& e) {
        if (e.code() == 0)
            throw; // the program's own finding names the file already
        if (e.extendedCode() == SQLITE_CANTOPEN_SYMLINK)
            throw StoreError(QStringLiteral("The event database %1 is a symbolic link. It is not opened, so that no "
                                            "other file is written through it; put the database file itself there.")
                                 .arg(fileName));
        throw StoreError(
            QStringLiteral("Cannot open the event database %1: %2").arg(fileName, QString::fromUtf8(e.what())),
            e.code(), e.extendedCode());
    }
    if (columns != kEventColumnCount)
        throw StoreError(QStringLiteral("The table tblEvents in %1 has %2 columns instead of %3.")
                             .arg(fileName)
                             .arg(columns)
                             .arg(kEventColumnCount));
    return db;
}

} // namespace

EventStore::EventStore() = default;
EventStore::~EventStore() = default;

void EventStore::open(const QString& fileName)
{
    close();
    try {
        m_db = connect(fileName, m_busyTimeoutMs);
        m_details = std::make_unique<EventDetailsTable>(*m_db);
    } catch (const StoreError& e) {
        if (e.busy())
            m_busyFile = fileName;
        throw;
    }
}

void EventStore::retryBusyOpen()
{
    // Busy at start-up is no reason to stay closed; anything else is.
    if (!m_db && !m_busyFile.isEmpty())
        open(QString(m_busyFile)); // a copy: open() forgets the busy file first
}

void EventStore::close()
{
    m_details.reset(); // before the connection it reads
    m_db.reset();
    m_busyFile.clear();
}

const sqlite::Connection& EventStore::connection() const
{
    if (!m_db)
        throw StoreError("The event database is not open.");
    return *m_db;
}

EventDetailsTable& EventStore::details() const
{
    if (!m_details)
        throw StoreError("The event database is not open.");
    return *m_details;
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

void EventStore::forEachEventWhere(const std::function<bool(const EventRecord&)>& wanted,
                                   const std::function<void(const EventRecord&)>& visit) const
{
    // Rows come in ascending id, and so do the events with details: one walk skips them.
    const std::vector<qint64>& detailed = details().ids();
    auto next = detailed.cbegin();
    sqlite::Statement row(connection(), rows::statements().selectAll);
    while (row.next()) {
        const qint64 id = row.numberAt(0);
        while (next != detailed.cend() && *next < id)
            ++next;
        if (next != detailed.cend() && *next == id)
            continue;
        EventRecord r = rows::numbersOf(row);
        if (!wanted(r))
            continue;
        rows::readTexts(row, r);
        visit(r);
    }
}

void EventStore::forEachDetailedEvent(QDate first, QDate last, const Reach& reach, const DetailedVisit& visit) const
{
    details().forEachDetailedEvent(first, last, reach, visit);
}

QByteArray EventStore::detailsOf(qint64 id) const
{
    return details().textOf(id);
}

QHash<qint64, QByteArray> EventStore::allDetails() const
{
    return details().allTexts();
}

void EventStore::setDetails(qint64 id, const Event& event)
{
    details().put(id, event);
}

void EventStore::setToday(QDate today)
{
    details().setToday(today);
}

void EventStore::keepDaysAround(QDate today)
{
    while (keepSomeDaysAround(today)) {
    }
}

bool EventStore::keepSomeDaysAround(QDate today)
{
    // About a tenth of a second of libical's work for zoned repeats: short enough that another
    // user's write waits for it without noticing.
    constexpr int kBatch = 100;
    return details().keepSomeDaysAround(today, kBatch, m_busyTimeoutMs);
}

qint64 EventStore::insert(const Event& event)
{
    details().wrote();
    qint64 id = 0;
    inTransaction([&] {
        sqlite::Statement statement(connection(), rows::statements().insert);
        rows::bindValues(statement, event.row);
        statement.run();
        id = connection().lastInsertId();
        details().put(id, event, true);
    });
    return id;
}

bool EventStore::update(qint64 id, const EventRecord& event)
{
    details().wrote();
    bool changed = false;
    inTransaction([&] {
        const std::optional<EventRecord> before = details().exists() ? eventById(id) : std::nullopt;
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
            details().put(id, Event{event, {}, {}});
    });
    return changed;
}

void EventStore::remove(qint64 id)
{
    details().wrote();
    inTransaction([&] {
        sqlite::Statement statement(connection(), rows::statements().remove);
        statement.bind(1, id);
        statement.run();
        details().put(id, Event{});
    });
}

void EventStore::forEachEvent(const std::function<void(const EventRecord&)>& visit) const
{
    sqlite::Statement row(connection(), rows::statements().selectAll);
    while (row.next())
        visit(rows::recordOf(row));
}

void EventStore::readEventsByTitle(EventTable& table) const
{
    table.clear();
    // Sorted here rather than by SQLite: on 100,000 rows its sorter alone takes three
    // times as long as the read, and with QCollator called for each of its 1.6 million
    // comparisons eight times. What a failing read got is still put in order.
    try {
        sqlite::Statement row(connection(), rows::statements().selectAll);
        while (row.next())
            rows::appendTo(row, table);
    } catch (...) {
        table.sortByTitle();
        throw;
    }
    table.sortByTitle();
}

std::optional<EventRecord> EventStore::eventById(qint64 id) const
{
    sqlite::Statement row(connection(), rows::statements().selectOne);
    row.bind(1, id);
    if (!row.next())
        return std::nullopt;
    return rows::recordOf(row);
}

QStringList MendEventDatabase(const QString& fileName)
{
    InstallSafeOpen();
    try {
        const sqlite::Connection db(unlinkedName(fileName), sqlite::Connection::Mode::ReadWrite);
        harden(db, 5000);
        const QList<SchemaItem> found = foreignSchema(db);
        sqlite::Transaction change(db);
        QStringList dropped;
        for (const SchemaItem& item : found) {
            QString name = item.name;
            name.replace(u'"', QStringLiteral("\"\""));
            db.exec(QStringLiteral("drop %1 if exists \"%2\"").arg(item.type, name).toUtf8().constData());
            dropped << QStringLiteral("dropped the %1 \"%2\"").arg(item.type, OneLine(item.name));
        }
        // A view in the table's place held none of the rows: the one other table with the
        // program's columns is taken to be the events put aside, and gets its name back.
        if (db.queryNumber("select count(*) from sqlite_schema where name = 'tblEvents' collate nocase") == 0) {
            QStringList aside;
            sqlite::Statement table(db, "select name from sqlite_schema where type = 'table' and name not like "
                                        "'sqlite\\_%' escape '\\'");
            while (table.next()) {
                if (columnsOf(db, table.textAt(0)) == programColumns())
                    aside << table.textAt(0);
            }
            if (aside.size() == 1) {
                db.exec(QStringLiteral("alter table \"%1\" rename to tblEvents")
                            .arg(QString(aside[0]).replace(u'"', QStringLiteral("\"\"")))
                            .toUtf8()
                            .constData());
                dropped << QStringLiteral("named the table \"%1\" tblEvents again").arg(OneLine(aside[0]));
            } else {
                db.exec(rows::statements().schema);
                dropped << QStringLiteral("made an empty table tblEvents");
            }
        }
        change.commit();
        return dropped;
    } catch (const StoreError& e) {
        throw StoreError(
            QStringLiteral("Cannot mend the event database %1: %2").arg(fileName, QString::fromUtf8(e.what())),
            e.code(), e.extendedCode());
    }
}
