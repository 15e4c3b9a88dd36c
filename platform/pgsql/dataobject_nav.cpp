// The data object's rows: keyset paging over (ordering column, recno), the
// bounded window, positions and counts, and the searches.
//
// The order is the ordering column ascending with NULLs last, recno breaking
// ties, which an index on (column, recno) serves in both directions. Reads
// are split at the NULLs: the non-NULL rows page by the row comparison
// (column, recno) > (key, recno), the NULL rows by recno alone, so each read
// stays one index range.
#include "dataobject.h"

#include "collation.h"
#include "connection.h"
#include "dataobject_sql.h"

#include "platform/runtime/datetime.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace pgsql {

using detail::Result;

// ------------------------------------------------------------------ reading

std::string DataObject::selectList() const
{
    // Named apart, so ORDER BY "recno" never finds two output columns of
    // that name when the listed columns include recno.
    std::string s = "\"recno\"::bigint AS dxc_row_, xmin::text AS dxc_version_";
    for (const Column& c : cols_)
        s += ", " + c.ident;
    return s;
}

std::string DataObject::orderCollate() const
{
    if (collation_.empty() || order_ < 0 || !cols_[order_].text)
        return {};
    return " COLLATE " + quoteIdent(collation_);
}

std::string DataObject::orderKey() const { return cols_[order_].ident + orderCollate(); }

void DataObject::addFilter(Sql& q) const
{
    if (!filter_.like.empty() && filter_.likeCol >= 0) {
        // Case and accents aside on both sides; the pattern's % and _ stay.
        q << " AND " << foldSql(cols_[filter_.likeCol].ident) << " LIKE ";
        q.param(foldKey(filter_.like), "text") << " ESCAPE ''";
    }
    if (!filter_.joinTable.empty()) {
        const Connection* c = conn();
        q << " AND EXISTS (SELECT 1 FROM " << (c ? c->qualified(filter_.joinTable) : quoteIdent(filter_.joinTable));
        if (!rt::alltrim(filter_.joinCond).empty())
            q << " WHERE (" << filter_.joinCond << ")";
        q << ")";
    }
    if (!filter_.equals.empty()) {
        q << " AND (";
        for (std::size_t k = 0; k < filter_.equals.size(); ++k) {
            const Column& c = cols_[filter_.equals[k].first];
            q << (k ? " OR " : "") << c.ident << " = ";
            q.param(filter_.equals[k].second, c.sqlType);
        }
        q << ")";
    }
}

void DataObject::addOrder(Sql& q, bool forward) const
{
    const char* dir = forward ? " ASC" : " DESC";
    q << " ORDER BY ";
    if (!orderIsRecno())
        q << orderKey() << dir << (forward ? " NULLS LAST, " : " NULLS FIRST, ");
    q << "\"recno\"" << dir;
}

bool DataObject::fetchQuery(Sql& q, std::vector<Row>& out)
{
    Result r;
    if (!run(q, r))
        return false;
    const int n = PQntuples(r.get());
    for (int i = 0; i < n; ++i) {
        Row row;
        row.recno = std::atoll(PQgetvalue(r.get(), i, 0));
        row.version = PQgetvalue(r.get(), i, 1);
        row.cells.reserve(cols_.size());
        for (std::size_t c = 0; c < cols_.size(); ++c) {
            const int f = static_cast<int>(c) + 2;
            if (PQgetisnull(r.get(), i, f))
                row.cells.emplace_back(std::nullopt);
            else
                row.cells.emplace_back(std::string(PQgetvalue(r.get(), i, f), PQgetlength(r.get(), i, f)));
        }
        out.push_back(std::move(row));
    }
    return true;
}

