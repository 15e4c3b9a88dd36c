// The expression compiler: a recursive-descent parser over the lexer that
// builds the node tree of compiler_ast.h. Operator precedence is the table
// in binaryPriority(), read by the one loop in subexpr().
#include "compiler.h"

#include "compiler_ast.h"
#include "compiler_lexer.h"
#include "ops.h"
#include "text.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

namespace rt {

namespace {

using namespace cc;

// Bounds both the parser's recursion and the depth of the tree, whose
// evaluation recurses as deep: past it a text is refused, not run.
constexpr int kMaxDepth = 512;

struct Priority {
    int left, right;
    BinOp op;
};

// Lowest first: .OR., .AND., (.NOT.), relational, + -, * / %, ** ^, (unary + -).
// All binary operators are left-associative.
constexpr int kNotPriority = 3;
constexpr int kUnaryPriority = 8;

bool binaryPriority(Tok t, Priority& p)
{
    switch (t) {
    case Tok::Or: p = {1, 1, BinOp::Or}; return true;
    case Tok::And: p = {2, 2, BinOp::And}; return true;
    case Tok::Eq: p = {4, 4, BinOp::Eq}; return true;
    case Tok::ExactEq: p = {4, 4, BinOp::ExactEq}; return true;
    case Tok::NotEq: p = {4, 4, BinOp::NotEq}; return true;
    case Tok::Less: p = {4, 4, BinOp::Less}; return true;
    case Tok::Greater: p = {4, 4, BinOp::Greater}; return true;
    case Tok::LessEq: p = {4, 4, BinOp::LessEq}; return true;
    case Tok::GreaterEq: p = {4, 4, BinOp::GreaterEq}; return true;
    case Tok::Dollar: p = {4, 4, BinOp::Contains}; return true;
    case Tok::Plus: p = {5, 5, BinOp::Add}; return true;
    case Tok::Minus: p = {5, 5, BinOp::Sub}; return true;
    case Tok::Star: p = {6, 6, BinOp::Mul}; return true;
    case Tok::Slash: p = {6, 6, BinOp::Div}; return true;
    case Tok::Percent: p = {6, 6, BinOp::Mod}; return true;
    case Tok::Power: p = {7, 7, BinOp::Power}; return true;
    default: return false;
    }
}

// The operator an assignment applies, null for plain ":=".
bool assignOperator(Tok t, BinaryFn& op)
{
    switch (t) {
    case Tok::Assign: op = nullptr; return true;
    case Tok::PlusAssign: op = &rt::add; return true;
    case Tok::MinusAssign: op = &rt::sub; return true;
    case Tok::MulAssign: op = &rt::mul; return true;
    case Tok::DivAssign: op = &rt::div; return true;
    case Tok::ModAssign: op = &rt::mod; return true;
    case Tok::PowAssign: op = &rt::power; return true;
    default: return false;
    }
}

bool isTarget(const NodePtr& n) { return dynamic_cast<const Target*>(n.get()) != nullptr; }

class Parser {
public:
    Parser(std::string_view src, Program* prog, const Names* names) : src_(src), lex_(src), prog_(prog), names_(names)
    {
        scopes_.push_back({prog->protos.front().get(), {}});
        advance();
    }

    // text -> exprlist END
    NodePtr text()
    {
        if (cur_.kind == Tok::End)
            error(0, "Empty expression");
        NodePtr e = exprList();
        if (cur_.kind != Tok::End)
            unexpected();
        return e;
    }

private:
    struct Scope {
        Proto* proto;
        std::vector<std::string> params;
    };

    // Counts one level of nesting for the life of a parse function.
    class Nest {
    public:
        explicit Nest(Parser& p) : p_(p), saved_(p.depth_) { p.deeper(); }
        ~Nest() { p_.depth_ = saved_; }
        Nest(const Nest&) = delete;
        Nest& operator=(const Nest&) = delete;

    private:
        Parser& p_;
        int saved_;
    };

    void deeper()
    {
        if (++depth_ > kMaxDepth)
            error(cur_.pos, "Expression too complex");
    }

