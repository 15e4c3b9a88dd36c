// Internal to the expression compiler: the tokens of an expression text.
#pragma once

#include "error.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace rt::cc {

enum class Tok {
    End,
    Number,
    String,
    Ident,
    True,
    False,
    Nil,
    // punctuation
    LParen, RParen, LBracket, RBracket, LBrace, RBrace, Pipe, Comma, Colon, Arrow,
    At,  // '@' before an argument: passed by reference
    // assignment
    Assign, PlusAssign, MinusAssign, MulAssign, DivAssign, ModAssign, PowAssign,
    // logical
    Or, And, Not,
    // relational
    Eq, ExactEq, NotEq, Less, Greater, LessEq, GreaterEq, Dollar,
    // arithmetic
    Plus, Minus, Star, Slash, Percent, Power, Inc, Dec,
};

struct Token {
    Tok kind = Tok::End;
    std::size_t pos = 0;   // byte offset of its first character
    std::size_t len = 0;   // bytes of source it spans
    std::string text;      // identifier (upper case), string contents, number digits
};

// Splits a text into tokens on demand. A '[' starts a string unless it
// follows an operand, where it opens an index: the lexer remembers whether
// the previous token ended an operand. An '@' is a token only where an
// operand may start; after one it is no operator and stays an invalid character.
class Lexer {
public:
    explicit Lexer(std::string_view src) : src_(src) {}

    // The next token; raises a compile error on a character no token starts with.
    Token next();

private:
    void skipBlanks();
    Token lexNumber(std::size_t start);
    Token lexString(std::size_t start, char close);
    Token lexDotted(std::size_t start);
    Token lexIdent(std::size_t start);
    Token lexOperator(std::size_t start);
    [[nodiscard]] char peek(std::size_t ahead = 0) const noexcept
    {
        return at_ + ahead < src_.size() ? src_[at_ + ahead] : '\0';
    }

    std::string_view src_;
    std::size_t at_ = 0;
    bool afterOperand_ = false;
};

// Raises a compile error: subsystem "COMPILER", the 1-based character
// position of byte offset `pos` in `src`, the whole text as the operation.
[[noreturn]] void syntaxError(std::string_view src, std::size_t pos, std::string description, int genCode = gen::Syntax);

// 1-based character position of byte offset `byte` in UTF-8 text.
[[nodiscard]] long long characterPosition(std::string_view src, std::size_t byte) noexcept;

// Printable form of a token's source for messages: "')'", "'.AND.'", "end of text".
[[nodiscard]] std::string describe(std::string_view src, const Token& t);

}  // namespace rt::cc
