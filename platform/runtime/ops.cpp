#include "ops.h"

#include "error.h"
#include "text.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace rt {

namespace {
int g_decimals = 2;

[[noreturn]] void opError(const char* op, const Value& a, const Value& b)
{
    const Value argv[] = {a, b};
    raiseArg(op, Args(argv, 2));
}

int maxDec(const Value& a, const Value& b) { return std::max(a.decimals(), b.decimals()); }

// Whole numbers stay whole until they overflow; then they continue as decimals.
Value intResult(bool overflow, std::int64_t r, double exact)
{
    return overflow ? Value::number(exact, 0) : Value::integer(r);
}

// An empty date stays empty whatever is added to it.
Value dateResult(std::int64_t julian, const char* op, const Value& a, const Value& b)
{
    if ((a.isDate() && a.asDate().empty()) || (b.isDate() && b.asDate().empty()))
        return Value(Date{});
    // Julian day 1 is in 4713 BC; stay inside the dates the runtime can show.
    if (julian < 1 || julian > 5373484)
        opError(op, a, b);
    return Value(Date{static_cast<std::int32_t>(julian)});
}

int cmpNum(const Value& a, const Value& b)
{
    if (a.isInteger() && b.isInteger())
        return a.asInt() < b.asInt() ? -1 : a.asInt() > b.asInt();
    const double x = a.asDouble(), y = b.asDouble();
    return x < y ? -1 : x > y;
}

// Byte order of UTF-8 is code point order, so text compares byte-wise.
int cmpText(std::string_view a, std::string_view b)
{
    const int c = a.compare(b);
    return c < 0 ? -1 : c > 0;
}
}  // namespace

int setDecimals(int n)
{
    const int old = g_decimals;
    if (n >= 0)
        g_decimals = std::min(n, 15);
    return old;
}

bool exactEqual(const Value& a, const Value& b)
{
    if (a.kind() != b.kind())
        return false;
    switch (a.kind()) {
    case Kind::Nil: return true;
    case Kind::Char: return a.asString() == b.asString();
    case Kind::Num: return cmpNum(a, b) == 0;
    case Kind::Date: return a.asDate() == b.asDate();
    case Kind::Logical: return a.asBool() == b.asBool();
    default: return a.cell() == b.cell();
    }
}

bool looseEqual(const Value& a, const Value& b)
{
    if (a.isChar() && b.isChar())
        return a.asString().substr(0, b.asString().size()) == b.asString();
    return exactEqual(a, b);
}

int compare(const Value& a, const Value& b, const char* op)
{
    if (a.kind() != b.kind())
        opError(op, a, b);
    switch (a.kind()) {
    case Kind::Nil: return 0;
    case Kind::Num: return cmpNum(a, b);
    case Kind::Date: return a.asDate() < b.asDate() ? -1 : a.asDate() > b.asDate();
    case Kind::Logical: return int(a.asBool()) - int(b.asBool());
    case Kind::Char: {
        std::string_view x = a.asString();
        const std::string_view y = b.asString();
        // A longer left side compares only as far as the right one goes.
        if (x.size() > y.size() && b.charLen() < a.charLen())
            x = x.substr(0, utf8Offset(x, b.charLen()));
        return cmpText(x, y);
    }
    default: opError(op, a, b);
    }
}

Value add(const Value& a, const Value& b)
{
    if (a.isNum() && b.isNum()) {
        if (a.isInteger() && b.isInteger()) {
            std::int64_t r;
            const bool o = __builtin_add_overflow(a.asInt(), b.asInt(), &r);
            return intResult(o, r, a.asDouble() + b.asDouble());
        }
        return Value::number(a.asDouble() + b.asDouble(), maxDec(a, b));
    }
    if (a.isChar() && b.isChar()) {
        if (b.asString().empty())
            return a;
        if (a.asString().empty())
            return b;
        std::string s;
        s.reserve(a.asString().size() + b.asString().size());
        s.append(a.asString()).append(b.asString());
        return Value(s);
    }
    if (a.isDate() && b.isNum())
        return dateResult(a.asDate().julian + b.asInt(), "+", a, b);
    if (a.isNum() && b.isDate())
        return dateResult(b.asDate().julian + a.asInt(), "+", a, b);
    opError("+", a, b);
}

