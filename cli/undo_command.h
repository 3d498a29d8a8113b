#pragma once

#include <QStringList>
#include <ostream>

#include "cli/commands.h"

namespace karnwick::cli {

// `karnwick undo` and `karnwick redo`: the game files as they were before the
// last edit still in force, and back again, as editors do.
int runUndoCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                   std::ostream& err);
int runRedoCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                   std::ostream& err);

}  // namespace karnwick::cli
