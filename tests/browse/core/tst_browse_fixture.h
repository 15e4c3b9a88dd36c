// Shared by the browse tests: dialogs built as users build them (element
// records from the template, slots set on the last record), a browse made
// from them with RK_XbpBrowse():new(...) and created on the offscreen
// platform, and plain platform columns over the array rows.
#pragma once

#include "browse/columns/presentation.h"
#include "browse/columns/row_colors.h"
#include "browse/core/browse.h"
#include "browse/core/globals.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/element_parts.h"
#include "platform/dialog/library.h"
#include "platform/dialog/slots.h"
#include "platform/grid/column.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace tb {

namespace slot = dlg::slot;

using rt::Value;

// Rows {n, "row n", .F.} for n = 1..count.
inline Value rows(int count)
{
    Value a = Value::array();
    for (int i = 1; i <= count; ++i)
        a.asArray().items.push_back(rt::makeArray({i, "row " + std::to_string(i), false}));
    return a;
}

inline const Value& at(const Value& a, std::size_t n) { return a.asArray().items.at(n - 1); }

// An element list: records appended with add, slots of the last one set with set.
struct Elements {
    Value list = Value::array();

    Elements& add(int type, const Value& sub = {})
    {
        list.asArray().items.push_back(dlg::getTemplate(type, sub));
        return *this;
    }
    Elements& set(int slot, const Value& v)
    {
        dlg::getListSet(list, slot, v);
        return *this;
    }
    // Slot n of the browse, the first record.
    Elements& browseSlot(int n, const Value& v)
    {
        record(1).asArray().items.at(std::size_t(n) - 1) = v;
        return *this;
    }
    Value& record(std::size_t n) const { return list.asArray().items.at(n - 1); }
    // Option n of the browse, the first record (slot 21).
    Elements& option(int n, const Value& v)
    {
        at(record(1), 21).asArray().items.at(std::size_t(n) - 1) = v;
        return *this;
    }
};

// A browse element over `data` followed by `columns` column elements.
inline Elements arrayDialog(const Value& data, int columns = 2)
{
    Elements e;
    e.add(dlg::type::Browse).set(slot::DataSource, rt::makeBlock([data](rt::Args) { return data; }));
    for (int i = 0; i < columns; ++i)
        e.add(dlg::type::Column);
    return e;
}

class BrowseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        browse::registerBrowseLibrary();
        gui::registerGuiFunctions();
        dlg::registerDialogFunctions();
    }
    void TearDown() override
    {
        if (b)
            b->destroy();
        gui::clearAppEvents();
        browse::resetGlobals();
        browse::resetBrowseColor();
        dbf::closeAllAreas();
        if (capturing)
            rt::setErrorHandler(previousHandler);
    }

    // RK_XbpBrowse():new(NIL, NIL, {0, 0}, size, aPres, .T., oGetList) for
    // the first record, as the dialog reader makes it.
    browse::RK_XbpBrowse* make(const Elements& e, const Value& aPres = {}, QSize size = {300, 200})
    {
        getList = dlg::makeGetList(e.list);
        dlg::asGetList(getList)->getListPointer = 1;
        const Value args[] = {Value(), Value(), rt::makeArray({0, 0}), rt::makeArray({size.width(), size.height()}),
                              aPres, true, getList};
        bv = rt::newObject("RK_XbpBrowse", rt::Args(args, 7));
        b = browse::asRkBrowse(bv);
        return b;
    }

    // create(), one platform column per field of the array rows, shown.
    void create(int fields = 2)
    {
        b->create({});
        for (int f = 1; f <= fields; ++f)
            b->addColumn(column(f));
        if (b->widget())
            b->widget()->show();
        settle();
    }

    Value column(int field)
    {
        auto* c = new gui::XbpColumn();
        c->dataLink = rt::makeBlock([this, field](rt::Args) -> Value {
            const Value row = current();
            return row.isArray() && row.asArray().size() >= std::size_t(field) ? at(row, field) : Value();
        });
        return c->self();
    }

    Value current() const
    {
        const Value& e = b->arrayElement;
        if (!b->dataSource.isArray() || !e.isNum() || e.asInt() < 1 ||
            std::size_t(e.asInt()) > b->dataSource.asArray().size())
            return {};
        return at(b->dataSource, std::size_t(e.asInt()));
    }

    static void settle()
    {
        gui::dispatchPending();
        gui::dispatchPending();
    }

    // Errors that reach the standard handler, from now on.
    std::vector<std::string>& captureErrors()
    {
        previousHandler = rt::setErrorHandler([this](const rt::Error& e) { reported.push_back(e.message()); });
        capturing = true;
        return reported;
    }

    // A table with NAME C10 and `count` records, open as the current work area.
    static void openTable(const std::string& alias, int count)
    {
        const char* base = std::getenv("DXC_TEST_TMP");
        const std::string dir = std::string(base && *base ? base : "/tmp");
        std::filesystem::create_directories(dir);
        const std::string p = dir + "/browse_" + alias + "_" + std::to_string(getpid()) + ".dbf";
        dbf::Table::create(p, {{"NAME", 'C', 10, 0}});
        {
            auto t = dbf::Table::open(p, false, false);
            for (int i = 1; i <= count; ++i) {
                t->appendBlank();
                t->put(0, Value("name " + std::to_string(i)));
            }
            t->flush();
        }
        rt::evalText("DbUseArea(.T., \"FOXCDX\", \"" + p + "\", \"" + alias + "\")");
    }

    Value getList, bv;
    browse::RK_XbpBrowse* b = nullptr;
    std::vector<std::string> reported;
    rt::ErrorHandler previousHandler;
    bool capturing = false;
};

}  // namespace tb
