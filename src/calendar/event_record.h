#pragma once

#include "detailed_days.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <span>

/// How an event's day is given (column `timetype`).
enum class TimeType
{
    ByDate = 1,
    ByDayOfWeek = 2,
};

/// How often an event repeats (column `consistancy`).
enum class Consistancy
{
    Once = 1,
    Weekly = 2,
    Monthly = 3,
    Annually = 4,
};

/// A number column's value as read from the shared file, which any tool may have written:
/// no value (NULL), a whole number in the 32-bit range, or some other value (a text, a real,
/// a number out of range). Only a whole number counts as a value; the occurrence rule
/// treats anything else as "never".
class NumberValue
{
public:
    enum class State : quint8
    {
        Missing,
        Number,
        Unusable,
    };

    constexpr NumberValue() = default;
    constexpr NumberValue(int value) : m_value(value), m_state(State::Number) {} // NOLINT: a number is a value
    /// No value, or the given one.
    constexpr NumberValue(std::optional<int> value) // NOLINT: as optional as the value it came from
        : m_value(value.value_or(0)), m_state(value ? State::Number : State::Missing)
    {}
    [[nodiscard]] static constexpr NumberValue unusable()
    {
        NumberValue v;
        v.m_state = State::Unusable;
        return v;
    }

    [[nodiscard]] constexpr State state() const { return m_state; }
    [[nodiscard]] constexpr bool has_value() const { return m_state == State::Number; }
    constexpr explicit operator bool() const { return has_value(); }
    /// The number; only meaningful when has_value().
    [[nodiscard]] constexpr int operator*() const { return m_value; }
    [[nodiscard]] constexpr int value_or(int fallback) const { return has_value() ? m_value : fallback; }
    /// The value; nothing for a missing or unusable one.
    [[nodiscard]] constexpr std::optional<int> optional() const
    {
        return has_value() ? std::optional<int>(m_value) : std::nullopt;
    }

    /// False without a value, whatever `number` is.
    friend constexpr bool operator==(NumberValue value, int number)
    {
        return value.has_value() && value.m_value == number;
    }
    friend constexpr bool operator==(NumberValue, NumberValue) = default;

private:
    int m_value = 0;
    State m_state = State::Missing;
};

/// One row of the event table, column for column.
struct EventRecord
{
    qint64 id = 0;
    QString title;
    QString description;
    NumberValue timetype;
    NumberValue consistancy;
    NumberValue eventmonth;
    NumberValue eventday;
    NumberValue eventyear;
    NumberValue eventweekdate;
    NumberValue eventweekday;
    NumberValue warnevent;
    NumberValue daysbefore;

    [[nodiscard]] bool is(TimeType t) const { return timetype == int(t); }
    [[nodiscard]] bool is(Consistancy c) const { return consistancy == int(c); }

    friend bool operator==(const EventRecord&, const EventRecord&) = default;
};

/// What a column of the event table holds.
enum class ColumnType
{
    Id,
    Text,
    Number,
};

/// One column of tblEvents: its name, its position in a row (rows are read by position),
/// and where a record keeps it.
struct EventColumn
{
    const char* name;
    int position;
    ColumnType type;
    QString EventRecord::*text = nullptr;       ///< Text columns
    NumberValue EventRecord::*number = nullptr; ///< Number columns
};

