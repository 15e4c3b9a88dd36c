#include "order.h"

#include "table.h"

#include "platform/runtime/block.h"
#include "platform/runtime/collation.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/ops.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>

namespace dbf {

namespace {

[[noreturn]] void raiseOrder(std::string description, const std::string& tag, std::vector<rt::Value> args = {})
{
    rt::Error e(std::move(description), tag, std::move(args));
    e.subsystem = "DBF";
    e.genCode = rt::gen::NotIndexed;
    rt::raise(std::move(e));
}

void putBigEndian(std::string& out, std::uint64_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((v >> (8 * i)) & 0xFFu);
}

void encodeNumber(double d, std::string& out)
{
    if (d == 0)
        d = 0;  // -0 and 0 are one key
    std::uint64_t bits = std::bit_cast<std::uint64_t>(d);
    bits = (bits >> 63) ? ~bits : bits | (std::uint64_t(1) << 63);
    putBigEndian(out, bits, 8);
}

void encodeDate(rt::Date d, std::string& out)
{
    putBigEndian(out, static_cast<std::uint32_t>(static_cast<std::int64_t>(d.julian) + 0x80000000LL), 4);
}

KeyKind kindOf(const rt::Value& v)
{
    switch (v.kind()) {
    case rt::Kind::Char: return KeyKind::Text;
    case rt::Kind::Num: return KeyKind::Number;
    case rt::Kind::Date: return KeyKind::Date;
    case rt::Kind::Logical: return KeyKind::Logical;
    default: return KeyKind::None;
    }
}

std::size_t fixedWidth(KeyKind k)
{
    switch (k) {
    case KeyKind::Number: return 8;
    case KeyKind::Date: return 4;
    case KeyKind::Logical: return 1;
    default: return 0;
    }
}

// Three-way comparison of two keys of possibly different length, the
// shorter padded with `pad`.
int comparePadded(std::string_view a, std::string_view b, char pad) noexcept
{
    const std::size_t m = std::min(a.size(), b.size());
    if (int c = std::memcmp(a.data(), b.data(), m))
        return c;
    const auto padByte = static_cast<unsigned char>(pad);
    for (std::size_t i = m; i < a.size(); ++i)
        if (auto x = static_cast<unsigned char>(a[i]); x != padByte)
            return x < padByte ? -1 : 1;
    for (std::size_t i = m; i < b.size(); ++i)
        if (auto x = static_cast<unsigned char>(b[i]); x != padByte)
            return padByte < x ? -1 : 1;
    return 0;
}

bool isPlainAscii(std::string_view s) noexcept
{
    for (char c : s)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

bool isNumericType(char t) { return t == 'N' || t == 'F' || t == 'I' || t == 'B' || t == 'Y'; }

struct SortItem {
    std::uint64_t prefix;
    std::uint32_t index;
};

// Sorts keys by eight bytes at a time: each pass sorts on the bytes at
// `offset` held inside the items, then refines every run that shares them.
// Comparisons never reach into the key arena, which keeps them in cache.
template <class KeyAt>
void sortKeys(SortItem* begin, SortItem* end, std::size_t offset, const KeyAt& keyAt, char pad)
{
    if (offset >= 256) {
        // Long shared stretches (memo keys) are compared whole rather than recursing further.
        std::sort(begin, end, [&](const SortItem& a, const SortItem& b) {
            const int c = comparePadded(keyAt(a.index), keyAt(b.index), pad);
            return c != 0 ? c < 0 : a.index < b.index;
        });
        return;
    }
    bool more = false;  // does any key reach past this pass's bytes?
    bool same = true;   // do all keys share them?
    for (SortItem* it = begin; it != end; ++it) {
        const std::string_view k = keyAt(it->index);
        std::uint64_t p = 0;
        for (std::size_t b = offset; b < offset + 8; ++b)
            p = (p << 8) | static_cast<unsigned char>(b < k.size() ? k[b] : pad);
        it->prefix = p;
        more = more || k.size() > offset + 8;
        same = same && p == begin->prefix;
    }
    if (same && more) {
        sortKeys(begin, end, offset + 8, keyAt, pad);
        return;
    }
    std::sort(begin, end, [](const SortItem& a, const SortItem& b) {
        return a.prefix != b.prefix ? a.prefix < b.prefix : a.index < b.index;
    });
    if (!more)
        return;
    for (SortItem* run = begin; run != end;) {
        SortItem* stop = run + 1;
        while (stop != end && stop->prefix == run->prefix)
            ++stop;
        if (stop - run > 1)
            sortKeys(run, stop, offset + 8, keyAt, pad);
        run = stop;
    }
}

}  // namespace

int comparePrefix(std::string_view key, std::string_view prefix) noexcept
{
    const std::size_t m = std::min(key.size(), prefix.size());
    if (int c = std::memcmp(key.data(), prefix.data(), m))
        return c;
    for (std::size_t i = m; i < prefix.size(); ++i)
        if (auto x = static_cast<unsigned char>(prefix[i]); x != ' ')
            return ' ' < x ? -1 : 1;
    return 0;
}

// ------------------------------------------------------------- simple keys

namespace {

// The runtime's own text functions a key plan applies, by name; fixed
// here, so nothing a file says picks another.
struct TextStep {
    const char* name;
    int required;  // whole-number arguments after the text
    int optional;
};
constexpr TextStep kTextSteps[] = {{"UPPER", 0, 0}, {"ALLTRIM", 0, 0}, {"TRIM", 0, 0}, {"RTRIM", 0, 0},
                                   {"LTRIM", 0, 0}, {"SUBSTR", 1, 1},  {"LEFT", 1, 0}, {"RIGHT", 1, 0}};

class KeyLexer {
public:
    explicit KeyLexer(std::string_view s) : s_(s) {}

