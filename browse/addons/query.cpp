// RK_BrowseQuery: building the panel's elements, the scan and its scopes.
#include "browse/addons/query.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/library.h"
#include "platform/dialog/panel.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/ops.h"
#include "platform/runtime/text.h"

#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace addons {

namespace {

using rt::Args;
using rt::Value;

constexpr int kItemSize = 8;
constexpr double kButtonWidth = 8;
const char* const kGroup = "QUERYBUTTONS";

double num(const Value& v, double def) { return v.isNum() ? v.asDouble() : def; }

// An object given directly or through its anchor block.
Value resolve(const Value& v) { return v.isBlock() ? rt::evalWith(v) : v; }

// The width an entry needs for a value, in characters.
int textWidth(const Value& v)
{
    switch (v.kind()) {
    case rt::Kind::Char: return int(v.charLen());
    case rt::Kind::Num: return int(rt::str(v).size());
    case rt::Kind::Date: return int(rt::dtoc(v.asDate()).size());
    case rt::Kind::Logical: return 1;
    default: return 10;
    }
}

// Runs f with the query's work area selected.
template <class F>
auto inArea(const Value& alias, F f)
{
    const int n = alias.isChar() ? dbf::selectAlias(alias.asString()) : dbf::currentAreaNumber();
    dbf::SelectGuard guard(n);
    return f(dbf::requireArea("RK_BrowseQuery"));
}

Value record(int type, const Value& sub = {}) { return dlg::getTemplate(type, sub); }

void setSlot(Value& rec, int slot, const Value& v) { rec.asArray().items.at(std::size_t(slot) - 1) = v; }

Value anchorOver(const std::shared_ptr<Value>& var)
{
    return dlg::getAnchorCB([var] { return *var; }, [var](const Value& v) { *var = v; });
}

// One query item with a value, ready for the scan: the field read directly
// when the expression names one, else the compiled expression.
struct Test {
    int field = -1;
    Value block;
    Value entry;         // the upper-cased trimmed text, the DTOS text, or the value
    char kind = 'C';
};

Value readItem(const Test& t, dbf::WorkArea& area)
{
    return t.field >= 0 ? area.fieldGet(t.field) : rt::evalWith(t.block);
}

bool matches(const Test& t, dbf::WorkArea& area)
{
    const Value v = readItem(t, area);
    switch (t.kind) {
    case 'C': return v.isChar() && startsWithUpper(v.asString(), t.entry.asString());
    case 'D': return v.isDate() && rt::dtos(v.asDate()) == t.entry.asString();
    default: return v.kind() == t.entry.kind() && rt::exactEqual(v, t.entry);
    }
}

// Every this many records the scan looks at the clock: a few hundred
// microseconds of scanning, so events are handled and the bar moves on time.
constexpr std::int64_t kTickRecords = 256;
// The bar repaints at once when its value changes: a few times a second is
// enough to show the scan moving.
constexpr auto kProgressEvery = std::chrono::milliseconds(100);

}  // namespace

bool startsWithUpper(std::string_view field, std::string_view upperEntry)
{
    // Upper-casing maps character to character and ASCII to ASCII, so while
    // the field's head is ASCII it is compared in place, without a copy.
    if (field.size() >= upperEntry.size()) {
        std::size_t i = 0;
        for (; i < upperEntry.size(); ++i) {
            const auto c = static_cast<unsigned char>(field[i]);
            if (c >= 0x80)
                break;
            if ((c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : char(c)) != upperEntry[i])
                return false;
        }
        if (i == upperEntry.size())
            return true;
    }
    return rt::upper(field).compare(0, upperEntry.size(), upperEntry) == 0;
}

struct BrowseQuery::Build {
    Value list;
    std::shared_ptr<Value> staticQuery = std::make_shared<Value>();
    std::shared_ptr<Value> staticText = std::make_shared<Value>();
    Value parent;  // the anchor of the inner static (embedded), else NIL
    double nRow = 0.5, nButtonCol = 1, nColOffset = 0;
    bool vertical = false, floating = false;

