// RK_ReadGUI with browse elements. The browse library is not linked here:
// small classes registered under its class names stand in for it and log
// what the reader asks of them, so the order of new, create and the column
// news, the element list object they get and the skips are visible.
#include "common/read_step.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/element_parts.h"
#include "platform/dialog/library.h"
#include "platform/grid/browse.h"
#include "platform/grid/column.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

using rt::Value;

std::vector<std::string>& calls()
{
    static std::vector<std::string> log;
    return log;
}
bool createRaises = false;  // the fake browse raises after making its window

// Stands in for RK_XbpBrowse: Init takes its data from slot 31 and stops
// without it, as the real one does.
class FakeBrowse final : public gui::XbpBrowse, public dlg::ElementParts {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override { return staticClass(); }
    static const rt::ClassInfo& staticClass()
    {
        static const rt::ClassInfo cls = [] {
            rt::ClassInfo c("RK_XbpBrowse", {&gui::XbpBrowse::staticClass(), &dlg::ElementParts::staticClass()});
            c.addVar("initialised", [](rt::Object& o) { return Value(static_cast<FakeBrowse&>(o).initialised); });
            c.field<FakeBrowse>("dataSource", &FakeBrowse::dataSource);
            c.field<FakeBrowse>("arrayElement", &FakeBrowse::arrayElement);
            c.method<FakeBrowse>("setTimerRefresh", [](FakeBrowse&, rt::Args) { calls().push_back("setTimerRefresh"); });
            return c;
        }();
        return cls;
    }
    Value init(rt::Args a) override
    {
        gui::XbpBrowse::init(a);
        initParts(rt::argAt(a, 6));
        newArgs.assign(a.begin(), a.end());
        calls().push_back("new " + std::to_string(getListPointer));
        const Value data = dlg::getBlock(elementSlot(31));
        if (!data.isBlock()) {
            dlg::winAlert("RK_ReadGui() error! Browse has no data source");
            return self();
        }
        dataSource = rt::evalWith(data);
        arrayElement = 1;
        initialised = true;
        return self();
    }
    Value create(rt::Args a) override
    {
        calls().push_back("create");
        gui::XbpBrowse::create(a);
        if (createRaises)
            rt::raise("create failed");
        return self();
    }
    bool initialised = false;
    Value dataSource, arrayElement;
    std::vector<Value> newArgs;
};

// Stands in for RK_XbpColumn: shows element slot 29 of the row and adds
// itself to its browse; a caption "fail" raises once it was added.
class FakeColumn final : public gui::XbpColumn, public dlg::ElementParts {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override { return staticClass(); }
    static const rt::ClassInfo& staticClass()
    {
        static const rt::ClassInfo cls("RK_XbpColumn", {&gui::XbpColumn::staticClass(), &dlg::ElementParts::staticClass()});
        return cls;
    }
    Value init(rt::Args a) override
    {
        initParts(rt::argAt(a, 1));
        calls().push_back("column " + std::to_string(getListPointer));
        dataLink = dlg::getColBlock(int(elementSlot(29).asInt()), rt::argAt(a, 0));
        gui::asBrowse(rt::argAt(a, 0))->addColumn(self());
        if (elementSlot(3).str() == "fail")
            rt::raise("column failed");
        return self();
    }
};

// A record of `type` with the given slots, appended to the list.
void add(const Value& list, int type, std::initializer_list<std::pair<int, Value>> entries)
{
    list.asArray().items.push_back(rt::callWith("RK_GetTemplate", type, type == 12 ? Value(1) : Value()));
    for (const auto& [n, v] : entries)
        rt::callWith("RK_GetListSet", list, n, v);
}
void addSay(const Value& list, double row, const char* caption, const char* id)
{
    add(list, 12, {{3, caption}, {5, row}, {6, 1.0}, {49, id}});
}
void addBrowse(const Value& list, double row, const Value& data, const char* id)
{
    add(list, 28, {{5, row}, {6, 1.0}, {9, 30.0}, {10, 5.0}, {31, data}, {49, id}});
}
void addColumn(const Value& list, int element, const char* id, const char* caption = "", int type = 29)
{
    add(list, 29, {{1, type}, {3, caption}, {29, element}, {49, id}});
}
void addButton(const Value& list, double row)
{
    add(list, 10, {{3, "OK"}, {5, row}, {6, 1.0}, {18, rt::compile("{|| RK_ReadGuiEvent(6, GetList)}")}});
}

