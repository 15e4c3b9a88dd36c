// Shared by the add-on tests: dialogs built from element records and run by
// the real reader on the offscreen platform, with the test's code running
// inside the read once the browse exists.
#pragma once

#include "browse/addons/addons.h"
#include "browse/core/browse.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/dialog_options.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/library.h"
#include "platform/gui/events.h"
#include "platform/gui/functions.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace tb {
inline const rt::Value& at(const rt::Value& a, std::size_t n) { return a.asArray().items.at(n - 1); }
}  // namespace tb

namespace addtest {

using rt::Value;

class Dialog {
public:
    // A browse over the array `data` with one column per element 1..columns.
    static Dialog overArray(const Value& data, int columns)
    {
        Dialog d;
        d.add(dlg::type::Browse);
        d.set(dlg::slot::GetSet2, rt::makeBlock([data](rt::Args) { return data; }));
        for (int i = 1; i <= columns; ++i) {
            d.add(dlg::type::Column);
            d.set(dlg::slot::ArrayPointer, i);
        }
        return d;
    }
    // A browse over a work area with a column per field.
    static Dialog overAlias(const std::string& alias)
    {
        Dialog d;
        d.add(dlg::type::Browse);
        d.set(dlg::slot::Alias, Value(alias));
        const Value structure = rt::callFunction("DbStruct");
        for (const Value& f : structure.asArray().items) {
            const std::string name = tb::at(f, 1).str();
            d.add(dlg::type::Column);
            d.set(dlg::slot::Caption, Value(name));
            d.set(dlg::slot::DataBlock, rt::makeBlock([alias, name](rt::Args) { return rt::fieldHooks().aliasGet(alias, name); }));
        }
        return d;
    }
    void startAt(int element) { rt::Value& r = list.asArray().items.front(); r.asArray().items.at(dlg::index(dlg::slot::StartElement)) = element; }

    // Runs the read; fn runs inside it, once shown, with the browse; then the read ends.
    void run(const std::function<void(const Value&)>& fn)
    {
        const Value l = list;
        const Value created = rt::makeBlock([this, fn, l](rt::Args a) {
            dialog = rt::argAt(a, 0);
            QTimer::singleShot(0, [this, fn, l] {
                rt::Error err("");
                if (!rt::guarded([&] { fn(browse()); }, &err))
                    ADD_FAILURE() << err.message();
                dlg::readGuiEvent(5, l);
            });
        });
        dlg::readGui(dlg::ReadSetup{.getList = list, .title = "test", .dialogReceiver = created});
        dialog = Value();
    }
    // Element n of the running dialog (1-based; 1 is the browse).
    [[nodiscard]] Value element(int n) const
    {
        auto* d = dialog.isObject() ? dynamic_cast<dlg::DialogPart*>(&dialog.asObject()) : nullptr;
        return d && n >= 1 && std::size_t(n) <= d->elements.size() ? d->elements[std::size_t(n) - 1] : Value();
    }
    [[nodiscard]] Value browse() const { return element(1); }
    [[nodiscard]] Value column(int n) const { return element(n + 1); }

    Value list = Value::array();
    Value dialog;

private:
    void add(int type) { list.asArray().items.push_back(dlg::getTemplate(type)); }
    void set(int slot, const Value& v) { dlg::getListSet(list, slot, v); }
};

class AddonsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        gui::registerGuiFunctions();
        dlg::registerDialogFunctions();
        addons::registerAddons();
    }
    void SetUp() override
    {
        const char* base = std::getenv("DXC_TEST_TMP");
        folder_ = std::filesystem::path(base && *base ? base : "/tmp") /
                  ("addons_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        tables_ = folder_ / "tables";
        std::filesystem::create_directories(tables_);
        std::filesystem::create_directories(tmp());
    }
    void TearDown() override
    {
        gui::clearAppEvents();
        dbf::closeAllAreas();
        std::filesystem::remove_all(folder_);
    }
    // The test's output folder, empty at the start.
    [[nodiscard]] std::string tmp() const { return (folder_ / "out").string(); }

    // A table of NAME C10 with these names, open as the current work area.
    void openTable(const std::string& alias, const std::vector<std::string>& names)
    {
        std::filesystem::create_directories(tmp());
        const std::string p = (tables_ / (alias + ".dbf")).string();
        dbf::Table::create(p, {{"NAME", 'C', 10, 0}});
        {
            auto t = dbf::Table::open(p, false, false);
            for (const std::string& n : names) {
                t->appendBlank();
                t->put(0, Value(n));
            }
            t->flush();
        }
        rt::evalText("DbUseArea(.T., \"FOXCDX\", \"" + p + "\", \"" + alias + "\")");
    }

private:
    std::filesystem::path folder_, tables_;
};

}  // namespace addtest
