#pragma once

#include "calendar/event_record.h"
#include "ical/event.h"
#include "sqlite.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class EventDetailsTable;
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
    /// As forEachEvent, reading the title and description only of the rows `wanted` accepts,
    /// leaving out the events with details.
    void forEachEventWhere(const std::function<bool(const EventRecord&)>& wanted,
                           const std::function<void(const EventRecord&)>& visit) const override;
    /// The days come from the starts the file keeps ready around the present (keepDaysAround)
    /// or, for other days, from the details read by libical once per run and kept while the
    /// file is unchanged; details that cannot be shown are left out.
    void forEachDetailedEvent(QDate first, QDate last, const Reach& reach, const DetailedVisit& visit) const override;
    /// Every event into `table` (emptied first), by title: case-insensitive and in the
    /// user's locale's order, equal titles in the order of entry. When the read fails
    /// part-way, `table` holds the rows read until then, in that order, and the failure is thrown.
    void readEventsByTitle(EventTable& table) const;
    /// The event with `id`, or nothing when there is none.
    [[nodiscard]] std::optional<EventRecord> eventById(qint64 id) const;
    /// Stores `event` (its id aside) as a new event with its details, in one transaction, and
    /// returns its id. Ids are never reused.
    qint64 insert(const Event& event);
    qint64 insert(const EventRecord& row) { return insert(Event{row, {}, {}}); }
    /// Changes event `id` to the values of `event`; false when there is no such event (nothing
    /// changed). A change of a date field (time type, repetition, month, day, year, week,
    /// weekday) drops the event's details: it becomes what its fields say.
    bool update(qint64 id, const EventRecord& event);
    /// Removes event `id` and its details; removing a missing id is not a failure.
    void remove(qint64 id);
    /// Stores, in order, each of `events` that is not the same event (SameEvent, and the same
    /// details) as one already stored or one before it in the list. All in one transaction: on a
    /// failure nothing is stored and the failure is thrown. Returns how many were stored.
    qsizetype insertNew(const QList<Event>& events);
    qsizetype insertNew(const QList<EventRecord>& events);

    /// The details text of event `id`, empty when it has none.
    [[nodiscard]] QByteArray detailsOf(qint64 id) const;
    /// Every event's details text, by id.
    [[nodiscard]] QHash<qint64, QByteArray> allDetails() const;
    /// Gives event `id` the details of `event` (its row aside), in their own table (made when
    /// first needed; other programs that read the file do not know it); without details, drops them.
    void setDetails(qint64 id, const Event& event);
    /// Keeps the starts of every event with details ready in the file for the days around
    /// `today`, where they are not yet, so that drawing them needs no libical; also sets the
    /// days the starts of events stored later are kept for (the system's date until then).
    /// Only a matter of speed: where the file cannot be written now, it does nothing.
    void keepDaysAround(QDate today);
    /// The present around which the starts of events stored from now on are kept.
    void setToday(QDate today);
    /// As keepDaysAround, for a few events in one short transaction; whether some are left.
    /// A window calls it while idle, so that the file's lock is never held for long.
    bool keepSomeDaysAround(QDate today);

    /// The open connection, for tools that keep tables of their own in the same file;
    /// throws StoreError when the store is not open.
    [[nodiscard]] const sqlite::Connection& connection() const;

    /// How long a statement waits for another program's lock; 5 s unless a test says otherwise.
    void setBusyTimeout(int milliseconds) { m_busyTimeoutMs = milliseconds; }

private:
    // Runs `change` in a transaction of its own unless one is open already.
    void inTransaction(const std::function<void()>& change);
    [[nodiscard]] EventDetailsTable& details() const;

    std::unique_ptr<sqlite::Connection> m_db;
    std::unique_ptr<EventDetailsTable> m_details; // with the connection it reads
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
