#pragma once
// A `karnwick` command run as the program runs it: through the dispatcher,
// so a failure arrives as its status and its "karnwick <command>: " message.

#include <QStringList>
#include <sstream>
#include <string>
#include <string_view>

#include "cli/commands.h"

namespace karnwick::testing {

struct CommandRun {
    int status;
    std::string out;
    std::string err;
};

inline CommandRun runKarnwick(std::string_view command, const QStringList& arguments) {
    std::ostringstream out, err;
    const int status = cli::runCommand(*cli::findCommand(command), arguments, out, err);
    return {status, out.str(), err.str()};
}

}  // namespace karnwick::testing
