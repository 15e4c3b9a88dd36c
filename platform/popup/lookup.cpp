// xbPopBrowse: a modal lookup over a table. A search field with
// seek-as-you-type above a browse of the table's rows, optional filter check
// boxes and a picture of the current row; Enter or a double click chooses.
//
// The dialog is an ordinary element list run by RK_ReadGUI. Its blocks share
// one LookupState; the list holds them, and the list is emptied when the
// lookup ends, so nothing outlives it.
#include "platform/popup/popup.h"
#include "platform/popup/records.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/layout.h"
#include "platform/dialog/library.h"
#include "platform/grid/browse.h"
#include "platform/gui/events.h"
#include "platform/gui/xbppart.h"
#include "platform/pgsql/dataobject.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <QLabel>

#include <algorithm>
#include <memory>

namespace popup {

namespace {

using detail::set;

// Layout of the lookup, in text units.
constexpr double kSearchChars = 30;
constexpr double kPictureCols = 14;
constexpr double kPictureRows = 6;
constexpr double kButtonCols = 10;
constexpr double kButtonRows = 1.3;

struct ColumnDef {
    std::string expr;
    std::string header;
    double width;
    std::string picture;
};

struct Condition {
    rt::Value column;
    rt::Value value;
    bool on;
};

struct LookupState {
    rt::Value data;
    rt::Value getList;  // emptied when the lookup ends: no cycle survives it
    gui::WeakPart browse;
    gui::WeakPart picture;
    gui::WeakPart notice;  // "No se encontró ..." beside the search field
    rt::Value search = rt::Value(std::string(std::size_t(kSearchChars), ' '));
    std::vector<Condition> conditions;
};
using State = std::shared_ptr<LookupState>;

// --- the data object

std::vector<ColumnDef> columnDefs(const rt::Value& aCols, const std::string& cField)
{
    std::vector<ColumnDef> out;
    if (aCols.isArray())
        for (const rt::Value& c : aCols.asArray().items) {
            const rt::Value& expr = rt::entryOf(c, 1);
            if (!expr.isChar() || rt::alltrim(expr.asString()).empty())
                continue;
            const rt::Value& width = rt::entryOf(c, 3);
            out.push_back({rt::alltrim(expr.asString()), rt::entryOf(c, 2).isChar() ? rt::entryOf(c, 2).str() : "",
                           width.isNum() && width.asDouble() > 0 ? width.asDouble() : 10.0,
                           rt::entryOf(c, 4).isChar() ? rt::entryOf(c, 4).str() : ""});
        }
    if (out.empty())
        out.push_back({cField, rt::upper(detail::memberName(cField)), 10.0, ""});
    return out;
}

// The column list of the data object: the lookup's columns, then the
// table's recno and the returned field when they are missing.
std::string columnList(const std::vector<ColumnDef>& cols, const std::string& table, const std::string& cField)
{
    std::string list;
    bool hasRecno = false, hasField = false;
    const std::string field = detail::memberName(cField);
    for (const ColumnDef& c : cols) {
        list += (list.empty() ? "" : ",") + c.expr;
        hasRecno |= detail::memberName(c.expr) == "recno";
        hasField |= detail::memberName(c.expr) == field;
    }
    if (!hasRecno)
        list += "," + table + ".recno";
    if (!hasField)
        list += "," + (cField.find('.') == std::string::npos ? table + "." + cField : cField);
    return list;
}

rt::Value openData(const rt::Value& oConn, const std::string& table, const std::string& columns,
                   const std::string& order, const rt::Value& picCol)
{
    const pgsql::DataObject::Settings settings{.connection = oConn,
                                               .table = table,
                                               .columns = columns,
                                               .order = order,
                                               .startRow = 1,
                                               .pictureColumn = picCol.isChar() ? picCol.str() : std::string()};
    const std::vector<rt::Value> args = settings.args();
    const rt::Value cls = rt::callFunction("PGSQL", rt::Args(args.data(), args.size()));
    return rt::sendWith(cls, "new");
}

// True (and the reason shown) when the data object could not be opened:
// a lookup over nothing is no lookup.
bool dataFailed(const rt::Value& data, const std::string& table)
{
    std::string reason;
    rt::guarded([&] {
        if (!data.isObject())
            reason = "no data object";
        else if (rt::hasMember(data, "lError") && rt::isTrue(rt::getMember(data, "lError")))
            reason = rt::hasMember(data, "cError") ? rt::var2char(rt::getMember(data, "cError")) : "error";
    });
    if (!reason.empty())
        dlg::winAlert("No se pudo abrir la tabla " + table + ": " + reason, "Consulta");
    return !reason.empty();
}

// Each column at least as wide as its values (a text column holds them
// padded to its length) and its heading's lines, and one more: a width
// given for the data as it was would cut what the table holds now.
void widenToData(std::vector<ColumnDef>& cols, const rt::Value& data)
{
    for (ColumnDef& c : cols) {
        double need = 0;
        rt::guarded([&] {
            if (const rt::Value v = rt::getMember(data, detail::memberName(c.expr)); v.isChar())
                need = double(rt::utf8Length(v.asString()));
        });
        for (const std::string& line : rt::tokenize(c.header, ";"))
            need = std::max(need, double(rt::utf8Length(line)));
        c.width = std::max(c.width, need + 1.0);
    }
}

bool hasCurrentRow(const rt::Value& data)
{
    const rt::Value recno = rt::sendWith(data, "recno");
    return recno.isNum() && recno.asDouble() > 0;
}

// --- what the blocks do

void drawPicture(const State& s)
{
    const rt::Value element = s->picture.lock();
    if (!element.isObject())
        return;
    rt::Value bytes("");
    rt::guarded([&] {
        if (hasCurrentRow(s->data))
            bytes = rt::sendWith(s->data, "FieldGetPicture");
    });
    dlg::bitMapDraw(element, bytes);
}

// Runs f on the lookup's browse while it exists.
template <class F>
void onBrowse(const State& s, F f)
{
    if (const rt::Value b = s->browse.lock(); b.isObject())
        if (gui::XbpBrowse* browse = gui::asBrowse(b))
            f(*browse);
}

// The line beside the search field: what a search did not find, or nothing.
void say(const State& s, const std::string& text)
{
    const gui::XbpPart* part = gui::asPart(s->notice.lock());
    if (auto* label = part ? qobject_cast<QLabel*>(part->widget()) : nullptr) {
        label->setText(QString::fromStdString(text));
        label->adjustSize();
    }
}

void applyFilter(const State& s)
{
    rt::Value conds = rt::Value::array();
    for (const Condition& c : s->conditions)
        if (c.on)
            conds.asArray().items.push_back(rt::makeArray({c.column, c.value}));
    rt::sendWith(s->data, "SetFilter", conds);
}

// The current row is the choice: the read ends as Enter ends it.
void acceptRow(const State& s)
{
    if (s->getList.isArray())
        dlg::readGuiEvent(6, s->getList);
}

// The search field's keys: the first matching row wins.
rt::Value onSearchKey(const State& s, rt::Args a)
{
    const rt::Value& nKey = rt::argAt(a, 0);
    const rt::Value& oGet = rt::argAt(a, 2);
    if (!nKey.isNum())
        return {};
    const std::int64_t key = nKey.asInt();
    if (oGet.isObject() && rt::hasMember(oGet, "EditBuffer"))
        s->search = rt::sendWith(oGet, "EditBuffer");
    switch (key) {
    case gui::key::Enter: acceptRow(s); return {};
    case gui::key::Up: onBrowse(s, [](gui::XbpBrowse& b) { b.up(); }); break;
    case gui::key::Down: onBrowse(s, [](gui::XbpBrowse& b) { b.down(); }); break;
    case gui::key::PgUp: onBrowse(s, [](gui::XbpBrowse& b) { b.pageUp(); }); break;
    case gui::key::PgDn: onBrowse(s, [](gui::XbpBrowse& b) { b.pageDown(); }); break;
    default: {
        // Any typed character searches (not only the Latin-1 ones), as do
        // the keys that shorten the text.
        if (!((key > 31 && key < gui::key::Vk) || key == gui::key::Backspace || key == gui::key::Del))
            return {};
        const std::string text = s->search.isChar() ? rt::alltrim(s->search.asString()) : std::string();
        say(s, "");
        if (text.empty())
            return {};
        if (!rt::isTrue(rt::sendWith(s->data, "locate", rt::Value(text)))) {
            say(s, "No se encontró \"" + text + "\".");
            return {};
        }
        onBrowse(s, [](gui::XbpBrowse& b) { b.refreshWhole(); });
        break;
    }
    }
    onBrowse(s, [](gui::XbpBrowse& b) { b.stabilise(); });
    drawPicture(s);
    return {};
}

rt::Value conditionBlock(const State& s, std::size_t i)
{
    return rt::makeBlock([s, i](rt::Args a) -> rt::Value {
        if (a.empty() || !a[0].isLogical())
            return s->conditions[i].on;
        s->conditions[i].on = a[0].asBool();
        applyFilter(s);
        onBrowse(s, [](gui::XbpBrowse& b) {
            b.goTop();
            b.refreshWhole();
        });
        drawPicture(s);
        return s->conditions[i].on;
    });
}

// --- the element records

rt::Value weakAnchor(gui::WeakPart LookupState::*member, const State& s, std::function<void()> after = {})
{
    return rt::makeBlock([s, member, after](rt::Args a) -> rt::Value {
        if (a.empty())
            return ((*s).*member).lock();
        (*s).*member = gui::WeakPart::from(a[0]);
        if (after)
            after();
        return a[0];
    });
}

void appendSearch(const State& s, double width)
{
    const rt::Value& list = s->getList;
    detail::push(list, 12, 1, "xbPopBrowse");
    set(list, dlg::slot::Caption, "Buscar:");
    set(list, dlg::slot::Row, 0.4);
    set(list, dlg::slot::Col, 0.5);
    const int label = int(list.asArray().size());

    const double cols = std::min(kSearchChars, std::max(8.0, width - 9.0)) + dlg::kEntryMarginCols;
    detail::push(list, 2, 0, "xbPopBrowse");
    set(list, dlg::slot::GetSet,
        dlg::getAnchorCB([s] { return s->search; }, [s](const rt::Value& v) { s->search = v; }, "cSeek"));
    set(list, dlg::slot::Row, 0.3);
    set(list, dlg::slot::Col, 8.0);
    set(list, dlg::slot::Width, cols);
    set(list, dlg::slot::LabelOf, label);
    set(list, dlg::slot::VarName, rt::makeArray({"cSeek", {}}));
    set(list, dlg::slot::Id, "GET_CSEEK");
    set(list, dlg::slot::KeyHandler, rt::makeBlock([s](rt::Args a) { return onSearchKey(s, a); },
                                                   "{|nKey, x, oGet| SeekKey(nKey, oGet, oBrowse, oData)}"));

    detail::push(list, 12, 1, "xbPopBrowse");
    set(list, dlg::slot::Caption, "");
    set(list, dlg::slot::Row, 0.4);
    set(list, dlg::slot::Col, 8.0 + cols + 1.0);
    set(list, dlg::slot::Anchor, weakAnchor(&LookupState::notice, s));
    set(list, dlg::slot::Id, "SAY_NOTFOUND");
}

std::string conditionCaption(const Condition& c)
{
    return rt::alltrim(detail::displayText(c.column)) + " = " + rt::alltrim(detail::displayText(c.value));
}

void appendFilter(const State& s, const std::string& name, double row)
{
    const rt::Value& list = s->getList;
    double col = 0.5;
    if (!name.empty()) {
        detail::push(list, 12, {}, "xbPopBrowse");
        set(list, dlg::slot::Caption, name + ":");
        set(list, dlg::slot::Row, row);
        set(list, dlg::slot::Col, col);
        col += double(rt::utf8Length(name)) + 2.0;
    }
    for (std::size_t i = 0; i < s->conditions.size(); ++i) {
        const std::string caption = conditionCaption(s->conditions[i]);
        const double width = double(rt::utf8Length(caption)) + 4.0;
        detail::push(list, dlg::type::CheckBox, {}, "xbPopBrowse");
        set(list, dlg::slot::Caption, caption);
        set(list, dlg::slot::CheckCaption, rt::makeArray({caption, {}}));
        set(list, dlg::slot::CheckData, conditionBlock(s, i));
        set(list, dlg::slot::Row, row);
        set(list, dlg::slot::Col, col);
        set(list, dlg::slot::Width, width);
        set(list, dlg::slot::Height, 1.0);
        set(list, dlg::slot::Id, "FILTER_" + std::to_string(i + 1));
        col += width + 1.0;
    }
}


void appendBrowse(const State& s, const std::vector<ColumnDef>& cols, double row, double width, double height)
{
    const rt::Value& list = s->getList;
    detail::push(list, dlg::type::Browse, {}, "xbPopBrowse");
    set(list, dlg::slot::Row, row);
    set(list, dlg::slot::Col, 0.5);
    set(list, dlg::slot::Width, width);
    set(list, dlg::slot::Height, height);
    set(list, dlg::slot::Presentation, sqlBrowPres(17));
    set(list, dlg::slot::Colors, rt::makeArray({rt::makeBlock([](rt::Args a) { return sqlBrowseZebra(rt::argAt(a, 0)); },
                                               "{|x| SQLBrowseZebra(x)}"),
                                 {}}));
    const rt::Value data = s->data;
    set(list, dlg::slot::DataSource, rt::makeArray({rt::makeBlock([data](rt::Args) { return data; }, "{|| oData}"), "oData"}));
    set(list, dlg::slot::CursorMode, 3);
    namespace opt = dlg::browseOption;
    rt::Value options = rt::Value::array(dlg::kBrowseOptions);
    auto& o = options.asArray().items;
    const bool twoLines = std::any_of(cols.begin(), cols.end(),
                                      [](const ColumnDef& c) { return c.header.find(';') != std::string::npos; });
    o[dlg::index(opt::IsScope)] = false;
    o[dlg::index(opt::HeaderLines)] = twoLines ? 2 : 1;
    for (int n : {opt::NoVScroll, opt::NoHScroll, opt::NoSoftTrack, opt::Fit, opt::Optimize, opt::NoSizeCols,
                  opt::Descending, opt::RightButtonSelect, opt::NoDescendToggle, opt::NoRestore, opt::ResizeColumns,
                  opt::TagEnable})
        o[dlg::index(n)] = false;
    o[dlg::index(opt::ItemMarked)] =
        rt::makeBlock([s](rt::Args) { drawPicture(s); return rt::Value(); }, "{|| DrawPicture()}");
    o[dlg::index(opt::ItemSelected)] =
        rt::makeBlock([s](rt::Args) { acceptRow(s); return rt::Value(); }, "{|| RK_ReadGuiEvent(6, GetList)}");
    o[dlg::index(opt::UseVisualStyle)] = true;
    set(list, dlg::slot::Options, options);
    set(list, dlg::slot::Anchor, weakAnchor(&LookupState::browse, s));
    set(list, dlg::slot::Id, "POPBROWSE");

    for (const ColumnDef& c : cols) {
        const std::string member = detail::memberName(c.expr);
        detail::push(list, dlg::type::Column, {}, "xbPopBrowse");
        set(list, dlg::slot::Caption, c.header);
        const rt::Value dataBlock = rt::makeBlock(
            [data, member](rt::Args) { return rt::getMember(data, member); }, "{|| oData:" + member + "}");
        set(list, dlg::slot::GetSet, rt::makeArray({dataBlock, "oData:" + member}));
        set(list, dlg::slot::Width, c.width);
        if (!c.picture.empty())
            set(list, dlg::slot::Picture, c.picture);
        // Every flag from sorting on a left click on is off.
        rt::Value colOptions = rt::Value::array(dlg::kColumnOptions);
        for (std::size_t i = dlg::index(dlg::columnOption::SortOnLeftClick); i < dlg::kColumnOptions; ++i)
            colOptions.asArray().items[i] = false;
        set(list, dlg::slot::Options, colOptions);
    }
}

void appendPicture(const State& s, double row, double col, double height)
{
    const rt::Value& list = s->getList;
    detail::push(list, dlg::type::Bitmap, {}, "xbPopBrowse");
    set(list, dlg::slot::Row, row);
    set(list, dlg::slot::Col, col);
    set(list, dlg::slot::Width, kPictureCols);
    set(list, dlg::slot::Height, height);
    set(list, dlg::slot::Anchor, weakAnchor(&LookupState::picture, s, [s] { drawPicture(s); }));
}

void appendButton(const State& s, const char* caption, double row, double col, int event)
{
    const rt::Value& list = s->getList;
    detail::push(list, dlg::type::PushButton, {}, "xbPopBrowse");
    set(list, dlg::slot::Caption, caption);
    set(list, dlg::slot::Row, row);
    set(list, dlg::slot::Col, col);
    set(list, dlg::slot::Width, kButtonCols);
    set(list, dlg::slot::Height, kButtonRows);
    set(list, dlg::slot::Options, rt::makeArray({{}, {}, {}, false, false, false, false, false}));
    std::weak_ptr<LookupState> weak = s;
    set(list, dlg::slot::Action, rt::makeBlock(
                                     [weak, event](rt::Args) -> rt::Value {
                                         if (const State st = weak.lock(); st && st->getList.isArray())
                                             return dlg::readGuiEvent(event, st->getList);
                                         return false;
                                     },
                                     "{|| RK_ReadGuiEvent(" + std::to_string(event) + ", GetList)}"));
}

std::vector<Condition> conditionsOf(const rt::Value& aFilter)
{
    std::vector<Condition> out;
    const rt::Value& conds = rt::entryOf(aFilter, 2);
    if (!conds.isArray())
        return out;
    for (const rt::Value& c : conds.asArray().items)
        if (rt::entryOf(c, 1).isChar() && !rt::alltrim(rt::entryOf(c, 1).asString()).empty())
            out.push_back({rt::entryOf(c, 1), rt::entryOf(c, 2), rt::isTrue(rt::entryOf(c, 3))});
    return out;
}

// Ends the lookup's resources however it ends: the records (and with them
// every block sharing the state) and the data object.
class LookupScope {
public:
    explicit LookupScope(State s) : s_(std::move(s)) {}
    ~LookupScope()
    {
        if (s_->getList.isArray())
            s_->getList.asArray().items.clear();
        s_->getList = rt::Value();
        if (s_->data.isObject())
            rt::guarded([this] { rt::sendWith(s_->data, "DESTROY"); });
        s_->data = rt::Value();
    }
    LookupScope(const LookupScope&) = delete;
    LookupScope& operator=(const LookupScope&) = delete;

private:
    State s_;
};

}  // namespace

rt::Value xbPopBrowse(rt::Args a)
{
    const rt::Value& oConn = rt::argAt(a, 0);
    const rt::Value& cTable = rt::argAt(a, 7);
    const rt::Value& cField = rt::argAt(a, 5);
    if (!cTable.isChar() || rt::alltrim(cTable.asString()).empty() || !cField.isChar() ||
        rt::alltrim(cField.asString()).empty())
        rt::raiseArg("xbPopBrowse", a);
    const std::string table = rt::alltrim(cTable.asString());
    const std::string field = rt::alltrim(cField.asString());
    const double width = rt::argAt(a, 2).isNum() ? std::clamp(rt::argAt(a, 2).asDouble(), 30.0, 200.0) : 60.0;
    const double height = rt::argAt(a, 3).isNum() ? std::clamp(rt::argAt(a, 3).asDouble(), 10.0, 60.0) : 19.0;
    const rt::Value& xValue = rt::argAt(a, 4);
    const rt::Value& cOrder = rt::argAt(a, 9);
    const rt::Value& cPicCol = rt::argAt(a, 10);
    const rt::Value& aFilter = rt::argAt(a, 13);
    const bool withPicture = cPicCol.isChar() && !rt::alltrim(cPicCol.asString()).empty();

    std::vector<ColumnDef> cols = columnDefs(rt::argAt(a, 6), field);
    auto s = std::make_shared<LookupState>();
    s->getList = rt::Value::array();
    LookupScope scope(s);
    rt::Error failure("");
    if (!rt::guarded([&] {
            s->data = openData(oConn, table, columnList(cols, table, field),
                               cOrder.isChar() && !rt::isEmpty(cOrder) ? rt::alltrim(cOrder.asString()) : field,
                               withPicture ? cPicCol : rt::Value());
        }, &failure)) {
        dlg::winAlert("No se pudo abrir la tabla " + table + ": " + failure.message(), "Consulta");
        return {};
    }
    if (dataFailed(s->data, table))
        return {};
    widenToData(cols, s->data);
    s->conditions = conditionsOf(aFilter);
    if (std::any_of(s->conditions.begin(), s->conditions.end(), [](const Condition& c) { return c.on; }))
        applyFilter(s);

    // Layout: search row, filter row, browse (and picture), buttons.
    appendSearch(s, width);
    double row = 1.6;
    if (!s->conditions.empty()) {
        const rt::Value& name = rt::entryOf(aFilter, 1);
        appendFilter(s, name.isChar() ? rt::alltrim(name.asString()) : std::string(), row);
        row += 1.3;
    }
    const double browseRows = std::max(3.0, height - row - kButtonRows - 0.7);
    const double browseCols = withPicture ? width - kPictureCols - 1.5 : width - 1.0;
    appendBrowse(s, cols, row, browseCols, browseRows);
    if (withPicture)
        appendPicture(s, row, 0.5 + browseCols + 0.5, std::min(kPictureRows, browseRows));
    const double buttonRow = row + browseRows + 0.4;
    appendButton(s, "Aceptar", buttonRow, 0.5, 6);
    appendButton(s, "Cancelar", buttonRow, 0.5 + kButtonCols + 1.0, 5);

    dlg::ReadSetup setup;
    setup.getList = s->getList;
    setup.title = rt::argAt(a, 1).isChar() ? rt::argAt(a, 1).str() : std::string();
    // Once the browse exists (its creation starts it at the top): the start row.
    setup.dialogReceiver = rt::makeBlock([s, xValue, field](rt::Args) -> rt::Value {
        if (!rt::isEmpty(xValue) && rt::isTrue(rt::sendWith(s->data, "seek", xValue, rt::Value(field)))) {
            onBrowse(s, [](gui::XbpBrowse& b) {
                b.refreshWhole();
                b.stabilise();
            });
        }
        drawPicture(s);
        return {};
    });
    const bool ok = dlg::readGui(setup);
    if (!ok || !hasCurrentRow(s->data))
        return {};
    return rt::getMember(s->data, detail::memberName(field));
}

}  // namespace popup
