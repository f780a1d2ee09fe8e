#include "month_grid.h"

#include "core/settings_store.h"
#include "dates.h"
#include "occurrence.h"

#include <QDate>
#include <QSet>

namespace pref = preferences;

namespace {

void paintBlank(DayCell& cell, const SettingsSnapshot& settings)
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
    return MonthFrame(view.month, view.year).firstCell();
}

void PaintMonth(MonthGrid& grid, const MonthFrame& frame, QDate today, const SettingsSnapshot& settings)
{
    const int first = frame.firstCell();
    for (int i = 0; i < first; ++i)
        paintBlank(grid.cells[std::size_t(i)], settings);
    for (int day = 1; day <= frame.dayCount; ++day) {
        DayCell& cell = grid.cells[std::size_t(first + day - 1)];
        cell.background = settings.color(pref::DayBackcolor);
        cell.foreground = settings.color(pref::DayForecolor);
        cell.tag = QString::number(day);
        cell.text = cell.tag;
        const int weekday = frame.weekdayOf(day);
        if (settings.choice(pref::SpecialDay) == 1 && (weekday == 1 || weekday == 7)) {
            cell.background = settings.color(pref::WeekendBackcolor);
            cell.foreground = settings.color(pref::WeekendForecolor);
        }
    }
    for (int i = first + frame.dayCount; i < MonthGrid::kCellCount; ++i)
        paintBlank(grid.cells[std::size_t(i)], settings);

    if (today.month() == frame.month && today.year() == frame.year) {
        DayCell& cell = grid.cells[std::size_t(first + today.day() - 1)];
        cell.background = settings.color(pref::TodayBackcolor);
        cell.foreground = settings.color(pref::TodayForecolor);
    }
}

void MarkHoliday(MonthGrid& grid, const MonthFrame& frame, const SettingsSnapshot& settings)
{
    const bool colouring = settings.choice(pref::SpecialDay) == 1;
    for (const Holiday& holiday : kHolidays) {
        if (holiday.month != frame.month)
            continue;
        const int index = holiday.day == 0 ? ThanksgivingCell(frame.year) : frame.firstCell() + holiday.day - 1;
        DayCell& cell = grid.cells[std::size_t(index)];
        if (colouring) {
            cell.background = settings.color(pref::HolidayBackcolor);
            cell.foreground = settings.color(pref::HolidayForecolor);
        }
        cell.text += u'\r' + QLatin1String(holiday.name);
        return;
    }
}

MonthFindings FillEvents(MonthGrid& grid, const MonthFrame& frame, QDate today, const EventSource& events)
{
    MonthFindings found;
    const int first = frame.firstCell();
    const QDate firstDay(frame.year, frame.month, 1);
    QSet<qint64> passed; // an event of several days has passed once
    ForEachOccurrence(events, {firstDay, firstDay.addDays(frame.dayCount - 1), today}, [&](const Occurrence& o) {
        QString& text = grid.cells[std::size_t(first + firstDay.daysTo(o.day))].text;
        text += u"\r\n";
        // Most occurrences are the rows' own, without a time: their title goes in as it is.
        if (o.start.isValid() || o.goesOn)
            text += ShownTitle(o);
        else
            text += o.title;
        if (o.passed && !passed.contains(o.event->id)) {
            passed.insert(o.event->id);
            found.passed.append(o.event->id);
        }
        if (o.day == today)
            found.today.append({o.event->id, ShownTitle(o)});
    });
    return found;
}

MonthFindings DrawMonth(MonthGrid& grid, ViewedMonth view, QDate today, const SettingsSnapshot& settings,
                        const EventSource& events)
{
    const MonthFrame frame(view.month, view.year);
    PaintMonth(grid, frame, today, settings);
    MarkHoliday(grid, frame, settings);
    return FillEvents(grid, frame, today, events);
}