    void add(Value rec)
    {
        if (parent.isBlock())
            setSlot(rec, dlg::slot::ParentAnchor, parent);
        list.asArray().items.push_back(std::move(rec));
    }
};

BrowseQuery::BrowseQuery()
    : queryArray(Value::array()), staticRow(0), staticCol(0), isPixel(false), isSQL(false), saySize(15),
      isFloating(false), isVertical(false), maxGetWidth(100)
{
}

Value BrowseQuery::init(const Value& getList)
{
    mainGetList = getList;
    alias = rt::callFunction("Alias");
    return Value(static_cast<rt::Object*>(this));
}

// --- buildGets

void BrowseQuery::buildGets(const Value& oBrowse, const Value& oStaticBrowse)
{
    Build b;
    b.floating = rt::isTrue(isFloating);
    if (!b.floating)
        isVertical = false;
    b.vertical = rt::isTrue(isVertical);
    b.list = b.floating ? Value::array() : mainGetList;
    if (!b.list.isArray())
        rt::raise("Argument error", "buildGets", {mainGetList});
    queryGetList = b.list;
    browseObjectBlock = oBrowse.isBlock() ? oBrowse : dlg::getAnchorCB([oBrowse] { return oBrowse; }, {});
    staticBrowse_ = oStaticBrowse;
    if (!staticHeight.isNum())
        staticHeight = std::floor(double(queryArray.asArray().size()) / 3) + 1;
    const Value before = inArea(alias, [](dbf::WorkArea& a) { return Value(std::int64_t(a.recno())); });
    inArea(alias, [](dbf::WorkArea& a) { a.goTo(0); });  // the blank record: blank values
    if (!b.floating)
        appendStatics(b);
    appendButtons(b);
    placeItems(b);
    appendItems(b);
    Value created = record(dlg::type::OnCreate);
    auto staticQuery = b.staticQuery;
    setSlot(created, dlg::slot::Action, rt::makeBlock([this, staticQuery](Args) {
                browseObject = resolve(browseObjectBlock);
                parentObject = *staticQuery;
            }));
    b.list.asArray().items.push_back(created);
    makeShowBlocks(b);
    inArea(alias, [&before](dbf::WorkArea& a) { a.goTo(before.asInt()); });
}

void BrowseQuery::appendStatics(Build& b)
{
    Value outer = record(dlg::type::Static);
    setSlot(outer, dlg::slot::Row, num(staticRow, 0));
    setSlot(outer, dlg::slot::Col, num(staticCol, 0));
    setSlot(outer, dlg::slot::Width, num(staticWidth, 100));
    setSlot(outer, dlg::slot::Height, num(staticHeight, 1));
    setSlot(outer, dlg::slot::Anchor, anchorOver(b.staticQuery));
    if (staticBrowse_.isBlock())
        setSlot(outer, dlg::slot::ParentAnchor, staticBrowse_);
    // Hidden until startBlock shows it.
    setSlot(outer, dlg::slot::StaticBlock, rt::makeBlock([](Args a) { rt::sendWith(rt::argAt(a, 0), "hide"); }));
    b.list.asArray().items.push_back(outer);

    Value inner = record(dlg::type::Static, 2);
    setSlot(inner, dlg::slot::Width, dlg::kFillParent);
    setSlot(inner, dlg::slot::Height, dlg::kFillParent);
    setSlot(inner, dlg::slot::Colors, rt::makeArray({Value(), bgColor}));
    setSlot(inner, dlg::slot::PixelWidth, true);
    setSlot(inner, dlg::slot::Anchor, anchorOver(b.staticText));
    setSlot(inner, dlg::slot::ParentAnchor, anchorOver(b.staticQuery));
    b.list.asArray().items.push_back(inner);
    b.parent = anchorOver(b.staticText);
}

