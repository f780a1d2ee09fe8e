#pragma once

// The one way the program calls SQLite: a connection, prepared statements and transactions
// as small owners of SQLite's own handles. Every failure is a StoreError.

#include <QByteArrayView>
#include <QString>

#include <sqlite3.h>

#include <stdexcept>
#include <string>

/// A failure of the event database, carrying the database's own message.
class StoreError : public std::runtime_error
{
public:
    explicit StoreError(const std::string& what, int code = 0, int extendedCode = 0)
        : std::runtime_error(what), m_code(code), m_extendedCode(extendedCode ? extendedCode : code)
    {}
    explicit StoreError(const char* what, int code = 0, int extendedCode = 0)
        : StoreError(std::string(what), code, extendedCode)
    {}
    explicit StoreError(const QString& what, int code = 0, int extendedCode = 0)
        : StoreError(what.toStdString(), code, extendedCode)
    {}
    /// SQLite's primary result code (SQLITE_BUSY, ...); 0 for a failure of the program's own.
    [[nodiscard]] int code() const { return m_code; }
    /// SQLite's extended result code (SQLITE_CANTOPEN_SYMLINK, ...).
    [[nodiscard]] int extendedCode() const { return m_extendedCode; }
    /// Another program held the file's lock longer than the busy timeout.
    [[nodiscard]] bool busy() const;

private:
    int m_code;
    int m_extendedCode;
};

namespace sqlite {

/// An open database file. Opening never creates a file unless asked to.
class Connection
{
public:
    enum class Mode
    {
        ReadOnly,
        ReadWrite,
        Create, ///< read and write, creating the file when it is missing
    };

    /// Opens `fileName`; a symbolic link in the file's place is refused. Throws StoreError.
    Connection(const QString& fileName, Mode mode);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    [[nodiscard]] sqlite3* handle() const { return m_db; }
    /// Runs one or more statements that return no rows.
    void exec(const char* sql) const;
    /// The first column of the first row of `sql`, as a whole number (0 for no row).
    [[nodiscard]] qint64 queryNumber(const char* sql) const;
    [[nodiscard]] qint64 lastInsertId() const;
    [[nodiscard]] bool inTransaction() const;
    void setBusyTimeout(int milliseconds) const;

    /// Throws the connection's last failure.
    [[noreturn]] void fail() const;

private:
    sqlite3* m_db = nullptr;
};

/// One prepared statement; values are bound, never spliced into its text.
class Statement
{
public:
    Statement(const Connection& db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int index, qint64 value);
    /// Bound as text: a blob would sort and compare bytewise in any tool reading the file.
    void bind(int index, const QString& text);
    void bindNull(int index);

    /// Steps to the next row; false after the last one.
    bool next();
    /// Runs a statement that returns no rows; the number of rows it changed.
    int run();
    /// Makes a statement that has run ready to be bound and run again.
    void reset();

    [[nodiscard]] int columnCount() const;
    // Inline: a read of 100,000 rows asks for 1.2 million values.
    /// SQLITE_INTEGER, SQLITE_TEXT, SQLITE_NULL, ...
    [[nodiscard]] int typeAt(int column) const { return sqlite3_column_type(m_statement, column); }
    [[nodiscard]] qint64 numberAt(int column) const { return sqlite3_column_int64(m_statement, column); }
    /// The column's value, for its type and number in one call into the statement instead
    /// of two. Read it with sqlite3_value_type() and sqlite3_value_int64() before the next
    /// step; that is safe because a connection is only ever used by one thread.
    [[nodiscard]] sqlite3_value* valueAt(int column) const { return sqlite3_column_value(m_statement, column); }
    /// The UTF-8 SQLite holds, valid until the next step; empty for NULL.
    [[nodiscard]] QByteArrayView utf8At(int column) const
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        return text ? QByteArrayView(text, sqlite3_column_bytes(m_statement, column)) : QByteArrayView();
    }
    [[nodiscard]] QString textAt(int column) const { return QString::fromUtf8(utf8At(column)); }

private:
    const Connection& m_db;
    sqlite3_stmt* m_statement = nullptr;
};

/// A write transaction that takes the write lock at once (or waits for it); rolled back
/// unless committed, so that a failure half-way leaves the file as it was.
class Transaction
{
public:
    explicit Transaction(const Connection& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    const Connection& m_db;
    bool m_done = false;
};

} // namespace sqlite
