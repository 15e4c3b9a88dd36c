// dxc-browse: the browse library's showcase.
//
//     dxc-browse FILE.DBF      the table in a dialog built from element records;
//                              F3 opens the query panel above it
//     dxc-browse --array [N]   an in-memory array of N rows (default 1,000)
//     dxc-browse --cards FILE.DBF  the table as owner-drawn cards
//     dxc-browse --edit FILE.DBF   the table opened for writing, edited in place
//     dxc-browse --reset-layout FILE.DBF   the designed columns, the saved layout forgotten
//     dxc-browse FILE.DBF --export OUT.DBF|OUT.CSV [--order FIELD] [--force]
//                              what the browse shows, written to a new table
//                              or CSV file, without a window
//
// The dialog holds one browse element over the table's alias (or the array)
// and one column element per field, striped in zebra colours. The grid's
// keys scroll and page (Up, Down, PgUp, PgDn, Ctrl+PgUp top, Ctrl+PgDn
// bottom, Left, Right, Home, End), as do the mouse wheel and the scroll
// bar. A left click on a header sorts by that column (text in the user's
// collation, Spanish by default), a second click on it turns the order round; header borders
// drag to resize. P prints the current position to standard output as
// "record N of M, row R of S", L the layout as "columns: CAPTION:WIDTH,
// ...; sorted: CAPTION asc|desc|none; tagged: N"; Esc or closing the window
// prints the position once more and ends the program. Rows are tagged with
// Space, Shift+Up/Down, Ctrl and Shift clicks, Shift+Insert (all) and
// Shift+Delete (none); Ctrl+C copies the tagged rows (or the current one)
// as tab-separated text. With --edit, Enter edits the current cell, Insert
// appends a record and Delete deletes the current one; without it the
// table is opened read-only. Ctrl+Shift+Left/Right move the current column,
// a heading double-click fits a column to its widest value (and back); the
// column order and widths of a table are kept for the next time.
//
// --export walks the browse (the offscreen platform stands in for the
// screen) from top to bottom and writes every row it shows, in its order:
// a .DBF through RK_Browse2Dbf with the source's structure, a .CSV with a
// header line (RFC 4180, UTF-8). --order FIELD first orders the table by
// that field as a header click does (text in Spanish order). An
// existing OUT is replaced only with --force; the file appears complete or
// not at all. Exit status: 0 done, 1 the table could not be opened or
// written, 2 usage.
#include "interaction.h"

#include "browse/addons/addons.h"
#include "browse/columns/column.h"
#include "browse/columns/column_sort.h"
#include "browse/core/browse.h"
#include "browse/features/features.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/panel.h"
#include "platform/dialog/library.h"
#include "platform/dialog/slots.h"
#include "platform/grid/column.h"
#include "platform/gui/color.h"
#include "platform/gui/display.h"
#include "platform/gui/events.h"
#include "platform/gui/presparam.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <QApplication>
#include <QSaveFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>


namespace {

namespace fs = std::filesystem;

// --export and its options; out empty: the window.
struct Export {
    std::string out, order;
    bool force = false;
    bool said = false;  // a message was said on standard error
    int status = 0;
};

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
    rt::Value queryStart;  // shows the query panel (F3)
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
        line += "; tagged: " + std::to_string(dxcb::taggedRows(browse));
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
rt::Value browseRecord(Position& pos, const rt::Value& list, std::initializer_list<std::pair<int, rt::Value>> values,
                       bool edit = false)
{
    rt::Value r = record(dlg::type::Browse, values);
    dxcb::enableInteraction(r, edit, pos.alias.empty());
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
            else if (key == gui::key::F1 + 2 && pos.queryStart.isBlock())
                rt::evalWith(pos.queryStart);
            else
                dxcb::interactionKey(pos.browse, key);
        }));
    });
    return r;
}

// The name of an order of the table over the field (its key the field, or
// the field upper-cased), for the query panel's index scope; "" for none.
std::string orderOver(dbf::WorkArea& area, const std::string& field)
{
    for (int n = 1; n <= area.orderCount(); ++n) {
        const std::string key = rt::upper(rt::alltrim(area.order(n).spec().key));
        if (key == field || key == "UPPER(" + field + ")")
            return area.order(n).name();
    }
    return {};
}

