// The library's browse against the bare platform grid, offscreen, in the
// same run: over a DBF table (an alias work area) and over an array, each
// of 10,000 and of 1,000,000 rows.
//
//   open:      construct from element records (library) or by hand (bare),
//              create, show and stabilise the first page
//   page down: 100 x (pageDown + forceStable)
//   bottom:    goBottom + forceStable (the median of 15, each from the top)
//
// Each figure is the median of the rounds; ratios are library / bare and
// 1M / 10k (flatness).
//
// Usage: bench_browse [--rounds R] [--rows N] [--keep DIR]
//   --rows N     the large size (default 1,000,000); the small one is 10,000
//   --keep DIR   keep the generated tables in DIR and reuse them
#include "browse/core/browse.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/element_parts.h"
#include "platform/dialog/library.h"
#include "platform/grid/column.h"
#include "platform/gui/events.h"
#include "platform/gui/presparam.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 700;
constexpr int kHeight = 820;
constexpr int kPages = 100;
constexpr int kBottoms = 15;
const char* const kFieldNames[] = {"CODE", "NAME", "PRICE", "BORN", "ACTIVE"};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

std::string makeTable(const std::string& dir, long long rows)
{
    const std::string path = dir + "/B" + std::to_string(rows) + ".DBF";
    if (std::filesystem::exists(path))
        return path;
    dbf::Table::create(path, {{"CODE", 'N', 8, 0}, {"NAME", 'C', 24, 0}, {"PRICE", 'N', 10, 2}, {"BORN", 'D', 8, 0},
                              {"ACTIVE", 'L', 1, 0}});
    auto t = dbf::Table::open(path, false, false);
    const rt::Date base = rt::makeDate(2000, 1, 1);
    for (long long i = 1; i <= rows; ++i) {
        t->appendBlank();
        t->put(0, rt::Value(i));
        t->put(1, rt::Value("Client " + std::to_string(i)));
        t->put(2, rt::Value::number(double(i % 100000) * 1.25, 2));
        t->put(3, rt::Value(rt::Date{base.julian + std::int32_t(i % 9000)}));
        t->put(4, rt::Value(i % 2 == 0));
    }
    t->flush();
    return path;
}

rt::Value makeArray(long long rows)
{
    rt::Value a = rt::Value::array();
    auto& items = a.asArray().items;
    items.reserve(std::size_t(rows));
    const rt::Date base = rt::makeDate(2000, 1, 1);
    for (long long i = 1; i <= rows; ++i)
        items.push_back(rt::makeArray({i, rt::Value("Client " + std::to_string(i)),
                                       rt::Value::number(double(i % 100000) * 1.25, 2),
                                       rt::Value(rt::Date{base.julian + std::int32_t(i % 9000)}), i % 2 == 0}));
    return a;
}

struct Figures {
    double open = 0, pages = 0, bottom = 0;
    int rows = 0;
    long long afterPages = 0, atBottom = 0;  // the current row's identity: a check that the grid moved
};

long long identity(const gui::XbpBrowse& b)
{
    const rt::Value v = b.phyPosBlock.isBlock() ? rt::eval(b.phyPosBlock) : rt::Value();
    return v.isNum() ? v.asInt() : -1;
}

// Runs the three steps on a grid that `make` builds and shows.
Figures measure(const std::function<rt::Value()>& make)
{
    Figures f;
    auto t0 = Clock::now();
    const rt::Value bv = make();
    gui::XbpBrowse* b = gui::asBrowse(bv);
    b->widget()->show();
    gui::dispatchPending();
    rt::sendWith(bv, "forceStable");
    f.open = msSince(t0);
    f.rows = b->rowCount();
    // A browse starts where its source stands (a work area a previous grid left
    // at the bottom, say): page from the top.
    b->goTop();
    rt::sendWith(bv, "forceStable");
    t0 = Clock::now();
    for (int i = 0; i < kPages; ++i) {
        b->pageDown();
        rt::sendWith(bv, "forceStable");
    }
    f.pages = msSince(t0);
    f.afterPages = identity(*b);
    // One go-bottom is a fraction of a millisecond: the median of several.
    std::vector<double> bottoms;
    for (int i = 0; i < kBottoms; ++i) {
        b->goTop();
        rt::sendWith(bv, "forceStable");
        t0 = Clock::now();
        b->goBottom();
        rt::sendWith(bv, "forceStable");
        bottoms.push_back(msSince(t0));
    }
    f.bottom = median(bottoms);
    f.atBottom = identity(*b);
    rt::send(bv, "destroy");
    return f;
}

// --- the bare platform grid: C++ blocks over the table or the array

void createBare(gui::XbpBrowse& b)
{
    const rt::Value args[] = {rt::Value(), rt::Value(), gui::pairValue(0, 0), gui::pairValue(kWidth, kHeight),
                              rt::Value(), true};
    b.create(rt::Args(args, 6));
}

