#pragma once

#include "core/color_ref.h"
#include "occurrence.h"

#include <QList>
#include <QString>

#include <array>

class SettingsSnapshot;
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

/// The years the calendar draws and lets the user go to.
inline constexpr int kFirstShownYear = 100;
inline constexpr int kLastShownYear = 9999;

/// The month and year the main window shows.
struct ViewedMonth
{
    int month = 1; ///< 1..12
    int year = 2000;
    friend bool operator==(ViewedMonth, ViewedMonth) = default;
};

/// Ids of once-only events of the shown month that lie before today, in the order found.
using PassedEventIds = QList<qint64>;

/// What a drawing found besides the cells' texts.
struct MonthFindings
{
    PassedEventIds passed;   ///< once-only events of the month before today, in the order found
    QList<EventTitle> today; ///< events that fall on today, when the month holds today
};

/// Index of the cell that holds day 1 of the month (0..6).
[[nodiscard]] int FirstCellOf(ViewedMonth view);

/// Paints the 42 cells for `frame`: blank and day cells with their tags, texts and
/// colours (weekends only with "Special Day" = 1), then today's cell. A failure to read
/// a colour leaves the cells painted so far.
void PaintMonth(MonthGrid& grid, const MonthFrame& frame, QDate today, const SettingsSnapshot& settings);

/// Writes the month's holiday (if any) into its cell, in the holiday colours when
/// "Special Day" = 1.
void MarkHoliday(MonthGrid& grid, const MonthFrame& frame, const SettingsSnapshot& settings);

/// Appends the title of every event to each day of `frame` on which it falls, in the
/// order the source gives the events; returns the once-only events that fall before
/// `today` and the events that fall on `today`.
[[nodiscard]] MonthFindings FillEvents(MonthGrid& grid, const MonthFrame& frame, QDate today,
                                       const EventSource& events);

/// The whole drawing of `view`: PaintMonth, MarkHoliday, FillEvents. Throws what a stage
/// throws; the cells keep what was drawn until then.
[[nodiscard]] MonthFindings DrawMonth(MonthGrid& grid, ViewedMonth view, QDate today, const SettingsSnapshot& settings,
                                      const EventSource& events);
