// dxc-browse: the browse library's showcase.
//
//     dxc-browse FILE.DBF      the table in a dialog built from element records
//     dxc-browse --array [N]   an in-memory array of N rows (default 1,000)
//
// The dialog holds one browse element over the table's alias (or the array)
// and one column element per field, striped in zebra colours. The grid's
// keys scroll and page (Up, Down, PgUp, PgDn, Ctrl+PgUp top, Ctrl+PgDn
// bottom, Left, Right, Home, End), as do the mouse wheel and the scroll
// bar. A left click on a header sorts by that column (text without regard
// to case), a second click on it turns the order round; header borders
// drag to resize. P prints the current position to standard output as
// "record N of M, row R of S", L the layout as "columns: CAPTION:WIDTH,
// ...; sorted: CAPTION asc|desc|none"; Esc or closing the window prints
// the position once more and ends the program. Exit status: 0 done, 1 the
// table could not be opened, 2 usage.
#include "browse/columns/column.h"
#include "browse/columns/column_sort.h"
#include "browse/core/browse.h"

#include "platform/dbf/dbf.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/library.h"
#include "platform/gui/color.h"
#include "platform/dialog/slots.h"
#include "platform/grid/column.h"
#include "platform/gui/events.h"
#include "platform/gui/presparam.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>
#include <string>

namespace {

constexpr int kMaxColumnChars = 40;
constexpr double kBrowseRows = 30;
constexpr double kBrowseCols = 110;
constexpr int kLinesRowHeight = 52;  // three text lines of the multi-line column
constexpr int kCardHeight = 48;      // a card: two text lines beside its picture
constexpr int kCardPicture = 40;

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

    // Captions in display order with their widths in pixels, and the
    // column the rows are sorted by.
    void layout() const
    {
        const browse::RK_XbpBrowse* b = browse::asRkBrowse(browse);
        if (!b)
            return;
        std::string line = "columns: ";
        for (int i = 1; i <= b->colCount(); ++i) {
            const gui::XbpColumn* c = b->columnAt(i);
            line += (i > 1 ? ", " : "") + captionOf(c) + ":" + std::to_string(c->width());
        }
        const long long sorted = b->sortColumn.isNum() ? b->sortColumn.asInt() : 0;
        line += "; sorted: ";
        if (sorted >= 1 && sorted <= b->colCount())
            line += captionOf(b->columnAt(int(sorted))) + (rt::isTrue(b->descending) ? " desc" : " asc");
        else
            line += "none";
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }

    static std::string captionOf(const gui::XbpColumn* c)
    {
        const auto* rk = dynamic_cast<const browse::RK_XbpColumn*>(c);
        return rk && rk->headerCaption.isChar() ? rk->headerCaption.str() : std::string();
    }
};

rt::Value record(int type, std::initializer_list<std::pair<int, rt::Value>> values)
{
    rt::Value r = dlg::getTemplate(type);
    for (const auto& [slot, value] : values)
        r.asArray().items[std::size_t(slot) - 1] = value;
    return r;
}

// A left click on the header sorts; the rows are not sorted at start.
void sortable(const rt::Value& column, const rt::Value& sortBlock)
{
    rt::Value& options = column.asArray().items[dlg::index(dlg::slot::Options)];
    if (!options.isArray())
        options = rt::Value::array(dlg::kColumnOptions);
    options.asArray().items.resize(std::max<std::size_t>(options.asArray().size(), dlg::kColumnOptions));
    auto& o = options.asArray().items;
    o[dlg::index(dlg::columnOption::SortBlock)] = sortBlock;
    o[dlg::index(dlg::columnOption::SortOnLeftClick)] = true;
    o[dlg::index(dlg::columnOption::SortDefault)] = false;
}

// Zebra stripes for every browse built afterwards: {fg, bg} of the first
// stripe, then of the second.
void zebra()
{
    rt::callWith("RK_BrowseColor", rt::makeArray({gui::clr::Black, gui::makeRgbColor(255, 255, 255),
                                                  gui::clr::Black, gui::makeRgbColor(228, 238, 250)}));
    // The sorted column's header: dark blue on pale yellow.
    rt::callWith("RK_BrowseSort", rt::makeArray({gui::makeRgbColor(0, 0, 128), gui::makeRgbColor(255, 244, 196)}));
}