    void skipBlanks()
    {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t'))
            ++i_;
    }
    bool atEnd()
    {
        skipBlanks();
        return i_ == s_.size();
    }
    bool accept(char c)
    {
        skipBlanks();
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    std::string name()
    {
        skipBlanks();
        const std::size_t start = i_;
        while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_'))
            ++i_;
        if (start < s_.size() && std::isdigit(static_cast<unsigned char>(s_[start])))
            return {};
        return rt::upperAscii(s_.substr(start, i_ - start));
    }
    int integer()
    {
        skipBlanks();
        int v = 0;
        const std::size_t start = i_;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_])) && i_ - start < 4)
            v = v * 10 + (s_[i_++] - '0');
        return i_ == start ? -1 : v;
    }

private:
    std::string_view s_;
    std::size_t i_ = 0;
};

}  // namespace

// A key read straight from the record: one field, or text parts joined.
struct Order::Plan {
    enum class Op { Field, Upper, Dtos, Dtoc, Str, Collate };
    // A text function applied to a part, with its whole-number arguments.
    struct Step {
        rt::NativeFn fn;
        int argc;
        int n1, n2;
    };
    struct Part {
        Op op;
        int field;
        char type;
        int offset;
        int len;
        int strLen = -1;  // STR's arguments, -1 when not given
        int strDec = -1;
        std::vector<Step> steps = {};  // innermost first
    };
    std::vector<Part> parts;
    KeyKind kind = KeyKind::Text;

    static std::unique_ptr<Plan> parse(std::string_view text, const Table& table);
    static std::unique_ptr<Plan> ofField(int field, KeyFold fold, const Table& table);
    static bool setKind(Plan& plan);
    static bool parsePart(KeyLexer& lx, const Table& table, Part& part, int depth);
    static bool isText(const Part& p) { return p.op != Op::Field || p.type == 'C'; }
    static std::string stepped(Table& table, const Part& p);
};

