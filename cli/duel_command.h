#pragma once
// `karnwick duel A B`: the arena without windows. Monster A is chosen for
// "Monster One" and B for "Monster Two", then FIGHT is pressed as often as
// asked, with the random sequence running on from battle to battle.

#include <QStringList>
#include <ostream>

#include "cli/commands.h"

namespace karnwick::cli {

// `arguments` are those after the word "duel". Returns the exit status: 0,
// 1 when a battle stopped on a run-time error, 2 for a usage or data error.
int runDuelCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                   std::ostream& err);

}  // namespace karnwick::cli