// The browse element: its anchor block (slot 28) gets the browse once it is
// built; P reports, Esc ends the read.
rt::Value browseRecord(Position& pos, const rt::Value& list, std::initializer_list<std::pair<int, rt::Value>> values)
{
    rt::Value r = record(dlg::type::Browse, values);
    auto& s = r.asArray().items;
    s[dlg::index(dlg::slot::Row)] = 0;
    s[dlg::index(dlg::slot::Col)] = 0;
    s[dlg::index(dlg::slot::Width)] = kBrowseCols;
    s[dlg::index(dlg::slot::Height)] = kBrowseRows;
    s[dlg::index(dlg::slot::Anchor)] = rt::makeBlock([&pos, list](rt::Args a) {
        if (a.empty() || !a[0].isObject())
            return;
        pos.browse = a[0];
        rt::setMember(pos.browse, "keyboard", rt::makeBlock([&pos, list](rt::Args k) {
            const long long key = rt::argAt(k, 0).isNum() ? k[0].asInt() : 0;
            if (key == gui::key::Esc)
                dlg::readGuiEvent(5, list);
            else if (key == 'p' || key == 'P')
                pos.report();
            else if (key == 'l' || key == 'L')
                pos.layout();
        }));
    });
    return r;
}

// Opens the table shared and read-only; false (said on stderr) when it cannot.
bool openTable(const char* file, Position& pos)
{
    rt::Error err("");
    if (!rt::guarded([&] { rt::callWith("DbUseArea", true, "FOXCDX", file, rt::Value(), true, true); }, &err)) {
        std::fprintf(stderr, "dxc-browse: %s\n", err.message().c_str());
        return false;
    }
    pos.alias = rt::callFunction("Alias").str();
    pos.count = rt::callFunction("LastRec").asInt();
    return true;
}

int runTable(const char* file)
{
    Position pos;
    if (!openTable(file, pos))
        return 1;

    const rt::Value list = rt::Value::array();
    auto& items = list.asArray().items;
    items.push_back(browseRecord(pos, list, {{dlg::slot::Alias, rt::Value(pos.alias)}}));
    const rt::Value structure = rt::callFunction("DbStruct");
    for (const rt::Value& f : structure.asArray().items) {
        const auto& d = f.asArray().items;  // {name, type, length, decimals}
        const std::string name = d[0].str(), type = d[1].str();
        const int len = int(d[2].asInt());
        const bool memo = type == "M" || type == "G" || type == "P";
        const std::string alias = pos.alias;
        rt::Value data = rt::makeBlock([alias, name, memo](rt::Args) -> rt::Value {
            rt::Value v = rt::fieldHooks().aliasGet(alias, name);
            if (memo && v.isChar()) {  // the first line is enough in a grid
                const std::string s = v.str();
                return rt::Value(s.substr(0, std::min(s.find('\n'), std::size_t(kMaxColumnChars))));
            }
            return v;
        });
        const int shown = memo ? 20 : type == "D" ? 10 : type == "N" || type == "F" ? len + 1 : len;
        const int chars = std::clamp(std::max<int>(int(name.size()), shown), 4, kMaxColumnChars);
        rt::Value col = record(dlg::type::Column, {{dlg::slot::Caption, rt::Value(name)},
                                                   {dlg::slot::DataBlock, data},
                                                   {dlg::slot::Width, chars}});
        if (!memo)
            sortable(col, browse::aliasSortBlock(name));
        items.push_back(col);
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
    items.push_back(
        browseRecord(pos, list, {{dlg::slot::DataSource, rt::makeBlock([rows](rt::Args) { return rows; })},
                                 {dlg::slot::Presentation, rt::makeArray({rt::makeArray({gui::pp::DaRowHeight, kLinesRowHeight})})}}));
    const char* captions[] = {"Number", "Text", "Amount", "Flag"};
    for (int c = 0; c < 4; ++c) {
        rt::Value col = record(dlg::type::Column, {{dlg::slot::Caption, rt::Value(captions[c])},
                                                   {dlg::slot::ArrayPointer, c + 1},
                                                   {dlg::slot::Width, 14}});
        sortable(col, browse::arraySortBlock(c + 1));
        items.push_back(col);
    }
    // A multi-line column: three lines of the row in one cell.
    const auto line = [&pos, rows](int n) {
        return rt::makeBlock([&pos, rows, n](rt::Args) -> rt::Value {
            const rt::Value e = pos.browse.isObject() ? rt::getMember(pos.browse, "arrayElement") : rt::Value();
            const auto& r = rows.asArray().items;
            if (!e.isNum() || e.asInt() < 1 || std::size_t(e.asInt()) > r.size())
                return {};
            const auto& row = r[std::size_t(e.asInt()) - 1].asArray().items;
            if (n == 1)
                return row[1];
            if (n == 2)
                return rt::Value("Amount " + rt::var2char(row[2]));
            return rt::Value(std::string("Flag ") + (rt::isTrue(row[3]) ? "yes" : "no"));
        });
    };
    items.push_back(record(dlg::type::Column, {{dlg::slot::Caption, rt::Value("Lines")},
                                               {dlg::slot::DataBlock, rt::makeArray({line(1), line(2), line(3)})},
                                               {dlg::slot::Width, 18}}));
    rt::callWith("RK_ReadGUI", list, "dxc-browse - array");
    pos.report();
    return 0;
}

// --- the owner-drawn cards

// The picture a record names: a field value ending in a picture extension,
// a plain file name inside the table's folder (a name with a path in it is
// ignored, so data never reaches outside the folder).
std::string pictureOf(const std::string& alias, const std::vector<std::string>& fields, const std::filesystem::path& dir)
{
    for (const std::string& f : fields) {
        const rt::Value v = rt::fieldHooks().aliasGet(alias, f);
        if (!v.isChar())
            continue;
        const std::string name = rt::alltrim(v.asString());
        const std::string upper = rt::upperAscii(name);
        const bool picture = upper.size() > 4 && (upper.ends_with(".JPG") || upper.ends_with(".PNG") ||
                                                  upper.ends_with(".BMP") || upper.ends_with(".GIF"));
        if (!picture || name.find_first_of("/\\:") != std::string::npos || name.starts_with("."))
            continue;
        const std::filesystem::path p = dir / name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(p, ec))
            return p.string();
    }
    return {};
}

