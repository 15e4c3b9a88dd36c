// The grid against QTableView, offscreen.
//
//   paint:     render 40 rows x 10 columns into a QImage, every cell drawn
//              again (ours from the cells it holds, QTableView asking its
//              model); median of many runs; ratio ours / QTableView.
//   page down: pageDown + forceStable over an array source of 1,000 and of
//              1,000,000 rows; median time per page; ratio 1M / 1k.
//   memory:    resident set size after building each source and after
//              paging through it (the grid's share is the difference).
//
// Usage: bench_grid [runs] [shot.png]   (a PNG of our grid when named)
#include "platform/grid/browse.h"
#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/gui/events.h"
#include "platform/gui/presparam.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QTableView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 40;
constexpr int kCols = 10;
constexpr int kRowHeight = 20;
constexpr int kColWidth = 80;
constexpr int kFields = 3;

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

long rssKb()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// An array of rows {n, "Name n", n * 1.5}, navigated as an array source.
struct ArraySource {
    rt::Value rows = rt::Value::array();
    long long element = 1;

    explicit ArraySource(long long n)
    {
        auto& items = rows.asArray().items;
        items.reserve(std::size_t(n));
        for (long long i = 1; i <= n; ++i)
            items.push_back(rt::makeArray({i, rt::Value("Name " + std::to_string(i)), rt::Value::number(i * 1.5, 2)}));
    }
    long long size() const { return (long long)rows.asArray().size(); }

    void install(gui::XbpBrowse& b)
    {
        b.skipBlock = rt::makeBlock([this](rt::Args a) {
            const long long n = rt::argAt(a, 0).asInt();
            const long long to = std::clamp(element + n, 1LL, size());
            const long long did = to - element;
            element = to;
            return rt::Value(did);
        });
        b.goTopBlock = rt::makeBlock([this](rt::Args) { element = 1; });
        b.goBottomBlock = rt::makeBlock([this](rt::Args) { element = size(); });
        b.posBlock = rt::makeBlock([this](rt::Args) { return rt::Value(element); });
        b.firstPosBlock = rt::makeBlock([](rt::Args) { return rt::Value(1); });
        b.lastPosBlock = rt::makeBlock([this](rt::Args) { return rt::Value(size()); });
        for (int c = 0; c < kCols; ++c) {
            auto* col = new gui::XbpColumn();
            const rt::Value cv = col->self();
            col->dataLink = rt::makeBlock(
                [this, c](rt::Args) { return rows.asArray().items[std::size_t(element - 1)].asArray().items[c % kFields]; });
            col->setSize(QSize(kColWidth, 0));
            col->headingGroup()->storeCell(1, rt::Value("Field " + std::to_string(c + 1)), {}, false);
            b.addColumn(cv);
        }
    }
};

struct OurGrid {
    rt::Value value;
    gui::XbpBrowse* b = nullptr;

    explicit OurGrid(ArraySource& src)
    {
        value = (new gui::XbpBrowse())->self();
        b = gui::asBrowse(value);
        b->vScroll = false;
        b->hScroll = false;
        src.install(*b);
        const rt::Value pres = rt::makeArray({rt::makeArray({gui::pp::DaRowHeight, kRowHeight})});
        const rt::Value args[] = {rt::Value(), rt::Value(), gui::pairValue(0, 0),
                                  gui::pairValue(kCols * kColWidth, 600), pres, true};
        b->create(rt::Args(args, 6));
        const int head = b->columnAt(1)->headingGroup()->preferredHeight();
        b->setSize(QSize(kCols * kColWidth, head + kRows * kRowHeight));
        b->widget()->show();
        gui::dispatchPending();
        b->forceStable();
    }
    ~OurGrid() { b->destroy(); }
    void invalidateCells()
    {
        for (int i = 1; i <= b->colCount(); ++i)
            for (gui::XbpCellGroup* g : {b->columnAt(i)->headingGroup(), b->columnAt(i)->dataGroup()})
                g->markAllDirty();
    }
};

