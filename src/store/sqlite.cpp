#include "sqlite.h"

#include <QFile>

#include <sqlite3.h>

bool StoreError::busy() const
{
    return m_code == SQLITE_BUSY || m_code == SQLITE_LOCKED;
}

namespace sqlite {

namespace {

[[noreturn]] void failOn(sqlite3* db, int rc)
{
    const int extended = db ? sqlite3_extended_errcode(db) : rc;
    throw StoreError(std::string(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)), extended & 0xff, extended);
}

} // namespace

Connection::Connection(const QString& fileName, Mode mode)
{
    // One thread uses a connection, so SQLite's own locking per call is only overhead.
    int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_EXRESCODE;
    flags |= mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (mode == Mode::Create)
        flags |= SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(QFile::encodeName(fileName).constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const int extended = m_db ? sqlite3_extended_errcode(m_db) : rc;
        const std::string message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw StoreError(message, extended & 0xff, extended);
    }
}

Connection::~Connection()
{
    sqlite3_close(m_db);
}

void Connection::fail() const
{
    failOn(m_db, SQLITE_ERROR);
}

void Connection::exec(const char* sql) const
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail();
}

qint64 Connection::queryNumber(const char* sql) const
{
    Statement statement(*this, sql);
    return statement.next() ? statement.numberAt(0) : 0;
}

qint64 Connection::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

bool Connection::inTransaction() const
{
    return !sqlite3_get_autocommit(m_db);
}

void Connection::setBusyTimeout(int milliseconds) const
{
    sqlite3_busy_timeout(m_db, milliseconds);
}

Statement::Statement(const Connection& db, const char* sql) : m_db(db)
{
    if (sqlite3_prepare_v2(db.handle(), sql, -1, &m_statement, nullptr) != SQLITE_OK)
        db.fail();
}

Statement::~Statement()
{
    sqlite3_finalize(m_statement);
}

void Statement::bind(int index, qint64 value)
{
    if (sqlite3_bind_int64(m_statement, index, value) != SQLITE_OK)
        m_db.fail();
}

void Statement::bind(int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    if (sqlite3_bind_text64(m_statement, index, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT,
                            SQLITE_UTF8) != SQLITE_OK)
        m_db.fail();
}

void Statement::bindNull(int index)
{
    if (sqlite3_bind_null(m_statement, index) != SQLITE_OK)
        m_db.fail();
}

bool Statement::next()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        m_db.fail();
    return false;
}

int Statement::run()
{
    while (next()) {
    }
    return sqlite3_changes(m_db.handle());
}

void Statement::reset()
{
    sqlite3_reset(m_statement);
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_statement);
}

Transaction::Transaction(const Connection& db) : m_db(db)
{
    // Immediate: the write lock is taken (or waited for) before anything is read.
    db.exec("begin immediate");
}

Transaction::~Transaction()
{
    // SQLite ends the transaction by itself after some failures (a full disk, for one);
    // the failure that got us here is the one to report, not the rollback's.
    if (!m_done && m_db.inTransaction())
        sqlite3_exec(m_db.handle(), "rollback", nullptr, nullptr, nullptr);
}

void Transaction::commit()
{
    m_db.exec("commit");
    m_done = true;
}

} // namespace sqlite
