// Dates, times and the process-wide date settings.
#pragma once

#include "value.h"

#include <ctime>
#include <string>
#include <string_view>

namespace rt {

[[nodiscard]] Date makeDate(int year, int month, int day) noexcept;  // empty date if invalid
void splitDate(Date d, int& year, int& month, int& day) noexcept;    // 0,0,0 for the empty date
[[nodiscard]] Date today() noexcept;
[[nodiscard]] int dayOfWeek(Date d) noexcept;              // 1 = Sunday .. 7 = Saturday; 0 for the empty date
[[nodiscard]] std::string_view dayName(Date d) noexcept;   // "Sunday" ..; "" for the empty date
[[nodiscard]] std::string_view monthName(int month) noexcept;  // "January" ..; "" outside 1..12

// Date format such as "mm/dd/yy" or "dd-mm-yyyy"; the century switch decides
// whether a "yy" format shows four digits. Both return the previous setting.
// The format is the one truth: setCentury rewrites its year field ("yy" <->
// "yyyy"), and setDateFormat sets the switch from the format it is given.
// A format other than dd, mm, yy or yyyy and separators raises.
std::string setDateFormat(std::string_view fmt = {});  // empty: only read
bool setCentury(int on = -1);                            // -1: only read
int setEpoch(int year = -1);                             // two-digit years count from it; -1: only read

// The format a process starts with: the locale's order of day, month and
// year and its separator (LC_ALL, LC_TIME or LANG, as es_ES gives
// "dd/mm/yyyy" and en_US "mm/dd/yyyy"), always with four-digit years;
// "dd-mm-yyyy" when the locale is C or names no numeric date.
[[nodiscard]] std::string localeDateFormat();
// The same from a strftime date format ("%d/%m/%y"); "" when it is not one
// of numbers and one separator.
[[nodiscard]] std::string dateFormatOf(std::string_view strftimeFormat);

[[nodiscard]] std::string dtoc(Date d);          // current format; blanks for the empty date
[[nodiscard]] Date ctod(std::string_view s);     // current format; empty date when not a date
[[nodiscard]] std::string dtos(Date d);          // "yyyymmdd"; 8 blanks for the empty date
[[nodiscard]] Date stod(std::string_view s);     // from "yyyymmdd"

[[nodiscard]] std::string timeText();            // "hh:mm:ss" now
[[nodiscard]] std::string timeText(const std::tm& tm);  // the same of a broken-down time
[[nodiscard]] double secondsOfDay();             // seconds since midnight, hundredths
[[nodiscard]] std::string ampm(std::string_view time);  // "14:30:00" -> " 2:30:00 pm"

}  // namespace rt