// Up to `limit` rows after `from` (before it, nearest first, when backward);
// from null: from the first (last) row. Appends to out.
bool DataObject::fetch(bool forward, const Row* from, std::int64_t limit, std::vector<Row>& out)
{
    const Column& oc = cols_[order_];
    const auto segment = [&](bool nulls, const Row* key, std::int64_t n) {
        Sql q;
        q << "SELECT " << selectList() << " FROM " << table() << " WHERE ";
        if (orderIsRecno()) {
            q << "TRUE";
        } else if (nulls) {
            q << oc.ident << " IS NULL";
        } else if (!key) {
            q << oc.ident << " IS NOT NULL";
        } else {
            q << "(" << orderKey() << ", \"recno\") " << (forward ? ">" : "<") << " (";
            q.param(keyOf(*key), oc.sqlType) << ", ";
            q.param(std::to_string(key->recno), "bigint") << ")";
        }
        if (key && (nulls || orderIsRecno())) {
            q << " AND \"recno\" " << (forward ? ">" : "<") << " ";
            q.param(std::to_string(key->recno), "bigint");
        }
        addFilter(q);
        addOrder(q, forward);
        q << " LIMIT " << std::to_string(n);
        return fetchQuery(q, out);
    };
    const std::size_t before = out.size();
    const auto got = [&] { return static_cast<std::int64_t>(out.size() - before); };
    if (orderIsRecno())
        return segment(false, from, limit);
    const bool fromNull = from && !keyOf(*from);
    if (forward) {
        if (fromNull)
            return segment(true, from, limit);
        return segment(false, from, limit) && (got() >= limit || segment(true, nullptr, limit - got()));
    }
    if (from && !fromNull)
        return segment(false, from, limit);
    return segment(true, from, limit) && (got() >= limit || segment(false, nullptr, limit - got()));
}

// The row `offset` rows after the first (exact; a read of offset rows).
bool DataObject::rowAtOffset(std::int64_t offset, std::optional<Row>& found)
{
    const auto at = [&](const char* where, std::int64_t off) {
        Sql q;
        q << "SELECT " << selectList() << " FROM " << table() << " WHERE " << where;
        addFilter(q);
        addOrder(q, true);
        q << " LIMIT 1 OFFSET " << std::to_string(off);
        std::vector<Row> rows;
        if (!fetchQuery(q, rows))
            return false;
        if (!rows.empty())
            found = std::move(rows.front());
        return true;
    };
    if (orderIsRecno())
        return at("TRUE", offset);
    const std::string notNull = cols_[order_].ident + " IS NOT NULL";
    if (!at(notNull.c_str(), offset))
        return false;
    if (found)
        return true;
    Sql q;
    q << "SELECT count(*) FROM " << table() << " WHERE " << notNull;
    addFilter(q);
    Result r;
    if (!run(q, r))
        return false;
    const std::int64_t nonNull = std::atoll(PQgetvalue(r.get(), 0, 0));
    const std::string isNull = cols_[order_].ident + " IS NULL";
    return at(isNull.c_str(), std::max<std::int64_t>(0, offset - nonNull));
}

// ------------------------------------------------------------------ counts

bool DataObject::countRows()
{
    const auto exactCount = [&](std::int64_t& n) {
        Sql q;
        q << "SELECT count(*) FROM " << table() << " WHERE TRUE";
        addFilter(q);
        Result r;
        if (!run(q, r))
            return false;
        n = std::atoll(PQgetvalue(r.get(), 0, 0));
        return true;
    };
    std::int64_t n = 0;
    if (filter_.any()) {
        if (!exactCount(n))
            return false;
        exact_ = true;
        count_ = n;
        return true;
    }
    // reltuples, and whether the planner has statistics of the table (an
    // index build sets reltuples without them).
    const auto estimate = [&](double& tuples, bool& stats) {
        const Connection* c = conn();
        Sql q;
        q << "SELECT reltuples, EXISTS (SELECT 1 FROM pg_catalog.pg_stats WHERE schemaname = ";
        q.param(c && c->sChema.isChar() ? c->sChema.str() : std::string("public")) << " AND tablename = ";
        q.param(table_) << ") FROM pg_catalog.pg_class WHERE oid = ";
        q.param(table(), "regclass");
        Result r;
        if (!run(q, r) || PQntuples(r.get()) == 0)
            return false;
        tuples = std::strtod(PQgetvalue(r.get(), 0, 0), nullptr);
        stats = PQgetvalue(r.get(), 0, 1)[0] == 't';
        return true;
    };
    double tuples = -1;
    bool stats = false;
    if (!estimate(tuples, stats))
        return false;
    if (tuples < 0 || (tuples >= kExactBelow && !stats)) {
        // Once, so estimates and histograms exist.
        Sql a;
        a << "ANALYZE " << table();
        Result r;
        if (!run(a, r) || !estimate(tuples, stats))
            return false;
    }
    if (tuples < kExactBelow) {
        if (!exactCount(n))
            return false;
        exact_ = true;
        count_ = n;
        return true;
    }
    exact_ = false;
    count_ = static_cast<std::int64_t>(tuples);
    return true;
}

