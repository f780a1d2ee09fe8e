#include "dates.h"

#include <array>
#include <stdexcept>

int WeekdayNumber(QDate date)
{
    if (!date.isValid())
        throw std::invalid_argument("Invalid date: no weekday");
    return date.dayOfWeek() % 7 + 1; // Qt counts Monday = 1 .. Sunday = 7
}

QDate LastDayOfMonth(QDate date)
{
    if (!date.isValid())
        throw std::invalid_argument("Invalid date: no last day of month");
    return QDate(date.year(), date.month(), 1).addMonths(1).addDays(-1);
}

int DaysInMonth(int month, int year)
{
    const QDate first(year, month, 1);
    if (!first.isValid())
        throw std::invalid_argument("Invalid month or year");
    return first.daysInMonth();
}

int ThanksgivingCell(int year)
{
    return WeekdayNumber(QDate(year, 11, 1)) <= 5 ? 25 : 32;
}

bool IsWorkingDay(QDate date)
{
    const int weekday = WeekdayNumber(date);
    return weekday != 1 && weekday != 7;
}

QString WeekdayNameOf(int weekday)
{
    static const std::array<const char*, 7> names = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                     "Thursday", "Friday", "Saturday"};
    if (weekday < 1 || weekday > 7)
        return {};
    return QString::fromLatin1(names[std::size_t(weekday - 1)]);
}
