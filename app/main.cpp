// The arena program: makes the main window, loads the game's palette and
// monster count into it and shows it. A start-up failure is reported and ends
// the program before any window appears.

#include <QApplication>
#include <QIcon>

#include "ui/main_window.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("karnwick-arena"));
    QCoreApplication::setApplicationName(QStringLiteral("karnwick-arena"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/karnwick-arena-15x16.png")));

    MainWindow frm1;
    if (!openMainWindow(frm1)) return 1;
    return app.exec();
}
