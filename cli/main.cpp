// karnwick: the arena's engine on the command line, for players and modders.

#include <QGuiApplication>
#include <QStringList>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string_view>

#include "cli/check_command.h"
#include "cli/command_line.h"
#include "cli/demo_data_command.h"
#include "cli/duel_command.h"
#include "cli/export_command.h"
#include "cli/list_command.h"
#include "cli/matrix_command.h"
#include "cli/odds_command.h"

namespace {

constexpr const char* kUsage =
    "Usage: karnwick <command> [options]\n"
    "\n"
    "Commands:\n"
    "  duel A B        Play battles between two monsters of the game files\n"
    "  odds A B        The exact odds of the battle between two monsters\n"
    "  matrix          The exact odds of every pair of monsters: ranking, CSV, JSON, heat map\n"
    "  list [N]        Every monster's record, or monster N in full\n"
    "  check           Name every problem in the game files that a battle would meet\n"
    "  export WHAT     Sprites, preview sheets and the palette as PNG images\n"
    "  demo-data [DIR] Write a demo set of game files (mypal.pal, monster.dat, monsters.tat)\n"
    "\n"
    "Options:\n"
    "  -h, --help      Show this help; 'karnwick <command> --help' shows a command's options\n"
    "  -V, --version   Show the version\n"
    "\n";

using Command = int (*)(const QStringList&, std::ostream&, std::ostream&);

Command findCommand(const QString& name) {
    if (name == "duel") return runDuelCommand;
    if (name == "odds") return runOddsCommand;
    if (name == "matrix") return runMatrixCommand;
    if (name == "list") return runListCommand;
    if (name == "check") return runCheckCommand;
    if (name == "export") return runExportCommand;
    if (name == "demo-data") return runDemoDataCommand;
    return nullptr;
}

// Only the commands that draw pictures need Qt's graphics (fonts, the button
// face of the preview window); the others start without them.
bool drawsPictures(int argc, char* argv[]) {
    if (argc < 2) return false;
    const std::string_view name = argv[1];
    return name == "export" || name == "matrix";
}

// Qt warns that XDG_RUNTIME_DIR is unset when the tool runs without a login
// session (as root, from cron); the tool never uses that folder, so the
// warning would only be noise on a command's error stream.
void dropSessionNoise(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR"))) return;
    qt_message_output(type, context, message);
}

}  // namespace

int main(int argc, char* argv[]) {
    qInstallMessageHandler(dropSessionNoise);
    std::unique_ptr<QCoreApplication> app;
    if (drawsPictures(argc, argv)) {
        // Pictures are drawn but no window is ever shown: no display is needed.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName("karnwick");
    QCoreApplication::setApplicationVersion(KARNWICK_VERSION);
    // A reader that stops early is seen as a failed write (EPIPE), which the
    // standard output below ends quietly, instead of a signal.
    std::signal(SIGPIPE, SIG_IGN);

    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        std::cerr << kUsage << karnwick::cli::kExitStatusHelp;
        return karnwick::cli::kExitFailure;
    }
    const QString name = arguments.takeFirst();
    const Command command = findCommand(name);
    karnwick::cli::StandardOutput buffer(command ? "karnwick " + name.toStdString() : "karnwick");
    std::ostream out(&buffer);
    if (name == "-h" || name == "--help" || name == "help") {
        out << kUsage << karnwick::cli::kExitStatusHelp;
        return buffer.finish(karnwick::cli::kExitSuccess);
    }
    if (name == "-V" || name == "--version") {
        out << "karnwick " << KARNWICK_VERSION << "\n";
        return buffer.finish(karnwick::cli::kExitSuccess);
    }
    if (!command) {
        std::cerr << "karnwick: unknown command \"" << name.toStdString() << "\"\n\n" << kUsage;
        return karnwick::cli::kExitFailure;
    }
    return buffer.finish(command(arguments, out, std::cerr));
}
