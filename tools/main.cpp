// karnwick: the arena's engine on the command line, for players and modders.

#include <QCoreApplication>
#include <QStringList>
#include <iostream>

#include "tools/demo_data_command.h"
#include "tools/duel_command.h"

namespace {

constexpr const char* kUsage =
    "Usage: karnwick <command> [options]\n"
    "\n"
    "Commands:\n"
    "  duel A B        Play battles between two monsters of the game files here\n"
    "  demo-data [DIR] Write a demo set of game files (mypal.pal, monster.dat, monsters.tat)\n"
    "\n"
    "Options:\n"
    "  -h, --help      Show this help; 'karnwick <command> --help' shows a command's options\n"
    "  -v, --version   Show the version\n";

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
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
    if (command == "demo-data") return runDemoDataCommand(arguments, std::cout, std::cerr);
    std::cerr << "karnwick: unknown command \"" << command.toStdString() << "\"\n\n" << kUsage;
    return 2;
}
