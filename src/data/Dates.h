// Calendar dates: validity, day arithmetic, the user date in the company's date order,
// the sort date "yyyy/mm/dd", and the display formats of the program.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Clock.h"

namespace invarro::data {

// The company's DateFormatCode: "M" month first (mm/dd/yyyy), "D" day first (dd/mm/yyyy).
enum class DateOrder { MonthFirst, DayFirst };
// "D" (either case, blanks ignored) gives DayFirst; anything else MonthFirst.
DateOrder DateOrderFromCode(std::string_view code);
std::string_view DateOrderCode(DateOrder order);

struct Date {
    int year = 1;
    int month = 1;
    int day = 1;
    constexpr auto operator<=>(const Date&) const = default;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// Years 1..9999, months 1..12, days within the month.
bool IsValidDate(const Date& d);

// Consecutive day numbers: 1 January 1 is day 1.
int32_t DayNumber(const Date& d);
Date DateFromDayNumber(int32_t n);
Date AddDays(const Date& d, int32_t days);
// to minus from, in days.
int32_t DaysBetween(const Date& from, const Date& to);
// 0 Sunday .. 6 Saturday.
int DayOfWeek(const Date& d);

Date DateOf(const platform::LocalDateTime& t);
Date Today(const platform::Clock& clock);

// A user date: two numbers of one or two digits and a year of four digits separated by
// "/", in the given order; blanks at both ends are ignored. Invalid dates give nothing.
std::optional<Date> ParseUserDate(std::string_view text, DateOrder order);
// mm/dd/yyyy or dd/mm/yyyy with two-digit month and day: the program's short date.
std::string FormatUserDate(const Date& d, DateOrder order);

// yyyy/mm/dd exactly as stored (blanks at both ends ignored).
std::optional<Date> ParseSortDate(std::string_view text);
std::string FormatSortDate(const Date& d);
// A user date as sort date; nothing when it is not a valid date.
std::optional<std::string> SortDateFromUserDate(std::string_view text, DateOrder order);
std::optional<std::string> UserDateFromSortDate(std::string_view text, DateOrder order);

// "Sunday, March 3, 2024, 02:05 PM" ("dddd, mmmm d, yyyy, hh:mm AM/PM").
std::string FormatLongDateTime(const platform::LocalDateTime& t);
// "Sunday, March 3, 2024" ("dddd, mmmm d, yyyy").
std::string FormatLongDate(const Date& d);
// "Mar 3, 2024" ("mmm d, yyyy").
std::string FormatMonthDayYear(const Date& d);
// "3 Mar, 2024" ("d mmm, yyyy").
std::string FormatDayMonthYear(const Date& d);

}  // namespace invarro::data
