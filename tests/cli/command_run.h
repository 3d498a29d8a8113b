#pragma once
// A `karnwick` command run as the program runs it: through the dispatcher,
// so a failure arrives as its status and its "karnwick <command>: " message.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QStringList>
#include <filesystem>
#include <map>
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

// Every file under the current folder with its size, inode and times, so a
// file written, replaced, added or removed shows as a difference.
inline std::map<std::string, std::string> folderState() {
    std::map<std::string, std::string> state;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(".")) {
        struct stat s {};
        ::lstat(entry.path().c_str(), &s);
        state[entry.path().string()] = std::to_string(s.st_size) + " " + std::to_string(s.st_ino) +
                                       " " + std::to_string(s.st_mtim.tv_nsec) + " " +
                                       std::to_string(s.st_ctim.tv_sec) + "." +
                                       std::to_string(s.st_ctim.tv_nsec);
    }
    return state;
}

// The command is refused: status 2, `message` within its standard error,
// nothing on standard output and nothing written in the current folder.
inline void expectRefused(std::string_view command, const QStringList& arguments,
                          std::string_view message) {
    SCOPED_TRACE(std::string(command) + " " + arguments.join(' ').toStdString());
    const auto before = folderState();
    const CommandRun run = runKarnwick(command, arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_EQ(folderState(), before);
}

}  // namespace karnwick::testing
