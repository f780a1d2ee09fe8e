#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

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

/// One row of the event table, column for column. A number column that holds
/// no value, or a value that is not a whole number in the 32-bit range, is
/// empty here: the occurrence rule treats it as "never".
struct EventRecord
{
    qint64 id = 0;
    QString title;
    QString description;
    std::optional<int> timetype;
    std::optional<int> consistancy;
    std::optional<int> eventmonth;
    std::optional<int> eventday;
    std::optional<int> eventyear;
    std::optional<int> eventweekdate;
    std::optional<int> eventweekday;
    std::optional<int> warnevent;
    std::optional<int> daysbefore;
    /// Bit n set: number column n (3..11) holds a value, but not a whole number in the
    /// 32-bit range, so it reads as empty above; clear bits of empty columns mean NULL.
    quint16 unusableColumns = 0;

    [[nodiscard]] bool is(TimeType t) const { return timetype == int(t); }
    [[nodiscard]] bool is(Consistancy c) const { return consistancy == int(c); }

    friend bool operator==(const EventRecord&, const EventRecord&) = default;
};

/// Where the month drawing gets its events from: every row, in the table's natural order.
class EventSource
{
public:
    virtual ~EventSource() = default;
    virtual void forEachEvent(const std::function<void(const EventRecord&)>& visit) const = 0;

    /// The rows that `wanted` accepts, in the same order. `wanted` must decide on the
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
};