std::int64_t DataObject::lastRec()
{
    if (win_.empty())
        return 0;
    return std::max(count_, num_);
}

// Where a row stands in the order: counted when counts are exact, else read
// off the ordering column's histogram.
std::int64_t DataObject::estimatePosition(const Row& row)
{
    const Column& oc = cols_[order_];
    if (exact_) {
        Sql q;
        q << "SELECT count(*) FROM " << table() << " WHERE ";
        if (orderIsRecno()) {
            q << "\"recno\" < ";
            q.param(std::to_string(row.recno), "bigint");
        } else if (keyOf(row)) {
            q << "(" << orderKey() << ", \"recno\") < (";
            q.param(keyOf(row), oc.sqlType) << ", ";
            q.param(std::to_string(row.recno), "bigint") << ")";
        } else {
            q << "(" << oc.ident << " IS NOT NULL OR \"recno\" < ";
            q.param(std::to_string(row.recno), "bigint") << ")";
        }
        addFilter(q);
        Result r;
        if (run(q, r))
            return std::atoll(PQgetvalue(r.get(), 0, 0)) + 1;
        return std::max<std::int64_t>(num_, 1);
    }
    const double total = static_cast<double>(std::max<std::int64_t>(count_, 1));
    Sql q;
    statistics(q);
    const std::string key = "$" + std::to_string(q.params.size() + 1) + "::" + oc.sqlType;
    q << "SELECT " << cumulative(key) << ", s.nf FROM s, tot";
    q.params.push_back(keyOf(row));
    Result r;
    if (!run(q, r) || PQntuples(r.get()) == 0 || (keyOf(row) && PQgetisnull(r.get(), 0, 0))) {
        begin();
        return std::clamp<std::int64_t>(num_, 1, std::max<std::int64_t>(count_, 1));
    }
    const double below = keyOf(row) ? std::strtod(PQgetvalue(r.get(), 0, 0), nullptr)
                                    : 1.0 - std::strtod(PQgetvalue(r.get(), 0, 1), nullptr);
    return static_cast<std::int64_t>(std::clamp(below, 0.0, 1.0) * total) + 1;
}

// The planner's statistics of the ordering column as the CTEs s (histogram,
// most common values and their frequencies, NULL fraction), mcv and tot.
void DataObject::statistics(Sql& q) const
{
    const Column& oc = cols_[order_];
    const Connection* c = conn();
    // The histogram is in the column's own order; under another collation
    // its bounds are put in that order (a close estimate).
    const std::string bounds = "histogram_bounds::text::" + oc.sqlType + "[]";
    q << "WITH s AS (SELECT "
      << (caseless() ? "(SELECT array_agg(v ORDER BY v" + orderCollate() + ") FROM unnest(" + bounds + ") AS v)"
                     : bounds)
      << " AS b, most_common_vals::text::"
      << oc.sqlType << "[] AS mv, most_common_freqs AS mf, null_frac::float8 AS nf FROM pg_catalog.pg_stats "
      << "WHERE schemaname = ";
    q.param(c && c->sChema.isChar() ? c->sChema.str() : std::string("public")) << " AND tablename = ";
    q.param(table_) << " AND attname = ";
    q.param(oc.real) << " LIMIT 1), mcv AS (SELECT m.v, m.f FROM s, unnest(s.mv, s.mf) AS m(v, f)), "
                        "tot AS (SELECT coalesce(sum(f), 0)::float8 AS mt FROM mcv) ";
}

// The estimated fraction of rows ordered before the value x: the common
// values below it plus its share of the histogram of the others.
std::string DataObject::cumulative(const std::string& x) const
{
    const std::string cx = "(" + x + ")" + orderCollate();
    return "((SELECT coalesce(sum(f), 0) FROM mcv WHERE mcv.v < " + cx +
           ") + (1 - s.nf - tot.mt) * CASE WHEN coalesce(cardinality(s.b), 0) < 2 THEN 0 ELSE "
           "least(greatest((width_bucket(" + cx + ", s.b) - 1)::float8 / (cardinality(s.b) - 1), 0), 1) END)";
}

