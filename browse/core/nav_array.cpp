// Array data sources: the rows are the elements of `dataSource`, the
// current row is `arrayElement`, and `filter` (a block given the row) hides
// the rows it does not accept. With `descending` the rows are shown from
// the last element to the first; element numbers stay those of the array.
#include "browse/core/browse.h"
#include "browse/core/navigation.h"

#include "platform/dialog/slots.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"

#include <algorithm>

namespace browse {

namespace {

using rt::isTrue;

long long arrayLength(const RK_XbpBrowse& b)
{
    return b.dataSource.isArray() ? static_cast<long long>(b.dataSource.asArray().size()) : 0;
}

long long currentElement(const RK_XbpBrowse& b)
{
    return b.arrayElement.isNum() ? b.arrayElement.asInt() : 0;
}

bool hasFilter(const RK_XbpBrowse& b) { return b.filter.isBlock(); }

bool accepts(const RK_XbpBrowse& b, long long element)
{
    return isTrue(rt::evalWith(b.filter, b.dataSource.asArray().at1(element)));
}

// The first element the filter accepts walking from `from` by `step`; 0 if none.
long long firstAccepted(const RK_XbpBrowse& b, long long from, int step)
{
    const long long length = arrayLength(b);
    for (long long e = from; e >= 1 && e <= length; e += step)
        if (accepts(b, e))
            return e;
    return 0;
}

// Keeps cargo entry 4 equal to arrayElement, as the dialog's blocks read it there.
void setElement(RK_XbpBrowse& b, long long element)
{
    b.arrayElement = rt::Value(element);
    if (b.cargo.isArray() && b.cargo.asArray().size() >= 4)
        b.cargo.asArray().items[3] = b.arrayElement;
}

// Without a filter the move is arithmetic. An element outside the array
// (it shrank) counts from the nearest end, so the rows reported are the
// rows between the shown element and the one reached.
long long skipPlain(RK_XbpBrowse& b, long long want, long long length)
{
    const long long e = std::clamp(currentElement(b), 1LL, length);
    want = std::clamp(want, -length, length);
    long long did = want;
    if (isTrue(b.descending)) {
        if (e - want < 1)
            did = e - 1;
        if (e - want > length)
            did = e - length;
        setElement(b, e - did);
    } else {
        if (e + want < 1)
            did = 1 - e;
        if (e + want > length)
            did = length - e;
        setElement(b, e + did);
    }
    return did;
}

// With a filter the walk is element by element in array order, counting
// the accepted rows; at an end it settles on the last accepted element.
long long skipFiltered(RK_XbpBrowse& b, long long want, long long length)
{
    const bool descending = isTrue(b.descending);
    const long long saved = std::clamp(currentElement(b), 0LL, length);
    if (descending)
        want = -want;
    long long did = 0;
    long long p = saved;
    if (want > 0) {
        while (did < want) {
            if (++p > length) {
                p = length;
                while (p > 0 && !accepts(b, p))
                    --p;
                break;
            }
            if (accepts(b, p))
                ++did;
        }
    } else if (want < 0) {
        while (did > want) {
            if (--p < 1) {
                p = 1;
                while (p < length && !accepts(b, p))
                    ++p;
                break;
            }
            if (accepts(b, p))
                --did;
        }
    }
    if (did == 0)
        p = saved;
    setElement(b, p);
    return descending ? -did : did;
}

}  // namespace

long long skipArray(long long nWantSkip, RK_XbpBrowse& b)
{
    const long long length = arrayLength(b);
    if (length == 0)
        return 0;
    const long long did = hasFilter(b) ? skipFiltered(b, nWantSkip, length) : skipPlain(b, nWantSkip, length);
    if (currentElement(b) > length)
        setElement(b, length);
    return did;
}

long long arrayGoTop(const RK_XbpBrowse& b)
{
    const long long length = arrayLength(b);
    const bool descending = isTrue(b.descending);
    if (!hasFilter(b))
        return descending ? length : std::min(1LL, length);
    return descending ? firstAccepted(b, length, -1) : firstAccepted(b, 1, 1);
}

long long arrayGoBottom(const RK_XbpBrowse& b)
{
    const long long length = arrayLength(b);
    const bool descending = isTrue(b.descending);
    if (!hasFilter(b))
        return descending ? std::min(1LL, length) : length;
    return descending ? firstAccepted(b, 1, 1) : firstAccepted(b, length, -1);
}

long long arrayPos(const RK_XbpBrowse& b)
{
    const long long length = arrayLength(b);
    return length == 0 ? 0 : currentElement(b) * 100 / length;
}

double arrayGoPos(const RK_XbpBrowse& b, double n) { return static_cast<double>(arrayLength(b)) * n / 100.0; }

namespace detail {

// The browse's blocks live in the browse itself, so they reach it through
// a plain pointer: holding a reference would keep it alive for ever.
void installArrayBlocks(RK_XbpBrowse& b)
{
    RK_XbpBrowse* self = &b;
    b.skipBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args a) {
        return rt::Value(skipArray(rt::argAt(a, 0).isNum() ? rt::argAt(a, 0).asInt() : 0, *self));
    });
    b.goTopBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args) { setElement(*self, arrayGoTop(*self)); });
    b.goBottomBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args) { setElement(*self, arrayGoBottom(*self)); });
    // Descending, the first row shown (the last element) stands at 1, so the
    // thumb spans the whole scale.
    b.posBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args) {
        const long long e = currentElement(*self);
        return rt::Value(isTrue(self->descending) ? arrayLength(*self) - e + 1 : e);
    });
    b.phyPosBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args) { return self->arrayElement; });
    b.firstPosBlock = constantBlock(1);
    b.lastPosBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args) { return rt::Value(arrayLength(*self)); });
    b.goPosBlock = {};
}

void chooseArrayStart(RK_XbpBrowse& b)
{
    rt::Value p = b.elementSlot(dlg::slot::StartElement);
    if (rt::isEmpty(p) && b.pointerBlock.isBlock())
        p = rt::eval(b.pointerBlock);
    const long long length = arrayLength(b);
    long long start = 1;
    if (hasFilter(b))
        start = arrayGoTop(b);  // 0 when the filter accepts nothing: no row is shown
    else if (p.isNum() && p.asInt() >= 1 && p.asInt() <= length)
        start = p.asInt();
    else if (isTrue(b.descending))
        start = length;
    setElement(b, start);
}

}  // namespace detail

}  // namespace browse
