// dxc-browse: a DBF table in the platform grid.
//
//     dxc-browse FILE.DBF
//
// One column per field, captioned with the field name. The grid's own keys
// scroll and page (Up, Down, PgUp, PgDn, Ctrl+PgUp top, Ctrl+PgDn bottom,
// Left, Right, Home, End); header borders size the columns. P prints the
// current position to standard output as "record N of M, row R of S";
// Esc or closing the window prints it once more and ends the program.
// Exit status: 0 done, 1 the table could not be opened, 2 usage.
#include "platform/dbf/table.h"
#include "platform/gui/browse.h"
#include "platform/gui/column.h"
#include "platform/gui/events.h"
#include "platform/gui/presparam.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr int kMaxColumnChars = 40;

// The table seen through the grid's navigation blocks: the current record
// is the table's, moved by arithmetic on record numbers.
struct TableSource {
    std::unique_ptr<dbf::Table> table;
    long long count = 0;

    [[nodiscard]] long long current() const { return table->recno(); }
    void go(long long recno) { table->go(std::uint32_t(std::clamp(recno, 0LL, count))); }

    void install(gui::XbpBrowse& b)
    {
        go(count > 0 ? 1 : 0);
        b.skipBlock = rt::makeBlock([this](rt::Args a) {
            const long long n = rt::argAt(a, 0).isNum() ? rt::argAt(a, 0).asInt() : 0;
            if (count == 0)
                return rt::Value(0);
            const long long from = current();
            const long long to = std::clamp(from + n, 1LL, count);
            go(to);
            return rt::Value(to - from);
        });
        b.goTopBlock = rt::makeBlock([this](rt::Args) { go(count > 0 ? 1 : 0); });
        b.goBottomBlock = rt::makeBlock([this](rt::Args) { go(count); });
        b.posBlock = rt::makeBlock([this](rt::Args) { return rt::Value(current()); });
        b.phyPosBlock = rt::makeBlock([this](rt::Args) { return rt::Value(current()); });
        b.firstPosBlock = rt::makeBlock([](rt::Args) { return rt::Value(1); });
        b.lastPosBlock = rt::makeBlock([this](rt::Args) { return rt::Value(count); });
        b.goPosBlock = rt::makeBlock([this](rt::Args a) {
            if (rt::argAt(a, 0).isNum() && count > 0)
                go(std::clamp<long long>(a[0].asInt(), 1, count));
        });
    }

    rt::Value column(int field)
    {
        const dbf::Field& f = table->fields()[std::size_t(field)];
        auto* c = new gui::XbpColumn();
        const rt::Value cv = c->self();
        const bool memo = f.type == 'M' || f.type == 'G' || f.type == 'P';
        c->dataLink = rt::makeBlock([this, field, memo](rt::Args) -> rt::Value {
            rt::Value v = table->get(field);
            if (memo && v.isChar()) {  // the first line is enough in a grid
                const std::string s = v.str();
                return rt::Value(s.substr(0, std::min(s.find('\n'), std::size_t(kMaxColumnChars))));
            }
            return v;
        });
        const int shown = memo ? 20 : f.type == 'D' ? 10 : f.type == 'N' || f.type == 'F' ? f.len + 1 : f.len;
        const int chars = std::clamp(std::max<int>(int(f.name.size()), shown), 4, kMaxColumnChars);
        c->presParams = rt::makeArray({rt::makeArray({gui::pp::ColWidth, chars}),
                                       rt::makeArray({gui::pp::HaCaption, rt::Value(f.name)})});
        return cv;
    }
};

void report(gui::XbpBrowse& b, const TableSource& src)
{
    std::printf("record %lld of %lld, row %d of %d\n", src.current(), src.count, b.rowPos(), b.rowCount());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::fprintf(stderr, "usage: dxc-browse FILE.DBF\n");
        return argc == 2 ? 0 : 2;
    }
    QApplication app(argc, argv);
    TableSource src;
    rt::Error err("");
    if (!rt::guarded([&] { src.table = dbf::Table::open(argv[1], true, true); }, &err)) {
        std::fprintf(stderr, "dxc-browse: %s\n", err.message().c_str());
        return 1;
    }
    src.count = src.table->recordCount();

    const rt::Value bv = (new gui::XbpBrowse())->self();
    gui::XbpBrowse& b = *gui::asBrowse(bv);
    src.install(b);
    for (int i = 0; i < int(src.table->fields().size()); ++i)
        b.addColumn(src.column(i));

    bool done = false;
    b.cbKeyboard = rt::makeBlock([&](rt::Args a) {
        const long long key = rt::argAt(a, 0).isNum() ? a[0].asInt() : 0;
        if (key == gui::key::Esc)
            done = true;
        else if (key == 'p' || key == 'P')
            report(b, src);
    });
    b.cbClose = rt::makeBlock([&](rt::Args) { done = true; });

    const rt::Value args[] = {rt::Value(), rt::Value(), gui::pairValue(100, 100), gui::pairValue(900, 560), rt::Value(), true};
    b.create(rt::Args(args, 6));
    b.widget()->setWindowTitle(QStringLiteral("dxc-browse - ") + QString::fromLocal8Bit(argv[1]));
    b.widget()->show();
    gui::setAppFocus(bv);

    // The platform's dialog loop: fetch each event and hand it to its window.
    rt::Value mp1, mp2, target;
    while (!done && b.status == gui::XbpPart::Created) {
        const int nEvent = gui::appEvent(mp1, mp2, target, 0);
        if (gui::XbpPart* p = gui::asPart(target))
            rt::runReporting([&] { p->handleEvent(nEvent, mp1, mp2); });
    }
    report(b, src);
    b.destroy();
    return 0;
}
