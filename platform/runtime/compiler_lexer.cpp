#include "compiler_lexer.h"

#include "error.h"
#include "text.h"

#include <algorithm>

#include <cctype>
#include <cstdio>

namespace rt::cc {

namespace {

bool isIdentStart(char c) noexcept { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isIdentChar(char c) noexcept { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

std::string invalidCharacter(std::string_view src, std::size_t at)
{
    const auto c = static_cast<unsigned char>(src[at]);
    char buf[48];
    if (c < 0x20 || c == 0x7F) {
        std::snprintf(buf, sizeof buf, "Invalid character (code %u)", c);
        return buf;
    }
    if (const Utf8Char u = decodeUtf8(src, at); u.ok)
        return "Invalid character '" + std::string(src.substr(at, u.len)) + "'";
    std::snprintf(buf, sizeof buf, "Invalid byte 0x%02X", c);
    return buf;
}

}  // namespace

long long characterPosition(std::string_view src, std::size_t byte) noexcept
{
    return static_cast<long long>(utf8Length(src.substr(0, std::min(byte, src.size())))) + 1;
}

void syntaxError(std::string_view src, std::size_t pos, std::string description, int genCode)
{
    Error e(std::move(description), std::string(src));
    e.subsystem = "COMPILER";
    e.genCode = genCode;
    e.position = characterPosition(src, pos);
    raise(std::move(e));
}

std::string describe(std::string_view src, const Token& t)
{
    if (t.kind == Tok::End)
        return "end of text";
    std::string_view s = src.substr(t.pos, t.len);
    if (s.size() > 24) {
        std::size_t cut = 24;
        while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0u) == 0x80u)
            --cut;
        return "'" + std::string(s.substr(0, cut)) + "...'";
    }
    return "'" + std::string(s) + "'";
}

void Lexer::skipBlanks()
{
    while (at_ < src_.size() && (src_[at_] == ' ' || src_[at_] == '\t' || src_[at_] == '\r' || src_[at_] == '\n'))
        ++at_;
}

Token Lexer::next()
{
    skipBlanks();
    const std::size_t start = at_;
    Token t;
    if (at_ >= src_.size()) {
        t.pos = src_.size();
        return t;
    }
    const char c = src_[at_];
    if (isDigit(c) || (c == '.' && isDigit(peek(1))))
        t = lexNumber(start);
    else if (c == '"' || c == '\'')
        t = lexString(start, c);
    else if (c == '[' && !afterOperand_)
        t = lexString(start, ']');
    else if (c == '@' && !afterOperand_) {
        ++at_;
        t.kind = Tok::At;
    } else if (c == '.')
        t = lexDotted(start);
    else if (isIdentStart(c))
        t = lexIdent(start);
    else
        t = lexOperator(start);
    t.pos = start;
    t.len = at_ - start;
    switch (t.kind) {
    case Tok::Number: case Tok::String: case Tok::Ident: case Tok::True: case Tok::False: case Tok::Nil:
    case Tok::RParen: case Tok::RBracket: case Tok::RBrace:
        afterOperand_ = true;
        break;
    default:
        afterOperand_ = false;
    }
    return t;
}

// number -> digits [ '.' digits ] | '.' digits
Token Lexer::lexNumber(std::size_t start)
{
    while (isDigit(peek()))
        ++at_;
    if (peek() == '.' && isDigit(peek(1))) {
        ++at_;
        while (isDigit(peek()))
            ++at_;
    }
    if (isIdentChar(peek()))
        syntaxError(src_, start, "Malformed number '" + std::string(src_.substr(start, at_ - start + 1)) + "'");
    Token t;
    t.kind = Tok::Number;
    t.text = std::string(src_.substr(start, at_ - start));
    return t;
}

// string -> '"' chars '"' | "'" chars "'" | '[' chars ']'  (no escapes)
Token Lexer::lexString(std::size_t start, char close)
{
    ++at_;
    const std::size_t from = at_;
    while (at_ < src_.size() && src_[at_] != close) {
        const Utf8Char u = decodeUtf8(src_, at_);
        if (!u.ok)
            syntaxError(src_, at_, "Invalid UTF-8 in string");
        at_ += u.len;
    }
    if (at_ >= src_.size())
        syntaxError(src_, start, "Unterminated string");
    Token t;
    t.kind = Tok::String;
    t.text = std::string(src_.substr(from, at_ - from));
    ++at_;
    return t;
}

// .T. .F. .Y. .N. .AND. .OR. .NOT., any case
Token Lexer::lexDotted(std::size_t start)
{
    std::size_t end = at_ + 1;
    while (end < src_.size() && std::isalpha(static_cast<unsigned char>(src_[end])))
        ++end;
    Token t;
    if (end < src_.size() && src_[end] == '.' && end > at_ + 1) {
        const std::string word = upperAscii(src_.substr(at_ + 1, end - at_ - 1));
        static constexpr struct { const char* word; Tok kind; } dotted[] = {
            {"T", Tok::True}, {"F", Tok::False}, {"Y", Tok::True}, {"N", Tok::False},
            {"AND", Tok::And}, {"OR", Tok::Or}, {"NOT", Tok::Not},
        };
        for (const auto& d : dotted)
            if (word == d.word) {
                at_ = end + 1;
                t.kind = d.kind;
                return t;
            }
    }
    syntaxError(src_, start, "Unexpected '.'");
}

Token Lexer::lexIdent(std::size_t start)
{
    while (isIdentChar(peek()))
        ++at_;
    Token t;
    t.text = upperAscii(src_.substr(start, at_ - start));
    t.kind = t.text == "NIL" ? Tok::Nil : Tok::Ident;
    return t;
}

Token Lexer::lexOperator(std::size_t start)
{
    // Longest spellings first, so ":=" wins over ':' and "**=" over "**".
    static constexpr struct { const char* op; Tok kind; } ops[] = {
        {"**=", Tok::PowAssign}, {":=", Tok::Assign}, {"+=", Tok::PlusAssign}, {"-=", Tok::MinusAssign},
        {"*=", Tok::MulAssign}, {"/=", Tok::DivAssign}, {"%=", Tok::ModAssign}, {"^=", Tok::PowAssign},
        {"==", Tok::ExactEq}, {"!=", Tok::NotEq}, {"<>", Tok::NotEq}, {"<=", Tok::LessEq},
        {">=", Tok::GreaterEq}, {"->", Tok::Arrow}, {"++", Tok::Inc}, {"--", Tok::Dec},
        {"**", Tok::Power}, {"(", Tok::LParen}, {")", Tok::RParen}, {"[", Tok::LBracket},
        {"]", Tok::RBracket}, {"{", Tok::LBrace}, {"}", Tok::RBrace}, {"|", Tok::Pipe},
        {",", Tok::Comma}, {":", Tok::Colon}, {"=", Tok::Eq}, {"#", Tok::NotEq},
        {"<", Tok::Less}, {">", Tok::Greater}, {"$", Tok::Dollar}, {"+", Tok::Plus},
        {"-", Tok::Minus}, {"*", Tok::Star}, {"/", Tok::Slash}, {"%", Tok::Percent},
        {"^", Tok::Power}, {"!", Tok::Not},
    };
    const std::string_view rest = src_.substr(at_);
    for (const auto& o : ops) {
        const std::string_view op(o.op);
        if (rest.substr(0, op.size()) == op) {
            at_ += op.size();
            Token t;
            t.kind = o.kind;
            return t;
        }
    }
    if (src_[start] == '&')
        syntaxError(src_, start, "Macro operator '&' is not supported");
    syntaxError(src_, start, invalidCharacter(src_, start));
}

}  // namespace rt::cc
