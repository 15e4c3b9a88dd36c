// Painting a page of 40 rows x 10 columns, offscreen, in the same run:
//   standard   the library's browse, one text per cell
//   owner      the owner-drawn browse, each cell two text lines (bold and
//              standard) and a 32 x 32 picture
//   multi      the library's browse, each column three lines per cell
// Every cell is drawn again and the browse rendered into an image; the
// rows are not read again. Prints the medians (ms) and the ratios
// owner / standard (target: at most 3) and multi / standard (at most 2).
//
// Usage: bench_paint [RUNS]
#include "browse/core/browse.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/element_parts.h"
#include "platform/dialog/slots.h"
#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/gui/events.h"
#include "platform/gui/presparam.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 40;
constexpr int kCols = 10;
constexpr int kRowHeight = 48;
constexpr int kColWidth = 150;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double timeMs(const std::function<void()>& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// A browse of `rows` (an array) with kCols columns whose data block is `data`.
rt::Value makeBrowse(const char* cls, const rt::Value& rows, const rt::Value& data)
{
    rt::Value list = rt::Value::array();
    rt::Value b = dlg::getTemplate(dlg::type::Browse);
    b.asArray().items[dlg::index(dlg::slot::DataSource)] = rt::makeBlock([rows](rt::Args) { return rows; });
    list.asArray().items.push_back(b);
    for (int c = 0; c < kCols; ++c) {
        rt::Value col = dlg::getTemplate(dlg::type::Column);
        col.asArray().items[dlg::index(dlg::slot::Caption)] = rt::Value("C" + std::to_string(c + 1));
        col.asArray().items[dlg::index(dlg::slot::DataBlock)] = data;
        col.asArray().items[dlg::index(dlg::slot::PixelWidth)] = true;
        col.asArray().items[dlg::index(dlg::slot::Width)] = kColWidth;
        list.asArray().items.push_back(col);
    }
    const rt::Value getList = dlg::makeGetList(list);
    auto* g = dlg::asGetList(getList);
    g->getListPointer = 1;
    const rt::Value pres = rt::makeArray({rt::makeArray({gui::pp::DaRowHeight, kRowHeight}),
                                          rt::makeArray({gui::pp::DaCellHeight, kRowHeight})});
    const rt::Value args[] = {rt::Value(), rt::Value(), gui::pairValue(0, 0), gui::pairValue(kCols * kColWidth + 40, 600),
                              pres, true, getList};
    const rt::Value bv = rt::send(rt::callFunction(cls), "new", rt::Args(args, 7));
    rt::send(bv, "create", rt::Args(args, 6));
    for (int c = 0; c < kCols; ++c) {
        g->getListPointer = c + 2;
        rt::sendWith(rt::callFunction("RK_XbpColumn"), "new", bv, getList);
    }
    gui::XbpBrowse* grid = gui::asBrowse(bv);
    const int head = grid->columnAt(1)->headingGroup()->preferredHeight();
    grid->setSize(QSize(kCols * kColWidth + 40, head + kRows * kRowHeight + 30));
    grid->widget()->show();
    gui::dispatchPending();
    grid->forceStable();
    return bv;
}

double paintOnce(const rt::Value& bv, QImage& target)
{
    gui::XbpBrowse* b = gui::asBrowse(bv);
    return timeMs([&] {
        for (int i = 1; i <= b->colCount(); ++i)
            b->columnAt(i)->dataGroup()->markAllDirty();
        b->widget()->render(&target);
    });
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    browse::registerBrowseLibrary();
    dlg::registerDialogFunctions();
    const int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 50;

    QTemporaryDir dir;
    QImage pic(120, 120, QImage::Format_RGB32);
    pic.fill(Qt::darkCyan);
    const std::string picture = dir.filePath("PIC.JPG").toStdString();
    pic.save(QString::fromStdString(picture), "JPG");

    rt::Value rows = rt::Value::array();
    for (int i = 1; i <= 1000; ++i)
        rows.asArray().items.push_back(rt::makeArray({rt::Value("Client number " + std::to_string(i)),
                                                      rt::Value("Street " + std::to_string(i * 7))}));
    // The texts differ from cell to cell; which row they come from does not
    // matter to painting.
    const auto field = [rows](int n) {
        auto next = std::make_shared<std::size_t>(0);
        return rt::makeBlock([rows, n, next](rt::Args) -> rt::Value {
            const auto& items = rows.asArray().items;
            return items[(*next)++ % items.size()].asArray().items[std::size_t(n)];
        });
    };
    const rt::Value text = field(0), second = field(1);
    const rt::Value card = rt::makeBlock([text, second, picture](rt::Args) {
        return rt::makeArray({rt::makeArray({rt::Value(picture), 5, 8, 32, 32}),
                              rt::makeArray({rt::eval(text), 45, 4, {}, {}, "10.Tahoma Bold"}),
                              rt::makeArray({rt::eval(second), 45, 24})});
    });
    const rt::Value lines = rt::makeArray({text, second, text});

    QImage target(kCols * kColWidth + 40, kRows * kRowHeight + 80, QImage::Format_ARGB32_Premultiplied);
    std::vector<double> tStd, tOwner, tMulti;
    const rt::Value standard = makeBrowse("RK_XbpBrowse", rows, text);
    const rt::Value owner = makeBrowse("RK_XbpOwnerDrawBrowseGeneric", rows, card);
    const rt::Value multi = makeBrowse("RK_XbpBrowse", rows, lines);
    if (gui::asBrowse(standard)->rowCount() < kRows)
        std::fprintf(stderr, "warning: the browse shows %d rows\n", gui::asBrowse(standard)->rowCount());
    for (int i = 0; i < runs; ++i) {
        tStd.push_back(paintOnce(standard, target));
        tOwner.push_back(paintOnce(owner, target));
        tMulti.push_back(paintOnce(multi, target));
    }
    const double s = median(tStd), o = median(tOwner), m = median(tMulti);
    std::printf("paint %d x %d, median of %d runs\n", kRows, kCols, runs);
    std::printf("  standard browse          %8.3f ms\n", s);
    std::printf("  owner-drawn (2 lines+pic)%8.3f ms\n", o);
    std::printf("  multi-line (3 lines)     %8.3f ms\n", m);
    std::printf("  ratio owner / standard   %8.2f  (target <= 3)\n", o / s);
    std::printf("  ratio multi / standard   %8.2f  (target <= 2)\n", m / s);
    for (const rt::Value& b : {standard, owner, multi})
        rt::send(b, "destroy");
    return 0;
}
