#pragma once
// The one table of `karnwick` commands. Dispatch, `karnwick --help`, the
// usage line of an unknown command, whether Qt's graphics start, the fuzz
// target and the test of the bash completion all read it: a new command is
// one row here and one file of its own.

#include <QStringList>
#include <exception>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace karnwick::cli {

// `arguments` are those after the command's word. Returns the exit status; a
// failure may also be thrown as a CommandError (or a GameError), which the
// dispatcher reports behind the command's name.
using CommandFunction = int (*)(const QStringList& arguments, std::ostream& out, std::ostream& err);

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
};

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