// part -> name | DTOS(name) | DTOC(name) | STR(name [, int [, int]])
//       | step(part [, int [, int]])   (a step of kTextSteps over text)
bool Order::Plan::parsePart(KeyLexer& lx, const Table& table, Part& part, int depth)
{
    std::string word = lx.name();
    if (lx.accept('(')) {
        const TextStep* step = nullptr;
        for (const TextStep& s : kTextSteps)
            if (word == s.name)
                step = &s;
        if (step) {
            if (depth > 4 || !parsePart(lx, table, part, depth + 1) || !isText(part))
                return false;
            int n[2] = {-1, -1};
            int argc = 1;
            for (int i = 0; i < step->required + step->optional && lx.accept(','); ++i, ++argc)
                if ((n[i] = lx.integer()) < 0)
                    return false;
            if (argc - 1 < step->required || !lx.accept(')'))
                return false;
            const rt::NativeFn fn = rt::findFunction(step->name);
            if (!fn)
                return false;
            if (word == "UPPER" && part.op == Op::Field && part.steps.empty())
                part.op = Op::Upper;
            else
                part.steps.push_back({fn, argc, n[0], n[1]});
            return true;
        }
        if (word == "DTOS")
            part.op = Op::Dtos;
        else if (word == "DTOC")
            part.op = Op::Dtoc;
        else if (word == "STR")
            part.op = Op::Str;
        else
            return false;
        word = lx.name();
        if (part.op == Op::Str && lx.accept(',')) {
            if ((part.strLen = lx.integer()) < 1)
                return false;
            if (lx.accept(',') && (part.strDec = lx.integer()) < 0)
                return false;
        }
        if (!lx.accept(')'))
            return false;
    }
    part.field = word.empty() ? -1 : table.fieldIndex(word);
    if (part.field < 0)
        return false;
    const Field& f = table.fields()[static_cast<std::size_t>(part.field)];
    part.type = f.type;
    part.offset = f.offset;
    part.len = f.len;
    return part.op == Op::Field || ((part.op == Op::Dtos || part.op == Op::Dtoc) && f.type == 'D') ||
           (part.op == Op::Str && isNumericType(f.type));
}

namespace {

// A FOR condition an index file commonly holds that is read without the
// compiler: the record is not deleted.
bool isNotDeleted(std::string_view text)
{
    std::string s;
    for (char c : rt::upperAscii(text))
        if (c != ' ' && c != '\t')
            s += c;
    return s == "!DELETED()" || s == ".NOT.DELETED()" ||
           (s == "NOTDELETED()" && rt::upperAscii(rt::alltrim(text)).starts_with("NOT "));
}

}  // namespace

std::unique_ptr<Order::Plan> Order::Plan::parse(std::string_view text, const Table& table)
{
    auto plan = std::make_unique<Plan>();
    KeyLexer lx(text);
    do {
        Part part{Op::Field, -1, 0, 0, 0};
        if (!parsePart(lx, table, part, 0))
            return nullptr;
        plan->parts.push_back(std::move(part));
    } while (lx.accept('+'));
    if (!lx.atEnd())
        return nullptr;

    return setKind(*plan) ? std::move(plan) : nullptr;
}

// The key's kind from its parts; false when they make no key.
bool Order::Plan::setKind(Plan& plan)
{
    const Part& first = plan.parts.front();
    if (plan.parts.size() == 1 && first.op == Op::Field && first.steps.empty()) {
        if (isNumericType(first.type))
            plan.kind = KeyKind::Number;
        else if (first.type == 'D')
            plan.kind = KeyKind::Date;
        else if (first.type == 'L')
            plan.kind = KeyKind::Logical;
        else if (first.type != 'C' && first.type != 'M' && first.type != 'T')
            return false;
    } else {
        for (const Part& p : plan.parts)
            if (!isText(p))
                return false;  // "+" of numbers or dates is arithmetic, not a join
    }
    return true;
}

std::unique_ptr<Order::Plan> Order::Plan::ofField(int field, KeyFold fold, const Table& table)
{
    if (field < 0 || std::size_t(field) >= table.fields().size())
        return nullptr;
    const Field& f = table.fields()[static_cast<std::size_t>(field)];
    const bool text = f.type == 'C';
    auto plan = std::make_unique<Plan>();
    const Op op = !text || fold == KeyFold::None ? Op::Field : fold == KeyFold::Upper ? Op::Upper : Op::Collate;
    plan->parts.push_back(Part{op, field, f.type, f.offset, f.len});
    return setKind(*plan) ? std::move(plan) : nullptr;
}

// ------------------------------------------------------------------ Order

