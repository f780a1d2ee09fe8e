#pragma once

#include "calendar/event_record.h"
#include "calendar/occurrence.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <vector>

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

/// The months from today's to that of today + kMaxDaysBefore, each worked out once, so
/// that every event is asked only about the months its warning reaches.
class ReminderWindow
{
public:
    /// `today` must be a valid date whose window ends by the year 9999.
    explicit ReminderWindow(QDate today);

    /// The reminders of `event` due on today, appended to `due` without title or
    /// description: "today" when it falls on today; "ahead" for each later occurrence
    /// within its days before, when "warn" is 1 and days before is 1..kMaxDaysBefore.
    /// Returns false when the warning asks for days before that are not usable.
    bool collect(const EventRecord& event, QList<DueReminder>& due) const;

private:
    struct Month
    {
        MonthFrame frame;
        qint64 firstDay; // Julian day of day 1
    };
    qint64 m_today;
    std::vector<Month> m_months;
};

/// The alarms of events from other calendars that go off after `after` and at or before
/// `upTo`, by time; `next` gets the first one after `upTo` within a day (invalid: none).
[[nodiscard]] QList<DueReminder> DueAlarms(const EventSource& events, const QDateTime& after, const QDateTime& upTo,
                                           QDateTime* next = nullptr);

/// Reads `events` once and returns what is due on `today`. Throws what the source throws.
[[nodiscard]] DueFindings FindDue(const EventSource& events, QDate today);
