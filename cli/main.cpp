// karnwick: the arena's engine on the command line, for players and modders.

#include <QCoreApplication>
#include <QStringList>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/pictures.h"
#include "cli/standard_output.h"
#include "data/errors.h"
#include "data/suggestions.h"

namespace {

using karnwick::cli::Command;

void writeUsage(std::ostream& out) {
    out << "Usage: karnwick <command> [options]\n\nCommands:\n";
    for (const Command& c : karnwick::cli::commands()) {
        std::string head = std::string(c.name);
        if (!c.synopsis.empty()) head.append(" ").append(c.synopsis);
        // A synopsis too long for the column puts its summary on a line of its own.
        out << "  " << head
            << (head.size() < 16 ? std::string(16 - head.size(), ' ')
                                 : std::string(1, '\n').append(18, ' '))
            << c.summary << "\n";
    }
    out << "\n"
           "Options:\n"
           "  --dir DIR       Read the game files from DIR, before or after the command\n"
           "  -h, --help      Show this help; 'karnwick <command> --help' shows a command's "
           "options\n"
           "  -V, --version   Show the version\n"
           "\n"
           "The JSON of every command is described in\n"
        << karnwick::cli::kJsonDocumentation << "\n\n"
        << karnwick::cli::kExitStatusHelp;
}

// Where the command's word is: global options may come before it
// (`karnwick --dir D list`), as karnwick(1) lists them. They are handed to the
// command in front of its own arguments, which refuses a --dir given twice.
struct CommandWords {
    QStringList global;
    QStringList rest;  // the command's word and its arguments
};

CommandWords splitGlobalOptions(QStringList arguments) {
    CommandWords words;
    while (!arguments.isEmpty()) {
        const QString& first = arguments.first();
        if (first.startsWith(QLatin1String("--dir="))) {
            words.global << arguments.takeFirst();
        } else if (first == QLatin1String("--dir")) {
            words.global << arguments.takeFirst();
            if (!arguments.isEmpty()) words.global << arguments.takeFirst();
        } else {
            break;
        }
    }
    words.rest = std::move(arguments);
    return words;
}

// Only the commands that draw pictures need Qt's graphics (fonts, the button
// face of the preview window); the others start without them, and `sweep`
// and `matrix` only when --png asks for a picture.
bool drawsPictures(int argc, char* argv[]) {
    const CommandWords words = splitGlobalOptions(karnwick::cli::argumentsFromArgv(argc, argv));
    if (words.rest.isEmpty()) return false;
    const Command* command = karnwick::cli::findCommand(words.rest.first().toStdString());
    if (!command || command->graphics == karnwick::cli::Graphics::Never) return false;
    if (command->graphics == karnwick::cli::Graphics::Always) return true;
    for (const QString& word : words.rest) {
        if (word == QLatin1String("--")) break;
        if (word == QLatin1String("--png") || word.startsWith(QLatin1String("--png="))) return true;
    }
    return false;
}

// Qt warns that XDG_RUNTIME_DIR is unset when the tool runs without a login
// session (as root, from cron); the tool never uses that folder, so the
// warning would only be noise on a command's error stream.
void dropSessionNoise(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR"))) return;
    qt_message_output(type, context, message);
}

// A word no command has: the nearest command's name, or the usage.
int refuseUnknownCommand(const QString& name) {
    const std::string typed = karnwick::cli::bytesFromArgument(name);
    std::vector<std::string> names;
    for (const Command& c : karnwick::cli::commands()) names.emplace_back(c.name);
    const std::vector<std::string> near = karnwick::nearestWords(typed, names);
    std::cerr << "karnwick: unknown command " << karnwick::quotedText(typed);
    if (!near.empty()) {
        std::cerr << "; did you mean \"" << near.front() << "\"?\n";
        return karnwick::cli::kExitFailure;
    }
    std::cerr << "\n\n";
    writeUsage(std::cerr);
    return karnwick::cli::kExitFailure;
}

int runProgram(int argc, char* argv[]) {
    qInstallMessageHandler(dropSessionNoise);
    std::unique_ptr<QCoreApplication> app;
    if (drawsPictures(argc, argv)) {
        try {
            app = karnwick::cli::pictures().startApplication(argc, argv);
        } catch (const karnwick::cli::CommandError& e) {
            std::cerr << "karnwick: " << e.what() << "\n";
            return e.status();
        }
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName("karnwick");
    QCoreApplication::setApplicationVersion(KARNWICK_VERSION);
    // A reader that stops early is seen as a failed write (EPIPE), which the
    // standard output below ends quietly, instead of a signal (which Windows
    // never sends).
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif

    // From argv rather than QCoreApplication::arguments(), which would turn a
    // path's bytes outside UTF-8 into U+FFFD; the graphics have taken their
    // own options (-platform) out of argv by now.
    const CommandWords words = splitGlobalOptions(karnwick::cli::argumentsFromArgv(argc, argv));
    QStringList arguments = words.rest;
    if (arguments.isEmpty()) {
        writeUsage(std::cerr);
        return karnwick::cli::kExitFailure;
    }
    const QString name = arguments.takeFirst();
    const Command* command = karnwick::cli::findCommand(name.toStdString());
    karnwick::cli::StandardOutput buffer(command ? "karnwick " + name.toStdString() : "karnwick");
    std::ostream out(&buffer);
    // A failed write stops the command where it is (see StandardOutput).
    out.exceptions(std::ios::badbit);
    if (name == "-h" || name == "--help" || name == "help") {
        writeUsage(out);
        return buffer.finish(karnwick::cli::kExitSuccess);
    }
    if (name == "-V" || name == "--version") {
        out << "karnwick " << KARNWICK_VERSION << "\n";
        return buffer.finish(karnwick::cli::kExitSuccess);
    }
    if (!command) return refuseUnknownCommand(name);
    return buffer.finish(
        karnwick::cli::runCommand(*command, words.global + arguments, out, std::cerr));
}

}  // namespace

int main(int argc, char* argv[]) {
    karnwick::cli::holdClosedStandardStreams();
    // The commands report their own failures (runCommand); this edge is for
    // what fails around them, such as the start of Qt's graphics.
    try {
        return runProgram(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "karnwick: " << karnwick::cli::failureText(e) << "\n";
        return karnwick::cli::kExitFailure;
    }
}
