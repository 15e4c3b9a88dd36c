// Shared main of the test binaries that need widgets: a QApplication on the
// offscreen platform unless the environment names another.
#include <gtest/gtest.h>

#include <QApplication>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "C.UTF-8");
    setenv("DXC_SOURCE_DIR", DXC_SOURCE_DIR_DEFAULT, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