// ------------------------------------------------------------------ window

void DataObject::trimWindow()
{
    while (win_.size() > kMaxWindow) {
        if (cur_ > static_cast<std::int64_t>(win_.size() / 2)) {
            win_.pop_front();
            --cur_;
            atTop_ = false;
        } else {
            win_.pop_back();
            atEnd_ = false;
        }
    }
}

// Makes `row` current with a page of neighbours on each side. keepNum: the
// position did not change (an update that kept the key).
bool DataObject::placeAround(const Row& row, bool keepNum)
{
    const std::int64_t half = kPage / 2;
    std::vector<Row> back, fwd;
    if (!fetch(false, &row, half, back) || !fetch(true, &row, half, fwd))
        return false;
    const bool top = static_cast<std::int64_t>(back.size()) < half;
    const bool end = static_cast<std::int64_t>(fwd.size()) < half;
    std::int64_t num = num_;
    if (!keepNum) {
        if (top)
            num = static_cast<std::int64_t>(back.size()) + 1;
        else if (end && exact_)
            num = count_ - static_cast<std::int64_t>(fwd.size());
        else
            num = estimatePosition(row);
        if (lError.asBool())
            return false;
        if (!exact_) {
            // An estimate must still leave room for the rows seen around it.
            num = std::max<std::int64_t>(num, static_cast<std::int64_t>(back.size()) + 1);
            if (end)
                num = std::max<std::int64_t>(num, count_ - static_cast<std::int64_t>(fwd.size()));
            else
                num = std::min<std::int64_t>(num, std::max<std::int64_t>(count_ - static_cast<std::int64_t>(fwd.size()), 1));
        }
    }
    win_.clear();
    for (auto it = back.rbegin(); it != back.rend(); ++it)
        win_.push_back(std::move(*it));
    win_.push_back(row);
    for (Row& r : fwd)
        win_.push_back(std::move(r));
    cur_ = static_cast<std::int64_t>(back.size());
    atTop_ = top;
    atEnd_ = end;
    num_ = num;
    if (top && end)
        count_ = static_cast<std::int64_t>(win_.size());
    loadBuffer();
    return true;
}

bool DataObject::moveToFound(const Row& row)
{
    for (std::size_t i = 0; i < win_.size(); ++i) {
        if (win_[i].recno == row.recno) {
            num_ += static_cast<std::int64_t>(i) - cur_;
            cur_ = static_cast<std::int64_t>(i);
            win_[i] = row;
            loadBuffer();
            return true;
        }
    }
    return placeAround(row, false);
}

// ------------------------------------------------------------------ moves

bool DataObject::goTop()
{
    followOthersWrites();
    begin();
    std::vector<Row> rows;
    if (!fetch(true, nullptr, kPage, rows))
        return false;
    win_.assign(rows.begin(), rows.end());
    cur_ = win_.empty() ? -1 : 0;
    atTop_ = true;
    atEnd_ = static_cast<std::int64_t>(rows.size()) < kPage;
    if (atEnd_)
        count_ = static_cast<std::int64_t>(rows.size());
    num_ = win_.empty() ? 0 : 1;
    loadBuffer();
    return true;
}

bool DataObject::goBottom()
{
    followOthersWrites();
    begin();
    std::vector<Row> rows;
    if (!fetch(false, nullptr, kPage, rows))
        return false;
    win_.assign(rows.rbegin(), rows.rend());
    cur_ = static_cast<std::int64_t>(win_.size()) - 1;
    atEnd_ = true;
    atTop_ = static_cast<std::int64_t>(rows.size()) < kPage;
    if (atTop_)
        count_ = static_cast<std::int64_t>(rows.size());
    num_ = win_.empty() ? 0 : std::max<std::int64_t>(count_, static_cast<std::int64_t>(win_.size()));
    count_ = std::max(count_, num_);
    loadBuffer();
    return true;
}

