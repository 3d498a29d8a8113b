// The window tests need one QApplication for the whole run; the test
// directory sets QT_QPA_PLATFORM=offscreen so no display is needed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "ui/open_arenas.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Arenas the user has open on this machine must not change the titles
    // the tests read.
    const QTemporaryDir openArenas;
    karnwick::balance::setOpenArenasFolder(openArenas.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
