#pragma once
// The one table of `karnwick` commands, and what is the same for all of
// them: the exit statuses and the way a failure is reported. Dispatch,
// `karnwick --help`, each command's own usage line, whether Qt's graphics
// start, the fuzz target and the test of the bash completion all read it: a
// new command is one row here and one file of its own.

#include <QStringList>
#include <exception>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "data/errors.h"

namespace karnwick::cli {

// The same for every command: success; the command ran and found something (a
// battle stopped by a run-time error, problems in the game files); wrong usage,
// game files that cannot be read, or output that cannot be written.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFound = 1;
inline constexpr int kExitFailure = karnwick::CommandError::kRefusedStatus;

// The lines `karnwick --help` ends with; the README and karnwick(1) show the
// same table.
extern const char* const kExitStatusHelp;

// Where the package installs the description of every command's JSON,
// for the help texts that point to it.
inline constexpr const char* kJsonDocumentation = "/usr/share/doc/karnwick-arena/json.md";

// The one way a command fails (data/errors.h): thrown anywhere below a
// command, caught by runCommand, which writes "karnwick <command>:
// <message>" on stderr and ends with its status, or ends quietly with success
// for a reader that went away. A GameError from the engine is reported the
// same way with status 2.
using karnwick::CommandError;

struct Command;

// `command` is the row the function was called for; `arguments` are those
// after the command's word. Returns the exit status; a failure may also be
// thrown as a CommandError (or a GameError), which the dispatcher reports
// behind the command's name.
using CommandFunction = int (*)(const Command& command, const QStringList& arguments,
                                std::ostream& out, std::ostream& err);

// When a command needs Qt's graphics (fonts, images): starting them costs
// more than most commands' own work, so a command that draws only on request
// starts them only then.
enum class Graphics { Never, Always, ForPng };

struct Command {
    std::string_view name;
    std::string_view synopsis;  // what follows the name in `karnwick --help`
    std::string_view summary;
    Graphics graphics;
    CommandFunction run;
    // What follows "[options]" in the command's own usage line, where it
    // spells out what the synopsis names in one word; else the synopsis.
    std::string_view usage = {};
};

// The words after "[options]" in `command`'s usage line: "A B".
std::string_view usageWords(const Command& command);

std::span<const Command> commands();

// The row of `name`, or nullptr.
const Command* findCommand(std::string_view name);

// What a failure that is neither a GameError nor a CommandError tells the
// player: a file system call's file and what is wrong with it ("NAME: File
// name too long"), running out of memory, or the library's own words.
std::string failureText(const std::exception& failure);

// Runs `command`: the edge where its failures, thrown from wherever they
// arose, are written to `err` behind "karnwick <command>: " and turned into
// its exit status (any failure but a CommandError's own is status 2).
int runCommand(const Command& command, const QStringList& arguments, std::ostream& out,
               std::ostream& err);

}  // namespace karnwick::cli
