// The SQL data object: one table of a connection seen as a cursor with a
// record buffer, made by the runtime function PGSQL and opened by `new`:
//
//     oData := PGSQL(oConn, "dxcam01", NIL, "dxcam01.recno,dxcam01.nombre", NIL, NIL, {}, {},
//                    "dxcam01.nombre", NIL, NIL, .F., 1, .F., aAuditCols, aAuditBlocks, "foto"):new()
//
// Its class derives from "SpSql", so a browse navigates it with SQLViewSkip,
// GoTop, GoBottom, getNum, LastRec and dataarea:goTo. Every column of the
// table but the picture column is a member named by the column in lower case
// (the listed ones writable, the others read-only); `recno` is the row's
// number, 0 for a new row.
//
// Rows are read a page at a time in the current order, with keyset
// conditions on (ordering column, recno), and only a bounded window of them
// is kept: a table of a million rows costs what a page costs. Positions and
// the row count are exact for small or filtered sets and estimated from the
// planner's statistics otherwise.
//
// Values reach the server only as parameters or quoted identifiers; the
// condition and join texts callers pass are program text and are used as
// given. When the server goes away a method reports it (failure.h), leaves
// the object as it was and returns .F. or 0; the next call reconnects first.
// A refused write is reported the same way; the object never speaks to the
// user itself.
#pragma once

#include "failure.h"

#include "platform/runtime/object.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct pg_result;

namespace pgsql {

class Connection;
namespace detail {
struct ResultDeleter;
}

// Folder against which picture file names are resolved; "" (the default)
// means the working folder. Process-wide.
void setDataFolder(std::string path);
[[nodiscard]] const std::string& dataFolder();

// Largest picture file read.
inline constexpr std::int64_t kMaxPictureBytes = 16 * 1024 * 1024;

// The bytes a stored picture value stands for: a data: URI or bare base64 is
// decoded; anything else is a file name relative to dataFolder(). A name
// that is absolute, contains "..", or resolves (symlinks included) outside
// the folder, a missing file and one over kMaxPictureBytes give "".
[[nodiscard]] std::string pictureBytes(const std::string& stored);
// "data:image/<fmt>;base64,..." for image bytes ("" for none).
[[nodiscard]] std::string pictureUri(const std::string& bytes);

class DataObject final : public rt::Object {
public:
    DataObject();
    ~DataObject() override;
    [[nodiscard]] const rt::ClassInfo& classInfo() const override { return *info_; }
    // The methods every data object shares; its name is "SpSql".
    static const rt::ClassInfo& staticClass();

    // What PGSQL(...) takes, by name. args() gives its 17 positional
    // arguments, with the entries the object does not read as the program
    // has always passed them.
    struct Settings {
        // Every member has a default, so callers name only what they set.
        rt::Value connection{};
        std::string table{};
        std::string columns{};  // "t.a,t.b,...", or "" for all
        std::string order{};    // the ordering column
        rt::Value startRow{};   // 1 to start on the first row; NIL
        std::vector<std::string> auditColumns{};
        rt::Value auditValues{};  // one block (or value) per audit column
        std::string pictureColumn{};
        [[nodiscard]] std::vector<rt::Value> args() const;
    };

    // Keeps PGSQL's 17 arguments for `new`.
    void configure(rt::Args a);
    void configure(const Settings& settings);
    // Reads the table's columns, adds the picture column when missing, makes
    // the ordering index and goes to the first row. False with lError set
    // when the table or a column is unknown or the server refuses.
    bool open();

    // ---- navigation (kind 7) ----
    std::int64_t skip(std::int64_t n);  // rows moved, sign included
    bool goTop();
    bool goBottom();
    bool goTo(std::int64_t n);  // n-th row of the order
    [[nodiscard]] std::int64_t getNum() const noexcept { return num_; }
    std::int64_t lastRec();
    bool bof();
    bool eof();

    // ---- buffer ----
    bool recordGet();
    void recordBlank();
    bool recordPut(const std::string& condition);
    void recordCancel();
    // Rows of another table that belong to a row (the same value in
    // `column`); they are deleted with it.
    struct Companion {
        std::string table;
        std::string column;
    };
    bool recordDelete(const std::string& condition, const std::vector<Companion>& companions = {});
    bool refresh();
    // Whether the buffer differs from the row it was read from (a new row:
    // from a blank one), the picture included.
    [[nodiscard]] bool changed() const;

