// The arena program: answers its command line, finds the game folder (see
// arena_start.h), makes the main window, loads the game's palette and monster
// count into it and shows it. When start-up fails the player may pick another
// folder, try the demo set or quit.

#include <QApplication>
#include <QSettings>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/arena_start.h"
#include "ui/main_window.h"

namespace {

// Answered before any window system is needed, so help, the version and every
// usage error work on a terminal without a display.
int answer(const arena::CommandLine& line) {
    std::fputs(qPrintable(line.out), stdout);
    std::fputs(qPrintable(line.err), stderr);
    return line.exitCode;
}

}  // namespace

int main(int argc, char* argv[]) {
    // The bytes of argv as they are: a folder name need not be valid UTF-8.
    const arena::CommandLine line =
        arena::parseCommandLine(std::vector<std::string>(argv, argv + argc));
    if (line.action == arena::CommandLine::Action::Exit) return answer(line);

    std::jthread fontConfiguration = arena::startReadingFontConfiguration();
    QCoreApplication::setOrganizationName(QStringLiteral("karnwick"));
    QCoreApplication::setApplicationName(QStringLiteral("karnwick-arena"));
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QLatin1String(arena::kApplicationId));

    QSettings settings;
    std::error_code error;
    const std::filesystem::path folder = arena::chooseStartFolder(
        line.folder, std::filesystem::current_path(error), arena::rememberedFolder(settings));

    fontConfiguration.join();
    MainWindow frm1;
    arena::giveArenaIconAfterFirstPaint(frm1);
    QObject::connect(&frm1, &MainWindow::gameFolderOpened, &frm1,
                     [&settings](const std::filesystem::path& opened) {
                         arena::rememberFolder(settings, opened);
                     });
    if (!arena::startArena(frm1, folder, settings)) return 1;
    return app.exec();
}
