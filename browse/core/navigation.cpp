// Data-source navigation: which block set a browse gets, and the runtime
// functions of the array and server skippers.
#include "browse/core/navigation.h"

#include "browse/core/browse.h"

#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <algorithm>

namespace browse {

namespace {

using rt::Args;
using rt::Value;

RK_XbpBrowse& browseArg(Args a, std::size_t i, const char* op)
{
    RK_XbpBrowse* b = asRkBrowse(rt::argAt(a, i));
    if (!b)
        rt::raiseArg(op, a);
    return *b;
}

Value fnSkipArray(Args a)
{
    const long long want = rt::intArg(a, 0, "RK_SKIPARRAY", 0);
    return Value(skipArray(want, browseArg(a, 1, "RK_SKIPARRAY")));
}

Value fnArrayGoTop(Args a) { return Value(arrayGoTop(browseArg(a, 0, "ARRAYGOTOP"))); }
Value fnArrayGoBottom(Args a) { return Value(arrayGoBottom(browseArg(a, 0, "ARRAYGOBOTTOM"))); }
Value fnArrayPos(Args a) { return Value(arrayPos(browseArg(a, 0, "ARRAYPOS"))); }

Value fnArrayGoPos(Args a)
{
    RK_XbpBrowse& b = browseArg(a, 0, "ARRAYGOPOS");
    return Value(arrayGoPos(b, rt::numArg(a, 1, "ARRAYGOPOS").asDouble()));
}

Value fnAceDbSkipper(Args a)
{
    const long long want = rt::intArg(a, 0, "ACEDBSKIPPER", 0);
    const Value& server = rt::argAt(a, 1);
    if (!server.isObject())
        rt::raiseArg("ACEDBSKIPPER", a);
    return Value(aceDbSkipper(want, server));
}

}  // namespace

void installNavigation(RK_XbpBrowse& b)
{
    const bool locked = thumbLocked(b);
    const int kind = b.dataSourceType.isNum() ? static_cast<int>(b.dataSourceType.asInt()) : 0;
    switch (kind) {
    case 1:
        detail::installArrayBlocks(b);
        detail::chooseArrayStart(b);
        break;
    case 3:
    case 4:
    case 5:
    case 7:
    case 8: detail::installObjectBlocks(b, kind); break;
    default: detail::installAliasBlocks(b, locked); break;
    }
}

void registerNavigationFunctions()
{
    rt::registerFunction("RK_SkipArray", fnSkipArray);
    rt::registerFunction("ArrayGoTop", fnArrayGoTop);
    rt::registerFunction("ArrayGoBottom", fnArrayGoBottom);
    rt::registerFunction("ArrayPos", fnArrayPos);
    rt::registerFunction("ArrayGoPos", fnArrayGoPos);
    rt::registerFunction("ACEDbSkipper", fnAceDbSkipper);
}

namespace detail {

long long wantedRows(Args a) noexcept
{
    const Value& n = rt::argAt(a, 0);
    return n.isNum() ? n.asInt() : 0;
}

long long movedWithin(long long wanted, const Value& reported)
{
    if (!reported.isNum())
        return 0;
    const long long did = reported.asInt();
    return wanted >= 0 ? std::clamp(did, 0LL, wanted) : std::clamp(did, wanted, 0LL);
}

Value constantBlock(const Value& v)
{
    return rt::makeBlock([v](Args) { return v; });
}

}  // namespace detail

}  // namespace browse
