// Data-source navigation: the eight navigation blocks of a browse for each
// kind of data source, the thumb lock for large tables, and the array and
// server-data-set skippers the blocks call.
#pragma once

#include "browse/core/browse.h"
#include "platform/runtime/block.h"
#include "platform/runtime/value.h"

#include <type_traits>

namespace browse {

class RK_XbpBrowse;

// Construction step: computes the thumb lock, installs the block set of the
// browse's kind (element slot 2) and, for an array source, chooses the
// start element. The browse's dataSource, dataSourceType, descending,
// filter, pointerBlock, isScope, skipUnique, thumbRecords and
// navigateBlock are set before. The blocks reach the browse through a plain
// pointer (a reference held by its own members would keep it alive for
// ever): they belong to the browse and must not be evaluated after it is
// gone. How the alias sets are told apart: nav_alias.cpp.
void installNavigation(RK_XbpBrowse& b);

// The thumb lock of an alias source (RefreshAll recomputes it when
// thumbRecords is a block): true when the scroll thumb shows a fixed
// position instead of asking the work area.
[[nodiscard]] bool thumbLocked(RK_XbpBrowse& b);
// Re-installs posBlock (and, inside a dialog-library scope, lastPosBlock)
// of an alias source for the lock given.
void installPositionBlocks(RK_XbpBrowse& b, bool locked);

// RK_SkipArray(nWantSkip, oBrowse): moves arrayElement, returns the rows moved.
long long skipArray(long long nWantSkip, RK_XbpBrowse& b);
// ArrayGoTop / ArrayGoBottom: the first and last element shown (0: none).
[[nodiscard]] long long arrayGoTop(const RK_XbpBrowse& b);
[[nodiscard]] long long arrayGoBottom(const RK_XbpBrowse& b);
// ArrayPos: the current element as a whole percentage; ArrayGoPos: the
// element at percentage n, not rounded (the goPos block a user writes decides).
[[nodiscard]] long long arrayPos(const RK_XbpBrowse& b);
[[nodiscard]] double arrayGoPos(const RK_XbpBrowse& b, double n);
// ACEDbSkipper(nWantSkip, oServer): rows moved on a server data set.
long long aceDbSkipper(long long nWantSkip, const rt::Value& server);

// Registers RK_SkipArray, ArrayGoTop, ArrayGoBottom, ArrayPos, ArrayGoPos
// and ACEDbSkipper.
void registerNavigationFunctions();

// The pieces installNavigation puts together, one file each.
namespace detail {
// nav_array.cpp: the array block set and the start element.
void installArrayBlocks(RK_XbpBrowse& b);
void chooseArrayStart(RK_XbpBrowse& b);
// nav_objects.cpp: the sets of kinds 3, 4, 5, 7 and 8.
void installObjectBlocks(RK_XbpBrowse& b, int kind);
// nav_alias.cpp: the first matching set of ACE wrapper, native scope,
// dialog-library scope, table handle and plain alias.
void installAliasBlocks(RK_XbpBrowse& b, bool locked);
// The rows a skip block was asked for (its first argument; 0 when not a number).
[[nodiscard]] long long wantedRows(rt::Args a) noexcept;
// The rows a skipper reports, held to what was asked: the same direction
// and no more rows; anything but a number is 0.
[[nodiscard]] long long movedWithin(long long wanted, const rt::Value& reported);
// The block that always returns v.
[[nodiscard]] rt::Value constantBlock(const rt::Value& v);
// A navigation block of browse b running f(RK_XbpBrowse* self, rt::Args).
// It holds the browse weakly (the browse keeps its blocks: a strong hold
// would keep both alive for ever); kept after the browse is gone, it moves
// nothing and answers NIL.
template <class F>
[[nodiscard]] rt::Value navBlock(RK_XbpBrowse& b, F f)
{
    return rt::makeBlock([weak = gui::WeakPart(b), f](rt::Args a) -> rt::Value {
        auto* self = static_cast<RK_XbpBrowse*>(weak.get());
        if (!self)
            return {};
        const rt::Value keep = self->self();
        if constexpr (std::is_void_v<std::invoke_result_t<const F&, RK_XbpBrowse*, rt::Args>>) {
            f(self, a);
            return {};
        } else {
            return rt::Value(f(self, a));
        }
    });
}
}  // namespace detail

}  // namespace browse
