// Header sorting of a work area, end to end: a table written by python3-dbf
// with deleted records, a browse built from element records, real presses
// on the header; the order is checked by walking the work area.
#include "browse/columns/column.h"
#include "browse/columns/column_sort.h"
#include "browse/core/browse.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/tst_table_util.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/element_parts.h"
#include "platform/dialog/slots.h"
#include "platform/grid/cellgroup.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

using rt::Value;

constexpr int kRecords = 3000;

// Names in mixed case; every tenth record deleted.
const char* kWriter = R"(
import sys, dbf
t = dbf.Table(sys.argv[1], 'NAME C(20); CODE N(6,0)', dbf_type='db3')
t.open(dbf.READ_WRITE)
first = ['ana', 'Bob', 'CARL', 'dora']
for i in range(1, int(sys.argv[2]) + 1):
    t.append(('%s %04d' % (first[i % 4], (i * 7919) % 1000), i))
    if i % 10 == 0:
        dbf.delete(t[-1])
t.close()
)";

class SortAlias : public ::testing::Test {
protected:
    static void SetUpTestSuite() { browse::registerBrowseLibrary(); }

    void SetUp() override
    {
        tst::runPython({"-c", kWriter, dir.file("NAMES.DBF"), std::to_string(kRecords)});
        hidden = dbf::setDeletedHidden(true);
        rt::callWith("DbUseArea", true, "FOXCDX", dir.file("NAMES.DBF"), "NAMES", true, false);

        const Value list = Value::array();
        Value b = dlg::getTemplate(dlg::type::Browse);
        b.asArray().items[dlg::index(dlg::slot::Alias)] = Value("NAMES");
        list.asArray().items.push_back(b);
        Value c = dlg::getTemplate(dlg::type::Column);
        c.asArray().items[dlg::index(dlg::slot::Caption)] = Value("NAME");
        c.asArray().items[dlg::index(dlg::slot::DataBlock)] =
            rt::makeBlock([](rt::Args) { return rt::fieldHooks().aliasGet("NAMES", "NAME"); });
        Value options = Value::array(dlg::kColumnOptions);
        options.asArray().items[dlg::index(dlg::columnOption::SortBlock)] = browse::aliasSortBlock("NAME");
        options.asArray().items[dlg::index(dlg::columnOption::SortOnLeftClick)] = true;
        options.asArray().items[dlg::index(dlg::columnOption::SortDefault)] = false;
        c.asArray().items[dlg::index(dlg::slot::Options)] = options;
        list.asArray().items.push_back(c);
        getList = dlg::makeGetList(list);
        dlg::asGetList(getList)->getListPointer = 1;
        const Value args[] = {{}, {}, gui::pairValue(0, 0), gui::pairValue(400, 300), {}, true, getList};
        bv = rt::send(rt::callFunction("RK_XbpBrowse"), "new", rt::Args(args, 7));
        rt::send(bv, "create");
        dlg::asGetList(getList)->getListPointer = 2;
        column = browse::asRkColumn(rt::sendWith(rt::callFunction("RK_XbpColumn"), "new", bv, getList));
        gui::asBrowse(bv)->widget()->show();
        gui::dispatchPending();
        rt::sendWith(bv, "forceStable");
    }

    void TearDown() override
    {
        rt::send(bv, "destroy");
        gui::clearAppEvents();
        rt::callFunction("DbCloseAll");
        dbf::setDeletedHidden(hidden);
    }

    void clickHeader()
    {
        QWidget* w = gui::asCellGroup(column->heading)->widget();
        QTest::mousePress(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2));
        QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2));
        gui::dispatchPending();
        rt::sendWith(bv, "forceStable");
    }

    static long long recno() { return rt::callFunction("RecNo").asInt(); }
    static std::string name() { return rt::upper(rt::fieldHooks().aliasGet("NAMES", "NAME").str()); }

    tst::TempDir dir{"sort_alias"};
    bool hidden = false;
    Value getList, bv;
    browse::RK_XbpColumn* column = nullptr;
};

TEST_F(SortAlias, AClickOrdersWithoutRegardToCaseHidesDeletedAndKeepsTheRecord)
{
    gui::XbpBrowse* b = gui::asBrowse(bv);
    for (int i = 0; i < 5; ++i)
        b->down();
    rt::sendWith(bv, "forceStable");
    const long long before = recno();
    clickHeader();
    EXPECT_EQ(recno(), before) << "the cursor stays on its record";

    const long long keep = recno();
    rt::callFunction("DbGoTop");
    std::string last;
    int seen = 0, outOfOrder = 0, deleted = 0;
    while (!rt::isTrue(rt::callFunction("Eof"))) {
        const std::string n = name();
        outOfOrder += n < last;
        deleted += rt::isTrue(rt::callFunction("Deleted"));
        last = n;
        ++seen;
        rt::callWith("DbSkip", 1);
    }
    rt::callWith("DbGoto", keep);
    EXPECT_EQ(seen, kRecords - kRecords / 10);
    EXPECT_EQ(outOfOrder, 0);
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(rt::callFunction("OrdCount").asInt(), 1);

    // The second click turns the order round: the browse ends on its last
    // row and its first row shows the last name in the order.
    clickHeader();
    EXPECT_EQ(b->rowPos(), b->rowCount());
    b->goTop();
    rt::sendWith(bv, "forceStable");
    EXPECT_EQ(rt::rtrim(rt::upper(column->dataGroup()->cellText(1).toStdString())), rt::rtrim(last));
    clickHeader();
    EXPECT_EQ(rt::callFunction("OrdCount").asInt(), 1) << "the order is built once and kept";
}

}  // namespace
