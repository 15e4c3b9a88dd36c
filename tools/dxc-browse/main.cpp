// dxc-browse: the browse library's showcase.
//
//     dxc-browse FILE.DBF      the table in a dialog built from element records;
//                              F3 opens the query panel above it
//     dxc-browse --array [N]   an in-memory array of N rows (default 1,000)
//     dxc-browse FILE.DBF --export OUT.DBF|OUT.CSV [--order FIELD] [--force]
//                              what the browse shows, written to a new table
//                              or CSV file, without a window
//
// The dialog holds one browse element over the table's alias (or the array)
// and one column element per field, striped in zebra colours. The grid's
// keys scroll and page (Up, Down, PgUp, PgDn, Ctrl+PgUp top, Ctrl+PgDn
// bottom, Left, Right, Home, End), as do the mouse wheel and the scroll
// bar. P prints the current position to standard output as "record N of M,
// row R of S"; Esc or closing the window prints it once more and ends the
// program.
//
// --export walks the browse (the offscreen platform stands in for the
// screen) from top to bottom and writes every row it shows, in its order:
// a .DBF through RK_Browse2Dbf with the source's structure, a .CSV with a
// header line (RFC 4180, UTF-8). --order FIELD first orders the table by
// that field as a header click does (text without regard to case). An
// existing OUT is replaced only with --force; the file appears complete or
// not at all. Exit status: 0 done, 1 the table could not be opened or
// written, 2 usage.
#include "browse/addons/addons.h"
#include "browse/core/browse.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/panel.h"
#include "platform/dialog/library.h"
#include "platform/gui/color.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <QApplication>

#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// --export and its options; out empty: the window.
struct Export {
    std::string out, order;
    bool force = false;
    int status = 0;
};

constexpr int kMaxColumnChars = 40;
constexpr double kBrowseRows = 30;
constexpr double kBrowseCols = 110;

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
            else if (key == gui::key::F1 + 2 && pos.queryStart.isBlock())
                rt::evalWith(pos.queryStart);
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

// The query panel over the table's text, numeric and date fields, shown by F3.
rt::Value addQueryPanel(Position& pos, const rt::Value& list, const rt::Value& structure, const rt::Value& holder)
{
    dbf::WorkArea* area = dbf::findArea(pos.alias);
    rt::Value items = rt::Value::array();
    for (const rt::Value& f : structure.asArray().items) {
        const std::string name = f.asArray().items[0].str(), type = f.asArray().items[1].str();
        if (type == "C" || type == "N" || type == "F" || type == "D")
            items.asArray().items.push_back(
                rt::makeArray({rt::Value(name), rt::Value(name), "", rt::Value(area ? orderOver(*area, name) : "")}));
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
    const dbf::Field& f = area->table().fields()[std::size_t(i)];
    // The name comes from the table's own structure, so it is safe in a key.
    const std::string key = f.type == 'C' || f.type == 'M' ? "Upper(" + f.name + ")" : f.name;
    area->createOrder(dbf::OrderSpec{"DXCORDER", key, "", false, false});
    area->goTop();
    return true;
}

bool writeCsv(const rt::Value& browse, const rt::Value& structure, const fs::path& out)
{
    std::vector<std::string> names;
    for (const rt::Value& f : structure.asArray().items)
        names.push_back(f.asArray().items[0].str());
    const fs::path temp = out.parent_path() / (".~" + out.filename().string() + "." + std::to_string(::getpid()));
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file << addons::csvHeader(names);
    addons::walkBrowse(browse, [&file](const std::vector<rt::Value>& row) { file << addons::csvLine(row); });
    file.close();
    if (!file) {
        std::error_code ec;
        fs::remove(temp, ec);
        return false;
    }
    fs::rename(temp, out);
    return true;
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
                    written = csv ? writeCsv(pos.browse, structure, out)
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
    return job.status;
}

int runTable(const char* file, Export& job)
{
    Position pos;
    rt::Error err("");
    if (!rt::guarded([&] { rt::callWith("DbUseArea", true, "FOXCDX", file, rt::Value(), true, true); }, &err)) {
        std::fprintf(stderr, "dxc-browse: %s\n", err.message().c_str());
        return 1;
    }
    pos.alias = rt::callFunction("Alias").str();
    pos.count = rt::callFunction("LastRec").asInt();

    const rt::Value list = rt::Value::array();
    auto& items = list.asArray().items;
    // The browse sits in a static that also holds the query panel.
    auto holder = std::make_shared<rt::Value>();
    const rt::Value holderAnchor = dlg::getAnchorCB([holder] { return *holder; }, [holder](const rt::Value& v) { *holder = v; });
    items.push_back(record(dlg::type::Static, {{dlg::slot::Row, 0}, {dlg::slot::Col, 0}, {dlg::slot::Width, kBrowseCols},
                                               {dlg::slot::Height, kBrowseRows}, {dlg::slot::Anchor, holderAnchor}}));
    items.push_back(browseRecord(pos, list, {{dlg::slot::Alias, rt::Value(pos.alias)}, {dlg::slot::ParentAnchor, holderAnchor}}));
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
        items.push_back(record(dlg::type::Column, {{dlg::slot::Caption, rt::Value(name)}, {dlg::slot::DataBlock, data}, {dlg::slot::Width, chars}}));
    }
    const std::string title = std::string("dxc-browse - ") + file;
    const rt::Value query = job.out.empty() ? addQueryPanel(pos, list, structure, holderAnchor) : rt::Value();
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
    items.push_back(browseRecord(pos, list, {{dlg::slot::DataSource, rt::makeBlock([rows](rt::Args) { return rows; })}}));
    const char* captions[] = {"Number", "Text", "Amount", "Flag"};
    for (int c = 0; c < 4; ++c)
        items.push_back(record(dlg::type::Column, {{dlg::slot::Caption, rt::Value(captions[c])}, {dlg::slot::ArrayPointer, c + 1}, {dlg::slot::Width, 14}}));
    rt::callWith("RK_ReadGUI", list, "dxc-browse - array");
    pos.report();
    return 0;
}

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
    const std::string first = argc > 1 ? argv[1] : "";
    const bool array = first == "--array";
    Export job;
    const bool exporting = !array && argc > 2 && parseExport(argc, argv, job);
    if (argc < 2 || first == "--help" || (!array && argc != 2 && !exporting) || (array && argc > 3)) {
        std::fprintf(stderr, "usage: dxc-browse FILE.DBF\n       dxc-browse --array [ROWS]\n"
                             "       dxc-browse FILE.DBF --export OUT.DBF|OUT.CSV [--order FIELD] [--force]\n");
        return first == "--help" ? 0 : 2;
    }
    if (exporting)  // no window is needed: the browse walks its rows offscreen
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    dbf::registerDbfFunctions();
    gui::registerGuiFunctions();
    dlg::registerDialogFunctions();
    browse::registerBrowseLibrary();
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
    return runTable(argv[1], job);
}