    // ---- searching and order ----
    bool seek(const rt::Value& value, const std::string& column);
    bool locate(const std::string& text);
    bool locateNext();
    bool sort(const std::string& column);
    [[nodiscard]] std::string orderColumn() const;
    // {{column, value}, ...}: rows where any pair is equal; empty removes it.
    bool setFilter(const rt::Value& conds);
    // SQLRefresh: new ordering column (kept when empty or unknown), join table
    // and condition (EXISTS; empty removes), LIKE pattern on the ordering
    // column (empty removes). Goes to the top.
    bool sqlRefresh(const rt::Value& conn, const std::string& order, const std::string& joinTable,
                    const std::string& joinCond, const std::string& like);

    // ---- columns ----
    [[nodiscard]] std::int64_t fieldCount() const noexcept { return static_cast<std::int64_t>(listed_.size()); }
    [[nodiscard]] std::string fieldName(std::int64_t n) const;
    [[nodiscard]] std::string fieldType(const std::string& column) const;
    rt::Value fieldGet(const std::string& column);
    rt::Value fieldGetPicture(const std::string& column);
    void fieldPutPicture(const std::string& bytes);

    void destroy();

    [[nodiscard]] bool isNewRow() const noexcept { return newRow_; }
    [[nodiscard]] std::int64_t recno() const;
    [[nodiscard]] const std::string& errorText() const noexcept { return error_; }
    // The last call's failure (kind Other with an empty text after success).
    [[nodiscard]] const Failure& lastFailure() const noexcept { return failure_; }

    rt::Value lError;    // .T. after a failed call
    rt::Value dataarea;  // object whose goTo(n) goes to the n-th row

private:
    struct Column {
        std::string name;     // lower case, as members are named
        std::string real;     // as the catalog spells it
        std::string ident;    // quoted identifier
        // The type without its length, for parameter casts: a cast to
        // character(5) would cut a longer value short instead of refusing it.
        std::string sqlType;
        char letter = 'C';    // C N D L M
        int length = 0;
        int decimals = 0;
        bool padded = false;  // character(n)/varchar(n): values padded to length
        bool bpchar = false;  // character(n): trailing blanks do not count
        bool text = false;    // a string type: ordered under the text collation
    };
    struct Row {
        std::int64_t recno = 0;
        std::string version;  // xmin, to notice changes by others
        std::vector<std::optional<std::string>> cells;  // per column, server text
    };
    struct Filter {
        std::string like;       // pattern on column likeCol
        int likeCol = -1;
        std::string joinTable;  // lower case
        std::string joinCond;   // program text
        std::vector<std::pair<int, std::optional<std::string>>> equals;  // SetFilter: column, value
        [[nodiscard]] bool any() const { return !like.empty() || !joinTable.empty() || !equals.empty(); }
    };
    class Sql;

    // the session: connection, statements, failures (dataobject_session.cpp)
    Connection* conn() const;
    bool ready();
    bool run(const Sql& sql, std::unique_ptr<pg_result, detail::ResultDeleter>& out);
    void fail(std::string text);
    void fail(FailureKind kind, std::string text, std::string statement = {}, std::string sqlstate = {});
    void report() const;
    void begin();
    void startFollowingWrites();
    // the schema step (dataobject_schema.cpp)
    bool readSchema();
    [[nodiscard]] std::string table() const;
    [[nodiscard]] int columnIndex(const std::string& name) const;
    [[nodiscard]] static std::string bare(std::string_view name);
    bool readColumns();
    bool ensurePictureColumn();
    void ensureIndex(int col, bool withRecno);
    // A trigram index on the fold key of a column, which serves LIKE
    // '%text%'; only where the server has (or lets us add) pg_trgm.
    void ensureLikeIndex(int col);
    [[nodiscard]] std::string indexName(const std::string& column, const char* suffix) const;
    void addMembers();
    [[nodiscard]] rt::Value valueOf(const Column& c, const std::optional<std::string>& cell) const;
    [[nodiscard]] std::optional<std::string> paramOf(const Column& c, const rt::Value& v) const;
    [[nodiscard]] rt::Value emptyOf(const Column& c) const;
    void loadBuffer();
    void clearBuffer();
    std::optional<Row> readRow(std::int64_t recno, bool filtered);
    [[nodiscard]] std::vector<std::pair<int, rt::Value>> writeValues() const;
    void insertSql(Sql& q, const std::vector<std::pair<int, rt::Value>>& values, const std::string& cond) const;
    void updateSql(Sql& q, const std::vector<std::pair<int, rt::Value>>& values, const std::string& cond) const;
    void explainUnwritten();
    void deleteSql(Sql& q, const std::string& cond, const std::vector<Companion>& companions) const;
    void explainUndeleted();

