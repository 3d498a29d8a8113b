#pragma once
// `karnwick list [N]`: every monster's record, field by field, as the game
// reads it; or monster N in full, as the arena's panel shows it.

#include <QStringList>
#include <ostream>

#include "cli/commands.h"

namespace karnwick::cli {

// `arguments` are those after the word "list". Returns 0; 1 when a monster
// could be listed but has no record (monster 32767); throws for a wrong
// command line or game files that cannot be read.
int runListCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                   std::ostream& err);

}  // namespace karnwick::cli
