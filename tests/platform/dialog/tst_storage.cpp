// Arrays in files and in the settings: round trips and damaged files.
#include "platform/dialog/storage.h"

#include "platform/runtime/array.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/text.h"

#include <gtest/gtest.h>

#include <QStandardPaths>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

using rt::Value;

std::string tempFile(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / (name + std::to_string(getpid()))).string();
}

Value sample()
{
    return rt::makeArray({Value(), true, false, 42, Value::number(3.25, 2), Value::number(-0.5, 3),
                          rt::makeDate(2024, 2, 29), Value(rt::Date{}), "ñandú € 漢字", Value(std::string("a\nb\0c", 5)),
                          rt::makeArray({rt::makeArray({}), rt::makeArray({1, "x"})})});
}

TEST(Storage, ArrayFileRoundTrip)
{
    const std::string f = tempFile("asave");
    ASSERT_TRUE(dlg::aSave(sample(), f));
    const Value back = dlg::aRestore(f);
    EXPECT_EQ(rt::var2char(back), rt::var2char(sample()));
    EXPECT_EQ(rt::entryOf(back, 5).decimals(), 2);
    EXPECT_EQ(rt::entryOf(back, 10).str(), std::string("a\nb\0c", 5));
    std::filesystem::remove(f);
}

TEST(Storage, DamagedFilesAreRefused)
{
    const std::string good = dlg::encodeArrayText(sample());
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"cut in half", good.substr(0, good.size() / 2)},
        {"no end mark", good.substr(0, good.rfind("END"))},
        {"other version", "DXC-ARRAY 2" + good.substr(good.find('\n'))},
        {"nonsense", "hello\nworld\n"},
        {"array longer than the file", "DXC-ARRAY 1\nA 9999999999\nEND\n"},
        {"bad text length", "DXC-ARRAY 1\nC 5 41\nEND\n"},
        {"trailing garbage", good + "U\n"},
        {"empty", ""},
    };
    const std::string f = tempFile("adamaged");
    for (const auto& c : cases) {
        EXPECT_FALSE(dlg::decodeArrayText(c.text).has_value()) << c.name;
        std::ofstream(f, std::ios::binary) << c.text;
        EXPECT_TRUE(dlg::aRestore(f).isNil()) << c.name;
    }
    std::filesystem::remove(f);
    EXPECT_TRUE(dlg::aRestore(f).isNil());  // missing
}

TEST(Storage, SettingsRoundTrip)
{
    QStandardPaths::setTestModeEnabled(true);
    const Value layout = rt::makeArray({rt::makeArray({0, 0}), rt::makeArray({300, 200})});
    ASSERT_TRUE(dlg::regWrite("dxc-test", "Browses\\Layouts", "Dialog:GRID", layout));
    EXPECT_EQ(rt::var2char(dlg::regQuery("dxc-test", "Browses\\Layouts", "Dialog:GRID")), rt::var2char(layout));
    ASSERT_TRUE(dlg::regWrite("dxc-test", "Browses\\Layouts", "Dialog:GRID", 0));
    EXPECT_EQ(dlg::regQuery("dxc-test", "Browses\\Layouts", "Dialog:GRID").asInt(), 0);
    EXPECT_TRUE(dlg::regQuery("dxc-test", "Browses\\Layouts", "nothing").isNil());
}

}  // namespace