class BrowseReads : public ::testing::Test {
protected:
    void SetUp() override
    {
        gui::registerGuiFunctions();
        dlg::registerDialogFunctions();
        rt::registerClass<FakeBrowse>();
        rt::registerClass<FakeColumn>();
        gui::clearAppEvents();
        calls().clear();
        createRaises = false;
        previousHandler = rt::setErrorHandler([this](const rt::Error& e) { errors.push_back(e.message()); });
        rt::publicSet("GetList", list);
        rt::publicSet("aRows", rt::makeArray({rt::makeArray({"A-1", "Alba"}), rt::makeArray({"B-2", "Bruno"})}));
        testread::startReadWatchdog(watchdog);
    }
    void TearDown() override
    {
        rt::setErrorHandler(previousHandler);
        rt::publicRelease("GetList");
        rt::publicRelease("aRows");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        gui::clearAppEvents();
    }

    bool read(std::function<void(QDialog*)> act, Value options = Value())
    {
        QTimer::singleShot(0, [act] { act(dlg::activeDialog()); });
        return dlg::readGui(dlg::ReadSetup{.getList = list, .title = "Clients", .options = options});
    }

    // Label, browse over aRows with two columns, OK button.
    void buildClientList()
    {
        addSay(list, 0.0, "Clients:", "SAY_CLIENTS");
        addBrowse(list, 1.0, rt::compile("{|| aRows}"), "BROWSE_CLIENTS");
        addColumn(list, 1, "COL_CODE");
        addColumn(list, 2, "COL_NAME");
        addButton(list, 10.0);
    }
    QPushButton* okButton() const { return qobject_cast<QPushButton*>(dlg::elementWidget(list, 5)); }

    Value list = Value::array();
    std::vector<std::string> errors;
    rt::ErrorHandler previousHandler;
    QTimer watchdog;
};

TEST_F(BrowseReads, BrowseThenItsColumnsAreMadeInListOrder)
{
    buildClientList();
    const Value options = rt::makeArray({1, 2, 3});
    std::vector<std::string> duringRead;
    Value browse, label, name, dialog, labelList;
    int columnsShown = 0;
    const bool ok = read(
        [&](QDialog*) {
            duringRead = calls();
            browse = rt::callWith("RK_GetObject", list, "BROWSE_CLIENTS");
            columnsShown = gui::asBrowse(browse) ? gui::asBrowse(browse)->colCount() : -1;
            label = dlg::getObject(list, "SAY_CLIENTS");
            labelList = dlg::asElementParts(label)->getList;  // released when the read ends
            name = dlg::getObject(list, "COL_NAME  ");  // trailing blanks do not matter
            dialog = dlg::activeDialogObject();
            QTest::mouseClick(okButton(), Qt::LeftButton);
        },
        options);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(duringRead, (std::vector<std::string>{"new 2", "create", "column 3", "column 4", "setTimerRefresh"}));
    EXPECT_EQ(columnsShown, 2);
    EXPECT_TRUE(dlg::getObject(list, "BROWSE_CLIENTS").isNil());  // only while the read runs

    // new(oDialog, NIL, aPos, aSize, NIL, .T., oGetList)
    auto* b = dynamic_cast<FakeBrowse*>(&browse.asObject());
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->newArgs.size(), 7u);
    EXPECT_EQ(b->newArgs[0].cell(), dialog.cell());
    EXPECT_TRUE(b->newArgs[1].isNil() && b->newArgs[4].isNil() && b->newArgs[5].asBool());
    // One element list object for every element, over the caller's list and options.
    const dlg::GetListObject* g = dlg::asGetList(b->newArgs[6]);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->getListArray.cell(), list.cell());
    EXPECT_EQ(g->getOptions.cell(), options.cell());
    EXPECT_EQ(options.asArray().size(), 60u);
    EXPECT_EQ(rt::literalText(g->scaleFactor), "{1, 1, 1}");
    EXPECT_TRUE(g->dialog.isNil());  // dropped with the dialog
    EXPECT_EQ(labelList.cell(), b->newArgs[6].cell());
    EXPECT_TRUE(dlg::asElementParts(label)->getList.isNil());
    EXPECT_EQ(dlg::asElementParts(label)->getListPointer, 1);
    EXPECT_TRUE(rt::isDerivedFrom(label, "RK_ElementParts") && rt::isDerivedFrom(label, "XbpWindow"));
    EXPECT_EQ(dlg::asElementParts(name)->getListPointer, 4);
    EXPECT_EQ(rt::evalWith(gui::asColumn(name)->dataLink).str(), "Alba");
}

