#pragma once

#include "calendar/event_record.h"
#include "ical/event.h"
#include "sqlite.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QSet>

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

/// The details of events from other calendars, in a table of their own beside tblEvents (whose
/// twelve columns stay as every copy of the program reads them), and their starts kept ready in
/// the file for the days around the present, so that drawing those days needs no libical. The
/// kept starts are a cache: made from the details, dropped with them, kept again as the present
/// moves, never needed for a right answer. Every failure is thrown as StoreError.
class EventDetailsTable
{
public:
    explicit EventDetailsTable(const sqlite::Connection& db);
    ~EventDetailsTable();
    EventDetailsTable(const EventDetailsTable&) = delete;
    EventDetailsTable& operator=(const EventDetailsTable&) = delete;

    /// Whether the file has details at all (the table is made when first needed).
    [[nodiscard]] bool exists() const;
    /// The ids of the events with details, ascending.
    [[nodiscard]] const std::vector<qint64>& ids() const;
    /// EventSource::forEachDetailedEvent: the days come from the kept starts where they cover
    /// the days asked for, else from the details read by libical once per run and kept while
    /// the file is unchanged; details that cannot be shown, and rows another program deleted,
    /// are left out.
    void forEachDetailedEvent(QDate first, QDate last, const EventSource::Reach& reach,
                              const EventSource::DetailedVisit& visit) const;
    /// The details text of event `id`; empty: none.
    [[nodiscard]] QByteArray textOf(qint64 id) const;
    /// Every details text, by id.
    [[nodiscard]] QHash<qint64, QByteArray> allTexts() const;
    /// Gives event `id` the details of `event` and keeps their starts; without details, drops
    /// them. `isNew`: the event was stored just now and has nothing to replace.
    void put(qint64 id, const Event& event, bool isNew = false);
    /// The present around which the starts of events stored from now on are kept.
    void setToday(QDate today) { m_today = today; }
    /// Keeps the starts of at most `batch` events ready for the days around `today`, where
    /// they are not yet, in one short transaction that never waits for another program's lock
    /// (`busyTimeoutMs` is set again after it). Returns whether some are left for another call;
    /// false also when the file cannot be written now (it is only a matter of speed).
    bool keepSomeDaysAround(QDate today, int batch, int busyTimeoutMs);
    /// This store wrote to the file: what was read of it may be out of date.
    void wrote() { ++m_writes; }

private:
    // The events with details as last read, with their days in the window last asked for.
    // Read again only when another program changed the file or this store wrote to it: a
    // month drawn again (after every change) costs no expansion, which libical makes dear.
    struct Row
    {
        qint64 id = 0;
        qint64 firstDay = 0, lastDay = 0;   ///< Julian days; lastDay 0: without end
        qint64 keptFrom = 0, keptTo = -1;   ///< the days its starts are kept for
        qint64 longest = 0;                 ///< the most days one occurrence touches
        std::optional<QList<qint64>> leads; ///< its alarms' leads as kept; none: ask the details
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
    // What was read of the file, and when.
    struct Cache
    {
        std::vector<Row> rows;
        std::vector<qint64> ids;
        std::pair<qint64, qint64> asOf{-1, -1}; // data_version and m_writes when read
        bool allKept = false;                   // every event with details has kept starts
        qint64 longestKept = 0;                 // the most days an occurrence of those kept touches
        QSet<qint64> written;                   // ids whose details this store changed since
    };

    [[nodiscard]] bool hasTable(const char* name) const;
    [[nodiscard]] bool keepsLeads() const;
    // A statement run for each of many events, prepared once per connection.
    sqlite::Statement& prepared(const char* sql) const;
    void run(const char* sql, qint64 id = 0) const;
    std::vector<Row>& rows() const;
    // Reads the rows of the events with details that touch a day of [from, to] (Julian days).
    void readRowsMeeting(qint64 from, qint64 to) const;
    // The kept starts of the events touching [from, to], by id.
    [[nodiscard]] QHash<qint64, QList<DetailedStart>> keptStartsBetween(qint64 from, qint64 to) const;
    // Writes the starts of event `id` for the days around the present, in place of those kept.
    void keepDays(qint64 id, const EventDetails& details, const DetailsSpan& span, bool isNew);
    [[nodiscard]] QDate today() const;

    const sqlite::Connection& m_db;
    mutable std::unordered_map<const char*, std::unique_ptr<sqlite::Statement>> m_prepared; // by the text's address
    mutable Cache m_cache;
    qint64 m_writes = 0;
    QDate m_today;
    // The events whose kept starts are due for `m_pendingFor`, kept batch by batch.
    QList<qint64> m_pending;
    QDate m_pendingFor;
};
