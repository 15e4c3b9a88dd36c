// The column tests' fixture: a real browse made by hand with the members a
// column reads, navigated over an array, and columns built from element
// records as the dialog reader builds them.
#pragma once
#include "browse/columns/column.h"
#include "browse/columns/presentation.h"
#include "browse/columns/row_colors.h"
#include "browse/core/browse.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/element_parts.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/color.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/functions.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>

namespace coltest {

using browse::RK_XbpColumn;
using rt::makeArray;
using rt::Value;

const Value kNil;
using Colors = std::pair<long long, long long>;

// A caption area reports its colours as RGB numbers.
inline long long rgbOf(long long named) { return gui::rgbNumber(gui::toQColor(named)); }
const std::string kPlaceholder = "\xC3\xBF";

inline void set(const Value& rec, int slot, const Value& v) { rec.asArray().items[std::size_t(slot) - 1] = v; }
inline void setOption(const Value& rec, int n, const Value& v)
{
    rec.asArray().items[20].asArray().items[std::size_t(n) - 1] = v;
}

class ColumnTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        browse::registerColumnClasses();
        browse::registerPresentationFunctions();
        browse::registerRowColorFunctions();
    }

    void SetUp() override
    {
        bv = (new browse::RK_XbpBrowse())->self();
        b = browse::asRkBrowse(bv);
        b->headerDelim = ";";
        b->headerLines = 1;
        b->footerDelim = ";";
        b->footerLines = 1;
        b->browsePres = Value::array();
        b->hasHeader = false;
        b->hasFooter = false;
        b->optimize = false;
        b->tagEnable = false;
        b->arrayElement = 1;
        b->nBrow = 1;
        b->lBrow = false;
        b->evenRow = false;
        records = makeArray({dlg::getTemplate(dlg::type::Browse)});
        getList = dlg::makeGetList(records);
    }

    void TearDown() override
    {
        b->destroy();
        gui::clearAppEvents();
        browse::resetBrowseColor();
    }

    long long rowsOf() const { return (long long)b->dataSource.asArray().size(); }

    // Navigation over an array source, moving arrayElement.
    void useRows(const Value& rows)
    {
        b->dataSource = rows;
        b->skipBlock = rt::makeBlock([this](rt::Args a) {
            const long long at = b->arrayElement.asInt();
            const long long to = std::clamp(at + rt::argAt(a, 0).asInt(), 1LL, rowsOf());
            b->arrayElement = to;
            return Value(to - at);
        });
        b->goTopBlock = rt::makeBlock([this](rt::Args) { b->arrayElement = 1; });
        b->goBottomBlock = rt::makeBlock([this](rt::Args) { b->arrayElement = rowsOf(); });
        for (Value* pos : {&b->posBlock, &b->phyPosBlock})
            *pos = rt::makeBlock([this](rt::Args) { return b->arrayElement; });
        b->firstPosBlock = rt::makeBlock([](rt::Args) { return Value(1); });
        b->lastPosBlock = rt::makeBlock([this](rt::Args) { return Value(rowsOf()); });
    }

    void create(int height = 200)
    {
        const Value args[] = {kNil, kNil, gui::pairValue(0, 0), gui::pairValue(400, height), kNil, true};
        b->gui::XbpBrowse::create(rt::Args(args, 6));
        b->widget()->show();
        settle();
    }

    void settle()
    {
        gui::dispatchPending();
        gui::dispatchPending();
        b->forceStable();
    }

    // A column element record set up by `setup`, constructed as the reader does.
    RK_XbpColumn* column(const std::function<void(const Value&)>& setup)
    {
        const Value rec = dlg::getTemplate(dlg::type::Column);
        setup(rec);
        records.asArray().items.push_back(rec);
        dlg::asGetList(getList)->getListPointer = int(records.asArray().size());
        const Value args[] = {bv, getList};
        columns.push_back(rt::newObject("RK_XbpColumn", rt::Args(args, 2)));
        return browse::asRkColumn(columns.back());
    }

    RK_XbpColumn* fieldColumn(int field, const char* caption = "")
    {
        return column([&](const Value& rec) {
            set(rec, 3, caption);
            set(rec, 29, field);
        });
    }

    // RK_BrowseColor(aColors), and the browse's copy as its construction takes it.
    void setGlobalColors(const Value& colors)
    {
        browse::browseColor(rt::Args(&colors, 1));
        b->browseColor = rt::aClone(browse::browseColor({}));
    }

    static QString cell(const Value& group, int row) { return gui::asCellGroup(group)->cellText(row); }
    Colors colors(int col, int row) const { return b->columnAt(col)->dataGroup()->cellColors(row, false); }

    Value bv;
    browse::RK_XbpBrowse* b = nullptr;
    Value records, getList;
    std::vector<Value> columns;
};

inline Value threeRows() { return makeArray({makeArray({"Ann", 10}), makeArray({"Bob", 20}), makeArray({"Cy", 30})}); }

}  // namespace coltest