TEST_F(BrowseReads, BrowseTakesItsRectangleAndItsPlaceInTheTabOrder)
{
    buildClientList();
    QRect labelRect, browseRect;
    QWidget *first = nullptr, *afterTab = nullptr, *browseWidget = nullptr, *button = nullptr;
    const bool ok = read([&](QDialog* d) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(d));
        browseWidget = dlg::elementWidget(list, 2);
        ASSERT_NE(browseWidget, nullptr);
        labelRect = dlg::elementWidget(list, 1)->geometry();
        browseRect = browseWidget->geometry();
        first = QApplication::focusWidget();
        QTest::keyClick(first, Qt::Key_Tab);
        afterTab = QApplication::focusWidget();
        button = okButton();
        QTest::keyClick(afterTab, Qt::Key_Space);
    });
    EXPECT_TRUE(ok);
    EXPECT_NEAR(browseRect.width(), 30 * dlg::colPixels(), 1.0);
    EXPECT_NEAR(browseRect.height(), 5 * dlg::rowPixels(), 1.0);
    EXPECT_EQ(browseRect.x(), labelRect.x());
    EXPECT_NEAR(browseRect.y() - labelRect.y(), dlg::rowPixels(), 1.0);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first == browseWidget || browseWidget->isAncestorOf(first));
    EXPECT_EQ(afterTab, button);
}

