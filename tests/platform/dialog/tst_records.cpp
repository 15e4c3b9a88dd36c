// Element records, anchors, ids, XCOL and the entry formats, without a dialog.
#include "platform/dialog/dialog.h"
#include "platform/dialog/entry.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <gtest/gtest.h>

namespace {

using rt::Value;

const Value& slotAt(const Value& rec, int slot) { return rec.asArray().at1(slot); }

void append(const Value& list, Value rec) { list.asArray().items.push_back(std::move(rec)); }

class Records : public ::testing::Test {
protected:
    void SetUp() override { dlg::registerDialogFunctions(); }
};

// --- the template

struct TemplateCase {
    const char* name;
    int type;
    Value sub;
    const char* typeName;
};
void PrintTo(const TemplateCase& c, std::ostream* os) { *os << c.name; }

class Templates : public Records, public ::testing::WithParamInterface<TemplateCase> {};

TEST_P(Templates, FreshRecordNamesItsType)
{
    const TemplateCase& c = GetParam();
    const Value rec = rt::callWith("RK_GetTemplate", c.type, c.sub);
    ASSERT_TRUE(rec.isArray());
    EXPECT_EQ(rec.asArray().size(), std::size_t(dlg::kRecordSlots));
    EXPECT_EQ(slotAt(rec, dlg::slot::Type).asInt(), c.type);
    const Value& source = slotAt(rec, dlg::slot::Source);
    ASSERT_TRUE(source.isArray());
    ASSERT_EQ(source.asArray().size(), 8u);
    EXPECT_EQ(source.asArray().at1(1).str(), c.typeName);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Templates,
    ::testing::Values(TemplateCase{"LabelOfPair", 12, 1, "RKSAYGET"}, TemplateCase{"EntryOfPair", 2, Value(), "RKSAYGET"},
                      TemplateCase{"EntryAlone", 2, 0, "RKGET"}, TemplateCase{"Group", 1, 2, "RKGROUP"},
                      TemplateCase{"CheckBox", 5, Value(), "RKCHECKBOX"}, TemplateCase{"ComboBox", 6, 3, "RKCOMBOBOX"},
                      TemplateCase{"PushButton", 10, Value(), "RKPUSHBUTTON"},
                      TemplateCase{"Static", 13, Value(), "RKSTATIC"}, TemplateCase{"Browse", 28, Value(), "RKBROWSE"},
                      TemplateCase{"BrowseColumn", 29, Value(), "RKBROWSECOL"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Records, TemplateDefaultsSuitTheElement)
{
    const Value button = dlg::getTemplate(dlg::type::PushButton);
    const Value& options = slotAt(button, dlg::slot::Options);
    ASSERT_EQ(options.asArray().size(), 8u);
    EXPECT_TRUE(options.asArray().at1(4).isLogical());
    const Value entry = dlg::getTemplate(dlg::type::Get);
    EXPECT_FALSE(slotAt(entry, dlg::slot::Password).asArray().at1(1).asBool());
    EXPECT_EQ(slotAt(dlg::getTemplate(dlg::type::Browse), dlg::slot::Options).asArray().size(), 56u);
    EXPECT_EQ(slotAt(dlg::getTemplate(dlg::type::Column), 2).asInt(), 4);
}

TEST_F(Records, TemplatesShareNoArrays)
{
    const Value a = dlg::getTemplate(dlg::type::Get);
    const Value b = dlg::getTemplate(dlg::type::Get);
    slotAt(a, dlg::slot::Password).asArray().at1(1) = true;
    EXPECT_FALSE(slotAt(b, dlg::slot::Password).asArray().at1(1).asBool());
}

TEST_F(Records, UnknownTypeIsAnArgumentError)
{
    EXPECT_THROW((void)dlg::getTemplate(99), rt::Error);
    EXPECT_THROW(rt::callWith("RK_GetTemplate", "10"), rt::Error);
}

// --- RK_GetListSet

TEST_F(Records, ListSetWritesTheLastRecord)
{
    const Value list = Value::array();
    append(list, dlg::getTemplate(12, 1));
    append(list, dlg::getTemplate(2));
    rt::callWith("RK_GetListSet", list, 3, "Caption");
    EXPECT_EQ(slotAt(list.asArray().at1(2), 3).str(), "Caption");
    EXPECT_EQ(slotAt(list.asArray().at1(1), 3).str(), "");
}

TEST_F(Records, ListSetGrowsAShortRecord)
{
    const Value list = rt::makeArray({rt::makeArray({10})});
    dlg::getListSet(list, 70, "x");
    EXPECT_EQ(list.asArray().at1(1).asArray().size(), 70u);
}

TEST_F(Records, ListSetRefusesWhatIsNotARecord)
{
    EXPECT_THROW(dlg::getListSet(Value::array(), 3, 1), rt::Error);
    EXPECT_THROW(dlg::getListSet(rt::makeArray({"not a record"}), 3, 1), rt::Error);
    const Value list = rt::makeArray({dlg::getTemplate(10)});
    EXPECT_THROW(dlg::getListSet(list, 0, 1), rt::Error);
    EXPECT_THROW(dlg::getListSet(list, dlg::kRecordSlots + 1, 1), rt::Error);
    EXPECT_THROW(dlg::getListSet(Value("GetList"), 3, 1), rt::Error);
}

// --- anchors and ids

TEST_F(Records, AnchorOverCppVariable)
{
    Value v = "abc";
    const Value cb = dlg::getAnchorCB([&] { return v; }, [&](const Value& x) { v = x; }, "v");
    EXPECT_EQ(rt::evalWith(cb).str(), "abc");
    EXPECT_EQ(rt::evalWith(cb, 5).asInt(), 5);
    EXPECT_EQ(v.asInt(), 5);
}

TEST_F(Records, AnchorOverProgramWideVariableByName)
{
    rt::publicSet("cHostT", "localhost");
    const Value cb = rt::callWith("RK_GetAnchorCB", rt::publicGet("cHostT"), Value(), rt::publicGet("cHostT"), "@k",
                                  Value(), Value(), Value(), "cHostT");
    EXPECT_EQ(rt::evalWith(cb).str(), "localhost");
    rt::evalWith(cb, "db");
    EXPECT_EQ(rt::publicGet("cHostT").str(), "db");
    rt::publicRelease("cHostT");
    EXPECT_THROW(rt::evalWith(cb), rt::Error);  // the variable is gone: a clear error
}

TEST_F(Records, AnchorOverBlock)
{
    Value store = 1;
    const Value var = rt::makeBlock([&](rt::Args a) {
        if (!a.empty())
            store = a[0];
        return store;
    });
    const Value cb = rt::callWith("RK_GetAnchorCB", var);
    rt::evalWith(cb, 42);
    EXPECT_EQ(store.asInt(), 42);
    EXPECT_EQ(rt::evalWith(cb).asInt(), 42);
}

TEST_F(Records, AnchorWithoutVariableIsAnArgumentError)
{
    EXPECT_THROW(rt::callWith("RK_GetAnchorCB", 5), rt::Error);
    EXPECT_THROW(rt::callWith("RK_GetAnchorCB", "   "), rt::Error);
}

TEST_F(Records, IdDefault)
{
    EXPECT_EQ(rt::callWith("RK_GetIdDefault", Value(), "cHost", "GET_").str(), "GET_CHOST");
    EXPECT_EQ(dlg::getIdDefault("MY_ID", "cHost", "GET_"), "MY_ID");
    EXPECT_EQ(dlg::getIdDefault("   ", "nPort", "GET_"), "GET_NPORT");
}

// --- XCOL

TEST_F(Records, XcolIsRightOfTheLastElement)
{
    const Value list = Value::array();
    EXPECT_EQ(rt::callWith("XCOL", list).asDouble(), 0.0);
    append(list, dlg::getTemplate(12, 1));
    dlg::getListSet(list, 3, "HostName:");
    dlg::getListSet(list, 6, 1.0);
    EXPECT_DOUBLE_EQ(dlg::xcol(list), 1.0 + 9);  // a label is as wide as its caption

    Value host = rt::padR("localhost", 19);
    append(list, dlg::getTemplate(2));
    dlg::getListSet(list, 4, dlg::getAnchorCB([&] { return host; }, [&](const Value& v) { host = v; }));
    dlg::getListSet(list, 6, 10.0);
    dlg::getListSet(list, 12, "@k");
    EXPECT_DOUBLE_EQ(dlg::xcol(list), 10.0 + 19 + 2);  // an entry: its length plus a margin

    append(list, dlg::getTemplate(10));
    dlg::getListSet(list, 6, 1.0);
    dlg::getListSet(list, 9, 8.0);
    EXPECT_DOUBLE_EQ(rt::callWith("XCOL", list).asDouble(), 9.0);
    EXPECT_THROW(rt::callWith("XCOL", "GetList"), rt::Error);
}

// --- entry formats

struct AcceptCase {
    const char* name;
    Value value;
    const char* picture;
    const char* typed;
    bool accepted;
    const char* shown;  // after upper-casing
};
void PrintTo(const AcceptCase& c, std::ostream* os) { *os << c.name; }

class EntryAccepts : public ::testing::TestWithParam<AcceptCase> {};

TEST_P(EntryAccepts, Typed)
{
    const AcceptCase& c = GetParam();
    const dlg::EntryFormat f = dlg::entryFormat(c.value, Value(c.picture));
    std::u32string text = rt::toU32(c.typed);
    EXPECT_EQ(dlg::entryAccepts(f, text), c.accepted);
    if (c.accepted) {
        EXPECT_EQ(rt::fromU32(text), c.shown);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, EntryAccepts,
    ::testing::Values(AcceptCase{"PortDigits", 5432, "9999", "5433", true, "5433"},
                      AcceptCase{"PortLetter", 5432, "9999", "54a", false, ""},
                      AcceptCase{"PortTooLong", 5432, "9999", "54331", false, ""},
                      AcceptCase{"PortNoSign", 5432, "9999", "-1", false, ""},
                      AcceptCase{"DecimalPoint", Value::number(1.5, 2), "999.99", "12.25", true, "12.25"},
                      AcceptCase{"TwoPoints", Value::number(1.5, 2), "999.99", "1.2.", false, ""},
                      AcceptCase{"TextKeepsLength", "abc", "@k", "abcd", false, ""},
                      AcceptCase{"UpperAccented", "     ", "@!", "ñandú", true, "ÑANDÚ"},
                      AcceptCase{"TemplateDigitSlot", "    ", "99AA", "12ab", true, "12ab"},
                      AcceptCase{"TemplateLetterSlot", "    ", "99AA", "1234", false, ""},
                      AcceptCase{"TemplateUpperSlot", "   ", "!XX", "abc", true, "Abc"},
                      AcceptCase{"Logical", false, "", "y", true, "Y"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EntryFormat, WriteBackKeepsKindAndLength)
{
    const dlg::EntryFormat host = dlg::entryFormat(rt::padR("localhost", 19), Value("@k"));
    EXPECT_EQ(dlg::entryText(host, rt::padR("localhost", 19)), "localhost");
    EXPECT_EQ(dlg::entryValue(host, "db").str(), rt::padR("db", 19));
    EXPECT_EQ(rt::utf8Length(dlg::entryValue(host, "ñandú").str()), 19u);

    const dlg::EntryFormat port = dlg::entryFormat(5432, Value("9999"));
    const Value n = dlg::entryValue(port, "5433");
    ASSERT_TRUE(n.isNum());
    EXPECT_EQ(n.asInt(), 5433);
    EXPECT_EQ(dlg::entryValue(port, "").asInt(), 0);

    const dlg::EntryFormat money = dlg::entryFormat(Value::number(1.5, 2), Value("999.99"));
    EXPECT_EQ(dlg::entryText(money, Value::number(1.5, 2)), "1.50");
    EXPECT_EQ(dlg::entryValue(money, "12.25").decimals(), 2);
}

TEST(EntryFormat, OverlongTextIsNotEditable)
{
    // Editing would cut the variable to the field's limit: it is shown read-only instead.
    const Value huge = rt::replicate("x", dlg::kMaxEntryChars + 1);
    EXPECT_EQ(dlg::entryFormat(huge, Value()).kind, 'U');
}

TEST(EntryFormat, DatesFollowTheDateFormat)
{
    const std::string previous = rt::setDateFormat("dd-mm-yyyy");
    const dlg::EntryFormat f = dlg::entryFormat(Value(rt::makeDate(2024, 3, 9)), Value("@D"));
    EXPECT_EQ(dlg::entryText(f, Value(rt::makeDate(2024, 3, 9))), "09-03-2024");
    EXPECT_EQ(dlg::entryValue(f, "31-12-1999").asDate(), rt::makeDate(1999, 12, 31));
    EXPECT_EQ(dlg::entryInputMask(f), "00\\-00\\-0000");
    rt::setDateFormat(previous);
}

}  // namespace
