#pragma once

#include "color_ref.h"

#include <QtGlobal>

/// What a stored preference holds: a 32-bit colour or a 16-bit flag or choice.
enum class PreferenceKind
{
    Color,
    Choice,
};

/// One key of the settings store with the default its readers use when it is absent.
struct Preference
{
    const char* key;
    PreferenceKind kind;
    qint32 defaultValue;
    /// The colour options dialog shows its own default for the "Today" pair; for every
    /// other key this equals defaultValue.
    qint32 optionsDefault;
};

namespace preferences {

constexpr Preference color(const char* key, ColorRef defaultValue, ColorRef optionsDefault)
{
    return {key, PreferenceKind::Color, qint32(defaultValue), qint32(optionsDefault)};
}
constexpr Preference color(const char* key, ColorRef defaultValue)
{
    return color(key, defaultValue, defaultValue);
}
constexpr Preference choice(const char* key, qint16 defaultValue)
{
    return {key, PreferenceKind::Choice, defaultValue, defaultValue};
}

inline constexpr ColorRef kBlack = 0;
inline constexpr ColorRef kWhite = 16777215;
inline constexpr ColorRef kLightGrey = 14737632;
inline constexpr ColorRef kBlue = 16711680;

inline constexpr Preference MonthYearBackcolor = color("Month-Year Backcolor", kLightGrey);
inline constexpr Preference MonthYearForecolor = color("Month-Year Forecolor", kBlack);
inline constexpr Preference DowBackcolor = color("DOW Backcolor", kLightGrey);
inline constexpr Preference DowForecolor = color("DOW Forecolor", kBlack);
inline constexpr Preference DayBackcolor = color("Day Backcolor", kWhite);
inline constexpr Preference DayForecolor = color("Day Forecolor", kBlack);
inline constexpr Preference BlankBackcolor = color("Blank Backcolor", 16761024);
inline constexpr Preference WeekendBackcolor = color("Weekend Backcolor", 12632319);
inline constexpr Preference WeekendForecolor = color("Weekend Forecolor", kBlack);
// The grid paints today blue on white until the user picks; the options dialog shows the reverse.
inline constexpr Preference TodayBackcolor = color("Today Backcolor", kBlue, kWhite);
inline constexpr Preference TodayForecolor = color("Today Forecolor", kWhite, kBlue);
inline constexpr Preference HolidayBackcolor = color("Holiday Backcolor", 255);
inline constexpr Preference HolidayForecolor = color("Holiday Forecolor", kBlack);
inline constexpr Preference SpecialDay = choice("Special Day", 0);
inline constexpr Preference Check1 = choice("Check1", 0);
inline constexpr Preference Passed = choice("Passed", 2);

} // namespace preferences