std::int64_t DataObject::skip(std::int64_t n)
{
    followOthersWrites();
    begin();
    if (win_.empty() || cur_ < 0)
        return 0;
    // A failed read puts everything back: the caller sees no move at all.
    std::optional<std::deque<Row>> saved;
    const std::int64_t cur0 = cur_;
    const bool top0 = atTop_, end0 = atEnd_;
    std::int64_t moved = 0;
    while (moved != n) {
        const bool forward = n > moved;
        const std::int64_t left = forward ? n - moved : moved - n;
        const std::int64_t avail = forward ? static_cast<std::int64_t>(win_.size()) - 1 - cur_ : cur_;
        if (avail > 0) {
            const std::int64_t step = std::min(avail, left);
            cur_ += forward ? step : -step;
            moved += forward ? step : -step;
            continue;
        }
        if (forward ? atEnd_ : atTop_)
            break;
        if (!saved) {
            saved = win_;
        }
        const std::int64_t want = std::clamp<std::int64_t>(left, kPage, 2000);
        std::vector<Row> more;
        if (!fetch(forward, forward ? &win_.back() : &win_.front(), want, more)) {
            win_ = std::move(*saved);
            cur_ = cur0;
            atTop_ = top0;
            atEnd_ = end0;
            return 0;
        }
        const bool short_ = static_cast<std::int64_t>(more.size()) < want;
        if (forward) {
            atEnd_ = short_;
            win_.insert(win_.end(), more.begin(), more.end());
        } else {
            atTop_ = short_;
            for (Row& r : more)
                win_.push_front(std::move(r));
            cur_ += static_cast<std::int64_t>(more.size());
        }
        trimWindow();
        if (more.empty())
            break;
    }
    num_ += moved;
    if (atTop_ && cur_ == 0)
        num_ = 1;  // a drifted estimate is put right where the top is known
    if (atEnd_ && cur_ == static_cast<std::int64_t>(win_.size()) - 1) {
        if (exact_)
            num_ = count_;
        count_ = num_;
    }
    count_ = std::max(count_, num_);
    if (moved != 0)
        loadBuffer();
    return moved;
}

bool DataObject::bof()
{
    if (win_.empty() || cur_ < 0)
        return true;
    if (cur_ > 0 || atTop_)
        return cur_ == 0;
    std::vector<Row> more;
    if (!fetch(false, &win_.front(), kPage, more))
        return false;
    atTop_ = static_cast<std::int64_t>(more.size()) < kPage;
    for (Row& r : more)
        win_.push_front(std::move(r));
    cur_ += static_cast<std::int64_t>(more.size());
    trimWindow();
    return cur_ == 0;
}

bool DataObject::eof()
{
    if (win_.empty() || cur_ < 0)
        return true;
    const auto last = [this] { return static_cast<std::int64_t>(win_.size()) - 1; };
    if (cur_ < last() || atEnd_)
        return cur_ == last();
    std::vector<Row> more;
    if (!fetch(true, &win_.back(), kPage, more))
        return false;
    atEnd_ = static_cast<std::int64_t>(more.size()) < kPage;
    win_.insert(win_.end(), more.begin(), more.end());
    trimWindow();
    return cur_ == last();
}

// Goes to a row near the n-th of a big table through the histogram of the
// ordering column: one indexed read instead of counting n rows.
bool DataObject::jumpByStatistics(std::int64_t n)
{
    const double total = static_cast<double>(std::max<std::int64_t>(count_, 1));
    Sql q;
    statistics(q);
    q << ", cand AS (SELECT x.v FROM s, unnest(s.b) AS x(v) UNION SELECT v FROM mcv) SELECT c.v::text, "
      << cumulative("c.v") << " AS cum, s.nf FROM s, tot, cand c WHERE " << cumulative("c.v") << " <= ";
    q.param(std::to_string(static_cast<double>(n - 1) / total), "float8") << " ORDER BY cum DESC LIMIT 1";
    Result r;
    if (!run(q, r))
        return false;
    if (PQntuples(r.get()) == 0 || PQgetisnull(r.get(), 0, 0))
        return false;
    const double nullFrac = std::strtod(PQgetvalue(r.get(), 0, 2), nullptr);
    if (static_cast<double>(n) > (1.0 - nullFrac) * total)
        return jumpAmongNulls(n, (1.0 - nullFrac) * total);
    Row probe;
    probe.recno = std::numeric_limits<std::int64_t>::min();
    probe.cells.resize(cols_.size());
    probe.cells[order_] = std::string(PQgetvalue(r.get(), 0, 0));
    const double cum = std::strtod(PQgetvalue(r.get(), 0, 1), nullptr);
    std::vector<Row> rows;
    if (!fetch(true, &probe, 1, rows) || rows.empty())
        return false;
    if (!placeAround(rows.front(), true))
        return false;
    num_ = std::clamp<std::int64_t>(static_cast<std::int64_t>(cum * total) + 1, cur_ + 1, std::max<std::int64_t>(count_, 1));
    return true;
}

