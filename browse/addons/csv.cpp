// CSV lines of runtime values (RFC 4180: fields with a comma, a quote or a
// line break are quoted, quotes doubled, lines end in CRLF).
#include "browse/addons/addons.h"

#include "platform/runtime/datetime.h"
#include "platform/runtime/text.h"

namespace addons {

namespace {

std::string quoted(std::string_view text)
{
    if (!text.empty() && text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string out = "\"";
    for (char ch : text)
        out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return out + "\"";
}

std::string cell(const rt::Value& v)
{
    switch (v.kind()) {
    case rt::Kind::Nil: return {};
    case rt::Kind::Char: return quoted(v.asString());
    case rt::Kind::Num: return rt::numberText(v);
    case rt::Kind::Logical: return v.asBool() ? "true" : "false";
    case rt::Kind::Date: {
        if (v.asDate().empty())
            return {};
        const std::string s = rt::dtos(v.asDate());
        return s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2);
    }
    default: return quoted(rt::var2char(v));
    }
}

}  // namespace

std::string csvLine(const std::vector<rt::Value>& cells)
{
    std::string out;
    for (std::size_t i = 0; i < cells.size(); ++i)
        out += (i ? "," : "") + cell(cells[i]);
    return out + "\r\n";
}

std::string csvHeader(const std::vector<std::string>& names)
{
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i)
        out += (i ? "," : "") + quoted(names[i]);
    return out + "\r\n";
}

}  // namespace addons