Value sub(const Value& a, const Value& b)
{
    if (a.isNum() && b.isNum()) {
        if (a.isInteger() && b.isInteger()) {
            std::int64_t r;
            const bool o = __builtin_sub_overflow(a.asInt(), b.asInt(), &r);
            return intResult(o, r, a.asDouble() - b.asDouble());
        }
        return Value::number(a.asDouble() - b.asDouble(), maxDec(a, b));
    }
    if (a.isChar() && b.isChar()) {
        // The left side's trailing blanks move to the end of the result.
        const std::string_view x = a.asString();
        const std::size_t keep = x.find_last_not_of(' ') == std::string_view::npos ? 0 : x.find_last_not_of(' ') + 1;
        std::string s(x.substr(0, keep));
        s.append(b.asString());
        s.append(x.size() - keep, ' ');
        return Value(s);
    }
    if (a.isDate() && b.isNum())
        return dateResult(a.asDate().julian - b.asInt(), "-", a, b);
    if (a.isDate() && b.isDate())
        return Value::integer(a.asDate().julian - b.asDate().julian);
    opError("-", a, b);
}

Value mul(const Value& a, const Value& b)
{
    if (!a.isNum() || !b.isNum())
        opError("*", a, b);
    if (a.isInteger() && b.isInteger()) {
        std::int64_t r;
        const bool o = __builtin_mul_overflow(a.asInt(), b.asInt(), &r);
        return intResult(o, r, a.asDouble() * b.asDouble());
    }
    return Value::number(a.asDouble() * b.asDouble(), std::min(9, a.decimals() + b.decimals()));
}

namespace {
[[noreturn]] void zeroDivide(const char* op, const Value& a, const Value& b)
{
    Error e("Zero divide", op, {a, b});
    e.genCode = gen::ZeroDivide;
    raise(std::move(e));
}
}  // namespace

Value div(const Value& a, const Value& b)
{
    if (!a.isNum() || !b.isNum())
        opError("/", a, b);
    if (b.asDouble() == 0.0)
        zeroDivide("/", a, b);
    if (a.isInteger() && b.isInteger() && b.asInt() != -1 && a.asInt() % b.asInt() == 0)
        return Value::integer(a.asInt() / b.asInt());
    return Value::number(a.asDouble() / b.asDouble(), std::max(g_decimals, maxDec(a, b)));
}

Value mod(const Value& a, const Value& b)
{
    if (!a.isNum() || !b.isNum())
        opError("%", a, b);
    if (b.asDouble() == 0.0)
        zeroDivide("%", a, b);
    if (a.isInteger() && b.isInteger())
        return Value::integer(b.asInt() == -1 ? 0 : a.asInt() % b.asInt());
    return Value::number(std::fmod(a.asDouble(), b.asDouble()), maxDec(a, b));
}

Value power(const Value& a, const Value& b)
{
    if (!a.isNum() || !b.isNum())
        opError("**", a, b);
    const double r = std::pow(a.asDouble(), b.asDouble());
    if (a.isInteger() && b.isInteger() && b.asInt() >= 0 && std::fabs(r) < 9.0e15)
        return Value::integer(static_cast<std::int64_t>(r));
    return Value::number(r, g_decimals);
}

Value negate(const Value& a)
{
    if (!a.isNum()) {
        const Value argv[] = {a};
        raiseArg("-", Args(argv, 1));
    }
    if (a.isInteger() && a.asInt() != INT64_MIN)
        return Value::integer(-a.asInt());
    return Value::number(-a.asDouble(), a.decimals());
}

bool contains(const Value& needle, const Value& hay)
{
    if (!needle.isChar() || !hay.isChar())
        opError("$", needle, hay);
    if (needle.asString().empty())
        return false;
    return hay.asString().find(needle.asString()) != std::string_view::npos;
}

bool truth(const Value& v, const char* op)
{
    if (!v.isLogical()) {
        const Value argv[] = {v};
        raiseArg(op, Args(argv, 1));
    }
    return v.asBool();
}

}  // namespace rt
