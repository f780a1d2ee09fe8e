#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QTime>

#include <optional>
#include <utility>

// The plain values of an event from another calendar that the drawing needs: the days it
// touches and when it starts on them. Reading and expanding the event's own iCalendar text is
// the iCalendar floor's; these values are what it hands on, and what the file keeps ready.

/// One day on which such an event falls, in the user's time zone.
struct DetailedDay
{
    QDate day;
    QTime start;         ///< when it starts that day; invalid: all day, or a day it goes on from before
    QString title;       ///< a changed occurrence's own title; empty: the event's
    bool goesOn = false; ///< a later day of an occurrence that began at a time of day
    QTime end;           ///< with goesOn, when it ends that day; invalid: it goes on all day
    friend bool operator==(const DetailedDay&, const DetailedDay&) = default;
};

/// One start of an event with details, as the file can keep it ready whatever the reader's
/// time zone: the days it touches follow from it (DetailedDays).
struct DetailedStart
{
    enum class Kind : qint8
    {
        Day,      ///< all day: `begins` is a Julian day, `length` days
        Instant,  ///< in a zone or UTC: seconds since the epoch, `length` seconds
        Floating, ///< a wall-clock time anywhere: seconds from 1970-01-01 00:00 as written
    };
    Kind kind = Kind::Day;
    qint64 begins = 0;
    qint64 length = 0;
    qint64 writtenDay = 0; ///< the Julian day it starts on as written, in its own zone
    QString title;         ///< a changed occurrence's own title; empty: the event's
    friend bool operator==(const DetailedStart&, const DetailedStart&) = default;
};

/// The days within [first, last] that `starts` touch in the user's time zone, ascending; a day
/// on which two occurrences start is there twice, in the order of `starts`.
[[nodiscard]] QList<DetailedDay> DetailedDays(const QList<DetailedStart>& starts, QDate first, QDate last);

/// The first and the last day `start` touches in the user's time zone, without listing the days
/// between (an occurrence may last for ages).
[[nodiscard]] std::pair<QDate, QDate> DaysTouched(const DetailedStart& start);

/// The days an event with details touches: from `first` to `last` (none: without end).
struct DetailsSpan
{
    QDate first;
    std::optional<QDate> last;
};