// The query panel over the table's text, numeric and date fields, shown by
// F3. Each item names its field by position: a field's name is the file's
// text and is only shown.
rt::Value addQueryPanel(Position& pos, const rt::Value& list, const rt::Value& holder)
{
    dbf::WorkArea* area = dbf::findArea(pos.alias);
    rt::Value items = rt::Value::array();
    const auto& fields = area->table().fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const dbf::Field& f = fields[i];
        if (f.type == 'C' || f.type == 'N' || f.type == 'F' || f.type == 'D')
            items.asArray().items.push_back(rt::makeArray(
                {rt::Value(f.name), rt::Value(std::int64_t(i + 1)), "", rt::Value(orderOver(*area, rt::upper(f.name)))}));
    }
    rt::Value query = rt::callFunction("RK_BrowseQuery");
    query = rt::sendWith(query, "new", list);
    rt::setMember(query, "queryArray", items);
    rt::setMember(query, "staticWidth", kBrowseCols);
    // Four entries a column, narrow enough for three columns beside the buttons.
    rt::setMember(query, "staticHeight", 5);
    rt::setMember(query, "saySize", 11);
    rt::setMember(query, "maxGetWidth", 18);
    rt::setMember(query, "bgColor", gui::makeRgbColor(236, 236, 236));
    const rt::Value browseAnchor = rt::makeBlock([&pos](rt::Args) { return pos.browse; });
    rt::sendWith(query, "buildGets", browseAnchor, holder);
    pos.queryStart = rt::getMember(query, "startBlock");
    return query;
}

// --order FIELD: the table's view ordered as a header click orders it.
bool orderBy(const std::string& alias, const std::string& field)
{
    dbf::WorkArea* area = dbf::findArea(alias);
    const int i = area ? area->table().fieldIndex(rt::upper(field)) : -1;
    if (i < 0) {
        std::fprintf(stderr, "dxc-browse: --order: the table has no field %s\n", field.c_str());
        return false;
    }
    // The field by its position, as a header click orders it: its name is
    // never compiled.
    dbf::OrderSpec spec{"DXCORDER", "field " + std::to_string(i + 1), "", false, false};
    spec.field = i;
    spec.fold = dbf::KeyFold::Collate;
    area->createOrder(std::move(spec));
    area->goTop();
    return true;
}

bool writeCsv(const rt::Value& browse, const rt::Value& structure, const dbf::Table& table, const fs::path& out)
{
    std::vector<std::string> names;
    for (const rt::Value& f : structure.asArray().items)
        names.push_back(f.asArray().items[0].str());
    QSaveFile file(QString::fromStdString(out.string()));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const auto put = [&file](const std::string& text) { file.write(text.data(), qint64(text.size())); };
    put(addons::csvHeader(names));
    // Each cell as dump writes it: a value the record does not store (a
    // blank number, a "?" logical) is an empty cell, not the 0 or false the
    // column reads; a character field's fixed width is padding, not data,
    // and its blanks go; a memo keeps its own. The walk leaves the table on
    // the row's record, and the columns are the fields in order.
    std::vector<rt::Value> cells;
    addons::walkBrowse(browse, [&put, &cells, &table](const std::vector<rt::Value>& row) {
        cells.assign(row.begin(), row.end());
        for (std::size_t i = 0; i < cells.size() && i < table.fields().size(); ++i) {
            rt::Value& v = cells[i];
            const bool text = std::string_view("CVQ").find(table.fields()[i].type) != std::string_view::npos;
            if (!text && table.isEmpty(int(i)))
                v = rt::Value();
            else if (text && v.isChar() && !v.asString().empty() && v.asString().back() == ' ')
                v = rt::Value(rt::rtrim(v.asString()));
        }
        put(addons::csvLine(cells));
    });
    return file.commit();  // a failed write leaves no file and the old one as it was
}

// Runs the export inside the read, once the browse exists, then ends the read.
int exportTable(Export& job, const rt::Value& list, const std::string& title, Position& pos)
{
    const fs::path out(job.out);
    if (fs::exists(out) && !job.force) {
        std::fprintf(stderr, "dxc-browse: %s exists (--force replaces it)\n", job.out.c_str());
        return 1;
    }
    if (!job.order.empty() && !orderBy(pos.alias, job.order))
        return 2;
    const rt::Value structure = rt::callFunction("DbStruct");
    job.status = 1;
    const rt::Value created = rt::makeBlock([&job, &pos, list, structure, out](rt::Args) {
        QTimer::singleShot(0, [&job, &pos, list, structure, out] {
            rt::Error err("");
            const bool csv = rt::upper(out.extension().string()) == ".CSV";
            bool written = false;
            if (rt::guarded([&] {
                    written = csv ? writeCsv(pos.browse, structure, dbf::findArea(pos.alias)->table(), out)
                                  : addons::browse2Dbf(pos.browse, job.out, structure);
                }, &err) && written)
                job.status = 0;
            else
                std::fprintf(stderr, "dxc-browse: cannot write %s%s%s\n", job.out.c_str(),
                             err.description.empty() ? "" : ": ", err.description.empty() ? "" : err.message().c_str());
            dlg::readGuiEvent(5, list);
        });
    });
    rt::callWith("RK_ReadGUI", list, title, rt::Value(), rt::Value(), rt::Value(), rt::Value(), created);
    rt::callFunction("DbCloseAll");
    if (job.said && job.status == 0) {
        // The rows may lack what the message was about: no file stands as the export.
        std::error_code ec;
        fs::remove(out, ec);
        job.status = 1;
    }
    return job.status;
}