    void advance()
    {
        end_ = cur_.pos + cur_.len;
        cur_ = lex_.next();
    }
    bool accept(Tok k)
    {
        if (cur_.kind != k)
            return false;
        advance();
        return true;
    }
    [[noreturn]] void error(std::size_t pos, std::string description, int genCode = gen::Syntax)
    {
        syntaxError(src_, pos, std::move(description), genCode);
    }
    [[noreturn]] void unexpected()
    {
        error(cur_.pos, cur_.kind == Tok::End ? "Unexpected end of text" : "Unexpected " + describe(src_, cur_));
    }
    // Consumes the closing token of a construct opened at byte offset `open`.
    void close(Tok k, const char* closeText, const char* openText, std::size_t open)
    {
        if (accept(k))
            return;
        error(cur_.pos, std::string("'") + closeText + "' expected to close '" + openText + "' at " +
                            std::to_string(characterPosition(src_, open)));
    }

    // exprlist -> expr { ',' expr }
    NodePtr exprList()
    {
        std::vector<NodePtr> items;
        do
            items.push_back(expr());
        while (accept(Tok::Comma));
        return sequence(std::move(items));
    }

    // expr -> subexpr(0) [ (':=' | '+=' | '-=' | '*=' | '/=' | '%=' | '^=') expr ]
    NodePtr expr()
    {
        const Nest nest(*this);
        NodePtr left = subexpr(0);
        BinaryFn op = nullptr;
        if (!assignOperator(cur_.kind, op))
            return left;
        if (!isTarget(left))
            error(cur_.pos, "Invalid target of " + describe(src_, cur_));
        advance();
        return assign(std::move(left), op, expr());
    }

    // subexpr -> (unop subexpr | ('++' | '--') postfixexp | postfixexp) { binop subexpr }
    // where each binop's priority exceeds `limit`
    NodePtr subexpr(int limit)
    {
        const Nest nest(*this);
        NodePtr left;
        const Token op = cur_;
        switch (op.kind) {
        case Tok::Not: advance(); left = logicalNot(subexpr(kNotPriority)); break;
        case Tok::Minus: advance(); left = unaryMinus(subexpr(kUnaryPriority)); break;
        case Tok::Plus: advance(); left = unaryPlus(subexpr(kUnaryPriority)); break;
        case Tok::Inc:
        case Tok::Dec:
            advance();
            left = postfixExpr();
            if (!isTarget(left))
                error(op.pos, "Invalid target of " + describe(src_, op));
            left = incDec(std::move(left), op.kind == Tok::Inc, false);
            break;
        default: left = postfixExpr();
        }
        Priority p{};
        while (binaryPriority(cur_.kind, p) && p.left > limit) {
            deeper();
            advance();
            left = binary(p.op, std::move(left), subexpr(p.right));
        }
        return left;
    }

    // postfixexp -> primary { ':' NAME [ '(' args ')' ] | '[' expr { ',' expr } ']' } [ '++' | '--' ]
    NodePtr postfixExpr()
    {
        const Nest nest(*this);
        NodePtr e = primary();
        for (;;) {
            if (cur_.kind == Tok::Colon) {
                deeper();
                advance();
                if (cur_.kind != Tok::Ident)
                    error(cur_.pos, "Member name expected after ':'");
                std::string memberName = cur_.text;
                advance();
                if (cur_.kind == Tok::LParen) {
                    const std::size_t open = cur_.pos;
                    advance();
                    e = send(std::move(e), std::move(memberName), args(open));
                } else {
                    e = member(std::move(e), std::move(memberName));
                }
            } else if (cur_.kind == Tok::LBracket) {
                const std::size_t open = cur_.pos;
                advance();
                do {
                    deeper();
                    e = index(std::move(e), expr());
                } while (accept(Tok::Comma));
                close(Tok::RBracket, "]", "[", open);
            } else if ((cur_.kind == Tok::Inc || cur_.kind == Tok::Dec) && isTarget(e)) {
                const bool increment = cur_.kind == Tok::Inc;
                advance();
                return incDec(std::move(e), increment, true);
            } else {
                return e;
            }
        }
    }

    // primary -> NUMBER | STRING | .T. | .F. | NIL | '(' exprlist ')' | braces | name
    NodePtr primary()
    {
        const Token t = cur_;
        switch (t.kind) {
        case Tok::Number: advance(); return number(t);
        case Tok::String: advance(); return constant(Value(t.text));
        case Tok::True: advance(); return constant(Value(true));
        case Tok::False: advance(); return constant(Value(false));
        case Tok::Nil: advance(); return constant(Value());
        case Tok::LParen: {
            advance();
            NodePtr e = exprList();
            close(Tok::RParen, ")", "(", t.pos);
            return e;
        }
        case Tok::LBrace: return braces();
        case Tok::Ident: return identifier();
        default: unexpected();
        }
    }

