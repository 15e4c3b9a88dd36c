// Numbers as text and back: Str, Val, StrZero, Round and their kin.
//
// Every rounding goes through decimalDigits(), which rounds the decimal text
// of the number rather than the binary double: 2.675 is stored as
// 2.67499999..., yet a person who typed 2.675 expects 2.68.
#include "text.h"

#include "builtins.h"
#include "error.h"
#include "functions.h"
#include "ops.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace rt {

namespace {

// Decimals a value may carry; more than a double holds is only padding.
constexpr int kMaxDecimals = 30;

// Rounds the digit string `d` (decimal point after `point` digits) so that
// `keep` digits remain; a carry out of the first digit moves the point.
void roundDigits(std::string& d, std::ptrdiff_t& point, std::ptrdiff_t keep)
{
    if (keep < 0) {
        d.clear();
        return;
    }
    if (static_cast<std::size_t>(keep) >= d.size()) {
        d.append(static_cast<std::size_t>(keep) - d.size(), '0');
        return;
    }
    const bool up = d[static_cast<std::size_t>(keep)] >= '5';
    d.resize(static_cast<std::size_t>(keep));
    if (!up)
        return;
    for (auto i = d.size(); i-- > 0;) {
        if (d[i] != '9') {
            ++d[i];
            return;
        }
        d[i] = '0';
    }
    d.insert(d.begin(), '1');
    ++point;
}

// Shortest decimal digits of |x| and the position of the decimal point.
void shortestDigits(double x, std::string& digits, std::ptrdiff_t& point)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific);
    const std::string_view sci(buf, static_cast<std::size_t>(r.ptr - buf));
    const auto e = sci.find('e');
    for (char c : sci.substr(0, e))
        if (c != '.')
            digits.push_back(c);
    int exp = 0;
    std::string_view ex = sci.substr(e + 1);
    if (!ex.empty() && ex.front() == '+')
        ex.remove_prefix(1);
    std::from_chars(ex.data(), ex.data() + ex.size(), exp);
    point = exp + 1;
}

bool allZero(std::string_view s) noexcept { return s.find_first_not_of('0') == std::string_view::npos; }

}  // namespace

void ensureTextSize(std::size_t bytes, std::string_view op)
{
    if (bytes > kMaxTextBytes)
        raise("String overflow", std::string(op));
}

DecimalDigits decimalDigits(const Value& n, int dec)
{
    DecimalDigits out;
    std::string d;
    std::ptrdiff_t point = 0;
    bool negative = false;
    if (n.isInteger()) {
        const std::int64_t i = n.asInt();
        negative = i < 0;
        const std::uint64_t mag = negative ? 0 - static_cast<std::uint64_t>(i) : static_cast<std::uint64_t>(i);
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, mag);
        d.assign(buf, r.ptr);
        point = static_cast<std::ptrdiff_t>(d.size());
    } else {
        const double x = n.asDouble();
        if (!std::isfinite(x)) {
            out.finite = false;
            out.negative = x < 0;
            return out;
        }
        negative = std::signbit(x);
        if (x == 0) {
            d = "0";
            point = 1;
        } else {
            shortestDigits(x, d, point);
        }
    }
    // Make the point fall inside the digits so one rounding step serves all.
    if (point < 0) {
        d.insert(0, static_cast<std::size_t>(-point), '0');
        point = 0;
    }
    if (static_cast<std::size_t>(point) > d.size())
        d.append(static_cast<std::size_t>(point) - d.size(), '0');
    roundDigits(d, point, point + dec);
    if (dec < 0)
        d.append(static_cast<std::size_t>(std::min<std::ptrdiff_t>(-dec, point)), '0');
    if (d.size() < static_cast<std::size_t>(point))
        d.insert(0, static_cast<std::size_t>(point) - d.size(), '0');
    const auto p = static_cast<std::size_t>(point);
    out.whole = d.substr(0, p);
    out.fraction = dec > 0 ? d.substr(p) : std::string();
    const auto firstSignificant = out.whole.find_first_not_of('0');
    out.whole = firstSignificant == std::string::npos ? "0" : out.whole.substr(firstSignificant);
    out.negative = negative && !(out.whole == "0" && allZero(out.fraction));
    return out;
}

