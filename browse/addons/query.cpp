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
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace addons {

namespace {

using rt::Args;
using rt::Value;

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

// A caller's query item, read and written through names: {label, field,
// picture, index name, row, column, value, get/set block}.
class QueryItem {
public:
    // Sizes a caller's item to its slots; anything else becomes an empty item.
    static QueryItem sized(Value& item)
    {
        if (!item.isArray())
            item = Value::array(kSlots);
        item.asArray().items.resize(kSlots);
        return QueryItem(item);
    }
    // An item of the query array as it is: nothing when it is not one.
    static std::optional<QueryItem> of(const Value& item)
    {
        if (!item.isArray() || item.asArray().size() < kSlots)
            return std::nullopt;
        return QueryItem(item);
    }

    [[nodiscard]] const Value& label() const { return at(0); }
    [[nodiscard]] const Value& field() const { return at(1); }
    [[nodiscard]] const Value& picture() const { return at(2); }
    [[nodiscard]] const Value& indexName() const { return at(3); }
    [[nodiscard]] Value& row() const { return at(4); }
    [[nodiscard]] Value& col() const { return at(5); }
    [[nodiscard]] Value& value() const { return at(6); }
    [[nodiscard]] Value& getSet() const { return at(7); }
    [[nodiscard]] const Value& array() const { return item_; }

    static constexpr std::size_t kSlots = 8;

private:
    explicit QueryItem(const Value& item) : item_(item) {}
    Value& at(std::size_t i) const { return item_.asArray().items[i]; }
    Value item_;  // shares the caller's array
};

// What an item's field expression reads. A field, named by its position (a
// number from 1) or by its name, is read straight from the record: a name
// that came from a table never reaches the compiler. A block is the
// program's own code, and so is text that names no field (an expression).
struct FieldRef {
    int field = -1;
    Value block;

    [[nodiscard]] Value read(dbf::WorkArea& area) const
    {
        if (field >= 0)
            return area.fieldGet(field);
        return block.isBlock() ? rt::evalWith(block) : Value();
    }
};

FieldRef fieldRef(const Value& expr, dbf::WorkArea& area)
{
    FieldRef r;
    const auto count = std::int64_t(area.table().fields().size());
    if (expr.isNum()) {
        if (expr.asInt() < 1 || expr.asInt() > count)
            rt::raise("Field position out of range", "RK_BrowseQuery", {expr});
        r.field = int(expr.asInt() - 1);
    } else if (expr.isBlock()) {
        r.block = expr;
    } else if (expr.isChar()) {
        // A field's own name, blanks and all, whatever the name lookup makes of it.
        const auto& fields = area.table().fields();
        for (std::size_t i = 0; i < fields.size() && r.field < 0; ++i)
            if (rt::sameNameNoCase(fields[i].name, expr.asString()))
                r.field = int(i);
        if (r.field < 0)
            r.field = area.table().fieldIndex(expr.asString());
        if (r.field < 0)
            r.block = rt::compile(expr.asString());
    }
    return r;
}

// The item's value on the current record (the blank record gives blanks).
Value readField(const Value& expr, dbf::WorkArea& area) { return fieldRef(expr, area).read(area); }

// One query item with a value, ready for the scan.
struct Criterion {
    FieldRef ref;
    Value entry;  // the upper-cased trimmed text, the DTOS text, or the value
    char kind = 'C';
};

bool matches(const Criterion& t, dbf::WorkArea& area)
{
    const Value v = t.ref.read(area);
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
    for (Value& value : queryArray.asArray().items) {
        const QueryItem item = QueryItem::sized(value);
        item.row() = b.nRow;
        item.col() = nCol;
        item.value() = inArea(alias, [&item](dbf::WorkArea& area) { return readField(item.field(), area); });
        nWidth = std::max(nWidth, std::min<double>(textWidth(item.value()), maxWidth));
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
    for (const Value& value : queryArray.asArray().items) {
        ++i;
        const QueryItem item = QueryItem::sized(const_cast<Value&>(value));
        const double row = item.row().isNum() ? item.row().asDouble() : b.nRow++;
        const double col = item.col().isNum() ? item.col().asDouble() + b.nColOffset : 0;
        const double width = std::min<double>(textWidth(item.value()), maxWidth);

        Value label = record(dlg::type::Say, 1);
        setSlot(label, dlg::slot::Caption, item.label().isChar() ? item.label() : Value(""));
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
        setSlot(entry, dlg::slot::Picture, item.picture().isChar() ? item.picture() : Value(""));
        setSlot(entry, dlg::slot::Id, "QUERY_" + std::to_string(i));
        setSlot(entry, dlg::slot::LabelOf, labelNo);
        setSlot(entry, dlg::slot::GetSet, rt::makeBlock([item](Args a) -> Value {
                    if (!a.empty())
                        item.value() = a[0];
                    return item.value();
                }));
        if (item.value().isDate())
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
        setSlot(entry, dlg::slot::Anchor, getEvalBlock(item.array(), entry));
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
            dlg::ReadSetup setup;
            setup.getList = list;
            setup.title = "Browse Query";
            setup.dialogReceiver = created;
            dlg::readGui(setup);
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
    for (const Value& value : queryArray.asArray().items)
        if (const auto item = QueryItem::of(value); item && !rt::isEmpty(item->value()))
            return true;
    return false;
}

namespace {

using RecordList = std::remove_cvref_t<decltype(*std::declval<dbf::WorkArea&>().recordList())>;

// The scan's window, the busy pointer and the work area's scopes while a
// query runs. Whatever way the scan ends (a Cancel, a fault in an item's
// expression), the window goes and the pointer comes back; unless the scan
// finished, the work area gets back the scopes it had.
class ScanGuard {
public:
    explicit ScanGuard(dbf::WorkArea& area)
        : area_(area), top_(area.scope(0)), bottom_(area.scope(1)), list_(area.recordList()),
          progress_(static_cast<rt::Object*>(new dlg::ProgressWindow(
              "Searching...", rt::makeBlock([cancelled = cancelled_](Args) { *cancelled = true; }))))
    {
        dlg::pointerWait();
        area.clearScope();
        area.setRecordList(std::nullopt);
    }
    ~ScanGuard()
    {
        static_cast<dlg::ProgressWindow&>(progress_.asObject()).destroy();
        if (!finished_) {
            rt::guarded([this] {
                area_.clearScope();
                area_.setScope(0, top_);
                area_.setScope(1, bottom_);
            });
            area_.setRecordList(list_);
        }
        dlg::pointerArrow();
    }
    ScanGuard(const ScanGuard&) = delete;
    ScanGuard& operator=(const ScanGuard&) = delete;

    [[nodiscard]] bool cancelled() const { return *cancelled_; }
    [[nodiscard]] const Value& progress() const { return progress_; }
    // The scan's result replaces the scopes: the records found, or (cancelled) every record.
    void finish(std::optional<RecordList> records)
    {
        static_cast<dlg::ProgressWindow&>(progress_.asObject()).destroy();
        area_.clearScope();
        area_.setRecordList(std::move(records));  // an empty list matches nothing
        finished_ = true;
    }

private:
    dbf::WorkArea& area_;
    Value top_, bottom_;
    std::optional<RecordList> list_;
    std::shared_ptr<bool> cancelled_ = std::make_shared<bool>(false);
    Value progress_;
    bool finished_ = false;
};

// The upper-cased name of the controlling order and its key, or empty.
std::pair<std::string, std::string> focusOf(const dbf::WorkArea& area)
{
    if (area.focus() <= 0)
        return {};
    const dbf::Order& o = area.order(area.focus());
    return {rt::upper(o.name()), rt::upper(rt::alltrim(o.spec().key))};
}

// Scopes the work area on the first item with a value whose index name is
// the controlling order.
void scopeOnFocus(dbf::WorkArea& area, const std::vector<std::pair<Criterion, Value>>& criteria)
{
    const auto [focus, focusKey] = focusOf(area);
    if (focus.empty())
        return;
    for (const auto& [t, index] : criteria) {
        if (!index.isChar() || rt::upper(rt::alltrim(index.asString())) != focus)
            continue;
        // A text scope narrows a case-folded search only over a case-folded
        // key; over a plain key it would lose matches.
        if (t.kind == 'C' && focusKey.rfind("UPPER(", 0) != 0)
            continue;
        area.setScope(0, t.entry);
        area.setScope(1, t.entry);
        return;
    }
}

// The records of the view that pass every test; nothing when cancelled.
std::optional<RecordList> scan(dbf::WorkArea& area, const std::vector<std::pair<Criterion, Value>>& criteria,
                               const ScanGuard& guard)
{
    const std::int64_t nLastRec = area.lastRec();
    const std::int64_t nPct = std::llround(double(nLastRec) / 100.0);
    std::int64_t nCnt = 0;
    RecordList records;
    // The loop itself only reads and tests; events and the bar are handled
    // every kTickRecords records (events at most every 10 ms, the bar at its
    // 1% marks but no more often than kProgressEvery).
    using Clock = std::chrono::steady_clock;
    auto lastProgress = Clock::now();
    std::int64_t shown = 0;  // the last 1% mark the bar shows
    std::int64_t tick = 0;
    for (area.goTop(); !area.eof(); area.skip(1)) {
        if (tick == 0) {
            tick = kTickRecords;
            if (nPct > 0 && nCnt / nPct > shown) {
                if (const auto now = Clock::now(); now - lastProgress >= kProgressEvery) {
                    lastProgress = now;
                    shown = nCnt / nPct;
                    dlg::getProgress(guard.progress(), double(shown * nPct), double(nLastRec));
                }
            }
            dlg::completeEvents();
            if (guard.cancelled())
                return std::nullopt;
        }
        --tick;
        ++nCnt;
        if (std::all_of(criteria.begin(), criteria.end(), [&area](const auto& c) { return matches(c.first, area); }))
            records.push_back(area.recno());
    }
    if (guard.cancelled())
        return std::nullopt;
    return records;
}

// Each item with a value, its field reference resolved (and an expression
// compiled) before anything on screen or in the work area changes, with
// its index name.
std::vector<std::pair<Criterion, Value>> criteria(const Value& queryArray, dbf::WorkArea& area)
{
    std::vector<std::pair<Criterion, Value>> out;
    for (const Value& value : queryArray.asArray().items) {
        const auto item = QueryItem::of(value);
        if (!item || rt::isEmpty(item->value()))
            continue;
        const Value& v = item->value();
        Criterion t;
        t.ref = fieldRef(item->field(), area);
        t.kind = v.typeLetter();
        t.entry = v.isChar() ? Value(rt::upper(rt::rtrim(v.asString()))) : v.isDate() ? Value(rt::dtos(v.asDate())) : v;
        out.emplace_back(std::move(t), item->indexName());
    }
    return out;
}

}  // namespace

void BrowseQuery::applyQuery(const Value& oBrowse)
{
    if (!testQuery()) {
        dlg::winAlert("No Search Criteria Entered!!");
        return;
    }
    const bool none = inArea(alias, [&](dbf::WorkArea& area) {
        const auto tests = criteria(queryArray, area);
        ScanGuard guard(area);
        scopeOnFocus(area, tests);
        std::optional<RecordList> records = scan(area, tests, guard);
        const bool found = !records || !records->empty();
        guard.finish(std::move(records));
        area.goTop();
        return !found;
    });
    if (oBrowse.isObject() && rt::hasMember(oBrowse, "RefreshAll"))
        rt::sendWith(oBrowse, "RefreshAll");
    if (none)
        dlg::msgBox(Value("No Matching Records Were Found"), "Data Alert");
}

void BrowseQuery::clearFields(const Value& oBrowse)
{
    inArea(alias, [&](dbf::WorkArea& area) {
        area.goTo(0);
        for (const Value& value : queryArray.asArray().items)
            if (const auto item = QueryItem::of(value))
                item->value() = readField(item->field(), area);
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
        if (const auto item = QueryItem::of(aQueryItem))
            item->getSet() = rt::entryOf(aGetListItem, dlg::slot::GetSet);
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
