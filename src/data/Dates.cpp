#include "data/Dates.h"

#include <cstdio>

#include "data/Ansi.h"

namespace invarro::data {

namespace {

constexpr const char* kMonthNames[12] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
constexpr const char* kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};

std::string Two(int n) {
    char b[8];
    std::snprintf(b, sizeof b, "%02d", n);
    return b;
}
std::string Four(int n) {
    char b[8];
    std::snprintf(b, sizeof b, "%04d", n);
    return b;
}

// Digits only, between minLen and maxLen of them.
std::optional<int> Number(std::string_view s, size_t minLen, size_t maxLen) {
    if (s.size() < minLen || s.size() > maxLen) return std::nullopt;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

// Splits "a/b/c" into three parts.
bool SplitThree(std::string_view s, std::string_view parts[3]) {
    size_t p1 = s.find('/');
    if (p1 == std::string_view::npos) return false;
    size_t p2 = s.find('/', p1 + 1);
    if (p2 == std::string_view::npos || s.find('/', p2 + 1) != std::string_view::npos) return false;
    parts[0] = s.substr(0, p1);
    parts[1] = s.substr(p1 + 1, p2 - p1 - 1);
    parts[2] = s.substr(p2 + 1);
    return true;
}

std::string ShortMonth(int month) {
    return std::string(kMonthNames[month - 1]).substr(0, 3);
}

}  // namespace

DateOrder DateOrderFromCode(std::string_view code) {
    std::string_view c = TrimText(code);
    return (c == "D" || c == "d") ? DateOrder::DayFirst : DateOrder::MonthFirst;
}

std::string_view DateOrderCode(DateOrder order) {
    return order == DateOrder::DayFirst ? "D" : "M";
}

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDate(const Date& d) {
    return d.year >= 1 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
           d.day <= DaysInMonth(d.year, d.month);
}

int32_t DayNumber(const Date& d) {
    // Days before the year, then before the month, then the day.
    int y = d.year - 1;
    int32_t n = y * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < d.month; ++m)
        n += DaysInMonth(d.year, m);
    return n + d.day;
}

Date DateFromDayNumber(int32_t n) {
    if (n < 1) n = 1;
    // Whole 400-, 100-, 4- and 1-year cycles before the day.
    int32_t d = n - 1;
    int y = 1 + 400 * (d / 146097);
    d %= 146097;
    int c = d / 36524;
    if (c == 4) c = 3;
    y += 100 * c;
    d -= c * 36524;
    y += 4 * (d / 1461);
    d %= 1461;
    int a = d / 365;
    if (a == 4) a = 3;
    y += a;
    d -= a * 365;
    int m = 1;
    while (d >= DaysInMonth(y, m)) {
        d -= DaysInMonth(y, m);
        ++m;
    }
    return Date{y, m, d + 1};
}

Date AddDays(const Date& d, int32_t days) {
    return DateFromDayNumber(DayNumber(d) + days);
}

int32_t DaysBetween(const Date& from, const Date& to) {
    return DayNumber(to) - DayNumber(from);
}

int DayOfWeek(const Date& d) {
    // 1 January 1 (proleptic Gregorian) was a Monday.
    return int(DayNumber(d) % 7);
}

Date DateOf(const platform::LocalDateTime& t) {
    return Date{t.year, t.month, t.day};
}

Date Today(const platform::Clock& clock) {
    return DateOf(clock.now());
}

std::optional<Date> ParseUserDate(std::string_view text, DateOrder order) {
    std::string_view parts[3];
    if (!SplitThree(TrimText(text), parts)) return std::nullopt;
    auto a = Number(parts[0], 1, 2);
    auto b = Number(parts[1], 1, 2);
    auto y = Number(parts[2], 4, 4);
    if (!a || !b || !y) return std::nullopt;
    Date d = order == DateOrder::MonthFirst ? Date{*y, *a, *b} : Date{*y, *b, *a};
    if (!IsValidDate(d)) return std::nullopt;
    return d;
}

std::string FormatUserDate(const Date& d, DateOrder order) {
    if (order == DateOrder::MonthFirst) return Two(d.month) + "/" + Two(d.day) + "/" + Four(d.year);
    return Two(d.day) + "/" + Two(d.month) + "/" + Four(d.year);
}

std::optional<Date> ParseSortDate(std::string_view text) {
    std::string_view parts[3];
    if (!SplitThree(TrimText(text), parts)) return std::nullopt;
    auto y = Number(parts[0], 4, 4);
    auto m = Number(parts[1], 2, 2);
    auto d = Number(parts[2], 2, 2);
    if (!y || !m || !d) return std::nullopt;
    Date date{*y, *m, *d};
    if (!IsValidDate(date)) return std::nullopt;
    return date;
}

std::string FormatSortDate(const Date& d) {
    return Four(d.year) + "/" + Two(d.month) + "/" + Two(d.day);
}

std::optional<std::string> SortDateFromUserDate(std::string_view text, DateOrder order) {
    auto d = ParseUserDate(text, order);
    if (!d) return std::nullopt;
    return FormatSortDate(*d);
}

std::optional<std::string> UserDateFromSortDate(std::string_view text, DateOrder order) {
    auto d = ParseSortDate(text);
    if (!d) return std::nullopt;
    return FormatUserDate(*d, order);
}

std::string FormatLongDate(const Date& d) {
    if (!IsValidDate(d)) return {};
    return std::string(kDayNames[DayOfWeek(d)]) + ", " + kMonthNames[d.month - 1] + " " +
           std::to_string(d.day) + ", " + std::to_string(d.year);
}

std::string FormatLongDateTime(const platform::LocalDateTime& t) {
    if (!IsValidDate(DateOf(t))) return {};
    int h12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    return FormatLongDate(DateOf(t)) + ", " + Two(h12) + ":" + Two(t.minute) +
           (t.hour < 12 ? " AM" : " PM");
}

std::string FormatMonthDayYear(const Date& d) {
    if (!IsValidDate(d)) return {};
    return ShortMonth(d.month) + " " + std::to_string(d.day) + ", " + std::to_string(d.year);
}

std::string FormatDayMonthYear(const Date& d) {
    if (!IsValidDate(d)) return {};
    return std::to_string(d.day) + " " + ShortMonth(d.month) + ", " + std::to_string(d.year);
}

}  // namespace invarro::data
