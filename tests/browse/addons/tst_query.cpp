// The query panel: its matching rules on a real table, the index scope
// against the full scan, Cancel from the progress window, and the embedded
// panel driven with real keys and clicks inside a running read.
#include "addons_fixture.h"
#include "common/hostile_tables.h"

#include "browse/addons/query.h"
#include "common/read_step.h"

#include "platform/dialog/panel.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/text.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <fstream>
#include <iterator>

namespace {

using rt::Value;

struct Client {
    const char* name;
    rt::Date joined;
    double amount;
};

const Client kClients[] = {
    {"Smith", rt::makeDate(2020, 1, 5), 10},  {"SMALL", rt::makeDate(2021, 3, 1), 0},
    {"Asmith", rt::makeDate(2020, 1, 5), 10}, {"Jones", rt::makeDate(2019, 7, 9), 2.5},
    {"smalley", {}, 7},
};

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class QueryTest : public addtest::AddonsTest {
protected:
    // CLIENTS: NAME C10, JOINED D, AMOUNT N8.2, with `copies` rounds of kClients.
    void openClients(int copies = 1)
    {
        const std::string p = tmp() + "/../clients.dbf";
        dbf::Table::create(p, {{"NAME", 'C', 10, 0}, {"JOINED", 'D', 8, 0}, {"AMOUNT", 'N', 8, 2}});
        {
            auto t = dbf::Table::open(p, false, false);
            for (int c = 0; c < copies; ++c)
                for (const Client& k : kClients) {
                    t->appendBlank();
                    t->put(0, Value(k.name));
                    t->put(1, Value(k.joined));
                    t->put(2, Value::number(k.amount, 2));
                }
            t->flush();
        }
        rt::evalText("DbUseArea(.T., \"FOXCDX\", \"" + p + "\", \"CLIENTS\")");
    }
    // A panel over NAME, JOINED and AMOUNT; NAME scopes on order BYNAME.
    Value makeQuery(const Value& list = Value::array())
    {
        Value q = rt::sendWith(rt::callFunction("RK_BrowseQuery"), "new", list);
        rt::setMember(q, "queryArray",
                      rt::makeArray({rt::makeArray({"Name", "NAME", "", "BYNAME"}), rt::makeArray({"Joined", "JOINED", "", ""}),
                                     rt::makeArray({"Amount", "AMOUNT", "", ""})}));
        return q;
    }
    // Entry `item` (1-based) as if typed.
    static void setEntry(const Value& q, int item, const Value& v)
    {
        static_cast<addons::BrowseQuery&>(q.asObject()).queryArray.asArray().items[std::size_t(item) - 1].asArray().items[6] = v;
    }
    // Blank entries, as buildGets would leave them.
    static void blank(addons::BrowseQuery& q)
    {
        for (Value& item : q.queryArray.asArray().items) {
            item.asArray().items.resize(8);
            const std::string expr = item.asArray().items[1].str();
            item.asArray().items[6] = expr == "NAME" ? Value("          ") : expr == "JOINED" ? Value(rt::Date{}) : Value(0);
        }
    }
    // The names the work area shows now, in its order.
    static std::vector<std::string> shownNames()
    {
        std::vector<std::string> out;
        dbf::WorkArea& a = *dbf::findArea("CLIENTS");
        for (a.goTop(); !a.eof(); a.skip(1))
            out.push_back(rt::rtrim(a.fieldGet(0).asString()));
        return out;
    }
};

TEST_F(QueryTest, EntriesMatchByTheirKind)
{
    struct Case {
        const char* name;
        Value name_, joined, amount;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"text is a case-folded prefix", "sm        ", rt::Date{}, 0, {"Smith", "SMALL", "smalley"}},
        {"text and number together", "sm", rt::Date{}, Value::number(10, 2), {"Smith"}},
        {"a numeric 0 is no criterion", "Jo", rt::Date{}, 0, {"Jones"}},
        {"dates are equal", "", rt::makeDate(2020, 1, 5), 0, {"Smith", "Asmith"}},
        {"a decimal number is equal", "", rt::Date{}, Value::number(2.5, 2), {"Jones"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openClients();
        const Value q = makeQuery();
        auto& bq = static_cast<addons::BrowseQuery&>(q.asObject());
        blank(bq);
        setEntry(q, 1, c.name_);
        setEntry(q, 2, c.joined);
        setEntry(q, 3, c.amount);
        dlg::MessageCapture capture;
        bq.applyQuery({});
        EXPECT_EQ(shownNames(), c.expected);
        EXPECT_TRUE(capture.messages.empty());
        dbf::closeAllAreas();
    }
}

// The in-place comparison of an ASCII head must agree with upper-casing the
// whole field, whatever follows the head and whatever the entry holds.
TEST(QueryTextTest, PrefixTestAgreesWithUpperOfTheField)
{
    struct Case {
        const char* name;
        const char* field;
        const char* entry;  // upper-cased and trimmed, as the scan keeps it
        bool expected;
    };
    const Case cases[] = {
        {"ASCII head, mixed case", "smITH     ", "SMI", true},
        {"ASCII head, non-ASCII after it", "straße", "STRA", true},
        {"the entry is the whole field", "Jones", "JONES", true},
        {"an empty entry", "x", "", true},
        {"a different ASCII letter", "Asmith", "SM", false},
        {"the field is shorter", "Sm", "SMI", false},
        {"non-ASCII in the head", "ñandú", "ÑAN", true},
        {"accented upper in the entry", "Ángel", "ÁN", true},
        {"an ASCII head against a non-ASCII entry", "Angel", "ÁN", false},
        {"a non-ASCII head against an ASCII entry", "Ángel", "AN", false},
        {"a short non-ASCII field against a longer entry", "éa", "ÉAB", false},
        {"digits and signs stay as they are", "12-ab", "12-AB", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(addons::startsWithUpper(c.field, c.entry), c.expected);
        EXPECT_EQ(addons::startsWithUpper(c.field, c.entry), rt::upper(c.field).rfind(c.entry, 0) == 0);
    }
}

TEST_F(QueryTest, NoCriteriaAlertsAndNoMatchSaysSo)
{
    openClients();
    const Value q = makeQuery();
    auto& bq = static_cast<addons::BrowseQuery&>(q.asObject());
    blank(bq);
    dlg::MessageCapture capture;
    EXPECT_FALSE(bq.testQuery());
    bq.applyQuery({});
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_EQ(capture.messages[0].text, "No Search Criteria Entered!!");
    EXPECT_EQ(shownNames().size(), 5u);

    setEntry(q, 1, Value("zz"));
    bq.applyQuery({});
    ASSERT_EQ(capture.messages.size(), 2u);
    EXPECT_EQ(capture.messages[1].text, "No Matching Records Were Found");
    EXPECT_EQ(capture.messages[1].title, "Data Alert");
    EXPECT_TRUE(shownNames().empty());

    bq.clearFields({});
    EXPECT_FALSE(bq.testQuery());
    EXPECT_EQ(shownNames().size(), 5u);
}

// With the controlling order on the queried field only its key range is
// read; the records found are those of the full scan.
TEST_F(QueryTest, TheIndexScopeGivesWhatTheFullScanGives)
{
    openClients(3);
    std::vector<std::string> results[2];
    for (int scoped : {0, 1}) {
        SCOPED_TRACE(scoped);
        dbf::WorkArea& a = *dbf::findArea("CLIENTS");
        a.setFocus(0);
        if (scoped)
            rt::evalText("OrdCreate(, \"BYNAME\", \"Upper(NAME)\")");
        const Value q = makeQuery();
        auto& bq = static_cast<addons::BrowseQuery&>(q.asObject());
        blank(bq);
        setEntry(q, 1, Value("sm"));
        bq.applyQuery({});
        results[scoped] = shownNames();
        std::sort(results[scoped].begin(), results[scoped].end());
    }
    EXPECT_EQ(results[0].size(), 9u);
    EXPECT_EQ(results[0], results[1]);
}

TEST_F(QueryTest, CancelShowsEverythingAgain)
{
    openClients(2000);  // 10,000 records: many rounds of events
    const Value q = makeQuery();
    auto& bq = static_cast<addons::BrowseQuery&>(q.asObject());
    blank(bq);
    setEntry(q, 1, Value("sm"));
    bool clicked = false;
    QTimer::singleShot(0, [&clicked] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "RK_ProgressWindow" && w->isVisible())
                if (auto* cancel = w->findChild<QPushButton*>("Cancel")) {
                    QTest::mouseClick(cancel, Qt::LeftButton);
                    clicked = true;
                }
    });
    dlg::MessageCapture capture;
    bq.applyQuery({});
    EXPECT_TRUE(clicked);
    EXPECT_EQ(shownNames().size(), 10000u);
    EXPECT_TRUE(capture.messages.empty());
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->objectName() == "RK_ProgressWindow" && w->isVisible()) << "the progress window stays";
}

