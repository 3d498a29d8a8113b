#pragma once

#include <QStringList>
#include <ostream>

#include "cli/commands.h"

namespace karnwick::cli {

// `karnwick history`: the edits recorded in the game folder, newest first.
int runHistoryCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                      std::ostream& err);

}  // namespace karnwick::cli
