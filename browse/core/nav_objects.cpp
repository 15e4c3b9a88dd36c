// Object data sources: the blocks call the navigation methods of the data
// object by name. Kind 3 is an SQL cursor, 4 any object with the work-area
// style methods, 5 a server-side data set, 7 an SQL view and 8 a query
// result (whose blocks look the object up in the browse on every call).
#include "browse/core/browse.h"
#include "browse/core/navigation.h"

#include "platform/runtime/block.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"

namespace browse {

namespace {

using rt::isTrue;
using detail::wantedRows;
using rt::Args;
using rt::Value;

// A block that sends `method` to ds and returns its answer.
Value sendBlock(const Value& ds, const char* method)
{
    return rt::makeBlock([ds, method](Args) { return rt::sendWith(ds, method); });
}

// A skip block over a method that takes the rows wanted.
Value skipperBlock(const Value& ds, const char* method)
{
    return rt::makeBlock([ds, method](Args a) {
        const long long want = wantedRows(a);
        return Value(detail::movedWithin(want, rt::sendWith(ds, method, want)));
    });
}

void installCursor(RK_XbpBrowse& b, const Value& ds)
{
    b.skipBlock = skipperBlock(ds, "Skipper");
    b.goTopBlock = sendBlock(ds, "goTop");
    b.goBottomBlock = sendBlock(ds, "goBottom");
    b.posBlock = sendBlock(ds, "RecNo");
    b.phyPosBlock = sendBlock(ds, "RecNo");
    b.firstPosBlock = detail::constantBlock(1);
    b.lastPosBlock = sendBlock(ds, "RecCount");
    b.goPosBlock = {};
}

// The browse a block received, else the one it belongs to.
RK_XbpBrowse& browseOf(Args a, std::size_t i, RK_XbpBrowse* own)
{
    RK_XbpBrowse* given = asRkBrowse(rt::argAt(a, i));
    return given ? *given : *own;
}

void installQueryResult(RK_XbpBrowse& b)
{
    RK_XbpBrowse* self = &b;
    b.skipBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args a) {
        const long long want = wantedRows(a);
        const Value ds = browseOf(a, 1, self).dataSource;
        return Value(detail::movedWithin(want, rt::sendWith(ds, "dbSkipper", want)));
    });
    b.goTopBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args a) { return rt::sendWith(browseOf(a, 0, self).dataSource, "goTop"); });
    b.goBottomBlock =
        detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args a) { return rt::sendWith(browseOf(a, 0, self).dataSource, "goBottom"); });
    b.posBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args) { return rt::sendWith(self->dataSource, "RecNo"); });
    b.phyPosBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args) { return rt::sendWith(self->dataSource, "RecNo"); });
    b.firstPosBlock = detail::constantBlock(1);
    b.lastPosBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args) { return rt::sendWith(self->dataSource, "RecCount"); });
    b.goPosBlock = {};
}

void installObject(RK_XbpBrowse& b, const Value& ds)
{
    b.skipBlock = skipperBlock(ds, "DbSkipper");
    b.goTopBlock = sendBlock(ds, "DbGoTop");
    b.goBottomBlock = sendBlock(ds, "DbGoBottom");
    b.posBlock = sendBlock(ds, "DbPosition");
    b.phyPosBlock = sendBlock(ds, "Recno");
    b.firstPosBlock = detail::constantBlock(1);
    b.lastPosBlock = detail::constantBlock(100);
    b.goPosBlock = rt::makeBlock([ds](Args a) { return rt::sendWith(ds, "DbGoPosition", rt::argAt(a, 0)); });
}

// Positions of a server data set run 0..1000: ten steps per percent.
void installServer(RK_XbpBrowse& b, const Value& ds)
{
    b.skipBlock = rt::makeBlock([ds](Args a) { return Value(aceDbSkipper(wantedRows(a), ds)); });
    b.goTopBlock = sendBlock(ds, "GoTop");
    b.goBottomBlock = sendBlock(ds, "GoBottom");
    b.posBlock = rt::makeBlock([ds](Args) {
        const Value p = rt::sendWith(ds, "Position");
        return p.isNum() ? Value(p.asDouble() * 10) : p;
    });
    b.phyPosBlock = sendBlock(ds, "Recno");
    b.firstPosBlock = detail::constantBlock(0);
    b.lastPosBlock = detail::constantBlock(1000);
    b.goPosBlock = rt::makeBlock([ds](Args a) {
        const Value& n = rt::argAt(a, 0);
        return rt::sendWith(ds, "GoPosition", n.isNum() ? Value(n.asDouble() / 10) : n);
    });
}

void installView(RK_XbpBrowse& b, const Value& ds)
{
    b.skipBlock = skipperBlock(ds, "SQLViewSkip");
    b.goTopBlock = sendBlock(ds, "GoTop");
    b.goBottomBlock = sendBlock(ds, "GoBottom");
    b.posBlock = sendBlock(ds, "getNum");
    b.phyPosBlock = sendBlock(ds, "getNum");
    b.firstPosBlock = detail::constantBlock(1);
    b.lastPosBlock = sendBlock(ds, "LastRec");
    b.goPosBlock = rt::makeBlock(
        [ds](Args a) { return rt::sendWith(rt::getMember(ds, "dataarea"), "goTo", rt::argAt(a, 0)); });
}

}  // namespace

long long aceDbSkipper(long long nWantSkip, const Value& server)
{
    long long did = 0;
    if (rt::isEmpty(rt::sendWith(server, "LastRec")))
        return 0;
    if (nWantSkip == 0) {
        rt::sendWith(server, "Skip", 0);  // reads the current row again
    } else if (nWantSkip > 0) {
        // On the phantom row after the last there is nothing ahead.
        const Value recno = rt::sendWith(server, "Recno");
        const Value last = rt::sendWith(server, "LastRec");
        if (recno.isNum() && last.isNum() && recno.asInt() == last.asInt() + 1)
            return 0;
        while (did < nWantSkip) {
            rt::sendWith(server, "Skip", 1);
            if (isTrue(rt::sendWith(server, "Eof"))) {
                rt::sendWith(server, "Skip", -1);
                break;
            }
            ++did;
        }
    } else {
        while (did > nWantSkip) {
            rt::sendWith(server, "Skip", -1);
            if (isTrue(rt::sendWith(server, "Bof")))
                break;
            --did;
        }
    }
    return did;
}

namespace detail {

void installObjectBlocks(RK_XbpBrowse& b, int kind)
{
    const Value ds = b.dataSource;
    switch (kind) {
    case 3: installCursor(b, ds); break;
    case 4: installObject(b, ds); break;
    case 5: installServer(b, ds); break;
    case 7: installView(b, ds); break;
    case 8: installQueryResult(b); break;
    default: break;
    }
}

}  // namespace detail

}  // namespace browse