void BrowseQuery::appendButtons(Build& b)
{
    auto typed = typed_;
    const Value enable = rt::makeBlock([this, typed](Args) { return testQuery() || *typed; });
    struct Spec {
        const char* caption;
        const char* tip;
        std::function<void()> action;
        bool enabling;
    };
    const Spec specs[] = {
        {"Find", "Find Records Matching The Selected Search Criteria", [this] { applyQuery(browseObject); }, true},
        {"Clear", "Reset Search Criteria", [this] { clearFields(browseObject); }, true},
        {"Done", "Close Search Window",
         [this] {
             clearFields(browseObject);
             if (doneBlock.isBlock())
                 rt::evalWith(doneBlock);
         },
         false},
    };
    for (std::size_t i = 0; i < 3; ++i) {
        const Spec& s = specs[i];
        Value btn = record(dlg::type::PushButton);
        setSlot(btn, dlg::slot::Caption, s.caption);
        setSlot(btn, dlg::slot::Row, b.nRow);
        setSlot(btn, dlg::slot::Col, b.nButtonCol);
        setSlot(btn, dlg::slot::Width, kButtonWidth);
        setSlot(btn, dlg::slot::Height, 1);
        setSlot(btn, dlg::slot::Tooltip, s.tip);
        setSlot(btn, dlg::slot::GroupId, kGroup);
        setSlot(btn, dlg::slot::Config, buttonConfig);
        setSlot(btn, dlg::slot::Action, rt::makeBlock([action = s.action](Args) { action(); }));
        if (s.enabling) {
            setSlot(btn, dlg::slot::EnableBlock, enable);
            setSlot(btn, dlg::slot::When, enable);
        }
        b.add(btn);
        if (i < 2) {
            if (b.vertical)
                b.nButtonCol += 10;
            else
                b.nRow += 1;
        }
    }
    if (b.vertical) {
        b.nColOffset = 0;
        b.nRow += 2;
    } else {
        b.nColOffset = b.nButtonCol + 10;
        b.nRow = 0.5;
    }
}

// First pass: each item's row and column, flowing into a new column when
// the panel's height is used up (not vertical).
void BrowseQuery::placeItems(Build& b)
{
    double nCol = 0, nWidth = 0;
    const double say = num(saySize, 15), maxWidth = num(maxGetWidth, 100), height = num(staticHeight, 1);
    for (Value& item : queryArray.asArray().items) {
        if (!item.isArray())
            item = Value::array(kItemSize);
        item.asArray().items.resize(kItemSize);
        auto& it = item.asArray().items;
        it[4] = b.nRow;
        it[5] = nCol;
        const Value& expr = it[1];
        it[6] = expr.isChar() ? inArea(alias, [&expr](dbf::WorkArea&) { return rt::evalText(expr.asString()); }) : Value();
        nWidth = std::max(nWidth, std::min<double>(textWidth(it[6]), maxWidth));
        b.nRow += 1;
        if (!b.vertical && b.nRow > height - 1) {
            b.nRow = 0.5;
            nCol += say + nWidth + 2;
            nWidth = 0;
        }
    }
}

// Second pass: a label and an entry per item, where the first pass placed them.
void BrowseQuery::appendItems(Build& b)
{
    const double say = num(saySize, 15), maxWidth = num(maxGetWidth, 100);
    auto typed = typed_;
    int i = 0;
    for (const Value& item : queryArray.asArray().items) {
        ++i;
        const auto& it = item.asArray().items;
        const double row = it[4].isNum() ? it[4].asDouble() : b.nRow++;
        const double col = it[5].isNum() ? it[5].asDouble() + b.nColOffset : 0;
        const double width = std::min<double>(textWidth(it[6]), maxWidth);

        Value label = record(dlg::type::Say, 1);
        setSlot(label, dlg::slot::Caption, it[0].isChar() ? it[0] : Value(""));
        setSlot(label, dlg::slot::Row, row);
        setSlot(label, dlg::slot::Col, col);
        setSlot(label, dlg::slot::Width, say);
        b.add(label);
        const double labelNo = double(b.list.asArray().size());

        Value entry = record(dlg::type::Get);
        setSlot(entry, dlg::slot::Row, row);
        setSlot(entry, dlg::slot::Col, col + say);
        setSlot(entry, dlg::slot::Width, width + 1);
        setSlot(entry, dlg::slot::QueryWidth, width);
        setSlot(entry, dlg::slot::Picture, it[2].isChar() ? it[2] : Value(""));
        setSlot(entry, dlg::slot::Id, "QUERY_" + std::to_string(i));
        setSlot(entry, dlg::slot::LabelOf, labelNo);
        const Value itemRef = item;
        setSlot(entry, dlg::slot::GetSet, rt::makeBlock([itemRef](Args a) -> Value {
                    Value& v = itemRef.asArray().items[6];
                    if (!a.empty())
                        v = a[0];
                    return v;
                }));
        if (it[6].isDate())
            setSlot(entry, dlg::slot::Popup, rt::makeArray({rt::makeBlock([](Args a) { return dlg::popDate(rt::argAt(a, 0)); })}));
        // Find and Clear enable at the first key typed and disable when the field is emptied.
        setSlot(entry, dlg::slot::KeyHandler, rt::makeBlock([typed](Args a) {
                    const Value self = rt::argAt(a, 2);
                    auto* get = self.isObject() ? dynamic_cast<dlg::GetPart*>(&self.asObject()) : nullptr;
                    if (!get)
                        return;
                    const std::string buffer = rt::alltrim(get->editBuffer());
                    if (rt::utf8Length(buffer) <= 2) {
                        *typed = !buffer.empty();
                        dlg::refreshGroup(self, kGroup);
                    }
                }));
        setSlot(entry, dlg::slot::Anchor, getEvalBlock(item, entry));
        b.add(entry);
    }
}

