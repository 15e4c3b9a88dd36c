// Work areas: numbered slots that each hold one open table with its record
// pointer, its orders, a key scope, a record-list scope, record tags and
// record locks. One area is current; the work-area functions act on it.
//
// The records an area shows (its view) are, in this order of restriction:
// the controlling order's entries, or every record in record-number order
// when no order has the focus; then the key scope (top and bottom keys,
// compared as prefixes; only with an order); then the record list. While
// moving, deleted records are passed over when they are hidden
// (setDeletedHidden), and a unique order shows the first record of each key.
// The view is walked backwards when the order is descending, when the area
// is set descending (DbSetDescend) or when a caller asks for it; the three
// flags combine by exclusive or.
//
// Record 0 and LastRec() + 1 are the phantom record: every field holds the
// blank value of its type, RecNo() is LastRec() + 1 and Eof() is true.
#pragma once

#include "order.h"
#include "record_set.h"

#include "platform/runtime/value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace dbf {

class Table;

class WorkArea {
public:
    WorkArea(int number, std::string alias, std::unique_ptr<Table> table, bool shared);
    ~WorkArea();
    WorkArea(const WorkArea&) = delete;
    WorkArea& operator=(const WorkArea&) = delete;

    [[nodiscard]] int number() const noexcept { return number_; }
    [[nodiscard]] const std::string& alias() const noexcept { return alias_; }
    [[nodiscard]] Table& table() noexcept { return *table_; }
    [[nodiscard]] bool shared() const noexcept { return shared_; }

    // --- the current record
    [[nodiscard]] std::int64_t recno() const;  // LastRec() + 1 on the phantom
    [[nodiscard]] std::uint32_t lastRec();      // re-read from the file when shared
    [[nodiscard]] bool eof() const noexcept { return eof_; }
    [[nodiscard]] bool bof() const noexcept { return bof_; }
    [[nodiscard]] bool found() const noexcept { return found_; }
    [[nodiscard]] bool onPhantom() const noexcept { return phantom_; }
    [[nodiscard]] bool deleted() const;
    [[nodiscard]] rt::Value fieldGet(int field) const;  // 0-based; the blank value on the phantom
    // Writes a field of the current record and keeps the orders current.
    // Raises on the phantom record: there is no record to write to.
    void fieldPut(int field, const rt::Value& v);
    void setDeleted(bool deleted);
    // Appends a blank record, makes it current and locks it; returns its number.
    std::uint32_t append();
    void commit();

    // --- moves; each leaves Eof, Bof and the record as the language defines:
    // goTo: any record 1..LastRec() becomes current whatever the view says;
    //   other numbers give the phantom with Eof true.
    // goTop / goBottom: the first / last record of the view, or the phantom
    //   with Eof and Bof true when the view shows nothing.
    // skip(n > 0): n records on; past the last one the phantom with Eof true.
    //   On the phantom nothing moves.
    // skip(n < 0): n records back; before the first one the first record
    //   with Bof true. From the phantom the first step lands on the last record.
    // skip(0): the record is read again.
    // unique: each step also passes over records whose key equals the one left.
    void goTo(std::int64_t recno);
    void goTop(bool reverse = false);
    void goBottom(bool reverse = false);
    void skip(std::int64_t n, bool reverse = false, bool unique = false);
    // Skips record by record and returns the records moved; never ends on
    // the phantom when it started on a record (the browse's skipper).
    std::int64_t skipper(std::int64_t n, bool reverse = false, bool unique = false);
    // 0..100 over the view; 100 on the phantom.
    [[nodiscard]] int position(bool reverse = false);
    void goPosition(double percent, bool reverse = false);
    // 1-based place of the current record in the view (0 on the phantom)
    // and the records the view shows. Exact with hidden deleted records or a
    // unique order too, at the price of reading the view.
    [[nodiscard]] std::int64_t keyNo(bool reverse = false);
    [[nodiscard]] std::int64_t keyCount();
    // Searches the controlling order: a text key matches keys that start
    // with it. Found: the first (last) matching record of the view. Not
    // found: with soft the next record of the view, else the phantom.
    bool seek(const rt::Value& key, bool soft, bool last);

    // --- orders, numbered from 1; 0 is record-number order
    [[nodiscard]] int orderCount() const noexcept { return static_cast<int>(orders_.size()); }
    [[nodiscard]] Order& order(int number) const { return *orders_.at(static_cast<std::size_t>(number - 1)); }
    [[nodiscard]] int findOrder(std::string_view name) const noexcept;
    [[nodiscard]] int focus() const noexcept { return focus_; }
    // Builds the order from the records now; replaces an order of the same
    // name. The new order takes the focus. Returns its number.
    int createOrder(OrderSpec spec, bool forceCompiled = false);
    void destroyOrder(int number);
    // Changes the controlling order; the record stays current.
    void setFocus(int number);
    bool setDescend(bool descend) noexcept;  // returns the previous setting
    [[nodiscard]] bool descend() const noexcept { return descend_; }

