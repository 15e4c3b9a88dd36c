// Dates as Julian day numbers, the process-wide date settings, and the
// clock functions of the language.
//
// The date format text is the one truth about how dates look: SetCentury
// rewrites its year field (on: "yy" becomes "yyyy"; off: "yyyy" becomes
// "yy"), and SetDateFormat sets the switch from the format it is given
// ("yyyy" turns it on, "yy" off). So "dd-mm-yyyy" shows four digits whatever
// the switch said before, and the switch always reads what dates show.
#include "datetime.h"

#include "builtins.h"
#include "error.h"
#include "functions.h"
#include "text.h"

#include <array>
#include <cctype>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <langinfo.h>
#include <locale.h>
#include <optional>
#include <vector>

namespace rt {

namespace {

constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;

// Fliegel & Van Flandern: valid for every Gregorian date of years 1..9999.
std::int32_t julianOf(int y, int m, int d) noexcept
{
    const int a = (14 - m) / 12;
    const int yy = y + 4800 - a;
    const int mm = m + 12 * a - 3;
    return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

const std::int32_t kFirstJulian = julianOf(kMinYear, 1, 1);
const std::int32_t kLastJulian = julianOf(kMaxYear, 12, 31);

bool isLeap(int y) noexcept { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) noexcept
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// One piece of a date format: a day, month or year field, or literal text.
struct FormatPart {
    char field = 0;  // 'd', 'm', 'y'; 0 for literal text
    int width = 0;
    std::string text;
};

struct DateSettings {
    std::string format = localeDateFormat();
    std::vector<FormatPart> parts;
    bool century = true;
    int epoch = 1900;
};

std::optional<std::vector<FormatPart>> parseFormat(std::string_view fmt)
{
    if (fmt.empty() || fmt.size() > 32)
        return std::nullopt;
    std::vector<FormatPart> parts;
    bool seen[3] = {false, false, false};
    for (std::size_t i = 0; i < fmt.size();) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(fmt[i])));
        if (c == 'd' || c == 'm' || c == 'y') {
            std::size_t j = i;
            while (j < fmt.size() && std::tolower(static_cast<unsigned char>(fmt[j])) == c)
                ++j;
            const int width = static_cast<int>(j - i);
            const int slot = c == 'd' ? 0 : c == 'm' ? 1 : 2;
            const bool widthOk = c == 'y' ? (width == 2 || width == 4) : width == 2;
            if (!widthOk || seen[slot])
                return std::nullopt;
            seen[slot] = true;
            parts.push_back({c, width, {}});
            i = j;
        } else if (std::isalnum(static_cast<unsigned char>(c))) {
            return std::nullopt;
        } else {
            if (parts.empty() || parts.back().field != 0)
                parts.push_back({});
            parts.back().text += fmt[i++];
        }
    }
    if (!(seen[0] && seen[1] && seen[2]))
        return std::nullopt;
    return parts;
}

std::string formatText(const std::vector<FormatPart>& parts)
{
    std::string out;
    for (const auto& p : parts)
        out += p.field ? std::string(static_cast<std::size_t>(p.width), p.field) : p.text;
    return out;
}

DateSettings& settings()
{
    static DateSettings s = [] {
        DateSettings d;
        d.parts = *parseFormat(d.format);
        return d;
    }();
    return s;
}

void appendNumber(std::string& out, int n, int width)
{
    std::string digits = std::to_string(n);
    if (static_cast<int>(digits.size()) < width)
        out.append(static_cast<std::size_t>(width) - digits.size(), '0');
    out += digits;
}

// The digit runs of a date text; nullopt when it holds letters.
std::optional<std::vector<std::string_view>> digitRuns(std::string_view s)
{
    std::vector<std::string_view> runs;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (std::isdigit(c)) {
            std::size_t j = i;
            while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))
                ++j;
            runs.push_back(s.substr(i, j - i));
            i = j;
        } else if (std::isalpha(c)) {
            return std::nullopt;
        } else {
            ++i;
        }
    }
    return runs;
}

int toInt(std::string_view digits) noexcept
{
    int n = 0;
    for (char c : digits)
        n = n * 10 + (c - '0');
    return n;
}

int yearFromText(std::string_view digits)
{
    const int n = toInt(digits);
    if (digits.size() > 2)
        return n;
    const int epoch = settings().epoch;
    int year = epoch / 100 * 100 + n;
    if (year < epoch)
        year += 100;
    return year;
}