rt::Value bareColumn(int n, rt::Value dataLink)
{
    auto* c = new gui::XbpColumn();
    const rt::Value cv = c->self();
    c->dataLink = std::move(dataLink);
    c->presParams = rt::makeArray({rt::makeArray({gui::pp::ColWidth, 12}),
                                   rt::makeArray({gui::pp::HaCaption, rt::Value(kFieldNames[n])})});
    return cv;
}

rt::Value bareTable(const std::shared_ptr<dbf::Table>& t)
{
    const rt::Value bv = (new gui::XbpBrowse())->self();
    gui::XbpBrowse& b = *gui::asBrowse(bv);
    const long long count = t->recordCount();
    auto go = [t, count](long long r) { t->go(std::uint32_t(std::clamp(r, 0LL, count))); };
    go(1);
    b.skipBlock = rt::makeBlock([t, go, count](rt::Args a) {
        const long long n = rt::argAt(a, 0).isNum() ? a[0].asInt() : 0;
        const long long from = t->recno(), to = std::clamp(from + n, 1LL, count);
        go(to);
        return rt::Value(to - from);
    });
    b.goTopBlock = rt::makeBlock([go](rt::Args) { go(1); });
    b.goBottomBlock = rt::makeBlock([go, count](rt::Args) { go(count); });
    b.posBlock = rt::makeBlock([t](rt::Args) { return rt::Value((long long)t->recno()); });
    b.phyPosBlock = b.posBlock;
    b.firstPosBlock = rt::makeBlock([](rt::Args) { return rt::Value(1); });
    b.lastPosBlock = rt::makeBlock([count](rt::Args) { return rt::Value(count); });
    for (int i = 0; i < 5; ++i)
        b.addColumn(bareColumn(i, rt::makeBlock([t, i](rt::Args) { return t->get(i); })));
    createBare(b);
    return bv;
}

rt::Value bareArray(const rt::Value& rows)
{
    const rt::Value bv = (new gui::XbpBrowse())->self();
    gui::XbpBrowse& b = *gui::asBrowse(bv);
    auto element = std::make_shared<long long>(1);
    const long long size = (long long)rows.asArray().size();
    b.skipBlock = rt::makeBlock([element, size](rt::Args a) {
        const long long n = rt::argAt(a, 0).isNum() ? a[0].asInt() : 0;
        const long long to = std::clamp(*element + n, 1LL, size);
        const long long did = to - *element;
        *element = to;
        return rt::Value(did);
    });
    b.goTopBlock = rt::makeBlock([element](rt::Args) { *element = 1; });
    b.goBottomBlock = rt::makeBlock([element, size](rt::Args) { *element = size; });
    b.posBlock = rt::makeBlock([element](rt::Args) { return rt::Value(*element); });
    b.phyPosBlock = b.posBlock;
    b.firstPosBlock = rt::makeBlock([](rt::Args) { return rt::Value(1); });
    b.lastPosBlock = rt::makeBlock([size](rt::Args) { return rt::Value(size); });
    for (int i = 0; i < 5; ++i)
        b.addColumn(bareColumn(i, rt::makeBlock([rows, element, i](rt::Args) {
            return rows.asArray().items[std::size_t(*element - 1)].asArray().items[std::size_t(i)];
        })));
    createBare(b);
    return bv;
}

// --- the library's browse, built from element records as a dialog does

rt::Value libraryBrowse(const rt::Value& browseRecord, const std::vector<rt::Value>& columns)
{
    rt::Value list = rt::Value::array();
    list.asArray().items.push_back(browseRecord);
    for (const rt::Value& c : columns)
        list.asArray().items.push_back(c);
    const rt::Value getList = dlg::makeGetList(list);
    auto* g = dlg::asGetList(getList);
    g->getListPointer = 1;
    const rt::Value cls = rt::callFunction("RK_XbpBrowse");
    const rt::Value args[] = {rt::Value(), rt::Value(), gui::pairValue(0, 0), gui::pairValue(kWidth, kHeight),
                              rt::Value(), true, getList};
    const rt::Value bv = rt::send(cls, "new", rt::Args(args, 7));
    rt::send(bv, "create");
    const rt::Value colCls = rt::callFunction("RK_XbpColumn");
    for (std::size_t i = 0; i < columns.size(); ++i) {
        g->getListPointer = int(i + 2);
        rt::sendWith(colCls, "new", bv, getList);
    }
    return bv;
}

rt::Value columnRecord(int n, const rt::Value& data)
{
    rt::Value r = dlg::getTemplate(29);
    auto& s = r.asArray().items;
    s[3 - 1] = rt::Value(kFieldNames[n]);
    s[9 - 1] = 12;
    if (data.isNum())
        s[29 - 1] = data;
    else
        s[4 - 1] = data;
    return r;
}