void BrowseQuery::makeShowBlocks(Build& b)
{
    if (b.floating) {
        const Value list = b.list;
        startBlock = rt::makeBlock([this, list](Args) {
            if (isVisible())
                return;
            const Value created = rt::makeBlock([this](Args a) {
                dialogWindow = rt::argAt(a, 0);
                browseObject = resolve(browseObjectBlock);
            });
            const Value args[] = {list, "Browse Query", Value(), Value(), Value(), Value(), created};
            dlg::readGui(Args(args, 7));
            dialogWindow = Value();
            if (mainGetList.isArray())
                dlg::getRefresh(mainGetList);
        });
        doneBlock = rt::makeBlock([list](Args) { dlg::readGuiEvent(5, list); });
        return;
    }
    startBlock = rt::makeBlock([this](Args) { showEmbedded(); });
    doneBlock = rt::makeBlock([this](Args) { hideEmbedded(); });
}

void BrowseQuery::showEmbedded()
{
    gui::XbpPart* panel = gui::asPart(parentObject);
    gui::XbpPart* browse = gui::asPart(browseObject);
    if (!panel || !browse || !panel->widget() || !browse->widget() || isVisible())
        return;
    const int h = panel->widget()->height();
    const QSize s = browse->widget()->size();
    // The platform keeps the bottom edge: a lower height moves the top down.
    browse->setSize(QSize(s.width(), std::max(1, s.height() - h)));
    panel->setVisible(true);
    panel->widget()->raise();
    dlg::getRefresh(queryGetList);
    const Value first = dlg::getObject(queryGetList, "QUERY_1");
    if (const gui::XbpPart* p = gui::asPart(first); p && p->widget())
        p->widget()->setFocus(Qt::OtherFocusReason);
}

void BrowseQuery::hideEmbedded()
{
    gui::XbpPart* panel = gui::asPart(parentObject);
    gui::XbpPart* browse = gui::asPart(browseObject);
    const gui::XbpPart* holder = gui::asPart(resolve(staticBrowse_));
    if (panel)
        panel->setVisible(false);
    if (browse && holder && holder->widget())
        browse->setPosAndSize(QPoint(0, 0), holder->widget()->size());
    dlg::getRefresh(queryGetList);
    if (browse && browse->widget())
        browse->widget()->setFocus(Qt::OtherFocusReason);
}

// --- the query

bool BrowseQuery::testQuery() const
{
    for (const Value& item : queryArray.asArray().items)
        if (!rt::isEmpty(rt::entryOf(item, 7)))
            return true;
    return false;
}