int runCards(const char* file)
{
    Position pos;
    if (!openTable(file, pos))
        return 1;
    std::vector<std::string> texts;
    const rt::Value structure = rt::callFunction("DbStruct");
    for (const rt::Value& f : structure.asArray().items)
        if (f.asArray().items[1].str() == "C")
            texts.push_back(f.asArray().items[0].str());
    const std::filesystem::path dir = std::filesystem::absolute(file).parent_path();

    // The dialog reader makes the owner-drawn browse for the browse element.
    rt::registerFunction("RK_XbpBrowse", [](rt::Args) { return rt::callFunction("RK_XbpOwnerDrawBrowseGeneric"); });
    const rt::Value list = rt::Value::array();
    auto& items = list.asArray().items;
    const rt::Value pres = rt::makeArray({rt::makeArray({gui::pp::DaRowHeight, kCardHeight}),
                                          rt::makeArray({gui::pp::DaCellHeight, kCardHeight})});
    items.push_back(browseRecord(pos, list, {{dlg::slot::Alias, rt::Value(pos.alias)}, {dlg::slot::Presentation, pres}}));
    const std::string alias = pos.alias;
    const rt::Value card = rt::makeBlock([alias, texts, dir](rt::Args) -> rt::Value {
        std::vector<rt::Value> lines;
        const std::string picture = pictureOf(alias, texts, dir);
        const int x = picture.empty() ? 5 : kCardPicture + 10;
        if (!picture.empty())
            lines.push_back(rt::makeArray({rt::Value(picture), 5, 4, kCardPicture, kCardPicture}));
        const auto text = [&](std::size_t i) {
            return i < texts.size() ? rt::Value(rt::rtrim(rt::fieldHooks().aliasGet(alias, texts[i]).str()))
                                    : rt::Value("");
        };
        lines.push_back(rt::makeArray({text(0), x, 4, {}, {}, "10.Tahoma Bold"}));
        lines.push_back(rt::makeArray({text(1), x, 24}));
        return rt::makeArray(std::move(lines));
    });
    items.push_back(record(dlg::type::Column, {{dlg::slot::Caption, rt::Value("Cards")},
                                               {dlg::slot::DataBlock, card},
                                               {dlg::slot::Width, 60}}));
    const std::string title = std::string("dxc-browse - cards - ") + file;
    rt::callWith("RK_ReadGUI", list, title);
    pos.report();
    rt::callFunction("DbCloseAll");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string first = argc > 1 ? argv[1] : "";
    const bool array = first == "--array";
    const bool cards = first == "--cards";
    if (argc < 2 || first == "--help" || (!array && !cards && argc != 2) || (array && argc > 3) ||
        (cards && argc != 3)) {
        std::fprintf(stderr, "usage: dxc-browse FILE.DBF\n       dxc-browse --array [ROWS]\n"
                             "       dxc-browse --cards FILE.DBF\n");
        return first == "--help" ? 0 : 2;
    }
    QApplication app(argc, argv);
    dbf::registerDbfFunctions();
    gui::registerGuiFunctions();
    dlg::registerDialogFunctions();
    browse::registerBrowseLibrary();
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
    if (cards)
        return runCards(argv[2]);
    return runTable(argv[1]);
}
