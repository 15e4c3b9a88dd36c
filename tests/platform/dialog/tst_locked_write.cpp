// Two editors of one record in a shared table (two work areas over one
// file, as two programs would have it): a write compares the record as its
// editor read it with the record in the file.
#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"
#include "platform/dbf/workarea.h"
#include "platform/dialog/cell_editor.h"
#include "platform/dialog/library.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

using rt::Value;

TEST(LockedWrite, ARecordAnotherEditorChangedIsNotOverwritten)
{
    dbf::registerDbfFunctions();
    const char* base = std::getenv("DXC_TEST_TMP");
    const std::string path =
        std::string(base && *base ? base : "/tmp") + "/locked_write_" + std::to_string(::getpid()) + ".dbf";
    dbf::Table::create(path, {{"NAME", 'C', 10, 0}});
    {
        auto t = dbf::Table::open(path, false, false);
        t->appendBlank();
        t->put(0, Value("first"));
        t->flush();
    }
    rt::callWith("DbUseArea", true, "FOXCDX", path, "ED1", true, false);
    rt::callWith("DbUseArea", true, "FOXCDX", path, "ED2", true, false);
    dbf::WorkArea& one = *dbf::findArea("ED1");
    dbf::WorkArea& two = *dbf::findArea("ED2");
    const auto read = [](dbf::WorkArea& a) {
        a.goTo(1);
        return dlg::RecordAsRead{1, std::string(a.table().rawRecord())};
    };
    const auto put = [](dbf::WorkArea& a, const char* text) { return [&a, text] { a.fieldPut(0, Value(text)); }; };

    const dlg::RecordAsRead oneRead = read(one), twoRead = read(two);
    dlg::MessageCapture capture;
    EXPECT_TRUE(dlg::lockedWrite(two, 1, put(two, "second"), &twoRead));
    EXPECT_FALSE(dlg::lockedWrite(one, 1, put(one, "third"), &oneRead));
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_NE(capture.messages[0].text.find("Otro programa modificó este registro"), std::string::npos);
    EXPECT_EQ(rt::rtrim(one.fieldGet(0).asString()), "second") << "the editor now shows the record as it is";

    // Read again, the record is written.
    const dlg::RecordAsRead again = read(one);
    EXPECT_TRUE(dlg::lockedWrite(one, 1, put(one, "third"), &again));
    two.table().refreshCount();
    two.goTo(1);
    EXPECT_EQ(rt::rtrim(two.fieldGet(0).asString()), "third");
    dbf::closeAllAreas();
    std::filesystem::remove(path);
}

}  // namespace
