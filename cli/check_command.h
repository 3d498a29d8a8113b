#pragma once
// `karnwick check`: reads the three game files and names every problem a
// battle or the arena would meet, with the file, the monster, the field, its
// value, what it does in the game and, where there is one, a short fix.

#include <QStringList>
#include <ostream>

#include "cli/commands.h"

namespace karnwick::cli {

// `arguments` are those after the word "check". Returns 0 when the files are
// clean, 1 when it found problems, 2 for a wrong command line or a game file
// that cannot be read.
int runCheckCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                    std::ostream& err);

}  // namespace karnwick::cli