TEST_F(BrowseReads, BrowseInAGroupIsItsChildAndTheDialogCoversIt)
{
    add(list, 1, {{2, 2}, {3, "Clients"}, {5, 2.0}, {6, 0.0}, {9, 40.0}, {10, 8.0}, {28, "oGroupB"}});
    add(list, 28, {{5, 1.0}, {6, 1.0}, {9, 30.0}, {10, 5.0}, {31, rt::compile("{|| aRows}")}, {49, "BROWSE_CLIENTS"},
                   {30, rt::makeArray({dlg::publicAnchorCB("oGroupB"), "oGroupB"})}});
    addColumn(list, 1, "COL_CODE");
    addButton(list, 11.0);
    QWidget *group = nullptr, *browseParent = nullptr;
    QRect browseInGroup, groupRect, dialogRect;
    const bool ok = read([&](QDialog* d) {
        group = dlg::elementWidget(list, 1);
        QWidget* b = dlg::elementWidget(list, 2);
        ASSERT_NE(b, nullptr);
        browseParent = b->parentWidget();
        browseInGroup = b->geometry();
        groupRect = group->geometry();
        dialogRect = d->rect();
        QTest::mouseClick(qobject_cast<QPushButton*>(dlg::elementWidget(list, 4)), Qt::LeftButton);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(browseParent, group);
    EXPECT_NEAR(browseInGroup.x(), dlg::colPixels(), 1.0);
    EXPECT_NEAR(browseInGroup.y(), dlg::rowPixels(), 1.0);
    EXPECT_TRUE(dialogRect.contains(groupRect));
    EXPECT_TRUE(errors.empty());
    rt::publicRelease("oGroupB");
}

TEST_F(BrowseReads, BrowseWithoutDataIsSkippedWithItsColumns)
{
    buildClientList();
    list.asArray().at1(2).asArray().at1(31) = Value();
    dlg::MessageCapture capture;
    QWidget* browseWidget = nullptr;
    Value column = 1;
    const bool ok = read([&](QDialog*) {
        browseWidget = dlg::elementWidget(list, 2);
        column = dlg::getObject(list, "COL_CODE");
        QTest::mouseClick(okButton(), Qt::LeftButton);  // the rest of the dialog works
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(calls(), (std::vector<std::string>{"new 2"}));
    EXPECT_EQ(browseWidget, nullptr);
    EXPECT_TRUE(column.isNil());
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_TRUE(errors.empty());
}

TEST_F(BrowseReads, ColumnRunsAndFailingElements)
{
    addBrowse(list, 0.0, rt::compile("{|| aRows}"), "FIRST");
    addColumn(list, 1, "C2");
    addColumn(list, 2, "BAD", "fail");
    addColumn(list, 2, "C4", "", 98);
    addSay(list, 6.0, "Between", "SAY");
    addBrowse(list, 7.0, rt::compile("{|| aRows}"), "SECOND");
    addColumn(list, 2, "C7");
    addButton(list, 13.0);
    addColumn(list, 1, "STRAY");  // after a button: belongs to no browse
    std::vector<int> firstCols;
    int secondCols = 0;
    Value bad = 1, stray = 1;
    read([&](QDialog*) {
        const gui::XbpBrowse* b = gui::asBrowse(dlg::getObject(list, "FIRST"));
        for (int i = 1; i <= b->colCount(); ++i)
            firstCols.push_back(dlg::asElementParts(b->columnAt(i)->self())->getListPointer);
        secondCols = gui::asBrowse(dlg::getObject(list, "SECOND"))->colCount();
        bad = dlg::getObject(list, "BAD");
        stray = dlg::getObject(list, "STRAY");
        QTest::mouseClick(dlg::elementWidget(list, 8), Qt::LeftButton);
    });
    EXPECT_EQ(calls(), (std::vector<std::string>{"new 1", "create", "column 2", "column 3", "column 4", "setTimerRefresh",
                                                 "new 6", "create", "column 7", "setTimerRefresh"}));
    // The failing column is reported and taken out of its browse again.
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("column failed"), std::string::npos);
    EXPECT_TRUE(bad.isNil());
    EXPECT_EQ(firstCols, (std::vector<int>{2, 4}));
    EXPECT_EQ(secondCols, 1);
    EXPECT_TRUE(stray.isNil());
}

TEST_F(BrowseReads, FailingCreateIsReportedAndLeavesNoWindow)
{
    buildClientList();
    createRaises = true;
    QWidget* browseWidget = nullptr;
    const bool ok = read([&](QDialog* d) {
        browseWidget = dlg::elementWidget(list, 2);
        const auto shown = d->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        EXPECT_EQ(std::count_if(shown.begin(), shown.end(), [d](QWidget* w) { return w->isVisibleTo(d); }), 2);
        QTest::mouseClick(okButton(), Qt::LeftButton);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(calls(), (std::vector<std::string>{"new 2", "create"}));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("create failed"), std::string::npos);
    EXPECT_EQ(browseWidget, nullptr);
}

}  // namespace

// The application's presentation list (slot 17) reaches the browse as its
// aPres argument; without one the argument stays NIL.
TEST_F(BrowseReads, SlotSeventeenIsTheBrowsesPresentation)
{
    addBrowse(list, 1.0, rt::compile("{|| aRows}"), "BROWSE_CLIENTS");
    const Value pres = rt::makeArray({rt::makeArray({1, 255})});
    dlg::getListSet(list, 17, pres);
    addColumn(list, 1, "COL_CODE");
    addButton(list, 10.0);
    Value browse;
    read([&](QDialog*) {
        browse = dlg::getObject(list, "BROWSE_CLIENTS");
        QTest::mouseClick(qobject_cast<QPushButton*>(dlg::elementWidget(list, 3)), Qt::LeftButton);
    });
    auto* b = dynamic_cast<FakeBrowse*>(&browse.asObject());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->newArgs.at(4).cell(), pres.cell());
}
