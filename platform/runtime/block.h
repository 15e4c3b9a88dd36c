// Blocks: callable values. A block may carry its source text, which
// RK_GetCodeBlockText reads back.
#pragma once

#include "value.h"

#include <string>
#include <type_traits>
#include <utility>

namespace rt {

class Block : public HeapCell {
public:
    explicit Block(std::string text = {}) : text_(std::move(text)) {}
    // Evaluates the block with the given arguments (missing ones are NIL).
    virtual Value call(Args args) = 0;
    [[nodiscard]] const std::string& text() const noexcept { return text_; }
    void setText(std::string t) { text_ = std::move(t); }

private:
    std::string text_;
};

// A block from a C++ callable taking Args and returning a Value (or void).
// Capture variables by reference where the block must see later changes.
template <class F>
class LambdaBlock final : public Block {
public:
    LambdaBlock(F f, std::string text) : Block(std::move(text)), f_(std::move(f)) {}
    Value call(Args args) override
    {
        if constexpr (std::is_void_v<std::invoke_result_t<F&, Args>>) {
            f_(args);
            return {};
        } else {
            return Value(f_(args));
        }
    }

private:
    F f_;
};

template <class F>
[[nodiscard]] Value makeBlock(F f, std::string text = {})
{
    return Value(static_cast<Block*>(new LambdaBlock<F>(std::move(f), std::move(text))));
}

// Counts nested block evaluations; past kMaxCallDepth it raises
// "Recursion too deep" rather than letting the C++ stack overflow.
class CallDepthGuard {
public:
    static constexpr int kMaxCallDepth = 1500;
    explicit CallDepthGuard(const char* op);
    ~CallDepthGuard();
    CallDepthGuard(const CallDepthGuard&) = delete;
    CallDepthGuard& operator=(const CallDepthGuard&) = delete;
};

// Evaluates a block value (guarded by CallDepthGuard); raises an argument
// error when v is not a block.
Value eval(const Value& block, Args args = {});
template <class... A>
Value evalWith(const Value& block, const A&... a)
{
    const Value argv[] = {Value(a)...};
    return eval(block, Args(argv, sizeof...(A)));
}
inline Value evalWith(const Value& block) { return eval(block, {}); }

}  // namespace rt
