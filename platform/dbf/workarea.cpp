#include "workarea.h"

#include "table.h"

#include "platform/runtime/array.h"
#include "platform/runtime/error.h"
#include "platform/runtime/files.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>

namespace dbf {

namespace {

[[noreturn]] void raiseDbf(std::string description, std::string operation, std::vector<rt::Value> args = {},
                           std::string filename = {}, int genCode = rt::gen::FileNotFound)
{
    rt::Error e(std::move(description), std::move(operation), std::move(args));
    e.subsystem = "DBF";
    e.genCode = genCode;
    e.filename = std::move(filename);
    rt::raise(std::move(e));
}

std::uint64_t g_hiddenStamp = 1;  // changes with the deleted switch
bool g_deletedHidden = false;

// More than any table holds; keeps the step counts clear of overflow.
constexpr std::int64_t kMaxSkip = std::int64_t(1) << 40;

// A tag of the table's index file: its expressions are data, never compiled.
OrderSpec fileTagSpec(const IndexTag& tag)
{
    OrderSpec spec{tag.name, tag.key, tag.forExpr, tag.unique, tag.descending};
    spec.fromFile = true;
    return spec;
}

// The view slot of logical index li when the view of n slots is walked backwards or not.
std::size_t slotOf(std::int64_t li, std::int64_t n, bool back)
{
    return static_cast<std::size_t>(back ? n - 1 - li : li);
}

}  // namespace

bool setDeletedHidden(bool hidden) noexcept
{
    const bool previous = g_deletedHidden;
    if (hidden != previous)
        ++g_hiddenStamp;
    g_deletedHidden = hidden;
    return previous;
}

bool deletedHidden() noexcept { return g_deletedHidden; }

// The slots of a view: which records it shows, in stored order.
struct WorkArea::View {
    enum class Kind { Natural, List, Order, OrderList } kind = Kind::Natural;
    std::uint64_t shape = 0;
    std::size_t lo = 0, hi = 0;        // Order: entries [lo, hi)
    std::vector<std::uint32_t> items;  // List: record numbers; OrderList: order positions
};

WorkArea::WorkArea(int number, std::string alias, std::unique_ptr<Table> table, bool shared)
    : number_(number),
      alias_(std::move(alias)),
      table_(std::move(table)),
      shared_(shared),
      view_(std::make_unique<View>())
{
    for (const IndexTag& tag : table_->indexTags()) {
        rt::Error why{""};
        const bool ok = rt::guarded(
            [&] {
                orders_.push_back(std::make_unique<Order>(
                    fileTagSpec(tag), *table_));
            },
            &why);
        if (!ok)
            broken_.emplace_back(rt::upperAscii(tag.name), why.message());
    }
}

WorkArea::~WorkArea() = default;

// ------------------------------------------------------------ the record

std::int64_t WorkArea::recno() const { return phantom_ ? std::int64_t(table_->recordCount()) + 1 : recno_; }

std::uint32_t WorkArea::lastRec()
{
    if (shared_)
        table_->refreshCount();
    return table_->recordCount();
}

// The table's record, as fieldGet reads it: an order's build moves it while
// the area stays where it was (the phantom record is never deleted).
bool WorkArea::deleted() const { return table_->deleted(); }

rt::Value WorkArea::fieldGet(int field) const { return table_->get(field); }

void WorkArea::restore() noexcept
{
    rt::guarded([&] { table_->go(phantom_ ? 0 : recno_); });
}

std::vector<std::optional<std::string>> WorkArea::snapshotKeys()
{
    std::vector<std::optional<std::string>> keys(orders_.size());
    SelectGuard in(number_);
    for (std::size_t i = 0; i < orders_.size(); ++i) {
        Order& o = *orders_[i];
        // An order whose key fails on this record is dropped, to be rebuilt
        // (and to fail again, visibly) when it is next used.
        if (o.built() && !rt::guarded([&] { keys[i] = o.currentKey(*table_); })) {
            o.clear();
            changed(true);
        }
    }
    return keys;
}

// Moves the current record's entries to where its keys are now.
void WorkArea::updateOrders(const std::vector<std::optional<std::string>>& before)
{
    const std::vector<std::optional<std::string>> after = snapshotKeys();
    bool moved = false;
    for (std::size_t i = 0; i < orders_.size(); ++i) {
        if (!orders_[i]->built() || before[i] == after[i])
            continue;
        Order& o = *orders_[i];
        if (before[i]) {
            const std::size_t at = o.find(*before[i], recno_);
            if (at != Order::npos)
                o.erase(at);
        }
        if (after[i])
            o.insert(*after[i], recno_);
        moved = true;
    }
    changed(moved);
}

void WorkArea::changed(bool shape) noexcept
{
    ++data_;
    if (shape)
        ++shape_;
}

void WorkArea::fieldPut(int field, const rt::Value& v)
{
    if (phantom_)
        raiseDbf("No current record to write to", "FIELDPUT", {v}, table_->path());
    table_->go(recno_);
    const auto before = snapshotKeys();
    table_->put(field, v);
    updateOrders(before);
}

void WorkArea::setDeleted(bool deleted)
{
    if (phantom_)
        return;
    table_->go(recno_);
    const auto before = snapshotKeys();
    table_->setDeleted(deleted);
    updateOrders(before);
}

std::uint32_t WorkArea::append()
{
    const std::uint32_t r = table_->appendBlank();
    recno_ = r;
    phantom_ = eof_ = bof_ = found_ = false;
    SelectGuard in(number_);
    for (auto& o : orders_)
        if (o->built())
            if (auto key = o->currentKey(*table_))
                o->insert(*key, r);
    changed(true);
    if (shared_)
        locks_.clear();
    locks_.insert(r);
    return r;
}

void WorkArea::commit() { table_->flush(); }

// ------------------------------------------------------------ the view

Order* WorkArea::active()
{
    if (focus_ == 0)
        return nullptr;
    Order& o = *orders_[static_cast<std::size_t>(focus_ - 1)];
    if (!o.built()) {
        SelectGuard in(number_);
        try {
            o.build(*table_);
        } catch (...) {
            o.clear();
            restore();
            throw;
        }
        restore();
    }
    return &o;
}

const WorkArea::View& WorkArea::view()
{
    View& v = *view_;
    if (v.shape == shape_)
        return v;
    v.items.clear();
    Order* o = active();
    if (!o) {
        v.kind = list_ ? View::Kind::List : View::Kind::Natural;
        if (list_) {
            const std::uint32_t last = table_->recordCount();
            for (std::uint32_t r : *list_)
                if (r >= 1 && r <= last)
                    v.items.push_back(r);
        }
    } else {
        v.lo = scopeTop_.isNil() ? 0 : o->lowerPrefix(o->searchKey(scopeTop_, "RK_SETSCOPE"));
        v.hi = scopeBottom_.isNil() ? o->size() : o->upperPrefix(o->searchKey(scopeBottom_, "RK_SETSCOPE"));
        v.hi = std::max(v.hi, v.lo);
        v.kind = list_ ? View::Kind::OrderList : View::Kind::Order;
        if (list_) {
            std::vector<bool> wanted(std::size_t(table_->recordCount()) + 1);
            for (std::uint32_t r : *list_)
                if (r < wanted.size())
                    wanted[r] = true;
            for (std::size_t p = v.lo; p < v.hi; ++p)
                if (o->recno(p) < wanted.size() && wanted[o->recno(p)])
                    v.items.push_back(static_cast<std::uint32_t>(p));
        }
    }
    v.shape = shape_;
    return v;
}

std::size_t WorkArea::viewSize()
{
    const View& v = view();
    switch (v.kind) {
    case View::Kind::Natural: return table_->recordCount();
    case View::Kind::Order: return v.hi - v.lo;
    default: return v.items.size();
    }
}

std::uint32_t WorkArea::recAt(std::size_t slot)
{
    const View& v = view();
    switch (v.kind) {
    case View::Kind::Natural: return static_cast<std::uint32_t>(slot + 1);
    case View::Kind::List: return v.items[slot];
    case View::Kind::Order: return active()->recno(v.lo + slot);
    case View::Kind::OrderList: return active()->recno(v.items[slot]);
    }
    return 0;
}

std::size_t WorkArea::orderPosAt(std::size_t slot)
{
    const View& v = view();
    return v.kind == View::Kind::Order ? v.lo + slot : v.items[slot];
}

bool WorkArea::filtering() const
{
    return g_deletedHidden || (focus_ > 0 && orders_[static_cast<std::size_t>(focus_ - 1)]->spec().unique);
}

bool WorkArea::visible(std::size_t slot)
{
    if (focus_ > 0) {
        Order& o = *orders_[static_cast<std::size_t>(focus_ - 1)];
        if (o.spec().unique && o.repeatsKey(orderPosAt(slot)))
            return false;
    }
    if (!g_deletedHidden)
        return true;
    table_->go(recAt(slot));
    return !table_->deleted();
}

bool WorkArea::walksBack(bool reverse) const
{
    bool back = descend_ != reverse;
    if (focus_ > 0 && orders_[static_cast<std::size_t>(focus_ - 1)]->spec().descending)
        back = !back;
    return back;
}

// Where record recno stands in order o: its entry, or where its key would go.
std::size_t WorkArea::orderPlace(Order& o, std::uint32_t recno, bool& included)
{
    SelectGuard in(number_);
    table_->go(recno);
    std::optional<std::string> key = o.currentKey(*table_);
    included = false;
    if (!key)
        return o.size();  // a record the FOR condition leaves out stands after the last entry
    const std::size_t p = o.lowerBound(*key, recno);
    included = p < o.size() && o.recno(p) == recno;
    return p;
}

WorkArea::Place WorkArea::locate()
{
    if (phantom_)
        return {true, false, 0};
    if (placeCache_.recno == recno_ && placeCache_.shape == shape_)
        return placeCache_.place;
    const View& v = view();
    Place at;
    switch (v.kind) {
    case View::Kind::Natural: {
        const std::size_t n = table_->recordCount();
        at.inView = recno_ <= n;
        at.slot = std::min<std::size_t>(recno_ - 1, n);
        break;
    }
    case View::Kind::List: {
        const auto it = std::lower_bound(v.items.begin(), v.items.end(), recno_);
        at.slot = static_cast<std::size_t>(it - v.items.begin());
        at.inView = it != v.items.end() && *it == recno_;
        break;
    }
    case View::Kind::Order:
    case View::Kind::OrderList: {
        Order& o = *active();
        bool included = false;
        const std::size_t p = orderPlace(o, recno_, included);
        table_->go(recno_);
        if (v.kind == View::Kind::Order) {
            at.inView = included && p >= v.lo && p < v.hi;
            at.slot = std::clamp(p, v.lo, v.hi) - v.lo;
        } else {
            const auto it = std::lower_bound(v.items.begin(), v.items.end(), static_cast<std::uint32_t>(p));
            at.slot = static_cast<std::size_t>(it - v.items.begin());
            at.inView = included && it != v.items.end() && *it == p;
        }
        break;
    }
    }
    placeCache_ = {recno_, shape_, at};
    return at;
}

void WorkArea::settle(std::size_t slot)
{
    recno_ = recAt(slot);
    phantom_ = eof_ = bof_ = false;
    table_->go(recno_);
    placeCache_ = {recno_, shape_, Place{false, true, slot}};
}

void WorkArea::settlePhantom()
{
    phantom_ = eof_ = true;
    bof_ = false;
    table_->go(0);
}

// The first logical index from `from` on (step +1 or -1) whose record is
// visible and, with skipKey, has another key.
std::optional<std::size_t> WorkArea::firstVisible(std::int64_t from, int step, bool reverse, const std::string* skipKey)
{
    const auto n = static_cast<std::int64_t>(viewSize());
    const bool back = walksBack(reverse);
    Order* o = skipKey ? active() : nullptr;
    for (std::int64_t li = from; li >= 0 && li < n; li += step) {
        const std::size_t slot = slotOf(li, n, back);
        if (o && o->key(orderPosAt(slot)) == *skipKey)
            continue;
        if (visible(slot))
            return static_cast<std::size_t>(li);
    }
    return std::nullopt;
}

// ------------------------------------------------------------ moves

void WorkArea::goTo(std::int64_t recno)
{
    found_ = false;
    if (recno > table_->recordCount() && shared_)
        table_->refreshCount();
    if (recno < 1 || recno > table_->recordCount()) {
        settlePhantom();
        bof_ = table_->recordCount() == 0;
        return;
    }
    recno_ = static_cast<std::uint32_t>(recno);
    phantom_ = eof_ = bof_ = false;
    table_->go(recno_);
}

void WorkArea::goTop(bool reverse) { goEnd(false, reverse); }

void WorkArea::goBottom(bool reverse)
{
    if (shared_)
        table_->refreshCount();
    goEnd(true, reverse);
}

// The first visible record from the top, or from the bottom; the phantom
// record when the view is empty.
void WorkArea::goEnd(bool fromBottom, bool reverse)
{
    found_ = false;
    const auto n = static_cast<std::int64_t>(viewSize());
    const bool back = walksBack(reverse);
    try {
        if (auto li = fromBottom ? firstVisible(n - 1, -1, reverse, nullptr) : firstVisible(0, 1, reverse, nullptr)) {
            settle(slotOf(static_cast<std::int64_t>(*li), n, back));
            return;
        }
    } catch (...) {
        restore();
        throw;
    }
    settlePhantom();
    bof_ = true;
}

void WorkArea::skip(std::int64_t n, bool reverse, bool unique)
{
    if (n == 0) {
        restore();
        return;
    }
    n = std::clamp(n, -kMaxSkip, kMaxSkip);
    if (phantom_ && n > 0) {
        eof_ = true;
        return;
    }
    found_ = false;
    // A scan's step, one record on in natural order with no list: the next
    // record that is not hidden, without the walk through the view.
    if (n == 1 && focus_ == 0 && !list_ && !walksBack(reverse)) {
        try {
            // 64 bits: a table may hold the header's 4,294,967,295 records.
            const std::uint64_t last = table_->recordCount();
            for (std::uint64_t r = std::uint64_t(recno_) + 1; r <= last; ++r) {
                if (g_deletedHidden) {
                    table_->go(static_cast<std::uint32_t>(r));
                    if (table_->deleted())
                        continue;
                }
                settle(static_cast<std::size_t>(r - 1));
                return;
            }
        } catch (...) {
            restore();
            throw;
        }
        settlePhantom();
        return;
    }
    try {
        const auto size = static_cast<std::int64_t>(viewSize());
        const bool back = walksBack(reverse);
        const Place at = locate();
        auto logical = [&](std::size_t slot) {
            return back ? size - 1 - static_cast<std::int64_t>(slot) : static_cast<std::int64_t>(slot);
        };
        // A record outside the view stands before slot `at.slot`.
        const std::int64_t gap = back ? size - static_cast<std::int64_t>(at.slot) : static_cast<std::int64_t>(at.slot);
        Order* o = unique ? active() : nullptr;
        std::string lastKey;
        if (o && at.inView)
            lastKey = std::string(o->key(orderPosAt(at.slot)));
        const std::string* skipKey = o && at.inView ? &lastKey : nullptr;

        const int step = n > 0 ? 1 : -1;
        std::int64_t li = at.phantom ? size : (at.inView ? logical(at.slot) : gap - (step > 0 ? 1 : 0));
        for (std::int64_t moved = 0; moved < std::abs(n); ++moved) {
            auto next = firstVisible(li + step, step, reverse, skipKey);
            if (!next)
                break;
            li = static_cast<std::int64_t>(*next);
            if (o) {
                lastKey = std::string(o->key(orderPosAt(slotOf(li, size, back))));
                skipKey = &lastKey;
            }
            if (moved + 1 == std::abs(n)) {
                settle(slotOf(li, size, back));
                return;
            }
        }
        if (step > 0) {
            settlePhantom();
            return;
        }
        goTop(reverse);
        bof_ = true;
        if (phantom_)
            eof_ = true;
    } catch (...) {
        restore();
        throw;
    }
}

std::int64_t WorkArea::skipper(std::int64_t n, bool reverse, bool unique)
{
    if (table_->recordCount() == 0)
        return 0;
    std::int64_t did = 0;
    if (n == 0) {
        skip(0);
        return 0;
    }
    if (n > 0 && phantom_)
        return 0;
    n = std::clamp(n, -kMaxSkip, kMaxSkip);
    const int step = n > 0 ? 1 : -1;
    while (did != n) {
        const std::uint32_t before = recno_;
        const bool wasPhantom = phantom_;
        skip(step, reverse, unique);
        if (step > 0 ? eof_ : bof_) {
            // The step found no record: stay on the one it left.
            if (!wasPhantom)
                goTo(before);
            bof_ = step < 0;
            break;
        }
        did += step;
    }
    return did;
}

int WorkArea::position(bool reverse)
{
    const auto n = static_cast<std::int64_t>(viewSize());
    if (n == 0)
        return 0;
    const Place at = locate();
    if (at.phantom)
        return 100;
    if (n == 1)
        return 0;
    const bool back = walksBack(reverse);
    std::int64_t li = static_cast<std::int64_t>(slotOf(static_cast<std::int64_t>(at.slot), n, back));
    if (!at.inView && back)
        li += 1;  // stands between two slots: count the one after it
    li = std::clamp<std::int64_t>(li, 0, n - 1);
    return static_cast<int>(std::lround(static_cast<double>(li) * 100.0 / static_cast<double>(n - 1)));
}

void WorkArea::goPosition(double percent, bool reverse)
{
    found_ = false;
    const auto n = static_cast<std::int64_t>(viewSize());
    if (n == 0 || !std::isfinite(percent)) {
        settlePhantom();
        bof_ = true;
        return;
    }
    const double p = std::clamp(percent, 0.0, 100.0);
    const auto target = static_cast<std::int64_t>(std::llround(p * static_cast<double>(n - 1) / 100.0));
    const bool back = walksBack(reverse);
    try {
        auto li = firstVisible(target, 1, reverse, nullptr);
        if (!li)
            li = firstVisible(target, -1, reverse, nullptr);
        if (li) {
            settle(slotOf(static_cast<std::int64_t>(*li), n, back));
            return;
        }
    } catch (...) {
        restore();
        throw;
    }
    settlePhantom();
    bof_ = true;
}

std::int64_t WorkArea::countVisible(std::size_t logicalEnd, bool reverse)
{
    const auto n = static_cast<std::int64_t>(viewSize());
    const bool back = walksBack(reverse);
    std::int64_t count = 0;
    try {
        for (std::int64_t li = 0; li < static_cast<std::int64_t>(logicalEnd) && li < n; ++li)
            if (visible(slotOf(li, n, back)))
                ++count;
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return count;
}

std::int64_t WorkArea::keyNo(bool reverse)
{
    const Place at = locate();
    if (at.phantom)
        return 0;
    const auto n = static_cast<std::int64_t>(viewSize());
    const bool back = walksBack(reverse);
    std::int64_t before =
        back ? n - static_cast<std::int64_t>(at.slot) - (at.inView ? 1 : 0) : static_cast<std::int64_t>(at.slot);
    before = std::clamp<std::int64_t>(before, 0, n);
    if (!filtering())
        return before + (at.inView ? 1 : 0);
    return countVisible(static_cast<std::size_t>(before), reverse) + (at.inView ? 1 : 0);
}

std::int64_t WorkArea::keyCount()
{
    if (!filtering())
        return static_cast<std::int64_t>(viewSize());
    if (countCache_.data != data_ || countCache_.hidden != g_hiddenStamp) {
        countCache_.count = countVisible(viewSize(), false);
        countCache_.data = data_;
        countCache_.hidden = g_hiddenStamp;
    }
    return countCache_.count;
}

bool WorkArea::seek(const rt::Value& key, bool soft, bool last)
{
    Order* o = active();
    if (!o)
        raiseDbf("Work area not indexed", "DBSEEK", {key}, table_->path(), rt::gen::NotIndexed);
    const std::string k = o->searchKey(key, "DBSEEK");
    const View& v = view();
    const auto n = static_cast<std::int64_t>(viewSize());
    std::size_t a = 0, b = 0;  // matching slots [a, b)
    if (v.kind == View::Kind::Order) {
        a = std::clamp(o->lowerPrefix(k), v.lo, v.hi) - v.lo;
        b = std::clamp(o->upperPrefix(k), v.lo, v.hi) - v.lo;
    } else {
        a = static_cast<std::size_t>(std::lower_bound(v.items.begin(), v.items.end(), o->lowerPrefix(k)) -
                                     v.items.begin());
        b = static_cast<std::size_t>(std::lower_bound(v.items.begin(), v.items.end(), o->upperPrefix(k)) -
                                     v.items.begin());
    }
    const bool back = walksBack(false);
    // The same range in logical indexes [la, lb).
    const std::int64_t la = back ? n - static_cast<std::int64_t>(b) : static_cast<std::int64_t>(a);
    const std::int64_t lb = back ? n - static_cast<std::int64_t>(a) : static_cast<std::int64_t>(b);
    try {
        std::optional<std::size_t> hit =
            last ? firstVisible(lb - 1, -1, false, nullptr) : firstVisible(la, 1, false, nullptr);
        if (hit && static_cast<std::int64_t>(*hit) >= la && static_cast<std::int64_t>(*hit) < lb) {
            settle(slotOf(static_cast<std::int64_t>(*hit), n, back));
            found_ = true;
            return true;
        }
        if (soft) {
            if (auto next = firstVisible(lb, 1, false, nullptr)) {
                settle(slotOf(static_cast<std::int64_t>(*next), n, back));
                found_ = false;
                return false;
            }
        }
    } catch (...) {
        restore();
        throw;
    }
    settlePhantom();
    found_ = false;
    return false;
}

// ------------------------------------------------------------ orders

int WorkArea::findOrder(std::string_view name) const noexcept
{
    for (std::size_t i = 0; i < orders_.size(); ++i)
        if (rt::sameNameNoCase(orders_[i]->name(), rt::alltrim(name)))
            return static_cast<int>(i + 1);
    return 0;
}

int WorkArea::createOrder(OrderSpec spec, bool forceCompiled)
{
    auto o = std::make_unique<Order>(std::move(spec), *table_);
    if (forceCompiled)
        o->forceCompiled();
    {
        SelectGuard in(number_);
        try {
            o->build(*table_);
        } catch (...) {
            restore();
            throw;
        }
        restore();
    }
    int number = findOrder(o->name());
    if (number > 0) {
        orders_[static_cast<std::size_t>(number - 1)] = std::move(o);
    } else {
        orders_.push_back(std::move(o));
        number = orderCount();
    }
    focus_ = number;
    changed(true);
    return number;
}

void WorkArea::destroyOrder(int number)
{
    if (number < 1 || number > orderCount())
        return;
    orders_.erase(orders_.begin() + (number - 1));
    if (focus_ == number)
        focus_ = 0;
    else if (focus_ > number)
        --focus_;
    changed(true);
}

void WorkArea::setFocus(int number)
{
    if (number < 0 || number > orderCount())
        raiseDbf("Order not found", "ORDSETFOCUS", {rt::Value(number)}, table_->path(), rt::gen::NoOrder);
    if (number == focus_)
        return;
    const int previous = focus_;
    focus_ = number;
    try {
        active();
    } catch (...) {
        focus_ = previous;
        throw;
    }
    changed(true);
}

bool WorkArea::setDescend(bool descend) noexcept
{
    const bool previous = descend_;
    descend_ = descend;
    return previous;
}

void WorkArea::setScope(int which, const rt::Value& key)
{
    if (Order* o = focus_ > 0 ? active() : nullptr; o && !key.isNil())
        (void)o->searchKey(key, "RK_SETSCOPE");  // a key of the wrong kind fails here, not while moving
    (which == 0 ? scopeTop_ : scopeBottom_) = key;
    changed(true);
}

void WorkArea::clearScope()
{
    scopeTop_ = rt::Value();
    scopeBottom_ = rt::Value();
    changed(true);
}

void WorkArea::setRecordList(std::optional<std::vector<std::uint32_t>> recnos)
{
    if (recnos) {
        std::sort(recnos->begin(), recnos->end());
        recnos->erase(std::unique(recnos->begin(), recnos->end()), recnos->end());
    }
    list_ = std::move(recnos);
    changed(true);
}

// ------------------------------------------------------------ the areas

namespace {

constexpr int kMaxAreas = 65535;

struct Areas {
    std::map<int, std::unique_ptr<WorkArea>> open;
    int current = 1;
    std::uint64_t generation = 0;  // counts every change of `open`
};

Areas& areas()
{
    static Areas a;
    return a;
}

std::string& defaultEngineName()
{
    static std::string name = "FOXCDX";
    return name;
}

bool isAliasChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The alias a file gets by default: its base name in upper case, with
// characters a name cannot hold turned into "_".
std::string defaultAlias(const std::string& path)
{
    std::string stem = std::filesystem::path(path).stem().string();
    for (char& c : stem)
        if (!isAliasChar(c))
            c = '_';
    if (stem.empty() || std::isdigit(static_cast<unsigned char>(stem[0])))
        stem.insert(stem.begin(), '_');
    return rt::upperAscii(stem);
}

bool isValidAlias(std::string_view a)
{
    if (a.empty() || std::isdigit(static_cast<unsigned char>(a[0])))
        return false;
    return std::all_of(a.begin(), a.end(), isAliasChar);
}

bool isRegularFile(const std::string& p)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

}  // namespace

WorkArea* currentArea() noexcept { return areaAt(areas().current); }

WorkArea& requireArea(const char* op)
{
    WorkArea* a = currentArea();
    if (!a)
        raiseDbf("Work area not in use", op, {}, {}, rt::gen::NotInUse);
    return *a;
}

int currentAreaNumber() noexcept { return areas().current; }

WorkArea* areaAt(int number) noexcept
{
    const auto it = areas().open.find(number);
    return it == areas().open.end() ? nullptr : it->second.get();
}

std::uint64_t areasGeneration() noexcept { return areas().generation; }

WorkArea* findArea(std::string_view alias) noexcept
{
    // Blocks of a grid name their alias on every cell: the last answer is
    // kept until an area opens or closes.
    struct Last {
        char alias[32];
        std::size_t len = 0;
        std::uint64_t generation = ~std::uint64_t(0);
        WorkArea* area = nullptr;
    };
    static Last last;
    Areas& all = areas();
    if (last.generation == all.generation && std::string_view(last.alias, last.len) == alias)
        return last.area;
    const std::string a = rt::alltrim(alias);
    WorkArea* found = nullptr;
    for (auto& [n, area] : all.open)
        if (rt::sameNameNoCase(area->alias(), a)) {
            found = area.get();
            break;
        }
    if (alias.size() <= sizeof last.alias) {
        std::copy(alias.begin(), alias.end(), last.alias);
        last.len = alias.size();
        last.generation = all.generation;
        last.area = found;
    }
    return found;
}

void selectArea(int number)
{
    if (number < 0 || number > kMaxAreas)
        raiseDbf("Work area number out of range", "DBSELECTAREA", {rt::Value(number)});
    if (number == 0) {
        number = 1;
        while (areaAt(number))
            ++number;
    }
    areas().current = number;
}

int selectAlias(std::string_view alias)
{
    WorkArea* a = findArea(alias);
    if (!a)
        rt::raiseNoAlias("DBSELECTAREA", {rt::Value(alias)});
    areas().current = a->number();
    return a->number();
}

std::string resolveTablePath(std::string_view file)
{
    const std::string name = rt::alltrim(file);
    if (name.empty())
        raiseDbf("File not found", "DBUSEAREA", {rt::Value(file)}, name, rt::gen::FileNotFound);
    std::vector<std::string> candidates;
    if (std::filesystem::path(name).has_extension())
        candidates = {name};
    else
        candidates = {name + ".DBF", name + ".dbf"};
    for (const std::string& c : candidates)
        if (isRegularFile(c))
            return c;
    // Names are matched without regard to case, as the tables' home system does.
    for (const std::string& c : candidates) {
        if (c.find_first_of("*?") != std::string::npos)
            continue;
        const rt::Value list = rt::directory(c);
        if (list.isArray() && !list.asArray().items.empty()) {
            const std::string found = list.asArray().items.front().asArray().at1(1).str();
            const std::filesystem::path folder = std::filesystem::path(c).parent_path();
            return folder.empty() ? found : (folder / found).string();
        }
    }
    raiseDbf("File not found", "DBUSEAREA", {rt::Value(file)}, name, rt::gen::FileNotFound);
}

bool engineLoaded(std::string_view name) { return rt::sameNameNoCase(rt::alltrim(name), "FOXCDX"); }

bool loadEngine(std::string_view name) { return engineLoaded(name); }

std::string setDefaultEngine(std::string_view name)
{
    if (!engineLoaded(name))
        raiseDbf("Database engine not loaded", "DBESETDEFAULT", {rt::Value(name)});
    std::string previous = defaultEngineName();
    defaultEngineName() = rt::upperAscii(rt::alltrim(name));
    return previous;
}

const std::string& defaultEngine() noexcept { return defaultEngineName(); }

WorkArea& useArea(bool newArea, std::string_view driver, std::string_view file, std::string_view alias, bool shared,
                  bool readOnly)
{
    if (!rt::alltrim(driver).empty() && !engineLoaded(driver))
        raiseDbf("Database engine not loaded", "DBUSEAREA", {rt::Value(driver)}, std::string(file));
    const std::string path = resolveTablePath(file);
    std::string name = rt::alltrim(alias).empty() ? defaultAlias(path) : rt::upperAscii(rt::alltrim(alias));
    if (!isValidAlias(name))
        raiseDbf("Invalid alias", "DBUSEAREA", {rt::Value(alias)}, path);
    if (newArea)
        selectArea(0);
    const int number = areas().current;
    if (WorkArea* other = findArea(name); other && other->number() != number)
        raiseDbf("Alias already in use", "DBUSEAREA", {rt::Value(name)}, path, rt::gen::AliasInUse);
    areas().open.erase(number);
    ++areas().generation;
    std::unique_ptr<Table> table = Table::open(path, readOnly, shared);
    auto area = std::make_unique<WorkArea>(number, name, std::move(table), shared);
    WorkArea& ref = *area;
    areas().open[number] = std::move(area);
    ++areas().generation;
    try {
        ref.goTop();
    } catch (...) {
        areas().open.erase(number);
        ++areas().generation;
        throw;
    }
    return ref;
}

void closeArea()
{
    areas().open.erase(areas().current);
    ++areas().generation;
}

void closeAllAreas()
{
    areas().open.clear();
    ++areas().generation;
    areas().current = 1;
}

SelectGuard::SelectGuard(int number) : previous_(areas().current) { areas().current = number; }

SelectGuard::~SelectGuard() { areas().current = previous_; }

}  // namespace dbf
