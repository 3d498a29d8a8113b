// karnwick: the arena's engine on the command line, for players and modders.

#include <QGuiApplication>
#include <QStringList>
#include <iostream>
#include <memory>
#include <string_view>

#include "tools/demo_data_command.h"
#include "tools/duel_command.h"
#include "tools/matrix_command.h"
#include "tools/odds_command.h"

namespace {

constexpr const char* kUsage =
    "Usage: karnwick <command> [options]\n"
    "\n"
    "Commands:\n"
    "  duel A B        Play battles between two monsters of the game files here\n"
    "  odds A B        The exact odds of the battle between two monsters\n"
    "  matrix          The exact odds of every pair of monsters: ranking, CSV, JSON, heat map\n"
    "  demo-data [DIR] Write a demo set of game files (mypal.pal, monster.dat, monsters.tat)\n"
    "\n"
    "Options:\n"
    "  -h, --help      Show this help; 'karnwick <command> --help' shows a command's options\n"
    "  -v, --version   Show the version\n";

}  // namespace

int main(int argc, char* argv[]) {
    // The heat map of `matrix` draws text, which takes a graphical
    // application; the tool never shows a window, so it runs without a
    // display. The other commands start without the graphics.
    const bool draws = argc > 1 && std::string_view(argv[1]) == "matrix";
    if (draws && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        draws ? std::make_unique<QGuiApplication>(argc, argv)
              : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName("karnwick");
    QCoreApplication::setApplicationVersion(KARNWICK_VERSION);
    std::ios::sync_with_stdio(false);

    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        std::cerr << kUsage;
        return 2;
    }
    const QString command = arguments.takeFirst();
    if (command == "-h" || command == "--help" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "-v" || command == "--version") {
        std::cout << "karnwick " << KARNWICK_VERSION << "\n";
        return 0;
    }
    if (command == "duel") return runDuelCommand(arguments, std::cout, std::cerr);
    if (command == "odds") return runOddsCommand(arguments, std::cout, std::cerr);
    if (command == "matrix") return runMatrixCommand(arguments, std::cout, std::cerr);
    if (command == "demo-data") return runDemoDataCommand(arguments);
    std::cerr << "karnwick: unknown command \"" << command.toStdString() << "\"\n\n" << kUsage;
    return 2;
}