// The panel embedded above a browse, as dxc-browse builds it, driven by keys and clicks.
TEST_F(QueryTest, EmbeddedPanelFindsWithRealKeysAndClicks)
{
    openClients();
    addtest::Dialog d;
    auto holder = std::make_shared<Value>();
    const Value holderAnchor = dlg::getAnchorCB([holder] { return *holder; }, [holder](const Value& v) { *holder = v; });
    d.list.asArray().items.push_back(dlg::getTemplate(dlg::type::Static));
    dlg::getListSet(d.list, dlg::slot::Width, 60);
    dlg::getListSet(d.list, dlg::slot::Height, 15);
    dlg::getListSet(d.list, dlg::slot::Anchor, holderAnchor);
    auto browse = std::make_shared<Value>();
    d.list.asArray().items.push_back(dlg::getTemplate(dlg::type::Browse));
    dlg::getListSet(d.list, dlg::slot::Alias, "CLIENTS");
    dlg::getListSet(d.list, dlg::slot::Width, 60);
    dlg::getListSet(d.list, dlg::slot::Height, 15);
    dlg::getListSet(d.list, dlg::slot::ParentAnchor, holderAnchor);
    dlg::getListSet(d.list, dlg::slot::Anchor,
                    dlg::getAnchorCB([browse] { return *browse; }, [browse](const Value& v) { *browse = v; }));
    d.list.asArray().items.push_back(dlg::getTemplate(dlg::type::Column));
    dlg::getListSet(d.list, dlg::slot::DataBlock, rt::makeBlock([](rt::Args) { return rt::fieldHooks().aliasGet("CLIENTS", "NAME"); }));

    const Value q = makeQuery(d.list);
    auto& bq = static_cast<addons::BrowseQuery&>(q.asObject());
    rt::setMember(q, "staticWidth", 60);
    bq.buildGets(rt::makeBlock([browse](rt::Args) { return *browse; }), holderAnchor);
    ASSERT_TRUE(bq.startBlock.isBlock());

    QTimer watchdog;
    testread::startReadWatchdog(watchdog);
    auto widget = [&d](const char* id) { return gui::asPart(dlg::getObject(d.list, id))->widget(); };
    QPushButton* find = nullptr;
    QPushButton* clear = nullptr;
    int browseHeight = 0;
    dlg::MessageCapture capture;
    testread::then([&] {
        for (QPushButton* b : dlg::activeDialog()->findChildren<QPushButton*>())
            (b->text() == "Find" ? find : b->text() == "Clear" ? clear : b) = b;
        ASSERT_TRUE(find && clear);
        EXPECT_FALSE(bq.isVisible());
        browseHeight = gui::asPart(*browse)->widget()->height();
        rt::evalWith(bq.startBlock);
        EXPECT_TRUE(bq.isVisible());
        EXPECT_EQ(gui::asPart(*browse)->widget()->height(), browseHeight - gui::asPart(bq.parentObject)->widget()->height());
        EXPECT_FALSE(find->isEnabled());
        QTest::keyClicks(widget("QUERY_1"), "s");
        testread::then([&] {
            EXPECT_TRUE(find->isEnabled()) << "enabled on the first key";
            EXPECT_TRUE(clear->isEnabled());
            QTest::keyClick(widget("QUERY_1"), Qt::Key_Backspace);
            testread::then([&] {
                EXPECT_FALSE(find->isEnabled()) << "disabled when emptied";
                QTest::keyClicks(widget("QUERY_1"), "sm");
                testread::then([&] {
                    QTest::mouseClick(find, Qt::LeftButton);
                    testread::then([&] {
                        EXPECT_EQ(shownNames(), (std::vector<std::string>{"Smith", "SMALL", "smalley"}));
                        for (QPushButton* b : dlg::activeDialog()->findChildren<QPushButton*>())
                            if (b->text() == "Done")
                                QTest::mouseClick(b, Qt::LeftButton);
                        testread::then([&] {
                            EXPECT_FALSE(bq.isVisible());
                            EXPECT_EQ(gui::asPart(*browse)->widget()->height(), browseHeight);
                            EXPECT_EQ(shownNames().size(), 5u);
                            dlg::readGuiEvent(5, d.list);
                        });
                    });
                });
            });
        });
    });
    const Value args[] = {d.list, "query"};
    dlg::readGui(rt::Args(args, 2));
    EXPECT_TRUE(capture.messages.empty());
    *browse = Value();
}