// Opens the table shared, read-only unless `write`; false (said on stderr)
// when it cannot.
bool openTable(const char* file, Position& pos, bool write = false)
{
    rt::Error err("");
    if (!rt::guarded([&] { rt::callWith("DbUseArea", true, "FOXCDX", file, rt::Value(), true, !write); }, &err)) {
        std::fprintf(stderr, "dxc-browse: %s\n", err.message().c_str());
        return false;
    }
    pos.alias = rt::callFunction("Alias").str();
    pos.count = rt::callFunction("LastRec").asInt();
    return true;
}

int runTable(const char* file, Export& job, bool edit, bool resetLayout)
{
    Position pos;
    if (!openTable(file, pos, edit))
        return 1;

    const rt::Value list = rt::Value::array();
    auto& items = list.asArray().items;
    // The browse sits in a static that also holds the query panel.
    auto holder = std::make_shared<rt::Value>();
    const rt::Value holderAnchor = dlg::getAnchorCB([holder] { return *holder; }, [holder](const rt::Value& v) { *holder = v; });
    items.push_back(record(dlg::type::Static, {{dlg::slot::Row, 0}, {dlg::slot::Col, 0}, {dlg::slot::Width, kBrowseCols},
                                               {dlg::slot::Height, kBrowseRows}, {dlg::slot::Anchor, holderAnchor}}));
    items.push_back(browseRecord(pos, list, {{dlg::slot::Alias, rt::Value(pos.alias)}, {dlg::slot::ParentAnchor, holderAnchor}},
                                 edit));
    if (job.out.empty())
        dxcb::keepLayout(items.back(), file, resetLayout);
    const auto& fields = dbf::findArea(pos.alias)->table().fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        // Fields go by position: a name may be anything a file holds.
        const std::string name = fields[i].name, type(1, fields[i].type);
        const int len = fields[i].len, field = int(i);
        const bool memo = type == "M" || type == "G" || type == "P";
        const std::string alias = pos.alias;
        rt::Value data = rt::makeBlock([alias, field, memo](rt::Args a) -> rt::Value {
            dbf::WorkArea* area = dbf::findArea(alias);
            if (!area)
                rt::raiseNoAlias("dxc-browse", {rt::Value(alias)});
            if (!rt::argAt(a, 0).isNil()) {  // the cell editor writes through the block
                if (memo)  // the grid shows a memo's first line only
                    rt::raise("Los campos memo no se editan en la rejilla", "FIELDPUT");
                area->fieldPut(field, a[0]);
            }
            rt::Value v = area->fieldGet(field);
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
            sortable(col, browse::aliasFieldSortBlock(field + 1));
        items.push_back(col);
    }
    const std::string title = std::string("dxc-browse - ") + file;
    const rt::Value query = job.out.empty() ? addQueryPanel(pos, list, holderAnchor) : rt::Value();
    if (!job.out.empty())
        return exportTable(job, list, title, pos);
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

constexpr const char* kUsage = "usage: dxc-browse [--edit] [--reset-layout] FILE.DBF\n"
                               "       dxc-browse --array [ROWS]\n"
                               "       dxc-browse --cards FILE.DBF\n"
                               "       dxc-browse FILE.DBF --export OUT.DBF|OUT.CSV [--order FIELD] [--force]\n";

constexpr const char* kHelp =
    "Shows a DBF table (or an array) in the browse library's grid.\n"
    "\n"
    "Options:\n"
    "  --edit            open the table for writing and edit it in place\n"
    "                    (without it the table is opened read-only)\n"
    "  --reset-layout    start from the designed columns; forget the saved\n"
    "                    column order and widths of this table\n"
    "  --array [ROWS]    an in-memory array of ROWS rows (default 1,000)\n"
    "  --cards FILE.DBF  the table as owner-drawn cards with their pictures\n"
    "  --export OUT      write what the browse shows to OUT.DBF (the table's\n"
    "                    structure) or OUT.CSV (RFC 4180, UTF-8, dates\n"
    "                    yyyy-mm-dd, logicals true/false), without a window\n"
    "  --order FIELD     with --export: order the rows by FIELD first, as a\n"
    "                    header click does\n"
    "  --force           with --export: replace an existing OUT\n"
    "  --help            this text\n"
    "\n"
    "Keys:\n"
    "  Up, Down, PgUp, PgDn, Ctrl+PgUp, Ctrl+PgDn, Left, Right, Home, End, the\n"
    "  mouse wheel and the scroll bar move; P prints the position, L the\n"
    "  layout; Esc ends.\n"
    "  Sorting: a left click on a heading sorts by it, a second click turns\n"
    "  the order round; a heading border drags to resize, a double click on\n"
    "  a heading fits the column to its widest value (and back).\n"
    "  Columns: Ctrl+Shift+Left and Ctrl+Shift+Right move the current column.\n"
    "  Tagging: Space, Shift+Up, Shift+Down, Ctrl+click, Shift+click (a\n"
    "  range), Shift+Insert (all), Shift+Delete (none); a plain click clears.\n"
    "  Copy: Ctrl+C copies the tagged rows (or the current one) as\n"
    "  tab-separated text with a header line.\n"
    "  Editing (--edit): Enter edits the current cell, Enter or Tab writes\n"
    "  it, Esc leaves the record as it was; Insert appends a record, Delete\n"
    "  deletes the current one after a question.\n"
    "  F3 opens the query panel: one entry per text, numeric and date field;\n"
    "  Find keeps the matching records, Clear shows all again, Done closes.\n"
    "\n"
    "Exit status: 0 done; 1 the table could not be read, OUT not written, or\n"
    "no display; 2 usage (an unknown --order field included).\n";

// dxc-browse FILE.DBF --export OUT [--order FIELD] [--force]; false for a usage error.
bool parseExport(int argc, char** argv, Export& job)
{
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--export" || a == "--order") && i + 1 < argc)
            (a == "--export" ? job.out : job.order) = argv[++i];
        else if (a == "--force")
            job.force = true;
        else
            return false;
    }
    if (job.out.empty())
        return false;
    const std::string ext = rt::upper(fs::path(job.out).extension().string());
    return ext == ".DBF" || ext == ".CSV";
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
    const bool cards = first == "--cards";
    Export job;
    const bool exporting = !array && !cards && argc > 2 && parseExport(argc, argv, job);
    if (argc < 2 || first == "--help" || (!array && !cards && argc != 2 && !exporting) || (array && argc > 3) ||
        (cards && argc != 3) || ((edit || resetLayout) && (array || cards || exporting))) {
        std::fputs(kUsage, first == "--help" ? stdout : stderr);
        if (first == "--help")
            std::fputs(kHelp, stdout);
        return first == "--help" ? 0 : 2;
    }
    if (exporting)  // no window is needed: the browse walks its rows offscreen
        qputenv("QT_QPA_PLATFORM", "offscreen");
    else if (!gui::displayAvailable()) {
        std::fputs("dxc-browse: no display: set DISPLAY or use --export\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    dbf::registerDbfFunctions();
    // Deleted records are gone for the user: neither shown nor exported.
    dbf::setDeletedHidden(true);
    gui::registerGuiFunctions();
    dlg::registerDialogFunctions();
    browse::registerBrowseLibrary();
    browse::registerBrowseFeatures();
    addons::registerAddons();
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
    if (exporting) {
        // Nobody would see a message box: what needs a user's answer is said
        // on standard error, and the export fails.
        dlg::setMessageSink([&job](const dlg::Message& m) {
            std::fprintf(stderr, "dxc-browse: %s%s%s\n", m.title.c_str(), m.title.empty() ? "" : ": ", m.text.c_str());
            job.said = true;
        });
    }
    // An error nothing caught ends the program with its message, not an abort.
    rt::Error err("");
    int status = 1;
    if (!rt::guarded([&] { status = cards ? runCards(argv[2]) : runTable(argv[1], job, edit, resetLayout); }, &err))
        std::fprintf(stderr, "dxc-browse: %s\n", err.message().c_str());
    return status;
}
