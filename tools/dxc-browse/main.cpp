// dxc-browse: the browse library's showcase.
//
//     dxc-browse FILE.DBF      the table in a dialog built from element records
//     dxc-browse --array [N]   an in-memory array of N rows (default 1,000)
//     dxc-browse --edit FILE.DBF   the table opened for writing, edited in place
//     dxc-browse --reset-layout FILE.DBF   the designed columns, the saved layout forgotten
//
// The dialog holds one browse element over the table's alias (or the array)
// and one column element per field, striped in zebra colours. The grid's
// keys scroll and page (Up, Down, PgUp, PgDn, Ctrl+PgUp top, Ctrl+PgDn
// bottom, Left, Right, Home, End), as do the mouse wheel and the scroll
// bar. P prints the current position to standard output as "record N of M,
// row R of S"; Esc or closing the window prints it once more and ends the
// program. Rows are tagged with Space, Shift+Up/Down, Ctrl and Shift clicks,
// Shift+Insert (all) and Shift+Delete (none); Ctrl+C copies the tagged rows
// (or the current one) as tab-separated text. With --edit, Enter edits the
// current cell, Insert appends a record and Delete deletes the current one;
// without it the table is opened read-only. Ctrl+Shift+Left/Right move the
// current column, a heading double-click fits a column to its widest value
// (and back); the column order and widths of a table are kept for the next
// time. Exit status: 0 done, 1 the table could not be opened, 2 usage.
#include "interaction.h"

#include "browse/core/browse.h"
#include "browse/features/features.h"

#include "platform/dbf/dbf.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/library.h"
#include "platform/gui/color.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kMaxColumnChars = 40;
constexpr double kBrowseRows = 30;
constexpr double kBrowseCols = 110;

// The position the program reports: the record (or array element) and the
// screen row of the cursor.
struct Position {
    std::string alias;  // empty for the array demo
    rt::Value browse;
    long long count = 0;

    void report() const
    {
        const gui::XbpBrowse* b = gui::asBrowse(browse);
        long long current = 0;
        if (!alias.empty()) {
            const rt::Value r = rt::fieldHooks().aliasEval(
                alias, [](void*) { return rt::callFunction("RecNo"); }, nullptr);
            current = r.isNum() ? r.asInt() : 0;
        } else if (browse.isObject()) {
            const rt::Value e = rt::getMember(browse, "arrayElement");
            current = e.isNum() ? e.asInt() : 0;
        }
        std::printf("record %lld of %lld, row %d of %d\n", current, count, b ? b->rowPos() : 0,
                    b ? b->rowCount() : 0);
        std::fflush(stdout);
    }
};

rt::Value record(int type, std::initializer_list<std::pair<int, rt::Value>> values)
{
    rt::Value r = dlg::getTemplate(type);
    for (const auto& [slot, value] : values)
        r.asArray().items[std::size_t(slot) - 1] = value;
    return r;
}

// Zebra stripes for every browse built afterwards: {fg, bg} of the first
// stripe, then of the second.
void zebra()
{
    rt::callWith("RK_BrowseColor", rt::makeArray({gui::clr::Black, gui::makeRgbColor(255, 255, 255),
                                                  gui::clr::Black, gui::makeRgbColor(228, 238, 250)}));
}

// The browse element: its anchor block (slot 28) gets the browse once it is
// built; P reports, Esc ends the read.
rt::Value browseRecord(Position& pos, const rt::Value& list, std::initializer_list<std::pair<int, rt::Value>> values,
                       bool edit = false)
{
    rt::Value r = record(28, values);
    dxcb::enableInteraction(r, edit, pos.alias.empty());
    auto& s = r.asArray().items;
    s[5 - 1] = 0;
    s[6 - 1] = 0;
    s[9 - 1] = kBrowseCols;
    s[10 - 1] = kBrowseRows;
    s[28 - 1] = rt::makeBlock([&pos, list](rt::Args a) {
        if (a.empty() || !a[0].isObject())
            return;
        pos.browse = a[0];
        rt::setMember(pos.browse, "keyboard", rt::makeBlock([&pos, list](rt::Args k) {
            const long long key = rt::argAt(k, 0).isNum() ? k[0].asInt() : 0;
            if (key == gui::key::Esc)
                dlg::readGuiEvent(5, list);
            else if (key == 'p' || key == 'P')
                pos.report();
            else
                dxcb::interactionKey(pos.browse, key);
        }));
    });
    return r;
}