    NodePtr number(const Token& t)
    {
        const char* first = t.text.data();
        const char* last = first + t.text.size();
        const std::size_t dot = t.text.find('.');
        if (dot == std::string::npos) {
            std::int64_t n = 0;
            if (std::from_chars(first, last, n).ec == std::errc())
                return constant(Value::integer(n));
        }
        double d = 0;
        if (std::from_chars(first, last, d).ec != std::errc())
            error(t.pos, "Number out of range");
        const int decimals = dot == std::string::npos ? 0 : static_cast<int>(t.text.size() - dot - 1);
        return constant(Value::number(d, decimals));
    }

    // name -> NAME | NAME '(' args ')' | NAME '->' (NAME | '(' exprlist ')')
    NodePtr identifier()
    {
        const Token t = cur_;
        advance();
        if (cur_.kind == Tok::LParen)
            return functionCall(t);
        if (cur_.kind == Tok::Arrow)
            return aliased(t);
        return resolve(t.text);
    }

    NodePtr functionCall(const Token& fn)
    {
        const std::size_t open = cur_.pos;
        advance();
        if (fn.text == "IIF" || fn.text == "IF") {
            std::vector<NodePtr> a = args(open);
            if (a.size() != 3)
                error(fn.pos, fn.text + "() needs 3 arguments");
            return iif(std::move(a[0]), std::move(a[1]), std::move(a[2]));
        }
        NativeFn native = findFunction(fn.text);
        if (!native)
            error(fn.pos, "Undefined function: " + fn.text, gen::UndefinedFunction);
        return call(native, args(open));
    }

    // args -> [ [expr] { ',' [expr] } ] ')'   an empty argument is NIL
    std::vector<NodePtr> args(std::size_t open)
    {
        std::vector<NodePtr> list;
        if (accept(Tok::RParen))
            return list;
        do {
            if (cur_.kind == Tok::Comma || cur_.kind == Tok::RParen)
                list.push_back(constant(Value()));
            else if (cur_.kind == Tok::At)
                list.push_back(reference());
            else
                list.push_back(expr());
        } while (accept(Tok::Comma));
        close(Tok::RParen, ")", "(", open);
        return list;
    }

    // reference -> '@' postfixexp, a target: passed as a get/set block over
    // the target, through which the callee reads and assigns it. The block
    // is parsed as one nested in the current one, with a parameter no name
    // can reach (the value to assign), so it captures parameters as any
    // nested block does.
    NodePtr reference()
    {
        const Token at = cur_;
        advance();
        prog_->protos.push_back(std::make_unique<Proto>());
        Proto* proto = prog_->protos.back().get();
        proto->params = 1;
        scopes_.push_back({proto, {std::string()}});
        NodePtr target = postfixExpr();
        scopes_.pop_back();
        if (!isTarget(target))
            error(at.pos, "Invalid target of '@'");
        proto->body = referenceBody(std::move(target));
        proto->text = std::string(src_.substr(at.pos, end_ - at.pos));
        return blockLiteral(prog_, proto);
    }

    NodePtr aliased(const Token& alias)
    {
        advance();
        if (cur_.kind == Tok::Ident) {
            std::string fieldName = cur_.text;
            advance();
            if (alias.text == "M" || alias.text == "MEMVAR")
                return memvar(std::move(fieldName));
            if (alias.text == "FIELD" || alias.text == "_FIELD")
                return field(std::move(fieldName));
            return aliasField(alias.text, std::move(fieldName));
        }
        if (cur_.kind == Tok::LParen) {
            const std::size_t open = cur_.pos;
            advance();
            NodePtr e = exprList();
            close(Tok::RParen, ")", "(", open);
            return aliasExpr(alias.text, std::move(e));
        }
        error(cur_.pos, "Field name expected after '->'");
    }

