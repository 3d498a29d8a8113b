#pragma once

#include <QStringList>
#include <ostream>

// `karnwick history`: the edits recorded in the game folder, newest first.
int runHistoryCommand(const QStringList& arguments, std::ostream& out, std::ostream& err);
