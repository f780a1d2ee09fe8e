#pragma once

#include "color_ref.h"

#include <QtGlobal>

/// A colour key of the settings store with the default its readers use when it is absent.
struct ColorPreference
{
    const char* key;
    ColorRef defaultValue;
    /// The colour options dialog shows its own default for the "Today" pair; for every
    /// other key this equals defaultValue.
    ColorRef optionsDefault;
};

/// A flag or choice key (a 16-bit whole number) with its readers' default.
struct ChoicePreference
{
    const char* key;
    qint16 defaultValue;
};

namespace preferences {

constexpr ColorPreference color(const char* key, ColorRef defaultValue, ColorRef optionsDefault)
{
    return {key, defaultValue, optionsDefault};
}
constexpr ColorPreference color(const char* key, ColorRef defaultValue)
{
    return color(key, defaultValue, defaultValue);
}
constexpr ChoicePreference choice(const char* key, qint16 defaultValue)
{
    return {key, defaultValue};
}

inline constexpr ColorRef kBlack = 0;
inline constexpr ColorRef kWhite = 16777215;
inline constexpr ColorRef kLightGrey = 14737632;
inline constexpr ColorRef kBlue = 16711680;

inline constexpr ColorPreference MonthYearBackcolor = color("Month-Year Backcolor", kLightGrey);
inline constexpr ColorPreference MonthYearForecolor = color("Month-Year Forecolor", kBlack);
inline constexpr ColorPreference DowBackcolor = color("DOW Backcolor", kLightGrey);
inline constexpr ColorPreference DowForecolor = color("DOW Forecolor", kBlack);
inline constexpr ColorPreference DayBackcolor = color("Day Backcolor", kWhite);
inline constexpr ColorPreference DayForecolor = color("Day Forecolor", kBlack);
inline constexpr ColorPreference BlankBackcolor = color("Blank Backcolor", 16761024);
inline constexpr ColorPreference WeekendBackcolor = color("Weekend Backcolor", 12632319);
inline constexpr ColorPreference WeekendForecolor = color("Weekend Forecolor", kBlack);
// The grid paints today blue on white until the user picks; the options dialog shows the reverse.
inline constexpr ColorPreference TodayBackcolor = color("Today Backcolor", kBlue, kWhite);
inline constexpr ColorPreference TodayForecolor = color("Today Forecolor", kWhite, kBlue);
inline constexpr ColorPreference HolidayBackcolor = color("Holiday Backcolor", 255);
inline constexpr ColorPreference HolidayForecolor = color("Holiday Forecolor", kBlack);
inline constexpr ChoicePreference SpecialDay = choice("Special Day", 0);
inline constexpr ChoicePreference Check1 = choice("Check1", 0);
inline constexpr ChoicePreference Passed = choice("Passed", 2);

} // namespace preferences
