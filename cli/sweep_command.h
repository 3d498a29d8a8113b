#pragma once
// `karnwick sweep`: the exact odds of one pair of monsters for every value of
// one number of a record, as a table, CSV, JSON, a chart, or the value that
// brings Monster One's chance of winning closest to a target.

#include <QStringList>
#include <ostream>

#include "cli/commands.h"

namespace karnwick::cli {

// `arguments` are those after the word "sweep". Returns the exit status: 0,
// or 2 for a usage error, unreadable game files or a chart not written.
int runSweepCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                    std::ostream& err);

}  // namespace karnwick::cli
