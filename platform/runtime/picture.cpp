// Transform(value, picture): a value formatted through a picture.
//
// picture   -> [ "@" functions [ " " template ] ] | template
// functions -> letters, case-insensitive; "S" takes the digits after it
//
//   !  text upper-cased             R  template literals are inserted (text)
//   B  numbers left-justified       Z  numbers that round to zero are blank
//   C  " CR" after positive numbers X  " DB" after negative numbers (no "-")
//   (  negatives as "(" n ")", the "(" in the first column; other numbers
//      get a blank on each side so the digits of a column line up
//   )  the same with the "(" just before the first digit: "  (5)"
//   E  numbers with "," and "." swapped; dates with the day first
//   D  dates in the current format (as without it)
//   K, S<n>  entry-field settings; no effect here
//
// Template characters:
//   text:    9 # X A N L Y  show the value's character; ! upper-cases it.
//            Any other character is shown as it stands: with @R it is
//            inserted, without it it takes the place of the value's
//            character there. The result is as wide as the template: longer
//            text is cut, shorter text leaves blanks.
//   numbers: 9 # $ *  digit positions; "." the decimal point; "," shown only
//            when a digit stands to its left (else filled); any other
//            character is shown as it stands. The template's decimals decide
//            the rounding (half away from zero on the decimal form). A "$" or
//            "*" anywhere fills the unused leading positions with itself. A
//            "-" takes the digit position left of the first digit. A number
//            that does not fit shows "*" in every digit and "," position and
//            keeps "." and the literals: 12345.6 in "999.99" is "***.**".
//   logical: "T"/"F", or "Y"/"N" when the template holds a "Y".
//   dates:   the template is not used.
// Without a template a number shows as Str(n), text unchanged, a date as
// DToC, a logical as "T"/"F". NIL gives "".
#include "text.h"

#include "builtins.h"
#include "datetime.h"
#include "error.h"
#include "functions.h"

#include <QChar>

#include <algorithm>

namespace rt {

namespace {

struct Picture {
    std::string functions;  // upper-case function letters
    std::u32string tmpl;

