// A header click that sorts a work area of 1,000,000 records by a
// 30-character name in the user's (Spanish) collation, from the click to the
// first painted sorted page, against building the same order with the DBF
// engine alone, in the same run; that collated order against the byte
// order of UPPER(NAME); and the second click (the direction flip) against
// the first.
//
// Prints the medians of the rounds (ms) and three ratios:
//   click / engine order        (target: at most 1.2)
//   collated / byte order       (target: at most 1.5)
//   flip / click                (target: at most 0.05)
//
// Usage: bench_sort [--rounds R] [--rows N] [--keep DIR]
#include "browse/columns/column.h"
#include "browse/core/browse.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"
#include "platform/dbf/workarea.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/element_parts.h"
#include "platform/dialog/library.h"
#include "platform/dialog/slots.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

std::string makeTable(const std::string& dir, long long rows)
{
    const std::string path = dir + "/S" + std::to_string(rows) + ".DBF";
    if (std::filesystem::exists(path))
        return path;
    dbf::Table::create(path, {{"CODE", 'N', 8, 0}, {"NAME", 'C', 30, 0}});
    auto t = dbf::Table::open(path, false, false);
    static const char* const names[] = {"garcia lopez", "Smith & Sons", "MULLER GMBH", "o'neil", "zoe cafe", "Baker"};
    for (long long i = 1; i <= rows; ++i) {
        const std::uint32_t h = std::uint32_t(i) * 2654435761u;
        t->appendBlank();
        t->put(0, rt::Value(i));
        t->put(1, rt::Value(std::string(names[h % 6]) + " " + std::to_string(h % 100000)));
    }
    t->flush();
    return path;
}

void open(const std::string& path)
{
    rt::callWith("DbUseArea", true, "FOXCDX", path, "S", true, false);
}

// The browse of the work area with a NAME column sorted by a left click.
rt::Value browseOf(rt::Value& column)
{
    rt::Value list = rt::Value::array();
    rt::Value b = dlg::getTemplate(dlg::type::Browse);
    b.asArray().items[dlg::index(dlg::slot::Alias)] = rt::Value("S");
    list.asArray().items.push_back(b);
    rt::Value c = dlg::getTemplate(dlg::type::Column);
    auto& s = c.asArray().items;
    s[dlg::index(dlg::slot::Caption)] = rt::Value("NAME");
    s[dlg::index(dlg::slot::Width)] = 30;
    s[dlg::index(dlg::slot::DataBlock)] = rt::makeBlock([](rt::Args) { return rt::fieldHooks().aliasGet("S", "NAME"); });
    rt::Value options = rt::Value::array(dlg::kColumnOptions);
    options.asArray().items[dlg::index(dlg::columnOption::SortBlock)] = rt::callWith("RK_AliasSortBlock", "NAME");
    options.asArray().items[dlg::index(dlg::columnOption::SortDefault)] = false;
    s[dlg::index(dlg::slot::Options)] = options;
    list.asArray().items.push_back(c);
    const rt::Value getList = dlg::makeGetList(list);
    auto* g = dlg::asGetList(getList);
    g->getListPointer = 1;
    const rt::Value args[] = {rt::Value(), rt::Value(), gui::pairValue(0, 0), gui::pairValue(600, 500), rt::Value(),
                              true, getList};
    const rt::Value bv = rt::send(rt::callFunction("RK_XbpBrowse"), "new", rt::Args(args, 7));
    rt::send(bv, "create");
    g->getListPointer = 2;
    column = rt::sendWith(rt::callFunction("RK_XbpColumn"), "new", bv, getList);
    gui::asBrowse(bv)->widget()->show();
    gui::dispatchPending();
    rt::sendWith(bv, "forceStable");
    return bv;
}

// A click as the header's callback makes it, then the page painted.
double click(const rt::Value& bv, const rt::Value& column)
{
    const auto t0 = Clock::now();
    rt::sendWith(column, "Sort", gui::pairValue(10, 5), 1);
    rt::sendWith(bv, "forceStable");
    gui::asBrowse(bv)->widget()->repaint();
    return msSince(t0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int rounds = 3;
    long long rows = 1'000'000;
    std::string keep;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--rounds")
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--rows")
            rows = std::max(1LL, std::atoll(argv[i + 1]));
        else if (a == "--keep")
            keep = argv[i + 1];
    }
    QApplication app(argc, argv);
    browse::registerBrowseLibrary();
    dlg::registerDialogFunctions();
    const std::string dir = keep.empty() ? std::filesystem::temp_directory_path().string() + "/dxc_bench_sort" : keep;
    std::filesystem::create_directories(dir);
    const std::string path = makeTable(dir, rows);

    std::vector<double> bytes, engine, first, flip;
    for (int r = 0; r < rounds; ++r) {
        open(path);
        auto t0 = Clock::now();
        dbf::currentArea()->createOrder(dbf::OrderSpec{"PEER", "UPPER(NAME)", {}, false, false});
        bytes.push_back(msSince(t0));
        dbf::OrderSpec collated{"COLLATED", "NAME", {}, false, false};
        collated.field = 1;
        collated.fold = dbf::KeyFold::Collate;
        t0 = Clock::now();
        dbf::currentArea()->createOrder(std::move(collated));
        engine.push_back(msSince(t0));
        rt::callFunction("DbCloseAll");

        open(path);
        rt::Value column;
        const rt::Value bv = browseOf(column);
        first.push_back(click(bv, column));
        flip.push_back(click(bv, column));
        rt::send(bv, "destroy");
        gui::clearAppEvents();
        rt::callFunction("DbCloseAll");
    }
    const double b = median(bytes), e = median(engine), c = median(first), f = median(flip);
    std::printf("sort by header, %lld records, NAME C30, median of %d rounds\n", rows, rounds);
    std::printf("  engine byte order       %10.1f ms\n", b);
    std::printf("  engine collated order   %10.1f ms\n", e);
    std::printf("  first click to paint    %10.1f ms\n", c);
    std::printf("  second click (flip)     %10.1f ms\n", f);
    std::printf("  ratio click / engine    %10.3f  (target <= 1.2)\n", c / e);
    std::printf("  ratio collated / bytes  %10.3f  (target <= 1.5)\n", e / b);
    std::printf("  ratio flip / click      %10.3f  (target <= 0.05)\n", f / c);
    if (keep.empty())
        std::filesystem::remove_all(dir);
    return 0;
}
