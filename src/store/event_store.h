#pragma once

#include "calendar/event_record.h"
#include "ical/event_details.h"
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

class EventTable;

/// An event to store: its row, and the details of an event from another calendar (empty: none).
struct NewEvent
{
    EventRecord fields;
    QByteArray details;
    DetailsSpan span;                         ///< the days `details` touch, when the caller has read them already
    std::shared_ptr<const EventDetails> read; ///< `details` as libical read them, when the caller has
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
    void forEachDetailedEvent(QDate first, QDate last, const DetailedVisit& visit,
                              bool withDetails = false) const override;
    /// Every event into `table` (emptied first), by title: case-insensitive and in the
    /// user's locale's order, equal titles in the order of entry. When the read fails
    /// part-way, `table` holds the rows read until then, in that order, and the failure is thrown.
    void readEventsByTitle(EventTable& table) const;
    /// The event with `id`, or nothing when there is none.
    [[nodiscard]] std::optional<EventRecord> eventById(qint64 id) const;
    /// Stores `event` (its id aside) as a new event and returns its id, with `details` (see
    /// setDetails) in the same transaction. Ids are never reused.
    qint64 insert(const EventRecord& event, const QByteArray& details = {});
    /// Changes event `id` to the values of `event`; false when there is no such event (nothing
    /// changed). A change of a date field (time type, repetition, month, day, year, week,
    /// weekday) drops the event's details: it becomes what its fields say.
    bool update(qint64 id, const EventRecord& event);
    /// Removes event `id` and its details; removing a missing id is not a failure.
    void remove(qint64 id);
    /// Stores, in order, each of `events` that is not the same event (SameEvent, and the same
    /// details) as one already stored or one before it in the list. All in one transaction: on a
    /// failure nothing is stored and the failure is thrown. Returns how many were stored.
    qsizetype insertNew(const QList<NewEvent>& events);
    qsizetype insertNew(const QList<EventRecord>& events);

    /// The details of event `id` (EventDetails), empty when it has none.
    [[nodiscard]] QByteArray detailsOf(qint64 id) const;
    /// Every event's details, by id.
    [[nodiscard]] QHash<qint64, QByteArray> allDetails() const;
    /// Gives event `id` `details`, the iCalendar text of an event from another calendar, in their
    /// own table (made when first needed; other programs that read the file do not know it).
    /// Empty `details` drops them. Throws StoreError for details that cannot be shown.
    void setDetails(qint64 id, const QByteArray& details, const DetailsSpan& span = {},
                    std::shared_ptr<const EventDetails> read = {});
    /// Keeps the starts of every event with details ready in the file for the days around
    /// `today`, where they are not yet, so that drawing them needs no libical. Also sets the
    /// days the starts of events stored later are kept for (the system's date until then).
    /// Only a matter of speed: where the file cannot be written now, it does nothing.
    void keepDaysAround(QDate today);

    /// The open connection, for tools that keep tables of their own in the same file;
    /// throws StoreError when the store is not open.
    [[nodiscard]] const sqlite::Connection& connection() const;

    /// How long a statement waits for another program's lock; 5 s unless a test says otherwise.
    void setBusyTimeout(int milliseconds) { m_busyTimeoutMs = milliseconds; }

private:
    [[nodiscard]] bool hasTable(const QByteArray& name) const;
    // A statement run for each of many events, prepared once per connection.
    sqlite::Statement& prepared(const char* sql) const;
    // The details text of event `id`, the table being there.
    [[nodiscard]] QByteArray detailsText(qint64 id) const;
    void run(const char* sql, qint64 id = 0);
    // Runs `change` in a transaction of its own unless one is open already.
    void inTransaction(const std::function<void()>& change);
    // The events with details as last read, with their days in the window last asked for.
    // Read again only when another program changed the file or this store wrote to it: a
    // month drawn again (after every change) costs no expansion, which libical makes dear.
    struct DetailedRow
    {
        qint64 id = 0;
        qint64 firstDay = 0, lastDay = 0; ///< Julian days; lastDay 0: without end
        qint64 keptFrom = 0, keptTo = -1; ///< the days its starts are kept for
        qint64 longest = 0;               ///< the most days one occurrence touches
        // What a window read of it, made for the few events the windows meet.
        struct Shown
        {
            std::optional<EventRecord> row; ///< none: the event is gone
            bool rowRead = false;
            bool read = false;                           ///< its text went through libical
            std::shared_ptr<const EventDetails> details; ///< none: they cannot be shown
            QDate first, last;                           ///< the window `days` is for
            QList<DetailedDay> days;
        };
        std::unique_ptr<Shown> shown;
    };
    const std::vector<DetailedRow>& detailedRows() const;
    // Writes the starts of event `id` for the days around m_today, in place of those kept.
    void keepDays(qint64 id, const EventDetails& details, qint64 size, const DetailsSpan& span, bool isNew);
    // setDetails with details; `isNew`: the event was stored just now and has nothing kept.
    void storeDetails(qint64 id, const QByteArray& details, const DetailsSpan& span,
                      std::shared_ptr<const EventDetails> read, bool isNew);
    [[nodiscard]] QDate keptToday() const;
    // Keeps the starts of the events whose kept days do not reach half a year around `today`.
    void keepStaleDays(qint64 today);
    // Called by every write: what was read of the details may be out of date.
    void wrote() { ++m_writes; }

    std::unique_ptr<sqlite::Connection> m_db;
    mutable std::vector<DetailedRow> m_detailed;
    mutable std::pair<qint64, qint64> m_detailedAsOf{-1, -1}; // data_version and m_writes when read
    qint64 m_writes = 0;
    mutable bool m_allKept = false;        // every event with details has its starts kept (for some days)
    mutable qint64 m_longestKept = 0;      // the most days an occurrence of those kept touches
    mutable QSet<qint64> m_detailsWritten; // ids whose details this store changed since they were read
    QDate m_today;
    mutable std::unordered_map<const char*, std::unique_ptr<sqlite::Statement>> m_prepared; // by the text's address
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
