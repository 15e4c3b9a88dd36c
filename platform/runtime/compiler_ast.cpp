#include "compiler_ast.h"

#include "array.h"
#include "error.h"
#include "object.h"
#include "ops.h"

#include <array>

namespace rt::cc {

namespace {

[[noreturn]] void argumentError(const char* operation, const Value& a, const Value& b, int genCode)
{
    Error e("Argument error", operation, {a, b});
    e.genCode = genCode;
    raise(std::move(e));
}

// a[i] for reading; the error names "array access" as the language does.
const Value& element(const Value& a, const Value& i)
{
    if (!a.isArray() || !i.isNum())
        argumentError("array access", a, i, gen::ArrayAccess);
    return a.asArray().at1(i.asInt());
}

Value& elementForWrite(const Value& a, const Value& i)
{
    if (!a.isArray() || !i.isNum())
        argumentError("array assign", a, i, gen::ArrayAssign);
    return a.asArray().at1(i.asInt());
}

[[noreturn]] void noAlias(const std::string& alias)
{
    raiseNoAlias(alias, {}, "BASE");
}

// ---------------------------------------------------------------- leaves

// A target read by eval() and written by store(), with no operands of its own.
class Variable : public Target {
public:
    Value update(Frame& f, const Node& rhs, BinaryFn op, bool returnOld) const override
    {
        if (!op) {
            Value v = rhs.eval(f);
            store(f, v);
            return v;
        }
        Value old = eval(f);
        Value v = op(old, rhs.eval(f));
        store(f, v);
        return returnOld ? old : v;
    }

protected:
    virtual void store(Frame& f, const Value& v) const = 0;
};

class Const final : public Node {
public:
    explicit Const(Value v) : v_(std::move(v)) {}
    Value eval(Frame&) const override { return v_; }
    const Value* peek(Frame&) const override { return &v_; }
    const Value& value() const noexcept { return v_; }

private:
    Value v_;
};

class Local final : public Variable {
public:
    explicit Local(std::size_t slot) : slot_(slot) {}
    Value eval(Frame& f) const override { return f.slots[slot_]; }
    const Value* peek(Frame& f) const override { return &f.slots[slot_]; }

protected:
    void store(Frame& f, const Value& v) const override { f.slots[slot_] = v; }

private:
    std::size_t slot_;
};

class Outer final : public Variable {
public:
    Outer(std::size_t depth, std::size_t slot) : depth_(depth), slot_(slot) {}
    Value eval(Frame& f) const override { return slot(f); }
    const Value* peek(Frame& f) const override { return &slot(f); }

protected:
    void store(Frame& f, const Value& v) const override { slot(f) = v; }

private:
    Value& slot(Frame& f) const
    {
        Env* e = f.outer;
        for (std::size_t d = 1; d < depth_; ++d)
            e = e->parent.get();
        return e->slots[slot_];
    }
    std::size_t depth_, slot_;
};

class Name final : public Variable {
public:
    explicit Name(std::string n) : name_(std::move(n)) {}
    Value eval(Frame&) const override
    {
        const FieldHooks& h = fieldHooks();
        Value out;
        if (h.get && h.get(name_, out))
            return out;
        return publicGet(name_);
    }

protected:
    void store(Frame&, const Value& v) const override
    {
        const FieldHooks& h = fieldHooks();
        if (!(h.put && h.put(name_, v)))
            publicVar(name_) = v;
    }

private:
    std::string name_;
};

class Memvar final : public Variable {
public:
    explicit Memvar(std::string n) : name_(std::move(n)) {}
    Value eval(Frame&) const override { return publicGet(name_); }

protected:
    void store(Frame&, const Value& v) const override { publicVar(name_) = v; }

private:
    std::string name_;
};

class Field final : public Variable {
public:
    explicit Field(std::string n) : name_(std::move(n)) {}
    Value eval(Frame&) const override
    {
        const FieldHooks& h = fieldHooks();
        Value out;
        if (!(h.get && h.get(name_, out)))
            missing();
        return out;
    }

protected:
    void store(Frame&, const Value& v) const override
    {
        const FieldHooks& h = fieldHooks();
        if (!(h.put && h.put(name_, v)))
            missing();
    }

private:
    [[noreturn]] void missing() const
    {
        raiseNoField(name_);
    }
    std::string name_;
};

class AliasField final : public Variable {
public:
    AliasField(std::string alias, std::string field) : alias_(std::move(alias)), field_(std::move(field)) {}
    Value eval(Frame&) const override
    {
        const FieldHooks& h = fieldHooks();
        if (!h.aliasGet)
            noAlias(alias_);
        return h.aliasGet(alias_, field_);
    }

protected:
    void store(Frame&, const Value& v) const override
    {
        const FieldHooks& h = fieldHooks();
        if (!h.aliasPut)
            noAlias(alias_);
        h.aliasPut(alias_, field_, v);
    }

private:
    std::string alias_, field_;
};

class AliasExpr final : public Node {
public:
    AliasExpr(std::string alias, NodePtr e) : alias_(std::move(alias)), e_(std::move(e)) {}
    Value eval(Frame& f) const override
    {
        const FieldHooks& h = fieldHooks();
        if (!h.aliasEval)
            noAlias(alias_);
        Context c{e_.get(), &f};
        return h.aliasEval(alias_, &run, &c);
    }

private:
    struct Context {
        const Node* node;
        Frame* frame;
    };
    static Value run(void* p)
    {
        auto* c = static_cast<Context*>(p);
        return c->node->eval(*c->frame);
    }
    std::string alias_;
    NodePtr e_;
};

// ---------------------------------------------------------------- calls

// Arguments go to the function in a buffer on the C++ stack.
template <std::size_t N>
class CallFixed final : public Node {
public:
    CallFixed(NativeFn fn, std::vector<NodePtr> args) : fn_(fn)
    {
        for (std::size_t i = 0; i < N; ++i)
            args_[i] = std::move(args[i]);
    }
    Value eval(Frame& f) const override
    {
        if constexpr (N == 0) {
            return fn_({});
        } else {
            Value buf[N];
            for (std::size_t i = 0; i < N; ++i)
                buf[i] = args_[i]->eval(f);
            return fn_(Args(buf, N));
        }
    }

private:
    NativeFn fn_;
    std::array<NodePtr, N> args_;
};

class CallMany final : public Node {
public:
    CallMany(NativeFn fn, std::vector<NodePtr> args) : fn_(fn), args_(std::move(args)) {}
    Value eval(Frame& f) const override
    {
        constexpr std::size_t kInline = 16;
        if (args_.size() <= kInline) {
            Value buf[kInline];
            return fn_(Args(buf, fill(f, buf)));
        }
        std::vector<Value> buf(args_.size());
        return fn_(Args(buf.data(), fill(f, buf.data())));
    }

private:
    std::size_t fill(Frame& f, Value* buf) const
    {
        for (std::size_t i = 0; i < args_.size(); ++i)
            buf[i] = args_[i]->eval(f);
        return args_.size();
    }
    NativeFn fn_;
    std::vector<NodePtr> args_;
};

class Iif final : public Node {
public:
    Iif(NodePtr c, NodePtr a, NodePtr b) : c_(std::move(c)), a_(std::move(a)), b_(std::move(b)) {}
    Value eval(Frame& f) const override { return truth(c_->eval(f), "IIF") ? a_->eval(f) : b_->eval(f); }

private:
    NodePtr c_, a_, b_;
};

class Sequence final : public Node {
public:
    explicit Sequence(std::vector<NodePtr> items) : items_(std::move(items)) {}
    Value eval(Frame& f) const override
    {
        for (std::size_t i = 0; i + 1 < items_.size(); ++i)
            items_[i]->eval(f);
        return items_.back()->eval(f);
    }

private:
    std::vector<NodePtr> items_;
};

class ArrayLiteral final : public Node {
public:
    explicit ArrayLiteral(std::vector<NodePtr> items) : items_(std::move(items)) {}
    Value eval(Frame& f) const override
    {
        Value a = Value::array(items_.size());
        for (std::size_t i = 0; i < items_.size(); ++i)
            a.asArray().items[i] = items_[i]->eval(f);
        return a;
    }

private:
    std::vector<NodePtr> items_;
};

class BlockLiteral final : public Node {
public:
    BlockLiteral(Program* prog, const Proto* proto) : prog_(prog), proto_(proto) {}
    Value eval(Frame& f) const override
    {
        return Value(static_cast<Block*>(new Closure(prog_, proto_, proto_->captures ? f.self : nullptr)));
    }
    const Proto* proto() const noexcept { return proto_; }

private:
    Program* prog_;  // owns this node
    const Proto* proto_;
};

// ---------------------------------------------------------------- postfix

class Index final : public Target {
public:
    Index(NodePtr a, NodePtr i) : a_(std::move(a)), i_(std::move(i)), constIndex_(constantOf(*i_)) {}
    Value eval(Frame& f) const override
    {
        // A constant index has no side effects, so the array can be read in place.
        if (constIndex_) {
            if (const Value* a = a_->peek(f))
                return element(*a, *constIndex_);
        }
        const Value a = a_->eval(f);
        return element(a, i_->eval(f));
    }
    Value update(Frame& f, const Node& rhs, BinaryFn op, bool returnOld) const override
    {
        const Value a = a_->eval(f);
        const Value i = i_->eval(f);
        if (!op) {
            Value v = rhs.eval(f);
            elementForWrite(a, i) = v;
            return v;
        }
        Value old = element(a, i);
        Value v = op(old, rhs.eval(f));
        // Looked up again: evaluating rhs may have resized the array.
        elementForWrite(a, i) = v;
        return returnOld ? old : v;
    }

private:
    NodePtr a_, i_;
    const Value* constIndex_;
};

class Member final : public Target {
public:
    Member(NodePtr o, std::string n) : o_(std::move(o)), name_(std::move(n)) {}
    Value eval(Frame& f) const override { return getMember(o_->eval(f), name_); }
    Value update(Frame& f, const Node& rhs, BinaryFn op, bool returnOld) const override
    {
        const Value o = o_->eval(f);
        if (!op) {
            Value v = rhs.eval(f);
            setMember(o, name_, v);
            return v;
        }
        Value old = getMember(o, name_);
        Value v = op(old, rhs.eval(f));
        setMember(o, name_, v);
        return returnOld ? old : v;
    }

private:
    NodePtr o_;
    std::string name_;
};

class Send final : public Node {
public:
    Send(NodePtr o, std::string n, std::vector<NodePtr> args)
        : o_(std::move(o)), name_(std::move(n)), args_(std::move(args))
    {
    }
    Value eval(Frame& f) const override
    {
        const Value o = o_->eval(f);
        constexpr std::size_t kInline = 8;
        Value inlineBuf[kInline];
        std::vector<Value> heapBuf;
        Value* buf = inlineBuf;
        if (args_.size() > kInline) {
            heapBuf.resize(args_.size());
            buf = heapBuf.data();
        }
        for (std::size_t i = 0; i < args_.size(); ++i)
            buf[i] = args_[i]->eval(f);
        const Args args(buf, args_.size());
        // Blocks answer :eval() like objects do.
        if (o.isBlock() && name_ == "EVAL")
            return rt::eval(o, args);
        return send(o, name_, args);
    }

private:
    NodePtr o_;
    std::string name_;
    std::vector<NodePtr> args_;
};

// ---------------------------------------------------------------- operators

template <BinaryFn F>
class Arith final : public Node {
public:
    Arith(NodePtr a, NodePtr b) : a_(std::move(a)), b_(std::move(b)) {}
    Value eval(Frame& f) const override
    {
        const Value a = a_->eval(f);
        return F(a, b_->eval(f));
    }

private:
    NodePtr a_, b_;
};

template <BinOp Op>
class Relation final : public Node {
public:
    Relation(NodePtr a, NodePtr b) : a_(std::move(a)), b_(std::move(b)) {}
    Value eval(Frame& f) const override
    {
        const Value a = a_->eval(f);
        const Value b = b_->eval(f);
        if constexpr (Op == BinOp::Eq)
            return Value(looseEqual(a, b));
        else if constexpr (Op == BinOp::ExactEq)
            return Value(exactEqual(a, b));
        else if constexpr (Op == BinOp::NotEq)
            return Value(!looseEqual(a, b));
        else if constexpr (Op == BinOp::Less)
            return Value(compare(a, b, "<") < 0);
        else if constexpr (Op == BinOp::Greater)
            return Value(compare(a, b, ">") > 0);
        else if constexpr (Op == BinOp::LessEq)
            return Value(compare(a, b, "<=") <= 0);
        else if constexpr (Op == BinOp::GreaterEq)
            return Value(compare(a, b, ">=") >= 0);
        else
            return Value(contains(a, b));
    }

private:
    NodePtr a_, b_;
};

class And final : public Node {
public:
    And(NodePtr a, NodePtr b) : a_(std::move(a)), b_(std::move(b)) {}
    Value eval(Frame& f) const override
    {
        return Value(truth(a_->eval(f), ".AND.") && truth(b_->eval(f), ".AND."));
    }

private:
    NodePtr a_, b_;
};

class Or final : public Node {
public:
    Or(NodePtr a, NodePtr b) : a_(std::move(a)), b_(std::move(b)) {}
    Value eval(Frame& f) const override
    {
        return Value(truth(a_->eval(f), ".OR.") || truth(b_->eval(f), ".OR."));
    }

private:
    NodePtr a_, b_;
};

class Not final : public Node {
public:
    explicit Not(NodePtr a) : a_(std::move(a)) {}
    Value eval(Frame& f) const override { return Value(!truth(a_->eval(f), ".NOT.")); }

private:
    NodePtr a_;
};

class Negate final : public Node {
public:
    explicit Negate(NodePtr a) : a_(std::move(a)) {}
    Value eval(Frame& f) const override { return negate(a_->eval(f)); }

private:
    NodePtr a_;
};

class Plus final : public Node {
public:
    explicit Plus(NodePtr a) : a_(std::move(a)) {}
    Value eval(Frame& f) const override
    {
        Value v = a_->eval(f);
        if (!v.isNum())
            raiseArg("+", Args(&v, 1));
        return v;
    }

private:
    NodePtr a_;
};

class Assign final : public Node {
public:
    Assign(NodePtr target, BinaryFn op, NodePtr rhs, bool returnOld = false)
        : target_(std::move(target)), op_(op), rhs_(std::move(rhs)), returnOld_(returnOld)
    {
    }
    Value eval(Frame& f) const override
    {
        return static_cast<const Target&>(*target_).update(f, *rhs_, op_, returnOld_);
    }

private:
    NodePtr target_;
    BinaryFn op_;
    NodePtr rhs_;
    bool returnOld_;
};

}  // namespace

// A variable of the code that compiled the text, reached through its
// get/set block: the block decides where the value lives and for how long.
class Bound final : public Variable {
public:
    explicit Bound(Value getSet) : getSet_(std::move(getSet)) {}
    Value eval(Frame&) const override { return rt::eval(getSet_); }

protected:
    void store(Frame&, const Value& v) const override { rt::evalWith(getSet_, v); }

private:
    Value getSet_;
};

Closure::Closure(Program* prog, const Proto* proto, Env* env)
    : Block(proto->text), prog_(prog), proto_(proto), env_(env)
{
}

Value Closure::call(Args args)
{
    // Held for the call: the block may drop the last other reference to itself.
    const Ref<Closure> self(this);
    const Proto& p = *proto_;
    const std::size_t n = p.params;
    const auto run = [&](Frame& f) -> Value {
        f.argc = args.size();
        for (std::size_t i = 0; i < n && i < args.size(); ++i)
            f.slots[i] = args[i];
        return p.body ? p.body->eval(f) : Value();
    };
    if (p.heapFrame) {
        const Ref<Env> env(new Env(n, env_));
        Frame f{env->slots.data(), env_.get(), env.get()};
        return run(f);
    }
    constexpr std::size_t kInline = 4;
    if (n <= kInline) {
        Value slots[kInline];
        Frame f{slots, env_.get(), nullptr};
        return run(f);
    }
    std::vector<Value> slots(n);
    Frame f{slots.data(), env_.get(), nullptr};
    return run(f);
}

// ---------------------------------------------------------------- factories

NodePtr constant(Value v) { return std::make_unique<Const>(std::move(v)); }

const Value* constantOf(const Node& n)
{
    const auto* c = dynamic_cast<const Const*>(&n);
    return c ? &c->value() : nullptr;
}

NodePtr param(std::size_t depth, std::size_t slot)
{
    if (depth == 0)
        return std::make_unique<Local>(slot);
    return std::make_unique<Outer>(depth, slot);
}

NodePtr name(std::string upperName) { return std::make_unique<Name>(std::move(upperName)); }
NodePtr bound(Value getSet) { return std::make_unique<Bound>(std::move(getSet)); }
NodePtr memvar(std::string upperName) { return std::make_unique<Memvar>(std::move(upperName)); }
NodePtr field(std::string upperName) { return std::make_unique<Field>(std::move(upperName)); }

NodePtr aliasField(std::string alias, std::string fieldName)
{
    return std::make_unique<AliasField>(std::move(alias), std::move(fieldName));
}

NodePtr aliasExpr(std::string alias, NodePtr expr) { return std::make_unique<AliasExpr>(std::move(alias), std::move(expr)); }

NodePtr call(NativeFn fn, std::vector<NodePtr> args)
{
    switch (args.size()) {
    case 0: return std::make_unique<CallFixed<0>>(fn, std::move(args));
    case 1: return std::make_unique<CallFixed<1>>(fn, std::move(args));
    case 2: return std::make_unique<CallFixed<2>>(fn, std::move(args));
    case 3: return std::make_unique<CallFixed<3>>(fn, std::move(args));
    case 4: return std::make_unique<CallFixed<4>>(fn, std::move(args));
    default: return std::make_unique<CallMany>(fn, std::move(args));
    }
}

NodePtr iif(NodePtr cond, NodePtr then, NodePtr otherwise)
{
    return std::make_unique<Iif>(std::move(cond), std::move(then), std::move(otherwise));
}

NodePtr sequence(std::vector<NodePtr> items)
{
    if (items.size() == 1)
        return std::move(items.front());
    return std::make_unique<Sequence>(std::move(items));
}

NodePtr arrayLiteral(std::vector<NodePtr> items) { return std::make_unique<ArrayLiteral>(std::move(items)); }

NodePtr blockLiteral(Program* prog, const Proto* proto) { return std::make_unique<BlockLiteral>(prog, proto); }

const Proto* blockLiteralOf(const Node& n)
{
    const auto* b = dynamic_cast<const BlockLiteral*>(&n);
    return b ? b->proto() : nullptr;
}

NodePtr index(NodePtr array, NodePtr pos) { return std::make_unique<Index>(std::move(array), std::move(pos)); }

NodePtr member(NodePtr object, std::string memberName)
{
    return std::make_unique<Member>(std::move(object), std::move(memberName));
}

NodePtr send(NodePtr object, std::string memberName, std::vector<NodePtr> args)
{
    return std::make_unique<Send>(std::move(object), std::move(memberName), std::move(args));
}

NodePtr binary(BinOp op, NodePtr a, NodePtr b)
{
    switch (op) {
    case BinOp::Or: return std::make_unique<Or>(std::move(a), std::move(b));
    case BinOp::And: return std::make_unique<And>(std::move(a), std::move(b));
    case BinOp::Eq: return std::make_unique<Relation<BinOp::Eq>>(std::move(a), std::move(b));
    case BinOp::ExactEq: return std::make_unique<Relation<BinOp::ExactEq>>(std::move(a), std::move(b));
    case BinOp::NotEq: return std::make_unique<Relation<BinOp::NotEq>>(std::move(a), std::move(b));
    case BinOp::Less: return std::make_unique<Relation<BinOp::Less>>(std::move(a), std::move(b));
    case BinOp::Greater: return std::make_unique<Relation<BinOp::Greater>>(std::move(a), std::move(b));
    case BinOp::LessEq: return std::make_unique<Relation<BinOp::LessEq>>(std::move(a), std::move(b));
    case BinOp::GreaterEq: return std::make_unique<Relation<BinOp::GreaterEq>>(std::move(a), std::move(b));
    case BinOp::Contains: return std::make_unique<Relation<BinOp::Contains>>(std::move(a), std::move(b));
    case BinOp::Add: return std::make_unique<Arith<&rt::add>>(std::move(a), std::move(b));
    case BinOp::Sub: return std::make_unique<Arith<&rt::sub>>(std::move(a), std::move(b));
    case BinOp::Mul: return std::make_unique<Arith<&rt::mul>>(std::move(a), std::move(b));
    case BinOp::Div: return std::make_unique<Arith<&rt::div>>(std::move(a), std::move(b));
    case BinOp::Mod: return std::make_unique<Arith<&rt::mod>>(std::move(a), std::move(b));
    case BinOp::Power: return std::make_unique<Arith<&rt::power>>(std::move(a), std::move(b));
    }
    return nullptr;
}

NodePtr logicalNot(NodePtr a) { return std::make_unique<Not>(std::move(a)); }

NodePtr unaryMinus(NodePtr a)
{
    // Folded so that "-5" is a constant like "5".
    if (const Value* c = constantOf(*a); c && c->isNum())
        return constant(negate(*c));
    return std::make_unique<Negate>(std::move(a));
}

NodePtr unaryPlus(NodePtr a) { return std::make_unique<Plus>(std::move(a)); }

NodePtr assign(NodePtr target, BinaryFn op, NodePtr rhs)
{
    return std::make_unique<Assign>(std::move(target), op, std::move(rhs));
}

NodePtr incDec(NodePtr target, bool increment, bool postfix)
{
    return std::make_unique<Assign>(std::move(target), increment ? &rt::add : &rt::sub, constant(Value(1)), postfix);
}

namespace {

class ReferenceBody final : public Node {
public:
    explicit ReferenceBody(NodePtr target) : target_(std::move(target)), value_(param(0, 0)) {}
    Value eval(Frame& f) const override
    {
        const auto& target = static_cast<const Target&>(*target_);
        return f.argc == 0 ? target.eval(f) : target.update(f, *value_, nullptr, false);
    }

private:
    NodePtr target_, value_;
};

}  // namespace

NodePtr referenceBody(NodePtr target) { return std::make_unique<ReferenceBody>(std::move(target)); }

}  // namespace rt::cc
