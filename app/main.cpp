// The arena program: answers its command line, finds the game folder (see
// start_folder.h), makes the main window, loads the game's palette and monster
// count into it and shows it. When start-up fails the player may pick another
// folder, try the demo set or quit.

#include <QApplication>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/arena_icon.h"
#include "app/arena_settings.h"
#include "app/arena_start.h"
#include "app/command_line.h"
#include "app/font_configuration.h"
#include "app/start_folder.h"
#include "data/console.h"
#include "ui/balance_launcher.h"
#include "ui/main_window.h"
#include "ui/open_arenas.h"

namespace {

// Answered before any window system is needed, so help, the version and every
// usage error work on a terminal without a display.
int answer(const arena::CommandLine& line) {
    std::fputs(qPrintable(line.out), stdout);
    std::fputs(qPrintable(line.err), stderr);
    return line.exitCode;
}

int runArena(int argc, char* argv[]) {
    // The bytes of argv as they are: a folder name need not be valid UTF-8.
    std::vector<std::string> arguments{argc > 0 ? argv[0] : "karnwick-arena"};
    for (std::string& argument : karnwick::platform::commandArguments(argc, argv))
        arguments.push_back(std::move(argument));
    const arena::CommandLine line = arena::parseCommandLine(arguments);
    if (line.action == arena::CommandLine::Action::Exit) return answer(line);

    std::jthread fontConfiguration = arena::startReadingFontConfiguration();
    QCoreApplication::setOrganizationName(QStringLiteral("karnwick"));
    QCoreApplication::setApplicationName(QStringLiteral("karnwick-arena"));
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QLatin1String(arena::kApplicationId));
    const karnwick::balance::ArenaPresence presence;

    arena::ArenaSettings settings(arena::ArenaSettings::playerFile());
    std::error_code error;
    const std::filesystem::path folder = arena::chooseStartFolder(
        line.folder, std::filesystem::current_path(error), settings.rememberedFolder());

    if (fontConfiguration.joinable()) fontConfiguration.join();
    MainWindow window;
    arena::giveArenaIconAfterFirstPaint(window);
    if (!arena::startArena(window, folder, settings)) return 1;
    window.balance().setStartChanges(arena::readStartChanges(window, line.setTexts));
    if (line.balance) window.balance().open();
    return app.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    // Help, the version and usage errors reach the console the arena was
    // started from, though on Windows the arena has none of its own.
    karnwick::platform::useParentConsole();
    // The same bytes as on POSIX, as karnwick's: "\n" ends a line in a pipe too.
    karnwick::platform::useBinaryStandardStreams();
    // The windows report what fails in them; this edge is for a failure none
    // of them caught, which ends the arena with a word rather than an abort.
    try {
        return runArena(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "karnwick-arena: %s\n", e.what());
        return 2;
    }
}
