// The runtime functions that concern values of every kind.
#include "builtins.h"

#include "array.h"
#include "block.h"
#include "error.h"
#include "functions.h"
#include "object.h"

namespace rt {

namespace {
Value fnValType(Args a) { return Value(valType(argAt(a, 0))); }

Value fnEmpty(Args a) { return Value(isEmpty(argAt(a, 0))); }

Value fnLen(Args a)
{
    const Value& v = argAt(a, 0);
    if (v.isChar())
        return Value::integer(static_cast<std::int64_t>(v.charLen()));
    if (v.isArray())
        return Value::integer(static_cast<std::int64_t>(v.asArray().size()));
    raiseArg("LEN", a);
}

Value fnEval(Args a)
{
    if (!argAt(a, 0).isBlock())
        raiseArg("EVAL", a);
    return eval(a[0], a.subspan(1));
}

Value fnCodeBlockText(Args a)
{
    const Value& v = argAt(a, 0);
    return v.isBlock() ? Value(v.asBlock().text()) : Value("");
}

Value fnIsDerivedFrom(Args a)
{
    return Value(argAt(a, 1).isChar() && isDerivedFrom(argAt(a, 0), argAt(a, 1).asString()));
}

Value fnIsObject(Args a) { return Value(argAt(a, 0).isObject()); }
}  // namespace

namespace {
int g_depth = 0;
}

CallDepthGuard::CallDepthGuard(const char* op)
{
    // Runaway recursion becomes a runtime error instead of a stack overflow.
    if (g_depth >= kMaxCallDepth)
        raise("Recursion too deep", op);
    ++g_depth;
}

CallDepthGuard::~CallDepthGuard() { --g_depth; }

Value eval(const Value& block, Args args)
{
    if (!block.isBlock()) {
        const Value argv[] = {block};
        raiseArg("EVAL", Args(argv, 1));
    }
    // Hold the block: evaluating it may drop the caller's last reference.
    const Value keep = block;
    CallDepthGuard depth("EVAL");
    return keep.asBlock().call(args);
}

void detail::registerValueFunctions()
{
    registerFunction("VALTYPE", fnValType);
    registerFunction("EMPTY", fnEmpty);
    registerFunction("LEN", fnLen);
    registerFunction("EVAL", fnEval);
    registerFunction("RK_GETCODEBLOCKTEXT", fnCodeBlockText);
    registerFunction("ISDERIVEDFROM", fnIsDerivedFrom);
    registerFunction("ISOBJECT", fnIsObject);
}

}  // namespace rt
