// Tagging over a DBF of 1,000,000 records, offscreen, each figure against
// its bare counterpart in the same run:
//
//   tag all:    Shift+Insert through the browse (every record of the view
//               tagged, the browse refreshed) / the engine's own walk over
//               the same records (goTop, skip until Eof)
//   repaint:    20 repaints of the browse (every row read again, row
//               colours included) with every record tagged / 20 with
//               none, taken in turns
//   range:      a Shift range of 100,000 records from the anchor / the
//               engine's walk over those records
//   restore:    building a dialog of 50 columns with a saved layout to
//               restore / without one
//
// Each figure is the median of the rounds.
//
// Usage: bench_tag [--rounds R] [--rows N] [--keep DIR]
#include "browse/core/browse.h"
#include "browse/core/globals.h"
#include "browse/features/features.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/record_set.h"
#include "platform/dbf/table.h"
#include "platform/dbf/workarea.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/element_parts.h"
#include "platform/grid/column.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/functions.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr long long kRange = 100000;
constexpr int kRestoreColumns = 50;
constexpr int kRepaints = 20;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double timed(const std::function<void()>& f)
{
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

std::string makeTable(const std::string& dir, long long rows)
{
    const std::string path = dir + "/tags_" + std::to_string(rows) + ".dbf";
    if (std::filesystem::exists(path))
        return path;
    dbf::Table::create(path, {{"CODE", 'N', 8, 0}, {"NAME", 'C', 20, 0}});
    auto t = dbf::Table::open(path, false, false);
    for (long long i = 1; i <= rows; ++i) {
        t->appendBlank();
        t->put(0, rt::Value(i));
        t->put(1, rt::Value("name " + std::to_string(i)));
    }
    t->flush();
    return path;
}

rt::Value record(int type) { return dlg::getTemplate(type); }

// An RK browse over the alias with one column per field, created and shown.
rt::Value makeBrowse(const std::string& alias)
{
    rt::Value list = rt::Value::array();
    rt::Value r = record(dlg::type::Browse);
    r.asArray().items[dlg::index(dlg::slot::Alias)] = alias;
    rt::Value options = rt::Value::array(dlg::kBrowseOptions);
    options.asArray().items[dlg::index(dlg::browseOption::TagEnable)] = true;
    options.asArray().items[dlg::index(dlg::browseOption::TagColorBG)] = 4;
    r.asArray().items[dlg::index(dlg::slot::Options)] = options;
    list.asArray().items.push_back(r);
    const rt::Value getList = dlg::makeGetList(list);
    dlg::asGetList(getList)->getListPointer = 1;
    const rt::Value args[] = {rt::Value(), rt::Value(), rt::makeArray({0, 0}), rt::makeArray({600, 700}), rt::Value(),
                              true, getList};
    const rt::Value bv = rt::newObject("RK_XbpBrowse", rt::Args(args, 7));
    auto* b = browse::asRkBrowse(bv);
    b->create({});
    for (const char* field : {"CODE", "NAME"}) {
        auto* c = new gui::XbpColumn();
        const std::string name = field;
        c->dataLink = rt::makeBlock([alias, name](rt::Args) { return rt::fieldHooks().aliasGet(alias, name); });
        c->colorBlock = b->rowColorBlock;  // what a dialog column takes: the tag colours come from here
        b->addColumn(c->self());
    }
    b->widget()->show();
    gui::dispatchPending();
    b->gui::XbpBrowse::forceStable();
    return bv;
}

// A dialog of n columns over an array, built by the reader's steps.
double buildDialog(const rt::Value& rows, const rt::Value& config)
{
    rt::Value list = rt::Value::array();
    rt::Value r = record(dlg::type::Browse);
    r.asArray().items[dlg::index(dlg::slot::DataSource)] = rt::makeBlock([rows](rt::Args) { return rows; });
    r.asArray().items[dlg::index(dlg::slot::EarlyBlock)] = rt::makeBlock([config](rt::Args a) {
        if (!config.isNil())
            rt::setMember(rt::argAt(a, 0), "restoreConfig", config);
        return rt::Value();
    });
    list.asArray().items.push_back(r);
    for (int i = 1; i <= kRestoreColumns; ++i) {
        rt::Value c = record(dlg::type::Column);
        c.asArray().items[dlg::index(dlg::slot::Caption)] = "C" + std::to_string(i);
        c.asArray().items[dlg::index(dlg::slot::ArrayPointer)] = 1 + (i - 1) % 3;
        c.asArray().items[dlg::index(dlg::slot::Width)] = 8;
        list.asArray().items.push_back(c);
    }
    return timed([&] {
        const rt::Value getList = dlg::makeGetList(list);
        dlg::asGetList(getList)->getListPointer = 1;
        const rt::Value args[] = {rt::Value(), rt::Value(), rt::makeArray({0, 0}), rt::makeArray({900, 500}),
                                  rt::Value(), true, getList};
        const rt::Value bv = rt::newObject("RK_XbpBrowse", rt::Args(args, 7));
        rt::sendWith(bv, "create");
        for (int i = 2; i <= kRestoreColumns + 1; ++i) {
            dlg::asGetList(getList)->getListPointer = i;
            const rt::Value cargs[] = {bv, getList};
            rt::newObject("RK_XbpColumn", rt::Args(cargs, 2));
        }
        browse::asRkBrowse(bv)->gui::XbpBrowse::forceStable();
        rt::sendWith(bv, "Destroy");
    });
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 5;
    long long rows = 1000000;
    std::string keep;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--rounds")
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--rows")
            rows = std::max(kRange + 1, std::atoll(argv[i + 1]));
        else if (a == "--keep")
            keep = argv[i + 1];
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    dbf::registerDbfFunctions();
    gui::registerGuiFunctions();
    dlg::registerDialogFunctions();
    browse::registerBrowseLibrary();
    browse::registerBrowseFeatures();

    const std::string dir = keep.empty() ? std::filesystem::temp_directory_path().string() + "/bench_tag_" +
                                               std::to_string(getpid())
                                         : keep;
    std::filesystem::create_directories(dir);
    std::printf("writing %lld records...\n", rows);
    std::fflush(stdout);
    const std::string path = makeTable(dir, rows);
    rt::callWith("DbUseArea", true, "FOXCDX", path, "TAGS", true, true);
    dbf::WorkArea* area = dbf::findArea("TAGS");
    const rt::Value bv = makeBrowse("TAGS");
    auto* b = browse::asRkBrowse(bv);

    std::vector<double> walk, tagAll, paintNone, paintAll, rangeWalk, range, bare, restored;
    const rt::Value tagAllKey[] = {rt::Value(), rt::Value(), gui::key::Ins + gui::key::ShiftFlag};
    // Every row of the page read again (values and row colours) and painted.
    const auto repaint = [&] {
        b->gui::XbpBrowse::refreshAll();
        b->gui::XbpBrowse::forceStable();
        b->widget()->repaint();
    };
    // One repaint lasts a few milliseconds and the machine is shared: a
    // figure is the sum of kRepaints repaints of each kind, taken in turns
    // (the tag sets swapped in between, untimed) so that a change of load
    // weighs on both alike.
    const auto repaintsInTurn = [&](const dbf::RecordSet& all, double& none, double& tagged) {
        const dbf::RecordSet empty;
        none = tagged = 0;
        for (int i = 0; i < kRepaints; ++i) {
            for (int k = 0; k < 2; ++k) {
                const bool withTags = (i + k) % 2 == 1;
                area->tags() = withTags ? all : empty;
                (withTags ? tagged : none) += timed(repaint);
            }
        }
    };
    for (int r = 0; r < rounds; ++r) {
        walk.push_back(timed([&] {
            long long n = 0;
            for (area->goTop(); !area->eof(); area->skip(1))
                ++n;
            area->goTop();
        }));
        area->tags().clear();
        repaint();  // the rows the walk moved away from are read again here, not below
        tagAll.push_back(timed([&] { browse::tag(*b, rt::Args(tagAllKey, 3)); }));
        const dbf::RecordSet all = area->tags();
        double none = 0, tagged = 0;
        repaintsInTurn(all, none, tagged);
        paintNone.push_back(none);
        paintAll.push_back(tagged);
        rangeWalk.push_back(timed([&] {
            area->goTo(1);
            for (long long i = 0; i < kRange && !area->eof(); ++i)
                area->skip(1);
        }));
        b->lastTagRec = 1;
        b->lastTagPos = 1;
        area->goTo(kRange);
        range.push_back(timed([&] { browse::tagRange(*b); }));
    }
    const rt::Value data = rt::makeArray({rt::makeArray({1, "a", true})});
    const rt::Value config = [&] {
        std::vector<rt::Value> cols;
        for (int i = kRestoreColumns; i >= 1; --i)
            cols.push_back(rt::makeArray({i, rt::makeArray({60, 20})}));
        return rt::makeArray({rt::makeArray({0, 0}), rt::makeArray({900, 500}), rt::makeArray(std::move(cols))});
    }();
    for (int r = 0; r < rounds * 2; ++r) {
        bare.push_back(buildDialog(data, {}));
        restored.push_back(buildDialog(data, config));
    }

    const auto line = [](const char* what, double mine, double peer, const char* peerName, double limit) {
        std::printf("%-34s %10.2f ms   %-28s %10.2f ms   ratio %.2f (limit %.1f)\n", what, mine, peerName, peer,
                    peer > 0 ? mine / peer : 0, limit);
    };
    std::printf("records: %lld, rounds: %d (medians)\n", rows, rounds);
    line("tag all (Shift+Insert)", median(tagAll), median(walk), "engine walk, all records", 2.0);
    line("repaint, every record tagged", median(paintAll), median(paintNone), "repaint, none tagged", 1.2);
    line("Shift range of 100,000", median(range), median(rangeWalk), "engine walk, 100,000", 2.0);
    line("dialog of 50 columns, restored", median(restored), median(bare), "the same without a layout", 1.1);
    b->destroy();
    rt::callFunction("DbCloseAll");
    if (keep.empty())
        std::filesystem::remove_all(dir);
    return 0;
}
