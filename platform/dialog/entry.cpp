#include "platform/dialog/entry.h"

#include "platform/runtime/datetime.h"
#include "platform/runtime/text.h"

#include <QChar>

#include <algorithm>

namespace dlg {

namespace {

struct PictureParts {
    std::string functions;  // upper case
    std::u32string tmpl;
};

PictureParts splitPicture(const rt::Value& picture)
{
    PictureParts p;
    if (!picture.isChar())
        return p;
    const std::string_view pic = picture.asString();
    if (pic.empty() || pic.front() != '@') {
        p.tmpl = rt::toU32(pic);
        return p;
    }
    std::size_t i = 1;
    for (; i < pic.size() && pic[i] != ' '; ++i)
        p.functions += (pic[i] >= 'a' && pic[i] <= 'z') ? char(pic[i] - 'a' + 'A') : pic[i];
    if (i < pic.size())
        p.tmpl = rt::toU32(pic.substr(i + 1));
    return p;
}

bool isDigitSlot(char32_t c) noexcept { return c == '9' || c == '#' || c == '$' || c == '*'; }

// Decimals of a numeric template: digit positions after its point.
int templateDecimals(std::u32string_view tmpl)
{
    const std::size_t dot = tmpl.find(U'.');
    if (dot == std::u32string_view::npos)
        return 0;
    return int(std::count_if(tmpl.begin() + std::ptrdiff_t(dot) + 1, tmpl.end(), isDigitSlot));
}

bool isDigit(char32_t c) noexcept { return c >= '0' && c <= '9'; }

// A character typed at a text template position.
bool textSlotAccepts(char32_t slot, char32_t c)
{
    if (c == ' ')
        return true;
    switch (slot) {
    case '9': return isDigit(c);
    case '#': return isDigit(c) || c == '+' || c == '-' || c == '.';
    case 'A': return QChar::isLetter(c);
    case 'N': return QChar::isLetterOrNumber(c);
    case 'L': return c == 'T' || c == 'F' || c == 'Y' || c == 'N' || c == 't' || c == 'f' || c == 'y' || c == 'n';
    case 'Y': return c == 'Y' || c == 'N' || c == 'y' || c == 'n';
    default: return true;
    }
}

bool numberAccepts(const EntryFormat& f, const std::u32string& text)
{
    bool point = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (isDigit(c))
            continue;
        if (c == '.' && f.decimals > 0 && !point) {
            point = true;
            continue;
        }
        if (c == '-' && f.sign && i == 0)
            continue;
        return false;
    }
    return true;
}

}  // namespace

EntryFormat entryFormat(const rt::Value& value, const rt::Value& picture)
{
    const PictureParts pic = splitPicture(picture);
    EntryFormat f;
    f.tmpl = pic.tmpl;
    f.upper = pic.functions.find('!') != std::string::npos;
    f.clearOnFirstKey = pic.functions.find('K') != std::string::npos;
    switch (value.kind()) {
    case rt::Kind::Char:
        if (value.charLen() > std::size_t(kMaxEntryChars))
            break;  // stays 'U': a field must never cut the variable short
        f.kind = 'C';
        f.length = int(value.charLen());
        break;
    case rt::Kind::Num:
        f.kind = 'N';
        f.clearOnFirstKey = true;
        if (!f.tmpl.empty()) {
            f.length = std::min<int>(int(f.tmpl.size()), kMaxEntryChars);
            f.decimals = templateDecimals(f.tmpl);
            f.sign = f.tmpl.find(U'-') != std::u32string::npos;
        } else {
            f.length = std::min<int>(int(rt::utf8Length(rt::str(value))), kMaxEntryChars);
            f.decimals = value.decimals();
            f.sign = true;
        }
        break;
    case rt::Kind::Date:
        f.kind = 'D';
        f.length = int(rt::utf8Length(rt::setDateFormat()));
        break;
    case rt::Kind::Logical:
        f.kind = 'L';
        f.upper = true;
        f.length = 1;
        break;
    default: break;
    }
    return f;
}

std::string entryText(const EntryFormat& f, const rt::Value& v)
{
    switch (f.kind) {
    case 'C': return v.isChar() ? rt::rtrim(v.asString()) : std::string();
    case 'N': return v.isNum() ? rt::ltrim(rt::str(v, f.length, f.decimals)) : std::string();
    case 'D': return v.isDate() ? rt::dtoc(v.asDate()) : std::string();
    case 'L': {
        const bool yn = f.tmpl.find_first_of(U"Yy") != std::u32string::npos;
        const bool on = v.isLogical() && v.asBool();
        return yn ? (on ? "Y" : "N") : (on ? "T" : "F");
    }
    default: return {};
    }
}

rt::Value entryValue(const EntryFormat& f, std::string_view text)
{
    switch (f.kind) {
    case 'C': return rt::padR(rt::utf8Sub(text, 0, std::size_t(f.length)), std::size_t(f.length));
    case 'N': return rt::roundNumber(rt::val(rt::alltrim(text)), f.decimals);
    case 'D': return rt::ctod(text);
    case 'L': {
        const std::string t = rt::alltrim(text);
        return !t.empty() && (t[0] == 'T' || t[0] == 't' || t[0] == 'Y' || t[0] == 'y');
    }
    default: return {};
    }
}

bool entryTextValid(const EntryFormat& f, std::string_view text)
{
    if (f.kind == 'C')
        return rt::utf8Length(text) <= std::size_t(f.length);
    if (f.kind != 'D' || text.find_first_of("0123456789") == std::string_view::npos)
        return true;
    return !rt::ctod(text).empty();
}

std::string entryRefusal(const EntryFormat& f, std::string_view text)
{
    if (f.kind == 'C')
        return "El texto tiene " + std::to_string(rt::utf8Length(text)) + " caracteres y el campo admite " +
               std::to_string(f.length) + ": acórtelo.";
    return "La fecha \"" + std::string(text) + "\" no es válida.";
}

EntryFormat editingFormat(EntryFormat f)
{
    if (f.kind == 'C')
        f.length = std::max(f.length, kMaxEntryChars);
    return f;
}

bool entryAccepts(const EntryFormat& f, std::u32string& text)
{
    if (f.kind == 'U')
        return text.empty();
    if (text.size() > std::size_t(f.length))
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool slotUpper = f.kind == 'C' && i < f.tmpl.size() && f.tmpl[i] == '!';
        if (f.upper || slotUpper)
            text[i] = QChar::toUpper(text[i]);
        if (f.kind == 'C' && i < f.tmpl.size() && !textSlotAccepts(f.tmpl[i], text[i]))
            return false;
        if (f.kind == 'L' && text[i] != 'T' && text[i] != 'F' && text[i] != 'Y' && text[i] != 'N')
            return false;
    }
    return f.kind != 'N' || numberAccepts(f, text);
}

std::string entryInputMask(const EntryFormat& f)
{
    if (f.kind != 'D')
        return {};
    std::string mask;
    for (const char c : rt::setDateFormat()) {
        if (c == 'd' || c == 'm' || c == 'y' || c == 'D' || c == 'M' || c == 'Y') {
            mask += '0';
        } else {
            mask += '\\';
            mask += c;
        }
    }
    return mask;
}

}  // namespace dlg