Order::Order(OrderSpec spec, const Table& table) : spec_(std::move(spec))
{
    spec_.name = rt::upperAscii(spec_.name);
    auto compileOrRaise = [&](const std::string& text) {
        rt::Value block;
        rt::Error caught{""};
        if (!rt::guarded([&] { block = rt::compile(text); }, &caught))
            raiseOrder("Key expression does not compile: " + caught.description, spec_.name, {rt::Value(text)});
        return block;
    };
    if (spec_.fromFile) {
        // A file's expressions are data: a FOR or a key the plan cannot
        // read leaves the tag out rather than reach the compiler.
        const bool hasFor = !rt::alltrim(spec_.forExpr).empty();
        if (hasFor && !(forNotDeleted_ = isNotDeleted(spec_.forExpr)))
            raiseOrder("FOR condition of an index file not supported", spec_.name, {rt::Value(spec_.forExpr)});
        plan_ = Plan::parse(spec_.key, table);
        if (!plan_)
            raiseOrder("Key expression of an index file not supported", spec_.name, {rt::Value(spec_.key)});
        return;
    }
    if (!rt::alltrim(spec_.forExpr).empty())
        forBlock_ = compileOrRaise(spec_.forExpr);
    if (spec_.field >= 0) {
        plan_ = Plan::ofField(spec_.field, spec_.fold, table);
        if (!plan_)
            raiseOrder("Field key of a kind no order takes", spec_.name, {rt::Value(spec_.field + 1)});
        return;
    }
    if (rt::alltrim(spec_.key).empty())
        raiseOrder("Key expression is empty", spec_.name);
    keyBlock_ = compileOrRaise(spec_.key);
    plan_ = Plan::parse(spec_.key, table);
}

Order::~Order() = default;

bool Order::isSimple() const noexcept { return plan_ && (!forceCompiled_ || spec_.field >= 0 || spec_.fromFile); }

void Order::clear() noexcept
{
    keys_.clear();
    recnos_.clear();
    built_ = false;
}

rt::Value Order::evalKey(Table&) const { return rt::eval(keyBlock_); }

bool Order::included(Table& table) const
{
    if (forNotDeleted_)
        return !table.deleted();
    return forBlock_.isNil() || rt::truth(rt::eval(forBlock_), "FOR");
}

void Order::fixKind(const rt::Value& v)
{
    const KeyKind k = kindOf(v);
    if (k == KeyKind::None)
        raiseOrder("Key expression must give text, a number, a date or a logical", spec_.name, {v});
    if (kind_ == KeyKind::None)
        kind_ = k;
    else if (k != kind_)
        raiseOrder("Key type mismatch", spec_.name, {v});
}

void Order::encode(const rt::Value& v, std::string& out) const
{
    switch (v.kind()) {
    case rt::Kind::Char: out += v.asString(); break;
    case rt::Kind::Num: encodeNumber(v.asDouble(), out); break;
    case rt::Kind::Date: encodeDate(v.asDate(), out); break;
    case rt::Kind::Logical: out += static_cast<char>(v.asBool() ? 1 : 0); break;
    default: break;
    }
}

// A part's text through its steps, each the runtime's own function given
// the text and the key's whole numbers, as the compiled key would call it.
std::string Order::Plan::stepped(Table& table, const Part& p)
{
    const rt::Value v = table.get(p.field);
    rt::Value text = p.op == Op::Upper  ? rt::Value(rt::upper(v.asString()))
                     : p.op == Op::Dtos ? rt::Value(rt::dtos(v.asDate()))
                     : p.op == Op::Dtoc ? rt::Value(rt::dtoc(v.asDate()))
                     : p.op == Op::Str  ? rt::Value(rt::str(v, p.strLen, p.strDec))
                                        : v;
    for (const Step& s : p.steps) {
        const rt::Value args[] = {text, rt::Value(s.n1), rt::Value(s.n2)};
        text = s.fn(rt::Args(args, static_cast<std::size_t>(s.argc)));
    }
    return text.str();
}

