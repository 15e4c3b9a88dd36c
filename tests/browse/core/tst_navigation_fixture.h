// Shared by the navigation tests: a browse made directly (its data-source
// members set by hand, as construction sets them), its eight navigation
// blocks driven one by one, and a real grid created over it on demand.
#pragma once

#include "browse/core/browse.h"
#include "browse/core/navigation.h"

#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <string>
#include <vector>

namespace navtest {

using rt::Value;

// Rows {1, "R1"}, {2, "R2"}, ...
inline Value numberedRows(long long n)
{
    std::vector<Value> rows;
    for (long long i = 1; i <= n; ++i)
        rows.push_back(rt::makeArray({Value(i), Value("R" + std::to_string(i))}));
    return rt::makeArray(std::move(rows));
}

// Registers fn under name while it lives, then puts back what was there.
class FunctionOverride {
public:
    FunctionOverride(std::string name, rt::NativeFn fn) : name_(std::move(name)), saved_(rt::findFunction(name_))
    {
        rt::registerFunction(name_, fn);
    }
    ~FunctionOverride() { rt::registerFunction(name_, saved_); }
    FunctionOverride(const FunctionOverride&) = delete;
    FunctionOverride& operator=(const FunctionOverride&) = delete;

private:
    std::string name_;
    rt::NativeFn saved_;
};

class NavTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { browse::registerNavigationFunctions(); }
    void SetUp() override
    {
        bv = (new browse::RK_XbpBrowse())->self();
        b = browse::asRkBrowse(bv);
        b->arrayElement = Value(1);
        b->cargo = rt::makeArray({Value(1), Value(), Value(), Value(1), Value()});
    }
    void TearDown() override
    {
        if (b->widget())
            b->destroy();
        gui::clearAppEvents();
    }
    void install(const Value& ds, int kind)
    {
        b->dataSource = ds;
        b->dataSourceType = Value(kind);
        browse::installNavigation(*b);
    }

    long long skip(long long n) { return rt::evalWith(b->skipBlock, n, bv).asInt(); }
    void top() { rt::evalWith(b->goTopBlock, bv); }
    void bottom() { rt::evalWith(b->goBottomBlock, bv); }
    long long pos() { return rt::eval(b->posBlock).asInt(); }
    long long phy() { return rt::eval(b->phyPosBlock).asInt(); }
    long long first() { return rt::eval(b->firstPosBlock).asInt(); }
    long long last() { return rt::eval(b->lastPosBlock).asInt(); }
    void goPos(long long n) { rt::evalWith(b->goPosBlock, n); }
    long long element() const { return b->arrayElement.asInt(); }

    // The platform grid, one column per data link.
    void createGrid(const std::vector<Value>& links, int height = 200)
    {
        for (const Value& link : links) {
            auto* c = new gui::XbpColumn();
            const Value cv = c->self();
            c->dataLink = link;
            c->presParams = rt::makeArray({rt::makeArray({116, 8})});
            b->addColumn(cv);
        }
        const Value args[] = {Value(), Value(), gui::pairValue(0, 0), gui::pairValue(300, height), Value(), true};
        b->gui::XbpBrowse::create(rt::Args(args, 6));
        b->widget()->show();
        settle();
    }
    void settle()
    {
        gui::dispatchPending();
        b->forceStable();
    }
    QString cell(int row) const { return b->columnAt(1)->dataGroup()->cellText(row).trimmed(); }

    Value bv;
    browse::RK_XbpBrowse* b = nullptr;
};

}  // namespace navtest
