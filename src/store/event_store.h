#pragma once

#include "calendar/event_record.h"
#include "sqlite.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class EventTable;

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
    /// stays closed. A journal a crashed writer left behind is rolled back and kept.
    void open(const QString& fileName);
    /// When the last open failed only because another program held the file's lock longer
    /// than the busy timeout, opens that file again (throwing as open does); else does nothing.
    void retryBusyOpen();
    /// Releases the file. Closing a closed store does nothing.
    void close();
    [[nodiscard]] bool isOpen() const { return m_db != nullptr; }

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
    /// Stores `event` (its id aside) as a new event and returns its id. Ids are never reused.
    qint64 insert(const EventRecord& event);
    /// Changes event `id` to the values of `event`; false when there is no such event (nothing changed).
    bool update(qint64 id, const EventRecord& event);
    /// Removes event `id`; removing a missing id is not a failure.
    void remove(qint64 id);
    /// Stores, in order, each of `events` that is not the same event (SameEvent) as one
    /// already stored or one before it in the list. All in one transaction: on a failure
    /// nothing is stored and the failure is thrown. Returns how many were stored.
    qsizetype insertNew(const QList<EventRecord>& events);

    /// The open connection, for tools that keep tables of their own in the same file;
    /// throws StoreError when the store is not open.
    [[nodiscard]] const sqlite::Connection& connection() const;

    /// How long a statement waits for another program's lock; 5 s unless a test says otherwise.
    void setBusyTimeout(int milliseconds) { m_busyTimeoutMs = milliseconds; }

private:
    std::unique_ptr<sqlite::Connection> m_db;
    QString m_busyFile;
    int m_busyTimeoutMs = 5000;
};

/// Drops the views, triggers and indexes of `fileName` that the program never makes, and
/// makes an empty event table when a view had taken its place; no table and no row is
/// removed. Returns a line for each change. Throws StoreError.
QStringList MendEventDatabase(const QString& fileName);

/// Creates a new, empty event database at `fileName` (which must not exist).
void CreateEventDatabase(const QString& fileName);
/// The bytes of a new, empty event database file.
[[nodiscard]] QByteArray EmptyEventDatabase();