// The NULL rows follow in recno order: the n-th row overall is taken where
// recno divides their range in proportion, both ends read off the index.
bool DataObject::jumpAmongNulls(std::int64_t n, double nonNull)
{
    const Column& oc = cols_[order_];
    Sql q;
    q << "SELECT min(\"recno\"), max(\"recno\") FROM " << table() << " WHERE " << oc.ident << " IS NULL";
    Result r;
    if (!run(q, r) || PQntuples(r.get()) == 0 || PQgetisnull(r.get(), 0, 0))
        return false;
    const double lo = std::strtod(PQgetvalue(r.get(), 0, 0), nullptr);
    const double hi = std::strtod(PQgetvalue(r.get(), 0, 1), nullptr);
    const double nulls = std::max(static_cast<double>(count_) - nonNull, 1.0);
    const double frac = std::clamp((static_cast<double>(n) - nonNull - 1) / nulls, 0.0, 1.0);
    Row probe;
    probe.recno = static_cast<std::int64_t>(lo + frac * (hi - lo)) - 1;
    probe.cells.resize(cols_.size());
    std::vector<Row> rows;
    if (!fetch(true, &probe, 1, rows) || rows.empty() || !placeAround(rows.front(), true))
        return false;
    num_ = std::clamp<std::int64_t>(n, cur_ + 1, std::max<std::int64_t>(count_, 1));
    return true;
}

bool DataObject::goTo(std::int64_t n)
{
    followOthersWrites();
    begin();
    if (win_.empty())
        return goTop();
    n = std::max<std::int64_t>(n, 1);
    if (exact_)
        n = std::min(n, count_);
    const std::int64_t delta = n - num_;
    if (std::llabs(delta) <= 2 * kPage)
        return skip(delta) == delta || !lError.asBool();
    if (n == 1)
        return goTop();
    if (exact_ && n >= count_)
        return goBottom();
    if (!exact_ && jumpByStatistics(n))
        return true;
    if (lError.asBool())
        return false;
    std::optional<Row> row;
    if (!rowAtOffset(n - 1, row))
        return false;
    if (!row)
        return goBottom();
    if (!placeAround(*row, true))
        return false;
    num_ = n;
    count_ = std::max(count_, num_);
    return true;
}

bool DataObject::refresh()
{
    begin();
    if (!opened_)
        return fail("the data object is not open"), false;
    if (!countRows())
        return false;
    if (win_.empty() || cur_ < 0)
        return goTop();
    const Row old = win_[cur_];
    const std::optional<Row> again = readRow(old.recno, true);
    if (lError.asBool())
        return false;
    if (again)
        return placeAround(*again, false);
    std::vector<Row> next;
    if (!fetch(true, &old, 1, next))
        return false;
    return next.empty() ? goBottom() : placeAround(next.front(), false);
}

// ------------------------------------------------------------------ searching