    // rows and positions (dataobject_nav.cpp)
    [[nodiscard]] std::string selectList() const;
    void addFilter(Sql& q) const;
    [[nodiscard]] const std::optional<std::string>& keyOf(const Row& r) const { return r.cells[order_]; }
    bool fetch(bool forward, const Row* from, std::int64_t limit, std::vector<Row>& out);
    bool fetchQuery(Sql& q, std::vector<Row>& out);
    bool placeAround(const Row& row, bool keepNum);
    bool moveToFound(const Row& row);
    bool countRows();
    std::int64_t estimatePosition(const Row& row);
    bool jumpByStatistics(std::int64_t n);
    bool jumpAmongNulls(std::int64_t n, double nonNull);
    void statistics(Sql& q) const;
    [[nodiscard]] std::string cumulative(const std::string& x) const;
    void trimWindow();
    [[nodiscard]] bool orderIsRecno() const { return order_ == recnoCol_; }
    bool findPrefix(const std::string& text, const Row* after, std::optional<Row>& found);
    bool rowAtOffset(std::int64_t offset, std::optional<Row>& found);
    void addOrder(Sql& q, bool forward) const;
    // The ordering column as the order compares it: under the text
    // collation for a text column (collation.h).
    [[nodiscard]] std::string orderKey() const;
    // " COLLATE ..." for comparisons of the ordering column's values, or "".
    [[nodiscard]] std::string orderCollate() const;
    // Whether the order ignores case and accents, so a search folds too.
    [[nodiscard]] bool caseless() const { return !orderCollate().empty(); }
    // Ñ is a letter of its own in the Spanish order, an accented N otherwise.
    [[nodiscard]] bool keepEnye() const { return collation_ != "und-x-icu"; }

    rt::Value connValue_;
    std::unique_ptr<rt::ClassInfo> info_;
    std::string table_;
    std::string columnList_;
    std::string orderArg_;
    std::vector<std::string> auditNames_;
    rt::Value auditBlocks_;
    std::string pictureCol_;
    bool opened_ = false;
    bool destroyed_ = false;

    std::vector<Column> cols_;
    std::vector<int> listed_;  // FieldName order, indexes into cols_
    int recnoCol_ = -1;
    int order_ = -1;
    bool hasPicture_ = false;
    std::set<std::string> indexed_;
    std::string collation_;  // the connection's text collation, "" for the default
    std::string trgmSchema_;  // where gin_trgm_ops lives; "" not looked up, "-" none

    std::vector<rt::Value> buffer_;
    bool newRow_ = false;
    std::optional<std::optional<std::string>> pendingPicture_;  // staged text, or NULL

    Filter filter_;
    std::string locateText_;
    bool hasLocate_ = false;

    std::deque<Row> win_;
    std::int64_t cur_ = -1;
    bool atTop_ = true;
    bool atEnd_ = true;
    std::int64_t num_ = 0;
    std::int64_t count_ = 0;
    bool exact_ = true;

    std::string error_;
    Failure failure_;
    bool resetPending_ = false;
    // Writes to the same table through any data object of this process are
    // counted per table; an object that sees a count newer than its own
    // reads its rows again before it moves (a browse over one object shows
    // what a form saved or deleted through another).
    std::string writeKey_;
    std::uint64_t writesSeen_ = 0;
    void noteOwnWrite();
    void followOthersWrites();
};

// Registers PGSQL and SQLRefresh.
void registerDataObjectFunctions();

}  // namespace pgsql
