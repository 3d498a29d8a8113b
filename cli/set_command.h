#pragma once

#include <QStringList>
#include <ostream>

#include "cli/commands.h"

namespace karnwick::cli {

// `karnwick set N FIELD=VALUE...`: changes fields of monster N's record in
// monsters.tat, every other byte kept.
int runSetCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                  std::ostream& err);

}  // namespace karnwick::cli
