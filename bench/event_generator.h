#pragma once

#include <QString>

/// Writes a new event database `fileName` (which must not exist) holding `count`
/// events: every time type and repetition in equal shares, dates spread over
/// 2018..2030 and titles and descriptions such as people type. The same seed gives
/// the same file. Throws StoreError or std::exception on failure.
void GenerateEvents(const QString& fileName, int count, unsigned seed = 1);

/// The file of a database of `count` generated events (seed 1) in a temporary folder
/// that lives as long as the process; made on the first call for each count. The
/// generated titles repeat (38 different ones); `distinctTitles` makes every title
/// different, the worst case of the title order.
[[nodiscard]] QString GeneratedDatabase(int count, bool distinctTitles = false);
