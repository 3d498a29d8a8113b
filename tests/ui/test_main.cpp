// The window tests need one QApplication for the whole run; the test
// directory sets QT_QPA_PLATFORM=offscreen so no display is needed.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
