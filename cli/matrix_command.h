#pragma once
// `karnwick matrix`: the exact odds of every ordered pair of monsters of the
// game folder, as `karnwick odds` gives them: a ranking, CSV, JSON or a heat
// map.

#include <QStringList>
#include <ostream>

#include "cli/commands.h"

namespace karnwick::cli {

// `arguments` are those after the word "matrix". Returns the exit status: 0,
// or 2 for a usage error, unreadable game files or a picture not written.
int runMatrixCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                     std::ostream& err);

}  // namespace karnwick::cli
