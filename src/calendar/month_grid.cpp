#include "month_grid.h"

#include "dates.h"
#include "occurrence.h"
#include "settings/settings_store.h"

#include <QDate>

namespace {

constexpr ColorRef kWhite = 16777215;
constexpr ColorRef kBlack = 0;

void paintBlank(DayCell& cell, const SettingsStore& settings)
{
    cell.background = settings.color(QStringLiteral("Blank Backcolor"), 16761024);
    cell.tag = QStringLiteral("0");
    cell.text.clear();
}

struct Holiday
{
    int month;
    int day; ///< 0: the fourth Thursday, found by ThanksgivingCell
    const char* name;
};

constexpr Holiday kHolidays[] = {
    {1, 1, "New Year's Day"}, {2, 14, "Valentine's Day"}, {7, 4, "American Independance Day"},
    {10, 31, "Halloween"},    {11, 0, "Thanksgiving"},    {12, 25, "Christmas"},
};

} // namespace

int FirstCellOf(ViewedMonth view)
{
    return WeekdayNumber(QDate(view.year, view.month, 1)) - 1;
}

void PaintMonth(MonthGrid& grid, ViewedMonth view, QDate today, const SettingsStore& settings)
{
    const QDate firstDay(view.year, view.month, 1);
    if (!firstDay.isValid())
        throw std::invalid_argument("Invalid month to show");
    const int first = FirstCellOf(view);
    for (int i = 0; i < first; ++i)
        paintBlank(grid.cells[std::size_t(i)], settings);

    QDate lastDay = firstDay;
    const int n = LastDayOfMonth(lastDay, today).day();
    for (int i = first; i < first + n; ++i) {
        DayCell& cell = grid.cells[std::size_t(i)];
        const int day = i - first + 1;
        cell.background = settings.color(QStringLiteral("Day Backcolor"), kWhite);
        cell.foreground = settings.color(QStringLiteral("Day Forecolor"), kBlack);
        cell.tag = QString::number(day);
        cell.text = cell.tag;
        if (settings.flag(QStringLiteral("Special Day"), 0) == 1 && !IsWorkingDay(QDate(view.year, view.month, day))) {
            cell.background = settings.color(QStringLiteral("Weekend Backcolor"), 12632319);
            cell.foreground = settings.color(QStringLiteral("Weekend Forecolor"), kBlack);
        }
    }
    for (int i = first + n; i < MonthGrid::kCellCount; ++i)
        paintBlank(grid.cells[std::size_t(i)], settings);

    if (today.month() == view.month && today.year() == view.year) {
        DayCell& cell = grid.cells[std::size_t(first + today.day() - 1)];
        cell.background = settings.color(QStringLiteral("Today Backcolor"), 16711680);
        cell.foreground = settings.color(QStringLiteral("Today Forecolor"), kWhite);
    }
}

void MarkHoliday(MonthGrid& grid, ViewedMonth view, const SettingsStore& settings)
{
    const bool colouring = settings.flag(QStringLiteral("Special Day"), 0) == 1;
    for (const Holiday& holiday : kHolidays) {
        if (holiday.month != view.month)
            continue;
        const int index = holiday.day == 0 ? ThanksgivingCell(view.year) : FirstCellOf(view) + holiday.day - 1;
        DayCell& cell = grid.cells[std::size_t(index)];
        if (colouring) {
            cell.background = settings.color(QStringLiteral("Holiday Backcolor"), 255);
            cell.foreground = settings.color(QStringLiteral("Holiday Forecolor"), kBlack);
        }
        cell.text += u'\r' + QLatin1String(holiday.name);
        return;
    }
}

void FillEvents(MonthGrid& grid, ViewedMonth view, QDate today, const EventSource& events, PassedEventIds& passed)
{
    const MonthFrame frame = MonthFrame::of(view.month, view.year);
    const int first = frame.firstWeekday - 1;
    ForEachOccurrence(events, frame, [&](const EventRecord& event, const QVarLengthArray<int, 5>& days) {
        for (int day : days) {
            QString& text = grid.cells[std::size_t(first + day - 1)].text;
            text += u"\r\n";
            text += event.title;
            if (event.is(Consistancy::Once) && QDate(view.year, view.month, day) < today)
                passed.append(event.id);
        }
    });
}

void DrawMonth(MonthGrid& grid, ViewedMonth view, QDate today, const SettingsStore& settings, const EventSource& events,
               PassedEventIds& passed)
{
    PaintMonth(grid, view, today, settings);
    MarkHoliday(grid, view, settings);
    FillEvents(grid, view, today, events, passed);
}