    // A parameter of this or an enclosing block, else a field or public
    // looked up when evaluated.
    NodePtr resolve(const std::string& n)
    {
        const std::size_t cur = scopes_.size() - 1;
        for (std::size_t s = scopes_.size(); s-- > 0;) {
            const std::vector<std::string>& ps = scopes_[s].params;
            const auto it = std::find(ps.begin(), ps.end(), n);
            if (it == ps.end())
                continue;
            // Every block between the reference and the parameter's own
            // block must keep its frame on the heap and pass it inwards.
            for (std::size_t j = s; j < cur; ++j)
                scopes_[j].proto->heapFrame = true;
            for (std::size_t j = s + 1; j <= cur; ++j)
                scopes_[j].proto->captures = true;
            return param(cur - s, static_cast<std::size_t>(it - ps.begin()));
        }
        if (names_) {
            const auto named = [&n](const auto& list) {
                return std::find_if(list.begin(), list.end(), [&n](const auto& e) { return upperAscii(e.first) == n; });
            };
            if (const auto c = named(names_->constants); c != names_->constants.end())
                return constant(c->second);
            if (const auto v = named(names_->variables); v != names_->variables.end())
                return bound(v->second);
        }
        return name(n);
    }

    // braces -> '{' '|' [NAME {',' NAME}] '|' [exprlist] '}' | '{' [ [expr] {',' [expr]} ] '}'
    NodePtr braces()
    {
        const std::size_t open = cur_.pos;
        advance();
        if (cur_.kind == Tok::Pipe)
            return blockBody(open);
        std::vector<NodePtr> items;
        if (accept(Tok::RBrace))
            return arrayLiteral(std::move(items));
        do {
            if (cur_.kind == Tok::Comma || cur_.kind == Tok::RBrace)
                items.push_back(constant(Value()));
            else
                items.push_back(expr());
        } while (accept(Tok::Comma));
        close(Tok::RBrace, "}", "{", open);
        return arrayLiteral(std::move(items));
    }

    NodePtr blockBody(std::size_t open)
    {
        const std::size_t bar = cur_.pos;
        advance();
        prog_->protos.push_back(std::make_unique<Proto>());
        Scope scope{prog_->protos.back().get(), {}};
        if (cur_.kind != Tok::Pipe) {
            do {
                if (cur_.kind != Tok::Ident)
                    error(cur_.pos, "Parameter name expected");
                if (std::find(scope.params.begin(), scope.params.end(), cur_.text) != scope.params.end())
                    error(cur_.pos, "Duplicate parameter: " + cur_.text);
                scope.params.push_back(cur_.text);
                advance();
            } while (accept(Tok::Comma));
        }
        close(Tok::Pipe, "|", "|", bar);
        Proto* proto = scope.proto;
        proto->params = scope.params.size();
        scopes_.push_back(std::move(scope));
        if (cur_.kind != Tok::RBrace)
            proto->body = exprList();
        scopes_.pop_back();
        const std::size_t end = cur_.pos + cur_.len;
        close(Tok::RBrace, "}", "{", open);
        proto->text = std::string(src_.substr(open, end - open));
        return blockLiteral(prog_, proto);
    }

    std::string_view src_;
    Lexer lex_;
    Program* prog_;
    const Names* names_;
    Token cur_;
    std::size_t end_ = 0;  // byte offset just past the last token consumed
    std::vector<Scope> scopes_;
    int depth_ = 0;
};

// The whole text compiled as the body of a block of no parameters.
Ref<Program> parse(std::string_view text, const Names* names = nullptr)
{
    Ref<Program> prog(new Program);
    prog->protos.push_back(std::make_unique<Proto>());
    Proto* top = prog->protos.front().get();
    top->text = std::string(text);
    Parser parser(text, prog.get(), names);
    top->body = parser.text();
    return prog;
}

}  // namespace

Value compile(std::string_view text) { return compile(text, Names{}); }

Value compile(std::string_view text, const Names& names)
{
    for (const auto& [n, getSet] : names.variables)
        if (!getSet.isBlock())
            raise("Argument error", "compile", {Value(n), getSet});
    const Ref<Program> prog = parse(text, &names);
    const Node& body = *prog->protos.front()->body;
    if (const Proto* literal = blockLiteralOf(body)) {
        for (auto& p : prog->protos)
            if (p.get() == literal)
                p->text = std::string(text);
        Frame none;
        return body.eval(none);
    }
    return Value(static_cast<Block*>(new Closure(prog.get(), prog->protos.front().get(), nullptr)));
}

Value evalText(std::string_view text)
{
    const Ref<Program> prog = parse(text);
    const Value block(static_cast<Block*>(new Closure(prog.get(), prog->protos.front().get(), nullptr)));
    return block.asBlock().call({});
}

}  // namespace rt
