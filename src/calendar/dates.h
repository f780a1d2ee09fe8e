#pragma once

#include <QDate>
#include <QString>

// Weekdays are numbered Sunday = 1 .. Saturday = 7 everywhere in the program,
// whatever the user's locale says about the first day of the week.

/// Weekday number (Sunday = 1 .. Saturday = 7) of a valid date.
[[nodiscard]] int WeekdayNumber(QDate date);

/// The last day of the month of a valid `date`; throws std::invalid_argument otherwise.
[[nodiscard]] QDate LastDayOfMonth(QDate date);

/// Number of days (28..31) of month `month` (1..12) of `year`.
[[nodiscard]] int DaysInMonth(int month, int year);

/// Index (25 or 32) of the month-grid cell that holds the fourth Thursday of
/// November of `year`; only valid with the Sunday-first, six-row grid.
[[nodiscard]] int ThanksgivingCell(int year);

/// True for Monday to Friday, false for Saturday and Sunday.
[[nodiscard]] bool IsWorkingDay(QDate date);

/// Fixed English name of a weekday number 1..7; empty text for any other number.
[[nodiscard]] QString WeekdayNameOf(int weekday);
