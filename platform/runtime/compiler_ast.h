// Internal to the expression compiler: the tree a text compiles to, and the
// blocks that run it.
//
// Evaluation walks the tree through a virtual eval() per node. A block's
// parameters live in slots resolved at compile time: on the C++ stack while
// the block runs, or in a heap frame when a nested block refers to them and
// may outlive the call (a closure).
#pragma once

#include "block.h"
#include "functions.h"
#include "value.h"

#include <memory>
#include <string>
#include <vector>

namespace rt::cc {

// Intrusive reference to a heap cell (the runtime's counts are not atomic).
template <class T>
class Ref {
public:
    Ref() noexcept = default;
    explicit Ref(T* p) noexcept : p_(p) { if (p_) p_->retain(); }
    Ref(const Ref& o) noexcept : Ref(o.p_) {}
    Ref& operator=(Ref o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ref() { if (p_) p_->release(); }
    [[nodiscard]] T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }

private:
    T* p_ = nullptr;
};

// The parameters of one running block, kept on the heap because a block
// made inside it captured them. Chained outwards through the enclosing blocks.
struct Env final : HeapCell {
    Env(std::size_t n, Ref<Env> parent) : parent(std::move(parent)), slots(n) {}
    Ref<Env> parent;
    std::vector<Value> slots;  // never resized: nodes hold references into it
};

struct Frame {
    Value* slots = nullptr;  // parameters of the running block
    Env* outer = nullptr;    // parameters of the enclosing blocks, innermost first
    Env* self = nullptr;     // the running block's own heap frame, when it has one
    std::size_t argc = 0;    // arguments the running block was called with
};

class Node {
public:
    virtual ~Node() = default;
    virtual Value eval(Frame& f) const = 0;
    // Storage that eval() would copy from, when it is a plain slot.
    virtual const Value* peek(Frame&) const { return nullptr; }
};
using NodePtr = std::unique_ptr<Node>;
using BinaryFn = Value (*)(const Value&, const Value&);

// A node that can stand left of ":=".
class Target : public Node {
public:
    // target := rhs, or target := op(target, rhs) when op is set; returns the
    // new value, or the old one when returnOld (postfix ++ and --).
    virtual Value update(Frame& f, const Node& rhs, BinaryFn op, bool returnOld) const = 0;
};

struct Proto {
    std::size_t params = 0;
    bool heapFrame = false;  // nested blocks capture this block's parameters
    bool captures = false;   // refers to parameters of enclosing blocks
    NodePtr body;            // null for "{|| }"
    std::string text;        // source text the blocks made from it carry
};

// Owns everything one compilation produced; blocks keep it alive.
struct Program final : HeapCell {
    std::vector<std::unique_ptr<Proto>> protos;  // [0]: the whole text as a block of no parameters
};

// A block compiled from text: a prototype plus the captured frames.
class Closure final : public Block {
public:
    Closure(Program* prog, const Proto* proto, Env* env);
    Value call(Args args) override;

private:
    Ref<Program> prog_;
    const Proto* proto_;
    Ref<Env> env_;
};

// --- node factories, one per construct ---
NodePtr constant(Value v);
[[nodiscard]] const Value* constantOf(const Node& n);
NodePtr param(std::size_t depth, std::size_t slot);  // depth 0: the running block
NodePtr name(std::string upperName);                 // field of the current area, else a public
NodePtr bound(Value getSet);                         // a variable of the compiling code, through its get/set block
NodePtr memvar(std::string upperName);               // M->name
NodePtr field(std::string upperName);                // FIELD->name
NodePtr aliasField(std::string alias, std::string field);
NodePtr aliasExpr(std::string alias, NodePtr expr);
NodePtr call(NativeFn fn, std::vector<NodePtr> args);
NodePtr iif(NodePtr cond, NodePtr then, NodePtr otherwise);
NodePtr sequence(std::vector<NodePtr> items);
NodePtr arrayLiteral(std::vector<NodePtr> items);
NodePtr blockLiteral(Program* prog, const Proto* proto);
[[nodiscard]] const Proto* blockLiteralOf(const Node& n);
NodePtr index(NodePtr array, NodePtr pos);
NodePtr member(NodePtr object, std::string memberName);
NodePtr send(NodePtr object, std::string memberName, std::vector<NodePtr> args);

enum class BinOp { Or, And, Eq, ExactEq, NotEq, Less, Greater, LessEq, GreaterEq, Contains,
                   Add, Sub, Mul, Div, Mod, Power };
NodePtr binary(BinOp op, NodePtr a, NodePtr b);
NodePtr logicalNot(NodePtr a);
NodePtr unaryMinus(NodePtr a);
NodePtr unaryPlus(NodePtr a);
// target := rhs (op null) or target op= rhs; the target must be a Target.
NodePtr assign(NodePtr target, BinaryFn op, NodePtr rhs);
NodePtr incDec(NodePtr target, bool increment, bool postfix);
// The body of the get/set block "@target" makes: called without argument it
// reads the target, with one it assigns it (parameter slot 0) and returns it.
NodePtr referenceBody(NodePtr target);

}  // namespace rt::cc
