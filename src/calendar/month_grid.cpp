#include "month_grid.h"

#include "core/settings_store.h"
#include "dates.h"
#include "occurrence.h"

#include <QDate>

namespace pref = preferences;

namespace {

void paintBlank(DayCell& cell, const SettingsStore& settings)
{
    cell.background = settings.color(pref::BlankBackcolor);
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

    const int n = LastDayOfMonth(firstDay).day();
    for (int i = first; i < first + n; ++i) {
        DayCell& cell = grid.cells[std::size_t(i)];
        const int day = i - first + 1;
        cell.background = settings.color(pref::DayBackcolor);
        cell.foreground = settings.color(pref::DayForecolor);
        cell.tag = QString::number(day);
        cell.text = cell.tag;
        if (settings.choice(pref::SpecialDay) == 1 && !IsWorkingDay(QDate(view.year, view.month, day))) {
            cell.background = settings.color(pref::WeekendBackcolor);
            cell.foreground = settings.color(pref::WeekendForecolor);
        }
    }
    for (int i = first + n; i < MonthGrid::kCellCount; ++i)
        paintBlank(grid.cells[std::size_t(i)], settings);

    if (today.month() == view.month && today.year() == view.year) {
        DayCell& cell = grid.cells[std::size_t(first + today.day() - 1)];
        cell.background = settings.color(pref::TodayBackcolor);
        cell.foreground = settings.color(pref::TodayForecolor);
    }
}

void MarkHoliday(MonthGrid& grid, ViewedMonth view, const SettingsStore& settings)
{
    const bool colouring = settings.choice(pref::SpecialDay) == 1;
    for (const Holiday& holiday : kHolidays) {
        if (holiday.month != view.month)
            continue;
        const int index = holiday.day == 0 ? ThanksgivingCell(view.year) : FirstCellOf(view) + holiday.day - 1;
        DayCell& cell = grid.cells[std::size_t(index)];
        if (colouring) {
            cell.background = settings.color(pref::HolidayBackcolor);
            cell.foreground = settings.color(pref::HolidayForecolor);
        }
        cell.text += u'\r' + QLatin1String(holiday.name);
        return;
    }
}

void FillEvents(MonthGrid& grid, ViewedMonth view, QDate today, const EventSource& events, PassedEventIds& passed,
                TodaysEvents* todays)
{
    const MonthFrame frame = MonthFrame::of(view.month, view.year);
    const int first = frame.firstWeekday - 1;
    const bool showsToday = today.month() == view.month && today.year() == view.year;
    ForEachOccurrence(events, frame, [&](const EventRecord& event, const QVarLengthArray<int, 5>& days) {
        for (int day : days) {
            QString& text = grid.cells[std::size_t(first + day - 1)].text;
            text += u"\r\n";
            text += event.title;
            if (event.is(Consistancy::Once) && QDate(view.year, view.month, day) < today)
                passed.append(event.id);
            if (todays && showsToday && day == today.day()) {
                todays->ids.append(event.id);
                todays->titles.append(event.title);
            }
        }
    });
}

void DrawMonth(MonthGrid& grid, ViewedMonth view, QDate today, const SettingsStore& settings, const EventSource& events,
               PassedEventIds& passed, TodaysEvents* todays)
{
    const SettingsStore::Reading reading(settings);
    PaintMonth(grid, view, today, settings);
    MarkHoliday(grid, view, settings);
    FillEvents(grid, view, today, events, passed, todays);
}
