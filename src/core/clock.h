#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

/// The one source of "today" for the whole program, so that every date-dependent
/// behaviour can be tested on a chosen day.
class Clock
{
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual QDate today() const = 0;
    /// The local date and time, for what happens at a time of day (an event's alarm).
    [[nodiscard]] virtual QDateTime now() const { return QDateTime(today(), QTime(0, 0)); }
};

/// Today's date from the system's local time.
class SystemClock final : public Clock
{
public:
    [[nodiscard]] QDate today() const override;
    [[nodiscard]] QDateTime now() const override;
};

/// A clock that stands still on a given day; used by tests and tools.
class FixedClock final : public Clock
{
public:
    explicit FixedClock(QDate day) : m_day(day) {}
    [[nodiscard]] QDate today() const override { return m_day; }
    [[nodiscard]] QDateTime now() const override { return QDateTime(m_day, m_time); }
    void setToday(QDate day) { m_day = day; }
    /// The time of day now() gives; midnight until set.
    void setTime(QTime time) { m_time = time; }

private:
    QDate m_day;
    QTime m_time{0, 0};
};
