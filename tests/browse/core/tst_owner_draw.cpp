// The owner-drawn browse built as the dialog reader builds it, over an
// array, painted offscreen; what it painted is read back from the pixels.
#include "browse/columns/column.h"
#include "browse/core/owner_draw.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/element_parts.h"
#include "platform/dialog/slots.h"
#include "platform/grid/cellgroup.h"
#include "platform/gui/events.h"
#include "platform/gui/presparam.h"
#include "platform/gui/ps.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/functions.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace {

using rt::makeArray;
using rt::Value;

class OwnerDraw : public ::testing::Test {
protected:
    static void SetUpTestSuite() { browse::registerBrowseLibrary(); }

    // A browse of three rows whose one column shows cell(row) for each row.
    void make(const std::function<Value(long long)>& cell, bool ownerDraw = true)
    {
        const Value rows = makeArray({makeArray({1}), makeArray({2}), makeArray({3})});
        const Value rec = dlg::getTemplate(dlg::type::Browse);
        rec.asArray().items[dlg::index(dlg::slot::DataSource)] = rt::makeBlock([rows](rt::Args) { return rows; });
        records = makeArray({rec});
        getList = dlg::makeGetList(records);
        dlg::asGetList(getList)->getListPointer = 1;
        const Value pres = makeArray({makeArray({gui::pp::DaRowHeight, 48}), makeArray({gui::pp::DaCellHeight, 48})});
        const Value args[] = {{}, {}, gui::pairValue(0, 0), gui::pairValue(400, 200), pres, true, getList};
        bv = rt::newObject("RK_XbpOwnerDrawBrowseGeneric", rt::Args(args, 7));
        b = dynamic_cast<browse::RK_XbpOwnerDrawBrowseGeneric*>(&bv.asObject());
        b->lOwnerDraw = ownerDraw;
        rt::send(bv, "create", rt::Args(args, 6));

        const Value col = dlg::getTemplate(dlg::type::Column);
        col.asArray().items[dlg::index(dlg::slot::DataBlock)] = rt::makeBlock([this, cell](rt::Args) {
            return cell(b->arrayElement.asInt());
        });
        col.asArray().items[dlg::index(dlg::slot::Width)] = 30;
        records.asArray().items.push_back(col);
        dlg::asGetList(getList)->getListPointer = 2;
        const Value colArgs[] = {bv, getList};
        column = browse::asRkColumn(rt::newObject("RK_XbpColumn", rt::Args(colArgs, 2)));
        b->widget()->show();
        gui::dispatchPending();
        b->forceStable();
    }

    void TearDown() override
    {
        if (bv.isObject())
            rt::send(bv, "destroy");
        gui::clearAppEvents();
    }

    QImage shot() const { return column->dataGroup()->widget()->grab().toImage(); }
    QRect cell(int row) const { return column->dataGroup()->rowRect(row); }

    // Pixels of the rectangle whose colour passes the test.
    static int count(const QImage& img, const QRect& r, const std::function<bool(QRgb)>& test)
    {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (img.rect().contains(x, y) && test(img.pixel(x, y)))
                    ++n;
        return n;
    }
    static bool dark(QRgb p) { return qGray(p) < 110; }
    static bool red(QRgb p) { return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60; }

    Value records, getList, bv;
    browse::RK_XbpOwnerDrawBrowseGeneric* b = nullptr;
    browse::RK_XbpColumn* column = nullptr;
};

TEST_F(OwnerDraw, StringCellsAndTheStandardDrawingWhenOff)
{
    make([](long long row) { return Value("WWW" + std::to_string(row)); });
    EXPECT_GT(count(shot(), cell(2), dark), 20) << "a string cell is drawn over the cell";
    TearDown();
    bv = Value();

    make([](long long row) { return Value("WWW" + std::to_string(row)); }, false);
    EXPECT_EQ(column->dataGroup()->cellText(2), "WWW2");
    EXPECT_GT(count(shot(), cell(2), dark), 20) << "with lOwnerDraw off the platform draws";
}

