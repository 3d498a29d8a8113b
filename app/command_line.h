#pragma once
// The arena's command line: `karnwick-arena [--balance] [--set INDEX.FIELD=VALUE]...
// [DIR]`, --help, --version and the
// window system's own options. Folders are kept as the bytes the system gave,
// never through a QString, so a folder whose name is not valid UTF-8 works.

#include <QString>
#include <filesystem>
#include <string>
#include <vector>

namespace arena {

// What the command line asked for.
struct CommandLine {
    enum class Action { Run, Exit };
    Action action = Action::Run;
    int exitCode = 0;
    // The folder given as argument, empty when none.
    std::filesystem::path folder;
    // --balance: start with the Balance window open.
    bool balance = false;
    // Every --set INDEX.FIELD=VALUE, in order; their form is checked here,
    // their monster index once the game files are read.
    std::vector<std::string> setTexts;
    // What to print before exiting: help and version on stdout, errors on stderr.
    QString out;
    QString err;
};

// `karnwick-arena [DIR]`, --balance, --set, --help, --version, and the window system's own
// options (-platform NAME, -style NAME, ...), which are accepted here and left
// to the application object. `arguments` are the raw bytes of argv, program
// name first. Needs no application object, so every answer and usage error
// comes before the window system starts.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

}  // namespace arena