// The first row (after `after` when given) whose ordering column starts with
// text; found stays empty when the first row at or past the text does not.
bool DataObject::findPrefix(const std::string& text, const Row* after, std::optional<Row>& found)
{
    found.reset();
    const Column& oc = cols_[order_];
    if (text.empty()) {
        std::vector<Row> rows;
        if (!fetch(true, after, 1, rows))
            return false;
        if (!rows.empty())
            found = std::move(rows.front());
        return true;
    }
    std::optional<std::string> bound;
    switch (oc.letter) {
    case 'C':
    // Under a case- and accent-blind order the folded text sorts first of
    // all the texts it stands for, so the range starts there.
    case 'M': bound = caseless() ? foldKey(text, keepEnye()) : text; break;
    case 'N': {
        char* end = nullptr;
        std::strtod(text.c_str(), &end);
        if (end && end != text.c_str() && *end == '\0')
            bound = text;
        break;
    }
    case 'D': {
        const rt::Date d = rt::ctod(text);
        if (!d.empty())
            bound = dtoq(rt::Value(d), false);
        break;
    }
    default: break;
    }
    if (!bound)
        return true;
    if (after && !keyOf(*after) && !orderIsRecno())
        return true;  // past every non-NULL value
    Sql q;
    q << "SELECT " << selectList() << " FROM " << table() << " WHERE ";
    if (!after || orderIsRecno()) {
        q << orderKey() << " >= ";
        q.param(bound, oc.sqlType);
        if (after) {
            q << " AND \"recno\" > ";
            q.param(std::to_string(after->recno), "bigint");
        }
    } else {
        // One row comparison from the later of the two starts, so the index
        // scan begins there instead of filtering from the current row on.
        const std::string b = "$" + std::to_string(q.params.size() + 1) + "::" + oc.sqlType + orderCollate();
        const std::string k = "$" + std::to_string(q.params.size() + 2) + "::" + oc.sqlType;
        const std::string r = "$" + std::to_string(q.params.size() + 3) + "::bigint";
        q << "(" << orderKey() << ", \"recno\") > (CASE WHEN " << k << " >= " << b << " THEN " << k << " ELSE " << b
          << " END, CASE WHEN " << k << " >= " << b << " THEN " << r << " ELSE " << "-9223372036854775808 END)";
        q.params.push_back(bound);
        q.params.push_back(keyOf(*after));
        q.params.push_back(std::to_string(after->recno));
    }
    addFilter(q);
    addOrder(q, true);
    q << " LIMIT 1";
    std::vector<Row> rows;
    if (!fetchQuery(q, rows))
        return false;
    if (rows.empty() || !keyOf(rows.front()))
        return true;
    const std::string& key = *keyOf(rows.front());
    const bool hit = oc.letter == 'D' ? key == *bound
                     : caseless()   ? foldKey(key, keepEnye()).rfind(*bound, 0) == 0
                                    : key.compare(0, text.size(), text) == 0;
    if (hit)
        found = std::move(rows.front());
    return true;
}

bool DataObject::locate(const std::string& text)
{
    begin();
    if (!opened_ || order_ < 0)
        return false;
    const std::string t = rt::rtrim(text);
    std::optional<Row> found;
    if (!findPrefix(t, nullptr, found))
        return false;
    locateText_ = t;
    hasLocate_ = true;
    return found && moveToFound(*found);
}

bool DataObject::locateNext()
{
    begin();
    if (win_.empty() || cur_ < 0)
        return false;
    if (!hasLocate_) {
        if (filter_.like.empty() || eof())
            return false;
        return skip(1) == 1;
    }
    std::optional<Row> found;
    if (!findPrefix(locateText_, &win_[cur_], found))
        return false;
    return found && moveToFound(*found);
}

bool DataObject::seek(const rt::Value& value, const std::string& column)
{
    begin();
    if (!opened_)
        return false;
    const int i = columnIndex(column);
    if (i < 0)
        return fail("seek: unknown column " + bare(column)), false;
    const std::optional<std::string> p = paramOf(cols_[i], value);
    if (!p)
        return false;
    if (i != order_)
        ensureIndex(i, false);
    Sql q;
    q << "SELECT " << selectList() << " FROM " << table() << " WHERE " << cols_[i].ident << " = ";
    q.param(p, cols_[i].sqlType);
    addFilter(q);
    addOrder(q, true);
    q << " LIMIT 1";
    std::vector<Row> rows;
    if (!fetchQuery(q, rows) || rows.empty())
        return false;
    return moveToFound(rows.front());
}

bool DataObject::sort(const std::string& column)
{
    begin();
    const int i = columnIndex(column);
    if (i < 0 || !opened_)
        return fail("sort: unknown column " + bare(column)), false;
    const int old = order_;
    order_ = i;
    ensureIndex(i, true);
    hasLocate_ = false;
    if (!goTop()) {
        order_ = old;
        return false;
    }
    return true;
}

std::string DataObject::orderColumn() const { return order_ >= 0 ? cols_[order_].name : bare(orderArg_); }

}  // namespace pgsql