// Floating, the panel is a window of its own that startBlock runs and
// doneBlock ends; the entries start blank and "Find" waits for a key.
TEST_F(QueryTest, FloatingPanelRunsInItsOwnWindow)
{
    openClients();
    const Value q = makeQuery();
    auto& bq = static_cast<addons::BrowseQuery&>(q.asObject());
    bq.isFloating = true;
    bq.buildGets(Value(), Value());
    EXPECT_TRUE(rt::isEmpty(tb::at(tb::at(bq.queryArray, 1), 7)));
    EXPECT_TRUE(tb::at(tb::at(bq.queryArray, 2), 7).isDate());
    QTimer watchdog;
    testread::startReadWatchdog(watchdog);
    bool ran = false;
    testread::then([&] {
        ran = true;
        EXPECT_TRUE(bq.isVisible());
        EXPECT_EQ(dlg::activeDialog()->windowTitle().toStdString(), "Browse Query");
        EXPECT_TRUE(dlg::getObject(bq.queryGetList, "QUERY_3").isObject());
        for (QPushButton* b : dlg::activeDialog()->findChildren<QPushButton*>())
            if (b->text() == "Find")
                EXPECT_FALSE(b->isEnabled());
        rt::evalWith(bq.doneBlock);
    });
    rt::evalWith(bq.startBlock);
    EXPECT_TRUE(ran);
    EXPECT_FALSE(bq.isVisible());
}


