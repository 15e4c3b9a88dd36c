// SQLRefresh and SetFilter: the filters a data object reads its rows through.
#include "dataobject.h"

#include "connection.h"

#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/text.h"

namespace pgsql {

using rt::Args;
using rt::Value;

bool DataObject::setFilter(const Value& conds)
{
    begin();
    if (!opened_)
        return fail("the data object is not open"), false;
    decltype(filter_.equals) equals;
    if (conds.isArray()) {
        for (const Value& pair : conds.asArray().items) {
            const Value& col = rt::entryOf(pair, 1);
            const int i = col.isChar() ? columnIndex(col.str()) : -1;
            if (i < 0)
                return fail("SetFilter: unknown column " + (col.isChar() ? bare(col.asString()) : std::string("?"))),
                       false;
            equals.emplace_back(i, paramOf(cols_[i], rt::entryOf(pair, 2)));
        }
    } else if (!conds.isNil()) {
        return fail("SetFilter: an array of {column, value} pairs is expected"), false;
    }
    const Filter old = filter_;
    filter_.equals = std::move(equals);
    if (!countRows() || !goTop()) {
        filter_ = old;
        return false;
    }
    return true;
}

bool DataObject::sqlRefresh(const Value& connection, const std::string& order, const std::string& joinTable,
                            const std::string& joinCond, const std::string& like)
{
    begin();
    if (!opened_)
        return fail("the data object is not open"), false;
    const Value oldConn = connValue_;
    const Filter oldFilter = filter_;
    const int oldOrder = order_;
    if (connection.isObject() && dynamic_cast<Connection*>(&connection.asObject()))
        connValue_ = connection;
    if (!rt::alltrim(order).empty()) {
        const int i = columnIndex(order);
        if (i >= 0)
            order_ = i;
    }
    filter_.joinTable = rt::lower(rt::alltrim(joinTable));
    filter_.joinCond = filter_.joinTable.empty() ? std::string() : joinCond;
    filter_.like = like;
    filter_.likeCol = like.empty() ? -1 : order_;
    hasLocate_ = false;
    ensureIndex(order_, true);
    if (filter_.likeCol >= 0)
        ensureLikeIndex(filter_.likeCol);
    if (!countRows() || !goTop()) {
        const std::string why = error_;
        connValue_ = oldConn;
        filter_ = oldFilter;
        order_ = oldOrder;
        fail(why);
        return false;
    }
    return true;
}

// SQLRefresh(oConn, @oData | bData, , , cOrder, , cJoinTable, cJoinCond, , cLike, ...): the data object
// read again in place; a block gets the object back.
Value sqlRefreshFunction(Args a)
{
    const Value& ref = rt::argAt(a, 1);
    const Value obj = ref.isBlock() ? rt::eval(ref) : ref;
    auto* o = obj.isObject() ? dynamic_cast<DataObject*>(&obj.asObject()) : nullptr;
    if (!o)
        return obj;
    const auto text = [&](std::size_t i) {
        const Value& v = rt::argAt(a, i);
        return v.isChar() ? v.str() : std::string();
    };
    o->sqlRefresh(rt::argAt(a, 0), text(4), text(6), text(7), text(9));
    if (ref.isBlock())
        rt::evalWith(ref, obj);
    return obj;
}

}  // namespace pgsql