Value roundNumber(const Value& n, int dec)
{
    dec = std::clamp(dec, -400, kMaxDecimals);
    if (n.isInteger() && dec >= 0)
        return dec == 0 ? n : Value::number(n.asDouble(), dec);
    const DecimalDigits dd = decimalDigits(n, dec);
    if (!dd.finite)
        return n;
    std::string text = dd.negative ? "-" : "";
    text += dd.whole;
    if (dec <= 0) {
        std::int64_t i = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), i);
        if (r.ec == std::errc())
            return Value::integer(i);
    } else {
        text += '.';
        text += dd.fraction;
    }
    return Value::number(std::strtod(text.c_str(), nullptr), std::max(dec, 0));
}

std::string numberText(const Value& n)
{
    const DecimalDigits dd = decimalDigits(n, n.decimals());
    if (!dd.finite)
        return dd.negative ? "-Infinity" : (std::isnan(n.asDouble()) ? "NaN" : "Infinity");
    std::string s = dd.negative ? "-" : "";
    s += dd.whole;
    if (!dd.fraction.empty()) {
        s += '.';
        s += dd.fraction;
    }
    return s;
}

std::string str(const Value& n, int len, int dec)
{
    if (dec < 0)
        dec = len < 0 ? n.decimals() : 0;
    dec = std::min(dec, kMaxDecimals);
    const std::size_t width = len >= 0 ? static_cast<std::size_t>(len) : 10u + (dec > 0 ? dec + 1u : 0u);
    ensureTextSize(width, "STR");
    const DecimalDigits dd = decimalDigits(n, dec);
    if (!dd.finite)
        return std::string(width, '*');
    std::string s = dd.negative ? "-" : "";
    s += dd.whole;
    if (dec > 0) {
        s += '.';
        s += dd.fraction;
    }
    if (s.size() > width)
        return len >= 0 ? std::string(width, '*') : s;
    return std::string(width - s.size(), ' ') + s;
}

Value val(std::string_view s)
{
    std::size_t i = s.find_first_not_of(" \t");
    if (i == std::string_view::npos)
        return Value::integer(0);
    std::string text;
    if (s[i] == '-' || s[i] == '+')
        text += s[i++];
    bool point = false;
    int decimals = 0;
    bool anyDigit = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            text += c;
            anyDigit = true;
            decimals += point;
        } else if (c == '.' && !point) {
            text += c;
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return Value::integer(0);
    if (decimals == 0) {
        std::int64_t v = 0;
        const char* b = text.data() + (text[0] == '+');
        const char* e = text.data() + text.size() - (text.back() == '.');
        if (std::from_chars(b, e, v).ec == std::errc())
            return Value::integer(v);
    }
    // strtod reads the longest valid prefix, which is all of text; out of
    // range it gives an infinity that Str shows as asterisks.
    return Value::number(std::strtod(text.c_str(), nullptr), std::min(decimals, kMaxDecimals));
}