    // --- the dialog library's scopes: 0 top key, 1 bottom key; NIL clears one
    [[nodiscard]] const rt::Value& scope(int which) const noexcept { return which == 0 ? scopeTop_ : scopeBottom_; }
    void setScope(int which, const rt::Value& key);
    void clearScope();
    // The records the view is limited to; nothing removes the limit.
    void setRecordList(std::optional<std::vector<std::uint32_t>> recnos);
    [[nodiscard]] const std::optional<std::vector<std::uint32_t>>& recordList() const noexcept { return list_; }

    // --- record tags and locks (locks hold within this process)
    [[nodiscard]] RecordSet& tags() noexcept { return tags_; }
    [[nodiscard]] std::set<std::uint32_t>& locks() noexcept { return locks_; }

    // Tags of the table's structural index whose expressions the key plan
    // cannot read (they are never compiled): name and reason, raised when
    // the tag is asked for.
    [[nodiscard]] const std::vector<std::pair<std::string, std::string>>& brokenTags() const noexcept
    {
        return broken_;
    }

private:
    struct View;
    struct Place {
        bool phantom = false;
        bool inView = false;
        std::size_t slot = 0;  // view slot, or the slot the record stands before
    };

    Order* active();
    const View& view();
    [[nodiscard]] std::size_t viewSize();
    [[nodiscard]] std::uint32_t recAt(std::size_t slot);
    [[nodiscard]] std::size_t orderPosAt(std::size_t slot);
    [[nodiscard]] bool visible(std::size_t slot);
    [[nodiscard]] bool filtering() const;
    [[nodiscard]] bool walksBack(bool reverse) const;
    Place locate();
    std::size_t orderPlace(Order& o, std::uint32_t recno, bool& included);
    void settle(std::size_t slot);
    void settlePhantom();
    void goEnd(bool fromBottom, bool reverse);
    void restore() noexcept;
    std::optional<std::size_t> firstVisible(std::int64_t from, int step, bool reverse, const std::string* skipKey);
    std::int64_t countVisible(std::size_t logicalEnd, bool reverse);
    std::vector<std::optional<std::string>> snapshotKeys();
    void updateOrders(const std::vector<std::optional<std::string>>& before);
    void changed(bool shape) noexcept;

    int number_;
    std::string alias_;
    std::unique_ptr<Table> table_;
    bool shared_;
    std::vector<std::unique_ptr<Order>> orders_;
    std::vector<std::pair<std::string, std::string>> broken_;
    int focus_ = 0;
    std::uint32_t recno_ = 0;
    bool phantom_ = true;
    bool eof_ = true;
    bool bof_ = true;
    bool found_ = false;
    bool descend_ = false;
    rt::Value scopeTop_, scopeBottom_;
    std::optional<std::vector<std::uint32_t>> list_;
    RecordSet tags_;
    std::set<std::uint32_t> locks_;

    // shape_ changes when the view's slots change; data_ also on any write.
    std::uint64_t shape_ = 1;
    std::uint64_t data_ = 1;
    std::unique_ptr<View> view_;
    struct PlaceCache {
        std::uint32_t recno = 0;
        std::uint64_t shape = 0;
        Place place;
    } placeCache_;
    struct CountCache {
        std::uint64_t data = 0;
        std::uint64_t hidden = 0;
        std::int64_t count = 0;
    } countCache_;
};

// ------------------------------------------------------------ the areas

[[nodiscard]] WorkArea* currentArea() noexcept;  // null when the current area is unused
// The current area, or a raised "Work area not in use" naming op.
WorkArea& requireArea(const char* op);
[[nodiscard]] int currentAreaNumber() noexcept;
[[nodiscard]] WorkArea* areaAt(int number) noexcept;
[[nodiscard]] WorkArea* findArea(std::string_view alias) noexcept;
// Changes whenever an area is opened or closed (for caches of lookups).
[[nodiscard]] std::uint64_t areasGeneration() noexcept;
// Selects an area by number; 0 selects the lowest unused one.
void selectArea(int number);
// Selects the area of an alias; raises "Alias does not exist".
int selectAlias(std::string_view alias);
// Opens a table: in the lowest unused area when newArea, else in the current
// area (closing what it held). The alias defaults to the file's base name in
// upper case. Raises naming the file when it cannot be found or opened.
WorkArea& useArea(bool newArea, std::string_view driver, std::string_view file, std::string_view alias, bool shared,
                  bool readOnly);
void closeArea();
void closeAllAreas();

// The file a table name means: a name without extension gets ".DBF" or
// ".dbf", whichever exists; a name that is not found as written is looked
// up without regard to case. Raises "File not found" naming it.
[[nodiscard]] std::string resolveTablePath(std::string_view file);

// The database engines. "FOXCDX" is built in and the default.
[[nodiscard]] bool engineLoaded(std::string_view name);
bool loadEngine(std::string_view name);
std::string setDefaultEngine(std::string_view name);  // returns the previous one; raises for an unknown one
[[nodiscard]] const std::string& defaultEngine() noexcept;

// Selects an area for a scope and selects the previous one again after it.
class SelectGuard {
public:
    explicit SelectGuard(int number);
    ~SelectGuard();
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    int previous_;
};

// Whether moves pass over deleted records (the language's SET DELETED;
// off by default). Process-wide. Returns the previous setting.
bool setDeletedHidden(bool hidden) noexcept;
[[nodiscard]] bool deletedHidden() noexcept;

}  // namespace dbf