// Two text lines: "WWWW" in bold from 5 pixels below the top, then in the
// standard font a line height lower; bold inks more.
TEST_F(OwnerDraw, TwoTextLinesInTwoFonts)
{
    make([](long long) {
        return makeArray({makeArray({"WWWW", {}, {}, {}, {}, "10.Tahoma Bold"}), makeArray({"WWWW"})});
    });
    const QImage img = shot();
    const QRect r = cell(2);
    // The cell height is the nominal one (pair 109), so lines are 17.5 apart.
    const QRect first(r.left(), r.top(), 120, 21);
    const QRect second(r.left(), r.top() + 22, 120, r.height() - 23);
    const int inkFirst = count(img, first, dark), inkSecond = count(img, second, dark);
    EXPECT_GT(inkSecond, 10);
    EXPECT_GT(inkFirst, inkSecond) << "the first line is bold";
    EXPECT_EQ(count(img, QRect(r.left(), r.top(), 4, r.height()), dark), 0) << "5 pixels in from the left";
}

TEST_F(OwnerDraw, JpegLineScaledTo32x32AndDecodedOnce)
{
    QTemporaryDir dir;
    QImage red(200, 100, QImage::Format_RGB32);
    red.fill(Qt::red);
    const QString path = dir.filePath("PIC.JPG");
    ASSERT_TRUE(red.save(path, "JPG"));
    const std::string p = path.toStdString();
    make([p](long long) { return makeArray({makeArray({p, 40, 5, 32, 32}), makeArray({"text", 80})}); });
    const QImage img = shot();
    const int reds = count(img, cell(2), OwnerDraw::red);
    EXPECT_GT(reds, 32 * 32 * 8 / 10);
    EXPECT_LT(reds, 34 * 34);
    EXPECT_GT(count(img, QRect(cell(2).left() + 80, cell(2).top(), 60, cell(2).height()), dark), 5);

    const std::size_t decoded = browse::picturesDecoded();
    b->refreshAll();
    b->forceStable();
    shot();
    EXPECT_EQ(browse::picturesDecoded(), decoded) << "a repaint reads no file";
}

TEST_F(OwnerDraw, MissingPictureAndFailingLinesEndOnlyTheirCell)
{
    make([](long long row) -> Value {
        if (row == 2)
            return makeArray({makeArray({"/nonexistent/none.PNG", 5, 5, 32, 32}), makeArray({"WWWW", 45})});
        if (row == 3)
            return makeArray({makeArray({"WWWW", "not a number", makeArray({1})}), makeArray({"after"})});
        return Value("WWWW");
    });
    const QImage img = shot();
    EXPECT_GT(count(img, cell(2), dark), 10) << "the text after a missing picture is drawn";
    EXPECT_GT(count(img, cell(3), dark), 0) << "what a failing cell drew before the failure stays";
}

// The cell painted by hand on a white image, once as a plain row and once
// as the selected one (state bit 1): entry 7's bold font inks more.
TEST_F(OwnerDraw, SelectedRowUsesItsOwnFont)
{
    make([](long long) { return makeArray({makeArray({"WWWW", {}, {}, {}, {}, "10.Tahoma", "10.Tahoma Bold"})}); });
    const auto paint = [&](int state) {
        QImage img(200, 48, QImage::Format_RGB32);
        img.fill(Qt::white);
        gui::ImagePS ps(img);
        const Value info = makeArray({2, {}, state, makeArray({0, 0, 200, 48}), 1, column->self()});
        const Value r = rt::sendWith(bv, "CustomDrawCell", ps.value(), info);
        EXPECT_TRUE(r.isLogical() && !r.asBool());
        return count(img, img.rect(), dark);
    };
    const int plain = paint(0), selected = paint(1);
    EXPECT_GT(plain, 10);
    EXPECT_GT(selected, plain);
}

}  // namespace
