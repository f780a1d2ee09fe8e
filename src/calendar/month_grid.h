#pragma once

#include "core/color_ref.h"

#include <QList>
#include <QString>

#include <array>

class EventSource;
class SettingsStore;
class QDate;

/// One of the 42 day cells of the month view.
struct DayCell
{
    QString text; ///< Day number, then holiday name (after CR) and event titles (each after CR LF).
    QString tag;  ///< "1".."31" for a day, "0" for a blank cell, empty before the first drawing.
    ColorRef background = 0;
    ColorRef foreground = 0;
};

/// The body of the month view: six weeks of seven days, Sunday in column 0,
/// cells numbered 0..41 row by row.
struct MonthGrid
{
    static constexpr int kCellCount = 42;
    std::array<DayCell, kCellCount> cells;
};

/// The month and year the main window shows.
struct ViewedMonth
{
    int month = 1; ///< 1..12
    int year = 2000;
};

/// Ids of once-only events of the shown month that lie before today, in the order found.
using PassedEventIds = QList<qint64>;

/// The events that fall on today, as a drawing of today's month found them: ids and
/// titles side by side, in the source's order.
struct TodaysEvents
{
    QList<qint64> ids;
    QList<QString> titles;
};

/// Index of the cell that holds day 1 of the month (0..6).
[[nodiscard]] int FirstCellOf(ViewedMonth view);

/// Paints the 42 cells for `view`: blank and day cells with their tags, texts and
/// colours (weekends only with "Special Day" = 1), then today's cell. Settings are
/// read as each cell is painted; a failure leaves the cells painted so far.
void PaintMonth(MonthGrid& grid, ViewedMonth view, QDate today, const SettingsStore& settings);

/// Writes the month's holiday (if any) into its cell, in the holiday colours when
/// "Special Day" = 1.
void MarkHoliday(MonthGrid& grid, ViewedMonth view, const SettingsStore& settings);

/// Appends the title of every event to each day of `view` on which it falls, in the
/// order the source gives the events, and appends to `passed` the id of every
/// once-only event that falls before `today`, and to `todays` (when given) every event
/// that falls on `today`.
void FillEvents(MonthGrid& grid, ViewedMonth view, QDate today, const EventSource& events, PassedEventIds& passed,
                TodaysEvents* todays = nullptr);

/// The whole drawing: PaintMonth, MarkHoliday, FillEvents.
void DrawMonth(MonthGrid& grid, ViewedMonth view, QDate today, const SettingsStore& settings, const EventSource& events,
               PassedEventIds& passed, TodaysEvents* todays = nullptr);