void BrowseQuery::applyQuery(const Value& oBrowse)
{
    if (!testQuery()) {
        dlg::winAlert("No Search Criteria Entered!!");
        return;
    }
    inArea(alias, [&](dbf::WorkArea& area) {
        const std::int64_t nLastRec = area.lastRec();
        const std::int64_t nPct = std::llround(double(nLastRec) / 100.0);
        std::int64_t nCnt = 0;
        bool cancelled = false;
        Value progressValue(static_cast<rt::Object*>(
            new dlg::ProgressWindow("Searching...", rt::makeBlock([&cancelled](Args) { cancelled = true; }))));
        dlg::pointerWait();
        area.clearScope();
        area.setRecordList(std::nullopt);

        std::vector<Test> tests;
        bool scoped = false;
        const std::string focus = area.focus() > 0 ? rt::upper(area.order(area.focus()).name()) : std::string();
        const std::string focusKey = area.focus() > 0 ? rt::upper(rt::alltrim(area.order(area.focus()).spec().key)) : "";
        for (const Value& item : queryArray.asArray().items) {
            const Value& v = rt::entryOf(item, 7);
            if (rt::isEmpty(v))
                continue;
            Test t;
            const Value& expr = rt::entryOf(item, 2);
            const std::string name = expr.isChar() ? rt::upper(rt::alltrim(expr.asString())) : "";
            t.field = area.table().fieldIndex(name);
            if (t.field < 0)
                t.block = rt::compile(expr.isChar() ? expr.asString() : "NIL");
            t.kind = v.typeLetter();
            t.entry = v.isChar() ? Value(rt::upper(rt::rtrim(v.asString()))) : v.isDate() ? Value(rt::dtos(v.asDate())) : v;
            const Value& index = rt::entryOf(item, 4);
            if (!scoped && !focus.empty() && index.isChar() && rt::upper(rt::alltrim(index.asString())) == focus) {
                // A text scope narrows a case-folded search only over a
                // case-folded key; over a plain key it would lose matches.
                const bool folded = focusKey.rfind("UPPER(", 0) == 0;
                if (!v.isChar() || folded) {
                    const Value key = v.isChar() ? t.entry : v.isDate() ? t.entry : v;
                    area.setScope(0, key);
                    area.setScope(1, key);
                    scoped = true;
                }
            }
            tests.push_back(std::move(t));
        }

        std::vector<std::uint32_t> records;
        // The loop itself only reads and tests; events and the bar are
        // handled every kTickRecords records (events at most every 10 ms,
        // the bar at its 1% marks but no more often than kProgressEvery).
        using Clock = std::chrono::steady_clock;
        auto lastProgress = Clock::now();
        std::int64_t shown = 0;  // the last 1% mark the bar shows
        std::int64_t tick = 0;
        area.goTop();
        while (!area.eof() && !cancelled) {
            if (tick == 0) {
                tick = kTickRecords;
                if (nPct > 0 && nCnt / nPct > shown) {
                    if (const auto now = Clock::now(); now - lastProgress >= kProgressEvery) {
                        lastProgress = now;
                        shown = nCnt / nPct;
                        dlg::getProgress(progressValue, double(shown * nPct), double(nLastRec));
                    }
                }
                dlg::completeEvents();
                if (cancelled)
                    break;
            }
            --tick;
            ++nCnt;
            bool all = true;
            for (const Test& t : tests)
                if (!matches(t, area)) {
                    all = false;
                    break;
                }
            if (all)
                records.push_back(area.recno());
            area.skip(1);
        }
        static_cast<dlg::ProgressWindow&>(progressValue.asObject()).destroy();
        const bool none = records.empty();
        area.clearScope();
        if (cancelled) {
            area.setRecordList(std::nullopt);
        } else {
            area.setRecordList(std::move(records));  // an empty list matches nothing
        }
        area.goTop();
        if (oBrowse.isObject() && rt::hasMember(oBrowse, "RefreshAll"))
            rt::sendWith(oBrowse, "RefreshAll");
        dlg::pointerArrow();
        if (none && !cancelled)
            dlg::msgBox(Value("No Matching Records Were Found"), "Data Alert");
    });
}