rt::Value libraryTable(const std::string& alias)
{
    rt::Value b = dlg::getTemplate(28);
    b.asArray().items[25 - 1] = rt::Value(alias);
    std::vector<rt::Value> cols;
    for (int i = 0; i < 5; ++i) {
        const std::string field = kFieldNames[i];
        cols.push_back(columnRecord(i, rt::makeBlock([alias, field](rt::Args) {
            return rt::fieldHooks().aliasGet(alias, field);
        })));
    }
    return libraryBrowse(b, cols);
}

rt::Value libraryArray(const rt::Value& rows)
{
    rt::Value b = dlg::getTemplate(28);
    b.asArray().items[31 - 1] = rt::makeBlock([rows](rt::Args) { return rows; });
    std::vector<rt::Value> cols;
    for (int i = 0; i < 5; ++i)
        cols.push_back(columnRecord(i, i + 1));
    return libraryBrowse(b, cols);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int rounds = 3;
    long long large = 1000000;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--rows" && i + 1 < argc)
            large = std::max(10001LL, std::atoll(argv[++i]));
        else if (a == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_browse [--rounds R] [--rows N] [--keep DIR]\n");
            return 2;
        }
    }
    QApplication app(argc, argv);
    dbf::registerDbfFunctions();
    gui::registerGuiFunctions();
    dlg::registerDialogFunctions();
    browse::registerBrowseLibrary();

    const std::string dir = keep.empty() ? "/tmp/bench_browse_" + std::to_string(getpid()) : keep;
    std::filesystem::create_directories(dir);
    const long long sizes[] = {10000, large};
    std::map<std::string, std::vector<Figures>> runs;  // "kind size who" -> rounds
    for (long long n : sizes) {
        const std::string path = makeTable(dir, n);
        const rt::Value rows = makeArray(n);
        const std::string alias = "B" + std::to_string(n);
        rt::callWith("DbUseArea", true, "FOXCDX", path, alias, true, true);
        std::shared_ptr<dbf::Table> bare = dbf::Table::open(path, true, true);
        for (int r = 0; r < rounds; ++r) {
            const std::string sz = std::to_string(n);
            runs["table " + sz + " bare"].push_back(measure([&] { return bareTable(bare); }));
            runs["table " + sz + " library"].push_back(measure([&] { return libraryTable(alias); }));
            runs["array " + sz + " bare"].push_back(measure([&] { return bareArray(rows); }));
            runs["array " + sz + " library"].push_back(measure([&] { return libraryArray(rows); }));
        }
    }
    auto med = [&](const std::string& key, double Figures::*f) {
        std::vector<double> v;
        for (const Figures& x : runs[key])
            v.push_back(x.*f);
        return median(v);
    };
    std::printf("%d rounds, medians in ms; %d pages down\n", rounds, kPages);
    std::printf("%-7s %9s %-8s %9s %11s %9s %5s %9s %9s\n", "source", "rows", "grid", "open", "page down", "bottom",
                "shown", "at", "last");
    for (const char* kind : {"table", "array"})
        for (long long n : sizes)
            for (const char* who : {"bare", "library"}) {
                const std::string key = std::string(kind) + " " + std::to_string(n) + " " + who;
                const Figures& first = runs[key].front();
                std::printf("%-7s %9lld %-8s %9.2f %11.2f %9.3f %5d %9lld %9lld\n", kind, n, who,
                            med(key, &Figures::open), med(key, &Figures::pages), med(key, &Figures::bottom), first.rows,
                            first.afterPages, first.atBottom);
            }
    for (const char* kind : {"table", "array"}) {
        const std::string big = std::string(kind) + " " + std::to_string(large);
        const std::string small = std::string(kind) + " 10000";
        auto ratio = [&](const std::string& a, const std::string& b, double Figures::*f) {
            const double d = med(b, f);
            return d > 0 ? med(a, f) / d : 0.0;
        };
        std::printf("%s, %lld rows: library / bare: open %.2f, page down %.2f, bottom %.2f (goal <= 1.2)\n", kind, large,
                    ratio(big + " library", big + " bare", &Figures::open),
                    ratio(big + " library", big + " bare", &Figures::pages),
                    ratio(big + " library", big + " bare", &Figures::bottom));
        std::printf("%s, library %lld / 10,000 rows: open %.2f, page down %.2f, bottom %.2f (flat: about 1)\n", kind,
                    large, ratio(big + " library", small + " library", &Figures::open),
                    ratio(big + " library", small + " library", &Figures::pages),
                    ratio(big + " library", small + " library", &Figures::bottom));
    }
    rt::callFunction("DbCloseAll");
    if (keep.empty())
        std::filesystem::remove_all(dir);
    return 0;
}
