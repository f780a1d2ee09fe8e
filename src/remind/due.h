#pragma once

#include "calendar/event_record.h"
#include "calendar/occurrence.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

/// The most days ahead a warning may start; larger values are ignored.
inline constexpr int kMaxDaysBefore = 366;

/// Which of an occurrence's two reminders: on its day, or in the days before it.
enum class ReminderKind : quint8
{
    Today = 0,
    Ahead = 1,
    Alarm = 2, ///< at the time another calendar's alarm set before a timed start
};

/// One reminder that is due: event `id` falls on `day`.
struct DueReminder
{
    qint64 id = 0;
    QDate day;
    ReminderKind kind = ReminderKind::Today;
    QString title;
    QString description;
};

/// What one look at the events finds.
struct DueFindings
{
    QList<DueReminder> due;  ///< by day, then in the table's order; today's before the ones ahead
    int ignoredWarnings = 0; ///< events with "warn" ticked but days before outside 0..kMaxDaysBefore
};

/// The alarms of events from other calendars that go off after `after` and at or before
/// `upTo`, by time; `next` gets the first one after `upTo` within a day (invalid: none).
[[nodiscard]] QList<DueReminder> DueAlarms(const EventSource& events, const QDateTime& after, const QDateTime& upTo,
                                           QDateTime* next = nullptr);

/// Reads `events` once and returns what is due on `today`. Throws what the source throws.
[[nodiscard]] DueFindings FindDue(const EventSource& events, QDate today);