class Model final : public QAbstractTableModel {
public:
    explicit Model(ArraySource& s) : src_(s) {}
    int rowCount(const QModelIndex& = {}) const override { return int(src_.size()); }
    int columnCount(const QModelIndex& = {}) const override { return kCols; }
    QVariant data(const QModelIndex& i, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        const rt::Value& v = src_.rows.asArray().items[std::size_t(i.row())].asArray().items[i.column() % kFields];
        if (v.isChar())
            return QString::fromUtf8(v.asString().data(), qsizetype(v.asString().size()));
        return v.asDouble();
    }
    QVariant headerData(int s, Qt::Orientation o, int role) const override
    {
        if (role != Qt::DisplayRole || o != Qt::Horizontal)
            return {};
        return QString("Field %1").arg(s + 1);
    }

private:
    ArraySource& src_;
};

template <class F>
double timeMs(F f)
{
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double pageDownMs(OurGrid& g, int runs)
{
    std::vector<double> t;
    g.b->goTop();
    g.b->forceStable();
    for (int i = 0; i < runs; ++i) {
        t.push_back(timeMs([&] {
            g.b->pageDown();
            g.b->forceStable();
        }));
        if (g.b->hitBottom.asBool()) {
            g.b->goTop();
            g.b->forceStable();
        }
    }
    return median(t);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 200;
    const long rssStart = rssKb();

    // --- paint
    ArraySource small(1000);
    OurGrid ours(small);
    if (ours.b->rowCount() != kRows)
        std::fprintf(stderr, "warning: our grid shows %d rows\n", ours.b->rowCount());
    Model model(small);
    QTableView view;
    view.setModel(&model);
    view.verticalHeader()->hide();
    view.verticalHeader()->setDefaultSectionSize(kRowHeight);
    view.horizontalHeader()->setDefaultSectionSize(kColWidth);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.resize(ours.b->widget()->size() + QSize(2 * view.frameWidth(), 2 * view.frameWidth()));
    view.show();
    QApplication::processEvents();

    QImage target(ours.b->widget()->size(), QImage::Format_ARGB32_Premultiplied);
    QImage qtTarget(view.size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> tOurs, tOursRead, tQt;
    for (int i = 0; i < runs; ++i) {
        tOurs.push_back(timeMs([&] {
            ours.invalidateCells();
            ours.b->widget()->render(&target);
        }));
        tOursRead.push_back(timeMs([&] {
            ours.b->refreshAll();
            ours.b->widget()->render(&target);
        }));
        tQt.push_back(timeMs([&] { view.render(&qtTarget); }));
    }
    if (argc > 2)
        target.save(QString::fromLocal8Bit(argv[2]));
    const double paintOurs = median(tOurs), paintRead = median(tOursRead), paintQt = median(tQt);
    std::printf("paint 40x10:  ours %.3f ms (with re-reading the rows %.3f ms), QTableView %.3f ms, ratio ours/QTableView %.2f (goal <= 1.0)\n",
                paintOurs, paintRead, paintQt, paintOurs / paintQt);

    // --- page down and memory
    const double page1k = pageDownMs(ours, runs);
    const long rss1k = rssKb();
    double page1m = 0;
    long rssSource = 0, rssGrid = 0, rssPaged = 0;
    {
        ArraySource large(1000000);
        rssSource = rssKb();
        OurGrid big(large);
        rssGrid = rssKb();
        page1m = pageDownMs(big, runs);
        // Walk a long way in: 20,000 pages.
        for (int i = 0; i < 20000 && !big.b->hitBottom.asBool(); ++i) {
            big.b->pageDown();
            big.b->forceStable();
        }
        rssPaged = rssKb();
    }
    std::printf("page down:    1k rows %.3f ms, 1M rows %.3f ms per pageDown+forceStable, ratio 1M/1k %.2f (goal about 1.0)\n",
                page1k, page1m, page1m / page1k);
    std::printf("memory (RSS): 1k rows with grid %ld kB (%+ld kB over the start); 1M rows: source %ld kB, with grid %ld kB, "
                "after paging through it %ld kB (paging %+ld kB)\n",
                rss1k, rss1k - rssStart, rssSource, rssGrid, rssPaged, rssPaged - rssGrid);
    return 0;
}
