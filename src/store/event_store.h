#pragma once

#include "calendar/event_record.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <stdexcept>

namespace SQLite {
class Database;
}
class EventTable;

/// A failure of the event database, carrying the database's own message.
class StoreError : public std::runtime_error
{
public:
    explicit StoreError(const std::string& what, int code = 0) : std::runtime_error(what), m_code(code) {}
    /// SQLite's primary result code (SQLITE_BUSY, ...); 0 for a failure of the program's own.
    [[nodiscard]] int code() const { return m_code; }

private:
    int m_code;
};

/// The eleven values the editor writes for an event; `id` is the database's.
struct EventFields
{
    QString title;
    QString description;
    int timetype = 1;
    int consistancy = 1;
    int eventmonth = 1;
    int eventday = 1;
    int eventyear = 2000;
    int eventweekdate = 1;
    int eventweekday = 1;
    int warnevent = 1;
    int daysbefore = 1;
};

/// The one connection to the event database and the statements run on it. Values
/// travel only as bound parameters. Every failure is thrown as StoreError with the
/// database's message; the store never shows anything itself.
class EventStore final : public EventSource
{
public:
    EventStore();
    ~EventStore() override;
    EventStore(const EventStore&) = delete;
    EventStore& operator=(const EventStore&) = delete;

    /// Opens an existing event database. Throws when the file cannot be opened, is a
    /// symbolic link, is not a database, or has no usable event table; the store then
    /// stays closed. A journal a crashed writer left behind is rolled back and kept. When
    /// the file was only busy (another program held its lock longer than the busy
    /// timeout), the next statement opens it again.
    void open(const QString& fileName);
    /// Releases the file. Closing a closed store does nothing.
    void close();
    [[nodiscard]] bool isOpen() const;

    /// Every event in ascending id (the order of entry).
    void forEachEvent(const std::function<void(const EventRecord&)>& visit) const override;
    /// As forEachEvent, reading the title and description only of the rows `wanted` accepts.
    void forEachEventWhere(const std::function<bool(const EventRecord&)>& wanted,
                           const std::function<void(const EventRecord&)>& visit) const override;
    /// Every event into `table` (emptied first), by title: case-insensitive and in the
    /// user's locale's order, equal titles in the order of entry. When the read fails
    /// part-way, `table` holds the rows read until then, in that order, and the failure is thrown.
    void readEventsByTitle(EventTable& table) const;
    /// The event with `id`, or nothing when there is none.
    [[nodiscard]] std::optional<EventRecord> eventById(qint64 id) const;
    /// Stores a new event and returns its id. Ids are never reused.
    qint64 insert(const EventFields& fields);
    /// Changes event `id`; false when there is no such event (nothing changed).
    bool update(qint64 id, const EventFields& fields);
    /// Removes event `id`; removing a missing id is not a failure.
    void remove(qint64 id);
    /// Stores, in order, each of `events` that is not equal in all eleven values to an
    /// event already stored or to one before it in the list. All in one transaction:
    /// on a failure nothing is stored and the failure is thrown. Returns how many were stored.
    qsizetype insertNew(const QList<EventFields>& events);

    /// How long a statement waits for another program's lock; 5 s unless a test says otherwise.
    void setBusyTimeout(int milliseconds) { m_busyTimeoutMs = milliseconds; }

private:
    [[nodiscard]] std::unique_ptr<SQLite::Database> connect(const QString& fileName) const;
    SQLite::Database& db() const;

    // Opened again on demand after a busy start, hence mutable.
    mutable std::unique_ptr<SQLite::Database> m_db;
    mutable QString m_busyFile;
    int m_busyTimeoutMs = 5000;
};

/// Creates a new, empty event database at `fileName` (which must not exist).
void CreateEventDatabase(const QString& fileName);
/// The bytes of a new, empty event database file.
[[nodiscard]] QByteArray EmptyEventDatabase();
