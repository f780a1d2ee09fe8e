#pragma once

// The codes as they stand in the event table, written out here rather than taken from
// the engine's enums, so that a changed enum value cannot pass unnoticed.
inline constexpr int kByDate = 1;
inline constexpr int kByDayOfWeek = 2;
inline constexpr int kOnce = 1;
inline constexpr int kWeekly = 2;
inline constexpr int kMonthly = 3;
inline constexpr int kAnnually = 4;
inline constexpr int kSunday = 1;
inline constexpr int kMonday = 2;
inline constexpr int kThursday = 5;
