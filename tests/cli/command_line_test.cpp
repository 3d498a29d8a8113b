// The program as a shell sees it: exit statuses, usage lines, and output
// that cannot be written.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "cli/commands.h"
#include "game_files.h"

using karnwick::testing::GameFolder;

namespace {

struct ProgramRun {
    int status;
    std::string out;
    std::string err;
};

// Runs `karnwick <arguments>` through bash in the current folder; stderr
// without the platform's notes about its runtime folder, which depend on the
// machine.
ProgramRun runProgram(const std::string& arguments) {
    const std::string command =
        std::string("bash -c '") + KARNWICK_BINARY + " " + arguments + "' 2>stderr.txt";
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    std::array<char, 4096> buffer;
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    std::ifstream errFile("stderr.txt");
    std::string err, line;
    while (std::getline(errFile, line))
        if (!line.starts_with("QStandardPaths:")) err += line + "\n";
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, err};
}

}  // namespace

TEST(CommandLine, ExitStatusesAreTheSameForEveryCommand) {
    GameFolder folder;
    ASSERT_EQ(runProgram("demo-data").status, 0);
    const struct {
        const char* arguments;
        int status;
        const char* err;  // the start of stderr
    } cases[] = {
        {"--help", 0, ""},
        {"-V", 0, ""},
        {"check", 0, ""},
        {"list --csv", 0, ""},
        {"duel 0 1 --battles 3", 0, ""},
        {"", 2, "Usage: karnwick <command>"},
        {"fight 0 1", 2, "karnwick: unknown command \"fight\""},
        {"duel -1 1", 2,
         "karnwick duel: monster \"-1\" is not a monster index: the valid range is 0..56"},
        {"duel 0 1 --battles -5", 2,
         "karnwick duel: --battles takes a whole number of 0 or more, not \"-5\""},
        {"list --colour", 2, "karnwick list: Unknown option 'colour'."},
        {"export sheet 4", 2, "karnwick export: sheet \"4\" does not exist"},
        {"demo-data", 2, "karnwick demo-data: ./mypal.pal: already exists (use --force"},
        {"duel 0 1 --dir /", 2,
         "karnwick duel: no monster.dat in /: start in the game's folder or pass --dir"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ProgramRun run = runProgram(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(run.err.starts_with(c.err)) << run.err;
    }
    EXPECT_NE(runProgram("--help").out.find("Exit status:\n  0  success\n  1  the command ran"),
              std::string::npos);
    EXPECT_TRUE(runProgram("duel --help").out.starts_with("Usage: karnwick duel [options] A B\n"));

    // Found something: a battle stopped by Division by zero, a problem in a file.
    std::fstream records("monsters.tat", std::ios::in | std::ios::out | std::ios::binary);
    records.seekp(22);  // monster 0's level
    records.write("\x64\x00", 2);
    records.close();
    EXPECT_EQ(runProgram("duel 0 1").status, 1);
    const ProgramRun check = runProgram("check");
    EXPECT_EQ(check.status, 1);
    EXPECT_NE(check.out.find(": level = 100: error: "), std::string::npos) << check.out;
}

TEST(CommandLine, OutputThatCannotBeWrittenIsAFailureButAClosedPipeIsNot) {
    GameFolder folder;
    ASSERT_EQ(runProgram("demo-data").status, 0);
    for (const char* command : {"list", "duel 0 1 --battles 50", "check --json"}) {
        SCOPED_TRACE(command);
        const ProgramRun full = runProgram(std::string(command) + " >/dev/full");
        EXPECT_EQ(full.status, 2);
        EXPECT_NE(full.err.find(": cannot write to standard output: No space left on device"),
                  std::string::npos)
            << full.err;
    }
    // Far more output than a pipe holds; the reader takes one line and goes.
    const ProgramRun head =
        runProgram("duel 0 1 --battles 100000 | head -n 1; exit ${PIPESTATUS[0]}");
    EXPECT_EQ(head.status, 0);
    EXPECT_EQ(head.out, "Monster 1 Goes first \n");
    EXPECT_EQ(head.err, "");
}

// The completion offers exactly the commands of the table, no more, no less.
TEST(CommandLine, BashCompletionOffersEveryCommandOfTheTable) {
    const std::string script = std::string(KARNWICK_SOURCE_DIR) + "/packaging/karnwick.bash-completion";
    const std::string command = "bash -c 'source \"" + script +
                                "\"; COMP_WORDS=(karnwick \"\"); COMP_CWORD=1; _karnwick; "
                                "printf \"%s\\n\" \"${COMPREPLY[@]}\"'";
    std::string offered;
    FILE* pipe = ::popen(command.c_str(), "r");
    std::array<char, 4096> buffer;
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        offered.append(buffer.data(), n);
    ASSERT_EQ(::pclose(pipe), 0);
    std::set<std::string> words;
    std::istringstream lines(offered);
    for (std::string word; std::getline(lines, word);)
        if (!word.starts_with("-")) words.insert(word);
    std::set<std::string> names;
    for (const karnwick::cli::Command& c : karnwick::cli::commands()) names.emplace(c.name);
    EXPECT_EQ(words, names);
}
