#pragma once
// `karnwick odds A B`: the exact odds of the battle between monster A (Monster
// One) and monster B (Monster Two) after a fresh choice of both: who wins, how
// often, and in how many turns.

#include <QStringList>
#include <ostream>

#include "cli/commands.h"

namespace karnwick::cli {

// `arguments` are those after the word "odds". Returns the exit status: 0, or
// 2 for a usage error or unreadable game files.
int runOddsCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                   std::ostream& err);

}  // namespace karnwick::cli