int runTable(const char* file, bool edit, bool resetLayout)
{
    Position pos;
    rt::Error err("");
    if (!rt::guarded([&] { rt::callWith("DbUseArea", true, "FOXCDX", file, rt::Value(), true, !edit); }, &err)) {
        std::fprintf(stderr, "dxc-browse: %s\n", err.message().c_str());
        return 1;
    }
    pos.alias = rt::callFunction("Alias").str();
    pos.count = rt::callFunction("LastRec").asInt();

    const rt::Value list = rt::Value::array();
    auto& items = list.asArray().items;
    items.push_back(browseRecord(pos, list, {{25, rt::Value(pos.alias)}}, edit));
    dxcb::keepLayout(items.back(), file, resetLayout);
    const rt::Value structure = rt::callFunction("DbStruct");
    for (const rt::Value& f : structure.asArray().items) {
        const auto& d = f.asArray().items;  // {name, type, length, decimals}
        const std::string name = d[0].str(), type = d[1].str();
        const int len = int(d[2].asInt());
        const bool memo = type == "M" || type == "G" || type == "P";
        const std::string alias = pos.alias;
        rt::Value data = rt::makeBlock([alias, name, memo](rt::Args a) -> rt::Value {
            if (!rt::argAt(a, 0).isNil()) {  // the cell editor writes through the block
                if (memo)  // the grid shows a memo's first line only
                    rt::raise("Los campos memo no se editan en la rejilla", "FIELDPUT");
                rt::fieldHooks().aliasPut(alias, name, a[0]);
            }
            rt::Value v = rt::fieldHooks().aliasGet(alias, name);
            if (memo && v.isChar()) {  // the first line is enough in a grid
                const std::string s = v.str();
                return rt::Value(s.substr(0, std::min(s.find('\n'), std::size_t(kMaxColumnChars))));
            }
            return v;
        });
        const int shown = memo ? 20 : type == "D" ? 10 : type == "N" || type == "F" ? len + 1 : len;
        const int chars = std::clamp(std::max<int>(int(name.size()), shown), 4, kMaxColumnChars);
        items.push_back(record(29, {{3, rt::Value(name)}, {4, data}, {9, chars}}));
    }
    const std::string title = std::string("dxc-browse - ") + file;
    rt::callWith("RK_ReadGUI", list, title);
    pos.report();
    rt::callFunction("DbCloseAll");
    return 0;
}

int runArray(long long n)
{
    Position pos;
    pos.count = n;
    rt::Value rows = rt::Value::array();
    auto& r = rows.asArray().items;
    r.reserve(std::size_t(n));
    for (long long i = 1; i <= n; ++i)
        r.push_back(rt::makeArray({i, rt::Value("Row " + std::to_string(i)), rt::Value::number(double(i) * 1.25, 2),
                                   i % 3 == 0}));
    const rt::Value list = rt::Value::array();
    auto& items = list.asArray().items;
    items.push_back(browseRecord(pos, list, {{31, rt::makeBlock([rows](rt::Args) { return rows; })}}));
    const char* captions[] = {"Number", "Text", "Amount", "Flag"};
    for (int c = 0; c < 4; ++c)
        items.push_back(record(29, {{3, rt::Value(captions[c])}, {29, c + 1}, {9, 14}}));
    rt::callWith("RK_ReadGUI", list, "dxc-browse - array");
    pos.report();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    bool edit = false, resetLayout = false;
    for (; argc > 1; --argc, ++argv) {
        const std::string flag = argv[1];
        if (flag == "--edit")
            edit = true;
        else if (flag == "--reset-layout")
            resetLayout = true;
        else
            break;
    }
    const std::string first = argc > 1 ? argv[1] : "";
    const bool array = first == "--array";
    if (argc < 2 || first == "--help" || (!array && argc != 2) || (array && argc > 3) || ((edit || resetLayout) && array)) {
        std::fprintf(stderr, "usage: dxc-browse [--edit] [--reset-layout] FILE.DBF\n       dxc-browse --array [ROWS]\n");
        return first == "--help" ? 0 : 2;
    }
    QApplication app(argc, argv);
    dbf::registerDbfFunctions();
    gui::registerGuiFunctions();
    dlg::registerDialogFunctions();
    browse::registerBrowseLibrary();
    browse::registerBrowseFeatures();
    dlg::installErrorMessageBox();
    zebra();
    if (array) {
        const long long n = argc == 3 ? std::atoll(argv[2]) : 1000;
        if (n < 0) {
            std::fprintf(stderr, "dxc-browse: ROWS must be 0 or more\n");
            return 2;
        }
        return runArray(n);
    }
    return runTable(argv[1], edit, resetLayout);
}