std::tm localNow(long* nanos = nullptr)
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    localtime_r(&ts.tv_sec, &tm);
    if (nanos)
        *nanos = ts.tv_nsec;
    return tm;
}

}  // namespace

Date makeDate(int year, int month, int day) noexcept
{
    if (year < kMinYear || year > kMaxYear || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return {};
    return Date{julianOf(year, month, day)};
}

void splitDate(Date d, int& year, int& month, int& day) noexcept
{
    // Days outside years 1..9999 (only date arithmetic makes them) split like the empty date.
    if (d.julian < kFirstJulian || d.julian > kLastJulian) {
        year = month = day = 0;
        return;
    }
    const int a = d.julian + 32044;
    const int b = (4 * a + 3) / 146097;
    const int c = a - 146097 * b / 4;
    const int e = (4 * c + 3) / 1461;
    const int f = c - 1461 * e / 4;
    const int m = (5 * f + 2) / 153;
    day = f - (153 * m + 2) / 5 + 1;
    month = m + 3 - 12 * (m / 10);
    year = 100 * b + e - 4800 + m / 10;
}

Date today() noexcept
{
    const std::tm tm = localNow();
    return makeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

int dayOfWeek(Date d) noexcept
{
    int y, m, dd;
    splitDate(d, y, m, dd);
    return y == 0 ? 0 : (d.julian + 1) % 7 + 1;
}

std::string_view dayName(Date d) noexcept
{
    static constexpr std::array<std::string_view, 7> names = {"Sunday", "Monday", "Tuesday", "Wednesday",
                                                              "Thursday", "Friday", "Saturday"};
    const int dow = dayOfWeek(d);
    return dow == 0 ? std::string_view() : names[static_cast<std::size_t>(dow - 1)];
}

std::string_view monthName(int month) noexcept
{
    static constexpr std::array<std::string_view, 12> names = {"January", "February", "March",     "April",
                                                               "May",     "June",     "July",      "August",
                                                               "September", "October", "November", "December"};
    return month < 1 || month > 12 ? std::string_view() : names[static_cast<std::size_t>(month - 1)];
}

std::string dateFormatOf(std::string_view strftimeFormat)
{
    // "%d/%m/%y", "%m/%d/%Y", "%Y-%m-%d", "%d.%m.%Y", "%D", "%F": the
    // fields' order and the separator between them.
    std::string order, separator;
    for (std::size_t i = 0; i < strftimeFormat.size(); ++i) {
        const char c = strftimeFormat[i];
        if (c != '%') {
            if (!order.empty() && order.size() < 3 && separator.size() < order.size())
                separator += c;
            continue;
        }
        if (++i == strftimeFormat.size())
            break;
        switch (strftimeFormat[i]) {
        case 'd': case 'e': order += 'd'; break;
        case 'm': order += 'm'; break;
        case 'y': case 'Y': order += 'y'; break;
        case 'D': return "mm/dd/yyyy";
        case 'F': return "yyyy-mm-dd";
        default: return {};
        }
    }
    if (order.size() != 3 || separator.size() != 2 || separator[0] != separator[1] ||
        std::isalnum(static_cast<unsigned char>(separator[0])) || separator[0] == ' ')
        return {};
    std::string out;
    for (char f : order)
        out += (out.empty() ? "" : std::string(1, separator[0])) + (f == 'y' ? "yyyy" : std::string(2, f));
    return out;
}

std::string localeDateFormat()
{
    constexpr const char* kDefault = "dd-mm-yyyy";
    std::string name;
    for (const char* var : {"LC_ALL", "LC_TIME", "LANG"})
        if (const char* v = std::getenv(var); v && *v) {
            name = v;
            break;
        }
    // The C locale's "%m/%d/%y" is no choice of the user's.
    if (name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0)
        return kDefault;
    const locale_t loc = newlocale(LC_TIME_MASK, name.c_str(), locale_t(0));
    if (loc == locale_t(0))
        return kDefault;
    const std::string format = dateFormatOf(nl_langinfo_l(D_FMT, loc));
    freelocale(loc);
    return format.empty() ? kDefault : format;
}

std::string setDateFormat(std::string_view fmt)
{
    DateSettings& s = settings();
    std::string previous = s.format;
    if (fmt.empty())
        return previous;
    auto parts = parseFormat(fmt);
    if (!parts)
        raise("Invalid date format", "SetDateFormat", {Value(fmt)});
    s.parts = std::move(*parts);
    s.format = formatText(s.parts);
    for (const auto& p : s.parts)
        if (p.field == 'y')
            s.century = p.width == 4;
    return previous;
}

bool setCentury(int on)
{
    DateSettings& s = settings();
    const bool previous = s.century;
    if (on < 0)
        return previous;
    s.century = on != 0;
    for (auto& p : s.parts)
        if (p.field == 'y')
            p.width = s.century ? 4 : 2;
    s.format = formatText(s.parts);
    return previous;
}

int setEpoch(int year)
{
    DateSettings& s = settings();
    const int previous = s.epoch;
    if (year == -1)
        return previous;
    if (year < 0 || year > kMaxYear)
        raise("Argument error", "SetEpoch", {Value(year)});
    s.epoch = year;
    return previous;
}

std::string dtoc(Date d)
{
    int year, month, day;
    splitDate(d, year, month, day);
    std::string out;
    for (const auto& p : settings().parts) {
        if (p.field == 0)
            out += p.text;
        else if (year == 0)
            out.append(static_cast<std::size_t>(p.width), ' ');
        else if (p.field == 'd')
            appendNumber(out, day, 2);
        else if (p.field == 'm')
            appendNumber(out, month, 2);
        else
            appendNumber(out, p.width == 4 ? year : year % 100, p.width);
    }
    return out;
}

Date ctod(std::string_view s)
{
    const auto runs = digitRuns(s);
    if (!runs || runs->empty())
        return {};  // blanks, "", the empty date's own picture, or not a date at all
    const auto& parts = settings().parts;
    std::vector<std::string_view> fields;  // in the format's order
    if (runs->size() == 3) {
        fields = *runs;
    } else if (runs->size() == 1) {
        // Digits without separators ("07122026") split by the format's widths.
        std::size_t at = 0;
        for (const auto& p : parts)
            if (p.field) {
                fields.push_back((*runs)[0].substr(std::min(at, (*runs)[0].size()), static_cast<std::size_t>(p.width)));
                at += static_cast<std::size_t>(p.width);
            }
        if (at != (*runs)[0].size())
            return {};
    } else {
        return {};
    }
    int year = 0, month = 0, day = 0;
    std::size_t i = 0;
    for (const auto& p : parts) {
        if (!p.field)
            continue;
        const std::string_view f = fields[i++];
        if (f.empty() || f.size() > (p.field == 'y' ? 4u : 2u))
            return {};
        if (p.field == 'd')
            day = toInt(f);
        else if (p.field == 'm')
            month = toInt(f);
        else
            year = yearFromText(f);
    }
    return makeDate(year, month, day);
}

std::string dtos(Date d)
{
    int year, month, day;
    splitDate(d, year, month, day);
    if (year == 0)
        return std::string(8, ' ');
    std::string out;
    appendNumber(out, year, 4);
    appendNumber(out, month, 2);
    appendNumber(out, day, 2);
    return out;
}

Date stod(std::string_view s)
{
    if (s.size() != 8)
        return {};
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return {};
    return makeDate(toInt(s.substr(0, 4)), toInt(s.substr(4, 2)), toInt(s.substr(6, 2)));
}

std::string timeText() { return timeText(localNow()); }

std::string timeText(const std::tm& tm)
{
    std::string out;
    appendNumber(out, tm.tm_hour, 2);
    out += ':';
    appendNumber(out, tm.tm_min, 2);
    out += ':';
    appendNumber(out, tm.tm_sec, 2);
    return out;
}

double secondsOfDay()
{
    long nanos = 0;
    const std::tm tm = localNow(&nanos);
    const long whole = tm.tm_hour * 3600L + tm.tm_min * 60L + tm.tm_sec;
    return static_cast<double>(whole * 100 + nanos / 10000000) / 100.0;
}

std::string ampm(std::string_view time)
{
    if (time.size() < 2 || !std::isdigit(static_cast<unsigned char>(time[0])) ||
        !std::isdigit(static_cast<unsigned char>(time[1])) || toInt(time.substr(0, 2)) > 23)
        raise("Argument error", "AMPM", {Value(time)});
    const int hour = toInt(time.substr(0, 2));
    const std::string_view rest = time.substr(2);
    std::string out;
    if (hour == 0)
        out = "12";  // the midnight hour is 12 am
    else if (hour <= 12)
        out = std::string(time.substr(0, 2));
    else
        out = (hour - 12 < 10 ? " " : "") + std::to_string(hour - 12);
    out += rest;
    out += hour < 12 ? " am" : " pm";
    return out;
}

// --- functions callable from compiled text ---

namespace {

Date dateArg(Args args, const char* name)
{
    const Value& v = argAt(args, 0);
    if (!v.isDate())
        raiseArg(name, args);
    return v.asDate();
}

Value fnDate(Args) { return Value(today()); }
Value fnTime(Args) { return Value(timeText()); }
Value fnSeconds(Args) { return Value::number(secondsOfDay(), 2); }

Value fnAmPm(Args args)
{
    const Value& v = argAt(args, 0);
    if (!v.isChar())
        raiseArg("AMPM", args);
    return Value(ampm(v.asString()));
}

Value fnDtoS(Args args) { return Value(dtos(dateArg(args, "DTOS"))); }
Value fnDtoC(Args args) { return Value(dtoc(dateArg(args, "DTOC"))); }

Value fnStoD(Args args)
{
    const Value& v = argAt(args, 0);
    if (v.isNil())
        return Value(Date{});
    if (!v.isChar())
        raiseArg("STOD", args);
    return Value(stod(v.asString()));
}

Value fnCtoD(Args args)
{
    const Value& v = argAt(args, 0);
    if (!v.isChar())
        raiseArg("CTOD", args);
    return Value(ctod(v.asString()));
}

Value fnDay(Args args)
{
    int y, m, d;
    splitDate(dateArg(args, "DAY"), y, m, d);
    return Value::integer(d);
}

Value fnMonth(Args args)
{
    int y, m, d;
    splitDate(dateArg(args, "MONTH"), y, m, d);
    return Value::integer(m);
}

Value fnYear(Args args)
{
    int y, m, d;
    splitDate(dateArg(args, "YEAR"), y, m, d);
    return Value::integer(y);
}

Value fnDoW(Args args) { return Value::integer(dayOfWeek(dateArg(args, "DOW"))); }
Value fnCDoW(Args args) { return Value(dayName(dateArg(args, "CDOW"))); }

Value fnCMonth(Args args)
{
    int y, m, d;
    splitDate(dateArg(args, "CMONTH"), y, m, d);
    return Value(monthName(m));
}

// SetCentury([lOn]) also takes the words "ON" and "OFF".
Value fnSetCentury(Args args)
{
    const Value& v = argAt(args, 0);
    int on = -1;
    if (v.isLogical()) {
        on = v.asBool() ? 1 : 0;
    } else if (v.isChar()) {
        const std::string word = upper(alltrim(v.asString()));
        if (word != "ON" && word != "OFF")
            raiseArg("SETCENTURY", args);
        on = word == "ON" ? 1 : 0;
    } else if (!v.isNil()) {
        raiseArg("SETCENTURY", args);
    }
    return Value(setCentury(on));
}

Value fnSetDateFormat(Args args)
{
    const Value& v = argAt(args, 0);
    if (v.isNil())
        return Value(setDateFormat());
    if (!v.isChar() || v.asString().empty())
        raiseArg("SETDATEFORMAT", args);
    return Value(setDateFormat(v.asString()));
}

}  // namespace

void detail::registerDateFunctions()
{
    registerFunction("Date", fnDate);
    registerFunction("Time", fnTime);
    registerFunction("Seconds", fnSeconds);
    registerFunction("AMPM", fnAmPm);
    registerFunction("DtoS", fnDtoS);
    registerFunction("StoD", fnStoD);
    registerFunction("DtoC", fnDtoC);
    registerFunction("CtoD", fnCtoD);
    registerFunction("Day", fnDay);
    registerFunction("Month", fnMonth);
    registerFunction("Year", fnYear);
    registerFunction("DoW", fnDoW);
    registerFunction("CDoW", fnCDoW);
    registerFunction("CMonth", fnCMonth);
    registerFunction("SetCentury", fnSetCentury);
    registerFunction("SetDateFormat", fnSetDateFormat);
}

}  // namespace rt