// Field names that are code stay names: building the panel (names given as
// text or as positions), a search and clearing it run none of them. Run,
// DBAPPEND() would append a record and DBCREATE(...) empty V.dbf.
TEST_F(QueryTest, FieldNamesFromTheFileAreNeverRun)
{
    struct Case {
        const char* name;
        std::vector<std::string> names;
        bool level7;
    };
    const Case cases[] = {{"dBASE III", hostile::kLevel3Names, false}, {"dBASE 7", {hostile::kLevel7Name, "  DBAPPEND()"}, true}};
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(tmp()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostile::write(tmp() + "/V.dbf", {"X"}, {"abcd"}, false);
        hostile::write(tmp() + "/H.dbf", c.names, {std::string(4 * c.names.size(), 'a')}, c.level7);
        const std::string table = slurp(tmp() + "/H.dbf"), victim = slurp(tmp() + "/V.dbf");
        rt::callWith("DbUseArea", true, "FOXCDX", tmp() + "/H.dbf", "H", true, false);
        Value items = Value::array();
        for (std::size_t i = 0; i < c.names.size(); ++i)
            items.asArray().items.push_back(rt::makeArray({Value(c.names[i]), Value(std::int64_t(i + 1)), "", ""}));
        for (const std::string& n : c.names)  // the names as text, as a caller may pass them
            items.asArray().items.push_back(rt::makeArray({"as text", Value(n), "", ""}));
        Value q = rt::sendWith(rt::callFunction("RK_BrowseQuery"), "new", Value::array());
        auto& bq = static_cast<addons::BrowseQuery&>(q.asObject());
        bq.queryArray = items;
        bq.isFloating = true;
        bq.buildGets(Value(), Value());
        EXPECT_EQ(tb::at(tb::at(bq.queryArray, 1), 7).str(), "    ") << "the blank value, read by position";
        setEntry(q, 1, Value("a"));
        setEntry(q, int(c.names.size()) + 1, Value("A"));
        dlg::MessageCapture capture;
        bq.applyQuery({});
        EXPECT_TRUE(capture.messages.empty());
        bq.clearFields({});
        dbf::closeAllAreas();
        EXPECT_EQ(slurp(tmp() + "/H.dbf"), table);
        EXPECT_EQ(slurp(tmp() + "/V.dbf"), victim);
    }
    QDir::setCurrent(cwd);
}

// A query text that does not compile, or fails on a record, is a fault of
// the program: it is raised, and the window, the pointer and the work
// area's record list are as they were before the search.
TEST_F(QueryTest, AFaultyQueryTextLeavesNothingBehind)
{
    for (const char* text : {"NAME +", "NAME + 1"}) {
        SCOPED_TRACE(text);
        openClients();
        dbf::WorkArea& a = *dbf::findArea("CLIENTS");
        a.setRecordList(std::vector<std::uint32_t>{1, 2});
        Value q = rt::sendWith(rt::callFunction("RK_BrowseQuery"), "new", Value::array());
        auto& bq = static_cast<addons::BrowseQuery&>(q.asObject());
        bq.queryArray = rt::makeArray({rt::makeArray({"Bad", text, "", "", 0, 0, Value("x"), Value()})});
        EXPECT_FALSE(rt::guarded([&] { bq.applyQuery({}); }));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(w->objectName() == "RK_ProgressWindow" && w->isVisible());
        ASSERT_TRUE(a.recordList().has_value());
        EXPECT_EQ(a.recordList()->size(), 2u);
        dbf::closeAllAreas();
    }
}
}  // namespace