void Order::appendKey(Table& table, std::string& out) const
{
    if (!isSimple()) {
        const rt::Value v = evalKey(table);
        if (kindOf(v) != kind_)
            raiseOrder(kind_ == KeyKind::None ? "Key expression must give text, a number, a date or a logical"
                                              : "Key type mismatch",
                       spec_.name, {v});
        encode(v, out);
        return;
    }
    const std::string_view rec = table.rawRecord();
    for (const Plan::Part& p : plan_->parts) {
        if (!p.steps.empty()) {
            out += Plan::stepped(table, p);
            continue;
        }
        switch (p.op) {
        case Plan::Op::Field: {
            const std::string_view raw =
                rec.substr(static_cast<std::size_t>(p.offset), static_cast<std::size_t>(p.len));
            if (p.type == 'C' && isPlainAscii(raw)) {
                out += raw;
                break;
            }
            const rt::Value v = table.get(p.field);
            if (kindOf(v) != plan_->kind)
                raiseOrder("Key type mismatch", spec_.name, {v});
            encode(v, out);
            break;
        }
        case Plan::Op::Upper: {
            const std::string_view raw =
                rec.substr(static_cast<std::size_t>(p.offset), static_cast<std::size_t>(p.len));
            if (isPlainAscii(raw)) {
                for (char c : raw)
                    out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
            } else {
                out += rt::upper(table.get(p.field).asString());
            }
            break;
        }
        case Plan::Op::Collate: {
            // The text seen in place, without building a value (a header
            // sort reads every record); get() for what that cannot give.
            std::string_view text;
            bool nul = false;
            if (table.textOf(p.field, text, nul) && !nul)
                rt::appendCollationKey(text, out);
            else
                rt::appendCollationKey(table.get(p.field).asString(), out);
            break;
        }
        case Plan::Op::Dtos: out += rt::dtos(table.get(p.field).asDate()); break;
        case Plan::Op::Dtoc: out += rt::dtoc(table.get(p.field).asDate()); break;
        case Plan::Op::Str: out += rt::str(table.get(p.field), p.strLen, p.strDec); break;
        }
    }
}

std::optional<std::string> Order::currentKey(Table& table) const
{
    if (!included(table))
        return std::nullopt;
    std::string key;
    appendKey(table, key);
    return key;
}

void Order::build(Table& table)
{
    clear();
    kind_ = isSimple() ? plan_->kind : KeyKind::None;
    width_ = fixedWidth(kind_);

    // The blank record gives the kind and the least width of a key; a key
    // that fails on blanks is judged by the records instead.
    table.go(0);
    if (!isSimple())
        rt::guarded([&] { fixKind(evalKey(table)); });
    std::string blank;
    if (kind_ != KeyKind::None && rt::guarded([&] { appendKey(table, blank); }))
        width_ = std::max(width_, blank.size());

    std::string arena;
    std::vector<std::uint32_t> offsets;
    std::vector<std::uint32_t> recs;
    const std::uint32_t count = table.recordCount();
    offsets.reserve(count + 1);
    recs.reserve(count);
    for (std::uint64_t r = 1; r <= count; ++r) {
        table.go(static_cast<std::uint32_t>(r));
        if (!included(table))
            continue;
        offsets.push_back(static_cast<std::uint32_t>(arena.size()));
        if (kind_ == KeyKind::None) {
            const rt::Value v = evalKey(table);
            fixKind(v);
            encode(v, arena);
        } else {
            appendKey(table, arena);
        }
        recs.push_back(static_cast<std::uint32_t>(r));
        if (arena.size() > 0xF0000000u)
            raiseOrder("Keys too large for memory", spec_.name);
    }
    offsets.push_back(static_cast<std::uint32_t>(arena.size()));
    table.go(0);

    const std::size_t n = recs.size();
    const char pad = kind_ == KeyKind::Text ? ' ' : '\0';
    auto keyAt = [&](std::size_t i) {
        return std::string_view(arena.data() + offsets[i], offsets[i + 1] - offsets[i]);
    };
    for (std::size_t i = 0; i < n; ++i)
        width_ = std::max<std::size_t>(width_, offsets[i + 1] - offsets[i]);

    std::vector<SortItem> items(n);
    for (std::size_t i = 0; i < n; ++i)
        items[i].index = static_cast<std::uint32_t>(i);
    sortKeys(
        items.data(), items.data() + n, 0, [&](std::uint32_t i) { return keyAt(i); }, pad);

    keys_.assign(n * width_, pad);
    recnos_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view k = keyAt(items[i].index);
        std::memcpy(keys_.data() + i * width_, k.data(), k.size());
        recnos_[i] = recs[items[i].index];
    }
    built_ = true;
}

