#pragma once
// `karnwick demo-data [DIR] [--force]`: writes the demo set (mypal.pal,
// monster.dat, monsters.tat) into DIR, the current folder by default.

#include <QStringList>
#include <ostream>

#include "cli/commands.h"

namespace karnwick::cli {

// `arguments` are those after the word demo-data. Returns the exit status:
// 0 when all three files were written; 2 for a wrong command line, a file in
// the way without --force, or a failure, which leaves the folder as it was.
int runDemoDataCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                       std::ostream& err);

}  // namespace karnwick::cli
