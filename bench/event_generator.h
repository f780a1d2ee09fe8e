#pragma once

#include <QDate>
#include <QString>

/// Writes a new event database `fileName` (which must not exist) holding `count`
/// events: every time type and repetition in equal shares, dates spread over
/// 2018..2030 and titles and descriptions such as people type. The same seed gives
/// the same file. `distinctTitles` makes every title different (a number is appended),
/// the worst case of the title order. Throws StoreError or std::exception on failure.
void GenerateEvents(const QString& fileName, int count, unsigned seed = 1, bool distinctTitles = false);

/// The file of a database of `count` generated events (seed 1) in a temporary folder
/// that lives as long as the process; made on the first call for each count. The
/// generated titles repeat (38 different ones); with `distinctTitles` they all differ.
/// With `detailed`, AddDetailedEvents adds that many events from other calendars.
[[nodiscard]] QString GeneratedDatabase(int count, bool distinctTitles = false, int detailed = 0);

/// Adds `count` events with details to the database `fileName`, as phones and other desktops
/// make them: a time of day in a time zone (a TZID and its VTIMEZONE; some in UTC, some
/// floating), several days, repeats with ends, gaps and none. Their starts are kept ready around
/// `today` (none: the system's date), as the program leaves the file when it starts on that day.
/// With `utc`, the same events with every time of day in UTC, and no VTIMEZONE; with `alarms`,
/// each timed one with an alarm a quarter of an hour before its start.
void AddDetailedEvents(const QString& fileName, int count, unsigned seed = 2, QDate today = {}, bool utc = false,
                       bool alarms = false);