std::string Order::searchKey(const rt::Value& v, const char* op) const
{
    std::string out;
    const KeyKind want = kind_ == KeyKind::None ? kindOf(v) : kind_;
    switch (want) {
    case KeyKind::Text:
        if (v.isChar() && isSimple() && plan_->parts.front().op == Plan::Op::Collate)
            out = rt::collationPrefix(v.asString());
        else if (v.isChar())
            out = v.asString();
        else if (v.isDate())
            out = rt::dtos(v.asDate());
        else
            break;
        return out;
    case KeyKind::Number:
        if (v.isNum())
            encodeNumber(v.asDouble(), out);
        else if (v.isChar())
            encodeNumber(rt::val(v.asString()).asDouble(), out);
        else
            break;
        return out;
    case KeyKind::Date:
        if (v.isDate()) {
            encodeDate(v.asDate(), out);
            return out;
        }
        if (v.isChar()) {
            const std::string s = rt::alltrim(v.asString());
            const rt::Date d = rt::stod(s);
            if (s.empty() || !d.empty()) {
                encodeDate(d, out);
                return out;
            }
        }
        break;
    case KeyKind::Logical:
        if (v.isLogical()) {
            out += static_cast<char>(v.asBool() ? 1 : 0);
            return out;
        }
        break;
    case KeyKind::None: break;
    }
    rt::Error e("Key type mismatch", op, {v});
    e.subsystem = "DBF";
    e.genCode = rt::gen::KeyMismatch;
    rt::raise(std::move(e));
}

std::size_t Order::lowerBound(std::string_view key, std::uint32_t recno) const
{
    std::size_t lo = 0, hi = size();
    const char pad = kind_ == KeyKind::Text ? ' ' : '\0';
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        const int c = comparePadded(this->key(mid), key, pad);
        if (c < 0 || (c == 0 && recnos_[mid] < recno))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::size_t Order::find(std::string_view key, std::uint32_t recno) const
{
    const std::size_t p = lowerBound(key, recno);
    const char pad = kind_ == KeyKind::Text ? ' ' : '\0';
    if (p < size() && recnos_[p] == recno && comparePadded(this->key(p), key, pad) == 0)
        return p;
    return npos;
}

std::size_t Order::lowerPrefix(std::string_view prefix) const
{
    std::size_t lo = 0, hi = size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (comparePrefix(key(mid), prefix) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::size_t Order::upperPrefix(std::string_view prefix) const
{
    std::size_t lo = 0, hi = size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (comparePrefix(key(mid), prefix) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

bool Order::repeatsKey(std::size_t pos) const noexcept
{
    return pos > 0 && pos < size() &&
           std::memcmp(keys_.data() + pos * width_, keys_.data() + (pos - 1) * width_, width_) == 0;
}

void Order::widen(std::size_t width)
{
    const std::size_t n = size();
    std::vector<char> wider(n * width, kind_ == KeyKind::Text ? ' ' : '\0');
    for (std::size_t i = 0; i < n; ++i)
        std::memcpy(wider.data() + i * width, keys_.data() + i * width_, width_);
    keys_ = std::move(wider);
    width_ = width;
}

void Order::insert(std::string_view key, std::uint32_t recno)
{
    if (kind_ == KeyKind::None)
        raiseOrder("Key expression must give text, a number, a date or a logical", spec_.name);
    if (key.size() > width_)
        widen(key.size());
    const std::size_t p = lowerBound(key, recno);
    const auto at = keys_.begin() + static_cast<std::ptrdiff_t>(p * width_);
    const auto it = keys_.insert(at, width_, kind_ == KeyKind::Text ? ' ' : '\0');
    std::copy(key.begin(), key.end(), it);
    recnos_.insert(recnos_.begin() + static_cast<std::ptrdiff_t>(p), recno);
}

void Order::erase(std::size_t pos)
{
    const auto at = keys_.begin() + static_cast<std::ptrdiff_t>(pos * width_);
    keys_.erase(at, at + static_cast<std::ptrdiff_t>(width_));
    recnos_.erase(recnos_.begin() + static_cast<std::ptrdiff_t>(pos));
}

}  // namespace dbf
