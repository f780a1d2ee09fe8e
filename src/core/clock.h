#pragma once

#include <QDate>

/// The one source of "today" for the whole program, so that every date-dependent
/// behaviour can be tested on a chosen day.
class Clock
{
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual QDate today() const = 0;
};

/// Today's date from the system's local time.
class SystemClock final : public Clock
{
public:
    [[nodiscard]] QDate today() const override;
};

/// A clock that stands still on a given day; used by tests and tools.
class FixedClock final : public Clock
{
public:
    explicit FixedClock(QDate day) : m_day(day) {}
    [[nodiscard]] QDate today() const override { return m_day; }
    void setToday(QDate day) { m_day = day; }

private:
    QDate m_day;
};