/// Every column of tblEvents in the order of the table. Every reader and writer of rows
/// goes through this table, so no two of them can disagree on a position.
inline constexpr EventColumn kEventColumns[] = {
    {"id", 0, ColumnType::Id},
    {"title", 1, ColumnType::Text, &EventRecord::title},
    {"description", 2, ColumnType::Text, &EventRecord::description},
    {"timetype", 3, ColumnType::Number, nullptr, &EventRecord::timetype},
    {"consistancy", 4, ColumnType::Number, nullptr, &EventRecord::consistancy},
    {"eventmonth", 5, ColumnType::Number, nullptr, &EventRecord::eventmonth},
    {"eventday", 6, ColumnType::Number, nullptr, &EventRecord::eventday},
    {"eventyear", 7, ColumnType::Number, nullptr, &EventRecord::eventyear},
    {"eventweekdate", 8, ColumnType::Number, nullptr, &EventRecord::eventweekdate},
    {"eventweekday", 9, ColumnType::Number, nullptr, &EventRecord::eventweekday},
    {"warnevent", 10, ColumnType::Number, nullptr, &EventRecord::warnevent},
    {"daysbefore", 11, ColumnType::Number, nullptr, &EventRecord::daysbefore},
};
inline constexpr int kEventColumnCount = int(std::size(kEventColumns));
/// The two texts, title then description.
inline constexpr std::span<const EventColumn> kTextColumns{kEventColumns + 1, 2};
/// The nine numbers, timetype .. daysbefore.
inline constexpr std::span<const EventColumn> kNumberColumns{kEventColumns + 3, 9};

static_assert([] {
    for (int i = 0; i < kEventColumnCount; ++i) {
        const EventColumn& c = kEventColumns[i];
        if (c.position != i || (c.type == ColumnType::Text) != (c.text != nullptr) ||
            (c.type == ColumnType::Number) != (c.number != nullptr))
            return false;
    }
    return true;
}());

/// Whether the kind of `event` gives `column` a meaning: the codes and the warning always,
/// the days before only with the warning ticked, the date fields as the occurrence rule
/// reads them for the event's time type and repetition (every one for a kind with unknown
/// codes). A column the kind does not use holds whatever the editor's disabled field held.
[[nodiscard]] bool UsesColumn(const EventRecord& event, const EventColumn& column);

/// Whether `a` and `b` are the same event: equal titles, equal descriptions (a line break
/// written CR LF, CR or LF alike), equal codes, and
/// equal values in every column their kind uses; once-only events are the same when they fall
/// on the same day, by date or by weekday. Events with a missing or unusable value
/// in a column their kind uses are the same as no other event.
[[nodiscard]] bool SameEvent(const EventRecord& a, const EventRecord& b);

/// A hash that agrees with SameEvent: events that are the same hash alike.
[[nodiscard]] size_t SameEventHash(const EventRecord& event, size_t seed = 0);

/// Where the month drawing gets its events from: every row, in the table's natural order.
class EventSource
{
public:
    virtual ~EventSource() = default;
    virtual void forEachEvent(const std::function<void(const EventRecord&)>& visit) const = 0;

    /// The rows that `wanted` accepts, in the same order, leaving out the events from other
    /// calendars that carry details (forEachDetailedEvent gives their days). `wanted` must decide on the
    /// id and the numbers alone: a source may ask it before reading a row's title and
    /// description (they are empty then), so rows that are never shown cost no text.
    virtual void forEachEventWhere(const std::function<bool(const EventRecord&)>& wanted,
                                   const std::function<void(const EventRecord&)>& visit) const
    {
        forEachEvent([&](const EventRecord& event) {
            if (wanted(event))
                visit(event);
        });
    }

    /// An event with details as a source hands it on: its row and the days asked for.
    struct DetailedEvent
    {
        const EventRecord& row; ///< valid until the source is asked again or changed
        DetailsSpan span;       ///< every day it touches at all
        const QList<DetailedDay>& days;
        QList<qint64> alarmLeads; ///< seconds before a timed start another calendar's alarms go off
    };
    using DetailedVisit = std::function<void(const DetailedEvent&)>;
    /// The last day wanted of an event (before the window's last), decided on its id and numbers.
    using Reach = std::function<QDate(const EventRecord&)>;
    /// Each event with details that falls on a day of [first, last] (of [first, reach(row)] when
    /// `reach` is given), in ascending id, with those days. A source without details has none.
    /// Consumers ask ForEachOccurrence, which adds these to the rows' own occurrences.
    virtual void forEachDetailedEvent(QDate first, QDate last, const Reach& reach, const DetailedVisit& visit) const
    {
        Q_UNUSED(first);
        Q_UNUSED(last);
        Q_UNUSED(reach);
        Q_UNUSED(visit);
    }
};
