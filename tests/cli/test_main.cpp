// Export and the heat map draw on images, and export is compared with the
// preview windows, so the tool tests run in one QApplication; the test
// directory sets QT_QPA_PLATFORM=offscreen.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