namespace {

// StrZero: Str with the leading blanks as zeros and the sign in front.
std::string strZero(const Value& n, int len, int dec)
{
    std::string s = str(n, len, dec);
    if (s.empty() || s[0] == '*')
        return s;
    const auto minus = s.find('-');
    if (minus != std::string::npos)
        s[minus] = ' ';
    for (char& c : s) {
        if (c != ' ')
            break;
        c = '0';
    }
    if (minus != std::string::npos)
        s[0] = '-';
    return s;
}

Value absNumber(const Value& n)
{
    if (n.isInteger()) {
        const std::int64_t i = n.asInt();
        if (i >= 0)
            return n;
        if (i == std::numeric_limits<std::int64_t>::min())
            return Value::number(-static_cast<double>(i), 0);
        return Value::integer(-i);
    }
    return Value::number(std::fabs(n.asDouble()), n.decimals());
}

// Max and Min: numbers with numbers, dates with dates; ties keep the first.
Value pick(Args args, const char* op, bool wantMax)
{
    const Value& a = argAt(args, 0);
    const Value& b = argAt(args, 1);
    int cmp = 0;
    if (a.isNum() && b.isNum()) {
        if (a.isInteger() && b.isInteger())
            cmp = (a.asInt() > b.asInt()) - (a.asInt() < b.asInt());
        else
            cmp = (a.asDouble() > b.asDouble()) - (a.asDouble() < b.asDouble());
    } else if (a.isDate() && b.isDate()) {
        cmp = (a.asDate() > b.asDate()) - (a.asDate() < b.asDate());
    } else {
        raiseArg(op, args);
    }
    return (wantMax ? cmp >= 0 : cmp <= 0) ? a : b;
}

// Result of a function whose value has no natural number of decimals.
Value floating(double d, const char* op, Args args)
{
    if (!std::isfinite(d))
        raise("Numeric overflow", op, std::vector<Value>(args.begin(), args.end()));
    return Value::number(d, setDecimals());
}

int decArg(Args args, std::size_t i, const char* op, int def)
{
    return static_cast<int>(std::clamp<std::int64_t>(intArg(args, i, op, def), -1000, 1000));
}

Value fnStr(Args a)
{
    const Value& n = numArg(a, 0, "STR");
    const std::int64_t len = intArg(a, 1, "STR", -1);
    ensureTextSize(len > 0 ? static_cast<std::size_t>(len) : 0, "STR");
    return Value(
        str(n, len < 0 ? -1 : static_cast<int>(len), argAt(a, 2).isNil() ? -1 : std::max(0, decArg(a, 2, "STR", 0))));
}

Value fnStrZero(Args a)
{
    const Value& n = numArg(a, 0, "STRZERO");
    const std::int64_t len = intArg(a, 1, "STRZERO", -1);
    ensureTextSize(len > 0 ? static_cast<std::size_t>(len) : 0, "STRZERO");
    return Value(strZero(n, len < 0 ? -1 : static_cast<int>(len),
                         argAt(a, 2).isNil() ? -1 : std::max(0, decArg(a, 2, "STRZERO", 0))));
}

Value fnVal(Args a)
{
    const Value& s = argAt(a, 0);
    if (!s.isChar())
        raiseArg("VAL", a);
    return val(s.asString());
}

Value fnInt(Args a)
{
    const Value& n = numArg(a, 0, "INT");
    if (n.isInteger())
        return n;
    const double t = std::trunc(n.asDouble());
    if (std::fabs(t) < 9.2e18)
        return Value::integer(static_cast<std::int64_t>(t));
    return Value::number(t, 0);
}

Value fnRound(Args a) { return roundNumber(numArg(a, 0, "ROUND"), decArg(a, 1, "ROUND", 0)); }

Value fnAbs(Args a) { return absNumber(numArg(a, 0, "ABS")); }
Value fnMax(Args a) { return pick(a, "MAX", true); }
Value fnMin(Args a) { return pick(a, "MIN", false); }

Value fnSqrt(Args a)
{
    const double d = numArg(a, 0, "SQRT").asDouble();
    // The language answers 0 for a negative number rather than failing.
    return floating(d > 0 ? std::sqrt(d) : 0.0, "SQRT", a);
}

Value fnLog(Args a)
{
    const double d = numArg(a, 0, "LOG").asDouble();
    if (!(d > 0))
        raiseArg("LOG", a);
    return floating(std::log(d), "LOG", a);
}

Value fnExp(Args a) { return floating(std::exp(numArg(a, 0, "EXP").asDouble()), "EXP", a); }

}  // namespace

namespace detail {
void registerNumberFunctions()
{
    registerFunction("Str", fnStr);
    registerFunction("StrZero", fnStrZero);
    registerFunction("Val", fnVal);
    registerFunction("Int", fnInt);
    registerFunction("Round", fnRound);
    registerFunction("Abs", fnAbs);
    registerFunction("Max", fnMax);
    registerFunction("Min", fnMin);
    registerFunction("Sqrt", fnSqrt);
    registerFunction("Log", fnLog);
    registerFunction("Exp", fnExp);
}
}  // namespace detail

}  // namespace rt