void BrowseQuery::clearFields(const Value& oBrowse)
{
    inArea(alias, [&](dbf::WorkArea& area) {
        area.goTo(0);
        for (Value& item : queryArray.asArray().items) {
            const Value& expr = rt::entryOf(item, 2);
            if (item.isArray() && item.asArray().size() >= 7)
                item.asArray().items[6] = expr.isChar() ? rt::evalText(expr.asString()) : Value();
        }
        area.setRecordList(std::nullopt);
        area.goTop();
    });
    *typed_ = false;
    if (queryGetList.isArray())
        dlg::getRefresh(queryGetList);
    if (mainGetList.isArray() && mainGetList.cell() != queryGetList.cell())
        dlg::getRefresh(mainGetList);
    if (oBrowse.isObject() && rt::hasMember(oBrowse, "RefreshAll"))
        rt::sendWith(oBrowse, "RefreshAll");
}

bool BrowseQuery::isVisible() const
{
    const Value& w = rt::isTrue(isFloating) ? dialogWindow : parentObject;
    const gui::XbpPart* p = gui::asPart(w);
    return p && p->widget() && p->widget()->isVisible();
}

Value BrowseQuery::destroy()
{
    if (gui::XbpPart* w = gui::asPart(dialogWindow))
        rt::runReporting([w] { w->destroy(); });
    return Value(static_cast<rt::Object*>(this));
}

Value getEvalBlock(const Value& aQueryItem, const Value& aGetListItem)
{
    return rt::makeBlock([aQueryItem, aGetListItem](Args) {
        if (aQueryItem.isArray() && aQueryItem.asArray().size() >= 8)
            aQueryItem.asArray().items[7] = rt::entryOf(aGetListItem, 4);
    });
}

// --- the runtime class

const rt::ClassInfo& BrowseQuery::staticClass()
{
    static const rt::ClassInfo cls = [] {
        rt::ClassInfo c("RK_BrowseQuery");
        using Q = BrowseQuery;
        for (auto [name, member] : std::initializer_list<std::pair<const char*, Value Q::*>>{
                 {"alias", &Q::alias}, {"queryArray", &Q::queryArray}, {"browseObject", &Q::browseObject},
                 {"browseObjectBlock", &Q::browseObjectBlock}, {"parentObject", &Q::parentObject},
                 {"queryGetList", &Q::queryGetList}, {"mainGetList", &Q::mainGetList},
                 {"buttonConfig", &Q::buttonConfig}, {"startBlock", &Q::startBlock}, {"doneBlock", &Q::doneBlock},
                 {"bgColor", &Q::bgColor}, {"staticRow", &Q::staticRow}, {"staticCol", &Q::staticCol},
                 {"staticWidth", &Q::staticWidth}, {"staticHeight", &Q::staticHeight}, {"isPixel", &Q::isPixel},
                 {"isSQL", &Q::isSQL}, {"saySize", &Q::saySize}, {"isFloating", &Q::isFloating},
                 {"isVertical", &Q::isVertical}, {"dialogWindow", &Q::dialogWindow}, {"maxGetWidth", &Q::maxGetWidth}})
            c.field<Q>(name, member);
        c.method<Q>("init", [](Q& o, Args a) { return o.init(rt::argAt(a, 0)); });
        c.method<Q>("buildGets", [](Q& o, Args a) { o.buildGets(rt::argAt(a, 0), rt::argAt(a, 1)); });
        c.method<Q>("applyQuery", [](Q& o, Args a) { o.applyQuery(rt::argAt(a, 0)); });
        c.method<Q>("testQuery", [](Q& o, Args) { return o.testQuery(); });
        c.method<Q>("clearFields", [](Q& o, Args a) { o.clearFields(rt::argAt(a, 0)); });
        c.method<Q>("isVisible", [](Q& o, Args) { return o.isVisible(); });
        c.method<Q>("destroy", [](Q& o, Args) { return o.destroy(); });
        return c;
    }();
    return cls;
}

const rt::ClassInfo& BrowseQuery::classInfo() const { return staticClass(); }

void registerQueryFunctions()
{
    rt::registerClass<BrowseQuery>();
    rt::registerFunction("_GetEvalBlock",
                         [](Args a) { return getEvalBlock(rt::argAt(a, 0), rt::argAt(a, 1)); });
}

}  // namespace addons
