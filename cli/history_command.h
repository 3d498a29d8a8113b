#pragma once

#include <QStringList>
#include <ostream>

namespace karnwick::cli {

// `karnwick history`: the edits recorded in the game folder, newest first.
int runHistoryCommand(const QStringList& arguments, std::ostream& out, std::ostream& err);

}  // namespace karnwick::cli