    [[nodiscard]] bool has(char f) const noexcept { return functions.find(f) != std::string::npos; }
};

Picture parsePicture(std::string_view pic)
{
    Picture p;
    if (pic.empty() || pic.front() != '@') {
        p.tmpl = toU32(pic);
        return p;
    }
    std::size_t i = 1;
    for (; i < pic.size() && pic[i] != ' '; ++i) {
        const char c = pic[i];
        p.functions += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (c == 'S' || c == 's')
            while (i + 1 < pic.size() && pic[i + 1] >= '0' && pic[i + 1] <= '9')
                ++i;
    }
    if (i < pic.size())
        p.tmpl = toU32(pic.substr(i + 1));
    return p;
}

// --- numbers ---

bool isDigitSlot(char32_t c) noexcept { return c == '9' || c == '#' || c == '$' || c == '*'; }

std::string overflowLook(std::u32string_view tmpl)
{
    std::u32string out(tmpl);
    for (char32_t& c : out)
        if (isDigitSlot(c) || c == ',')
            c = '*';
    return fromU32(out);
}

// The number through a numeric template. With `unsigned_` the sign is left
// out (another function shows it).
std::string numberThroughTemplate(const Value& n, std::u32string_view tmpl, bool unsigned_, bool& negative, bool& zero)
{
    const auto dot = tmpl.find(U'.');
    const std::u32string_view intPart = tmpl.substr(0, dot);
    const std::u32string_view fracPart =
        dot == std::u32string_view::npos ? std::u32string_view() : tmpl.substr(dot + 1);
    const auto decimals = static_cast<int>(std::count_if(fracPart.begin(), fracPart.end(), isDigitSlot));
    const auto intSlots = std::count_if(intPart.begin(), intPart.end(), isDigitSlot);

    const DecimalDigits dd = decimalDigits(n, decimals);
    negative = dd.negative;
    zero = dd.finite && dd.whole == "0" && dd.fraction.find_first_not_of('0') == std::string::npos;
    if (!dd.finite)
        return overflowLook(tmpl);
    // A lone leading zero is shown only where the template has room for it.
    const std::string whole = (dd.whole == "0" && intSlots == 0) ? std::string() : dd.whole;
    const char32_t fill = intPart.find(U'*') != std::u32string_view::npos   ? U'*'
                          : intPart.find(U'$') != std::u32string_view::npos ? U'$'
                                                                            : U' ';

    std::u32string out(tmpl);
    std::size_t left = whole.size();  // digits not placed yet, placed right to left
    bool signPending = negative && !unsigned_;
    for (std::size_t i = intPart.size(); i-- > 0;) {
        const char32_t t = intPart[i];
        if (isDigitSlot(t)) {
            if (left > 0) {
                out[i] = static_cast<char32_t>(whole[--left]);
            } else if (signPending) {
                out[i] = U'-';
                signPending = false;
            } else {
                out[i] = fill;
            }
        } else if (t == U',') {
            out[i] = left > 0 ? U',' : fill;
        }
    }
    if (left > 0 || signPending)
        return overflowLook(tmpl);
    std::size_t next = 0;
    for (std::size_t i = 0; i < fracPart.size(); ++i)
        if (isDigitSlot(fracPart[i]))
            out[dot + 1 + i] = static_cast<char32_t>(dd.fraction[next++]);
    return fromU32(out);
}

std::string transformNumber(const Value& n, const Picture& p)
{
    const bool parens = p.has('(') || p.has(')');
    const bool unsigned_ = parens || p.has('X');
    bool negative = false;
    bool zero = false;
    std::string s;
    if (p.tmpl.empty()) {
        s = str(n);
        const DecimalDigits dd = decimalDigits(n, n.decimals());
        negative = dd.negative;
        zero = dd.finite && dd.whole == "0" && dd.fraction.find_first_not_of('0') == std::string::npos;
        // Right-aligned, so the blank keeps the width of the signed form.
        if (unsigned_ && negative)
            std::replace(s.begin(), s.end(), '-', ' ');
    } else {
        s = numberThroughTemplate(n, p.tmpl, unsigned_, negative, zero);
    }
    if (p.has('Z') && zero)
        return std::string(utf8Length(s), ' ');
    if (p.has('B')) {
        const std::size_t width = s.size();
        s = ltrim(s);
        s.append(width - s.size(), ' ');
    }
    if (p.has('E'))
        for (char& c : s)
            c = c == ',' ? '.' : c == '.' ? ',' : c;
    if (parens) {
        if (!negative) {
            s = p.has('(') ? " " + s + " " : s + " ";
        } else if (p.has('(')) {
            s = "(" + s + ")";
        } else {
            const auto first = std::min(s.find_first_not_of(' '), s.size());
            s = s.substr(0, first) + "(" + s.substr(first) + ")";
        }
    }
    if (p.has('C') && !negative && !zero)
        s += " CR";
    if (p.has('X') && negative)
        s += " DB";
    return s;
}

// --- text ---

bool isTextSlot(char32_t c) noexcept
{
    return c == '9' || c == '#' || c == 'X' || c == 'A' || c == 'N' || c == 'L' || c == 'Y' || c == '!';
}

std::string transformText(std::string_view text, const Picture& p)
{
    const bool upperAll = p.has('!');
    if (p.tmpl.empty())
        return upperAll ? upper(text) : std::string(text);
    const std::u32string value = toU32(text.substr(0, utf8Offset(text, p.tmpl.size())));
    const bool insert = p.has('R');
    std::u32string out;
    out.reserve(p.tmpl.size());
    std::size_t next = 0;
    for (char32_t t : p.tmpl) {
        if (isTextSlot(t)) {
            char32_t c = next < value.size() ? value[next] : U' ';
            ++next;
            out += (upperAll || t == '!') ? QChar::toUpper(c) : c;
        } else {
            out += t;
            if (!insert)
                ++next;
        }
    }
    return fromU32(out);
}

// --- dates ---

// The date format with the day ahead of the month, keeping separators.
std::string dayFirst(const std::string& fmt)
{
    const std::string low = lower(fmt);
    const auto d = low.find('d');
    const auto m = low.find('m');
    if (d == std::string::npos || m == std::string::npos || d < m)
        return fmt;
    const auto dEnd = low.find_first_not_of('d', d);
    const auto mEnd = low.find_first_not_of('m', m);
    const std::string day = fmt.substr(d, (dEnd == std::string::npos ? fmt.size() : dEnd) - d);
    const std::string month = fmt.substr(m, mEnd - m);
    return fmt.substr(0, m) + day + fmt.substr(mEnd, d - mEnd) + month +
           (dEnd == std::string::npos ? std::string() : fmt.substr(dEnd));
}

// Sets a date format for the life of the scope.
class DateFormatScope {
public:
    explicit DateFormatScope(const std::string& fmt) : saved_(setDateFormat(fmt)) {}
    ~DateFormatScope() { setDateFormat(saved_); }
    DateFormatScope(const DateFormatScope&) = delete;
    DateFormatScope& operator=(const DateFormatScope&) = delete;

private:
    std::string saved_;
};

std::string transformDate(Date d, const Picture& p)
{
    if (!p.has('E'))
        return dtoc(d);
    const std::string fmt = setDateFormat();
    const std::string european = dayFirst(fmt);
    if (european == fmt)
        return dtoc(d);
    DateFormatScope scope(european);
    return dtoc(d);
}

std::string transformLogical(bool b, const Picture& p)
{
    if (p.tmpl.find(U'Y') != std::u32string::npos)
        return b ? "Y" : "N";
    return b ? "T" : "F";
}

Value fnTransform(Args a)
{
    const Value& pic = argAt(a, 1);
    if (!pic.isNil() && !pic.isChar())
        raiseArg("TRANSFORM", a);
    const Value& v = argAt(a, 0);
    if (v.isArray() || v.isBlock() || v.isObject())
        raiseArg("TRANSFORM", a);
    const std::string s = transform(v, pic.isChar() ? pic.asString() : std::string_view());
    return Value(std::string_view(s));
}

}  // namespace

std::string transform(const Value& v, std::string_view picture)
{
    const Picture p = parsePicture(picture);
    switch (v.kind()) {
    case Kind::Nil: return {};
    case Kind::Char: return transformText(v.asString(), p);
    case Kind::Num: return transformNumber(v, p);
    case Kind::Date: return transformDate(v.asDate(), p);
    case Kind::Logical: return transformLogical(v.asBool(), p);
    case Kind::Array:
    case Kind::Block:
    case Kind::Object: break;
    }
    raise("Argument error", "TRANSFORM", {v, Value(picture)});
}

namespace detail {
void registerPictureFunctions() { registerFunction("Transform", fnTransform); }
}  // namespace detail

}  // namespace rt
