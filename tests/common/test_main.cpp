// Shared main of the test binaries.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    setenv("DXC_SOURCE_DIR", DXC_SOURCE_DIR_DEFAULT, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
