// The program as a shell sees it: exit statuses, usage lines, and output
// that cannot be written.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "cli/commands.h"
#include "command_run.h"
#include "game_files.h"

using karnwick::testing::CommandRun;
using karnwick::testing::GameFolder;
using karnwick::testing::kPosix;
using karnwick::testing::runProgram;

// Every command answers alike: the same statuses, wrong usage named before
// any monster is looked up, global options in either place, and paths that
// are no UTF-8 (as a Latin-1 system names "bad\xffname") kept as their bytes
// where names are bytes (POSIX; Windows names are UTF-16, and the lines
// passing them need a shell's variables).
TEST(CommandLine, ExitStatusesOptionsAndPathsAreTheSameForEveryCommand) {
    GameFolder folder;
    ASSERT_EQ(runProgram("demo-data").status, 0);
    const std::string bad =
        "bad\xff"
        "name";
    qputenv("BAD", QByteArray::fromStdString(bad));
    // The root as the program shows it: "/", or the current drive's on Windows.
    const std::string root = karnwick::platform::pathText(std::filesystem::absolute("/"));
    const struct {
        const char* arguments;
        int status;
        const char* out;  // the start of stdout
        std::string err;  // the start of stderr
        std::string program = KARNWICK_BINARY;
    } cases[] = {
        {"--help", 0, "", ""},
        {"odds 0 99 --csv --json", 2, "", "karnwick odds: --csv and --json exclude each other\n"},
        {"", 2, "", "Usage: karnwick <command>"},
        {"fight 0 1", 2, "", "karnwick: unknown command \"fight\"\n\nUsage: karnwick <command>"},
        {"lsit 0", 2, "", "karnwick: unknown command \"lsit\"; did you mean \"list\"?\n"},
        {"duel -1 1", 2, "",
         "karnwick duel: monster \"-1\" is not a monster index: the valid range is 0..56"},
        {"duel 0 1 --battles -5", 2, "",
         "karnwick duel: --battles takes a whole number of 0 or more, not \"-5\""},
        {"export sheet 4", 2, "", "karnwick export: sheet \"4\" does not exist"},
        {"demo-data", 2, "", "karnwick demo-data: ./mypal.pal: already exists (use --force"},
        {"duel 0 1 --dir /", 2, "",
         "karnwick duel: no monster.dat in " + root + ": start in the game's folder or pass --dir"},
        {"--dir . list 0", 0, "Monster 0\n", ""},
        {"--dir=. check", 0, "", ""},
        {"--dir nowhere duel 0 1 --dir .", 2, "", "karnwick duel: --dir is given more than once\n"},
        {"--dir", 2, "", "Usage: karnwick <command>"},
        {"--dir . demo-data", 2, "", "karnwick demo-data: unknown option \"--dir\" (see --help)\n"},
        {"demo-data \"$BAD\"", 0, "Wrote the demo set", ""},
        {"--dir \"$BAD\" list 0", 0, "Monster 0\n", ""},
        {"list 0 --dir \"$BAD\"x", 2, "", "karnwick list: --dir bad\\xFFnamex: not a folder"},
        // The drawing commands load Qt's graphics, which the others go without.
        {"export palette -o -", 0, "\x89PNG", ""},
        {"sweep 0 1 0.hp 1..3 --png curve.png", 0, "Exact odds", ""},
        // Both programs take both flags for the same version.
        {"-V", 0, "karnwick " KARNWICK_VERSION "\n", ""},
        {"--version", 0, "karnwick-arena " KARNWICK_VERSION "\n", "", KARNWICK_ARENA_BINARY},
    };
    for (const auto& c : cases) {
        if (!kPosix && std::string_view(c.arguments).find("$BAD") != std::string_view::npos)
            continue;
        SCOPED_TRACE(c.arguments);
        const CommandRun run = runProgram(c.arguments, ".", c.program);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(run.out.starts_with(c.out)) << run.out;
        EXPECT_TRUE(run.err.starts_with(c.err)) << run.err;
    }
    EXPECT_EQ(std::filesystem::is_regular_file(bad + "/monster.dat"), kPosix);
#ifdef _WIN32
    // Windows names are UTF-16, where half of a pair has no UTF-8: it reads
    // as U+FFFD, and the command names the file it cannot open.
    QProcess half;
    half.start(KARNWICK_BINARY, {"import", "stats", QString("a") + QChar(0xD800) + "b.csv"});
    ASSERT_TRUE(half.waitForFinished(30000));
    EXPECT_EQ(half.exitCode(), 2);
    EXPECT_NE(half.readAllStandardError().toStdString().find("a\xEF\xBF\xBD"
                                                             "b.csv"),
              std::string::npos);
#endif
    // Valid UTF-8 is read as its text: the name's "ü" is one Windows-1252 byte.
    EXPECT_EQ(runProgram("set 0 name=Gr\xc3\xbc").status, 0);
    EXPECT_EQ(karnwick::testing::readBytes("monsters.tat").substr(0, 4), "Gr\xfc ");
    // A folder name the system refuses is named with what is wrong, not a crash.
    const std::string tooLong(300, 'x');
    const CommandRun longName = runProgram("demo-data --force " + tooLong);
    EXPECT_EQ(longName.status, 2);
    // (In the system's own words, which Windows chooses otherwise.)
    EXPECT_TRUE(longName.err.starts_with("karnwick demo-data: " + tooLong + ": ") &&
                longName.err.ends_with(kPosix ? ": File name too long\n" : "\n"))
        << longName.err;
    // Found something: a battle stopped by Division by zero.
    std::fstream records("monsters.tat", std::ios::in | std::ios::out | std::ios::binary);
    records.seekp(22);  // monster 0's level
    records.write("\x64\x00", 2);
    records.close();
    EXPECT_EQ(runProgram("duel 0 1").status, 1);
}

namespace {

// The rows of the exit-status table in `text` between `start` and `end`, as
// "0 success", whether written as the help, a Markdown table or a man page:
// markup dropped, blanks folded.
std::vector<std::string> statusRows(const std::string& text, const std::string& start,
                                    const std::string& end) {
    const std::size_t from = text.find(start);
    EXPECT_NE(from, std::string::npos) << start;
    std::istringstream lines(text.substr(from, text.find(end, from) - from));
    const std::regex rowStart(R"(^[| ]*([0-9])(?: +\| +| +|$)(.*?)( \|)?$)");
    const std::regex markup(R"(^\.(TP|BR?) ?|`|\\| (?=,))");
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) {
        line = std::regex_replace(line, markup, "");
        std::smatch row;
        if (std::regex_match(line, row, rowStart))
            rows.push_back(row[1].str() + " " + row[2].str());
        else if (!rows.empty() && !line.empty())
            rows.back() += " " + line;
    }
    for (std::string& row : rows) row = std::regex_replace(row, std::regex(" +"), " ");
    return rows;
}

}  // namespace

// The exit statuses are one table: `karnwick --help` shows it, and the
// README and karnwick(1) say the same words.
TEST(CommandLine, TheExitStatusesReadTheSameInTheHelpTheReadmeAndTheManPage) {
    const std::string source = KARNWICK_SOURCE_DIR;
    const std::vector<std::string> help =
        statusRows(karnwick::cli::kExitStatusHelp, "Exit status:", "\n\n");
    ASSERT_EQ(help.size(), 3u);
    EXPECT_EQ(help[0], "0 success");
    EXPECT_EQ(statusRows(karnwick::testing::readBytes(source + "/README.md"),
                         "| Status | Meaning |", "\n\n"),
              help);
    EXPECT_EQ(statusRows(karnwick::testing::readBytes(source + "/docs/karnwick.1"),
                         ".SH EXIT STATUS", "\n.SH FILES"),
              help);
}

// Whatever a command throws ends it with status 2 and a message behind its
// name: a file system call's failure names the file.
TEST(CommandLine, EveryFailureOfACommandIsReported) {
    const struct {
        karnwick::cli::CommandFunction run;
        std::string says;  // in the system's own words
    } failures[] = {
        {[](const karnwick::cli::Command&, const QStringList&, std::ostream& out,
            std::ostream&) -> int {
             out << "half a line";
             throw std::filesystem::filesystem_error(
                 "status", "a\nb", std::make_error_code(std::errc::filename_too_long));
         },
         "karnwick thrower: a\\x0Ab: " +
             std::make_error_code(std::errc::filename_too_long).message() + "\n"},
        {[](const karnwick::cli::Command&, const QStringList&, std::ostream&,
            std::ostream&) -> int {
             throw std::filesystem::filesystem_error(
                 "rename", "old", "new", std::make_error_code(std::errc::cross_device_link));
         },
         "karnwick thrower: old -> new: " +
             std::make_error_code(std::errc::cross_device_link).message() + "\n"},
        {[](const karnwick::cli::Command&, const QStringList&, std::ostream&,
            std::ostream&) -> int { throw std::bad_alloc(); },
         "karnwick thrower: out of memory\n"},
        {[](const karnwick::cli::Command&, const QStringList&, std::ostream&,
            std::ostream&) -> int { throw std::out_of_range("vector::at"); },
         "karnwick thrower: vector::at\n"},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.says);
        const karnwick::cli::Command thrower{"thrower", "", "", karnwick::cli::Graphics::Never,
                                             f.run};
        std::ostringstream out, err;
        EXPECT_EQ(karnwick::cli::runCommand(thrower, {}, out, err), 2);
        EXPECT_EQ(err.str(), f.says);
    }
}

#ifndef _WIN32  // /dev/full and a pipe handed over by bash are POSIX's
TEST(CommandLine, OutputThatCannotBeWrittenIsAFailureButAClosedPipeIsNot) {
    GameFolder folder;
    ASSERT_EQ(runProgram("demo-data").status, 0);
    for (const char* command :
         {"list", "duel 0 1 --battles 50", "check --json", "export sprite 1 -o -"}) {
        SCOPED_TRACE(command);
        const CommandRun full = runProgram(std::string(command) + " >/dev/full");
        EXPECT_EQ(full.status, 2);
        EXPECT_NE(full.err.find(": cannot write to standard output: No space left on device"),
                  std::string::npos)
            << full.err;
    }
    // A reader gone, as `| head -n 1` once it has its line, met mid-output or
    // by an edit's report: a quiet success, and the edit is made all the same.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    for (const char* command : {"duel 0 1 --battles 100000", "set 0 hp=77 --no-history"}) {
        const CommandRun gone = runProgram(command + (" >&" + std::to_string(ends[1])));
        EXPECT_EQ(gone.status, 0) << command;
        EXPECT_EQ(gone.err, "") << command;
    }
    ::close(ends[1]);
    EXPECT_NE(runProgram("list 0").out.find("hp            77\n"), std::string::npos);
}

#endif

namespace {

// Every command that can write a picture to standard output.
const char* const kPictureCommands[] = {"export sprite 3 -o -", "matrix --png -",
                                        "sweep 0 1 0.hp 1..3 --png - --target 50"};

}  // namespace

// A picture goes to standard output ("-") through a pipe, byte for byte what
// its file holds, and alone.
TEST(CommandLine, PicturesGoToAPipe) {
    GameFolder folder;
    ASSERT_EQ(runProgram("demo-data").status, 0);
    ASSERT_EQ(runProgram("export sprite 3 -o three.png").status, 0);
    EXPECT_EQ(runProgram("export sprite 3 -o -").out, karnwick::testing::readBytes("three.png"));
    for (const char* command : kPictureCommands) {
        SCOPED_TRACE(command);
        const CommandRun piped = runProgram(command);
        EXPECT_EQ(piped.status, 0) << piped.err;
        EXPECT_EQ(QImage::fromData(QByteArray::fromStdString(piped.out)).isNull(), false);
    }
}

#ifndef _WIN32  // a terminal a test can open and leave unread is POSIX's
// A terminal is refused before any work.
TEST(CommandLine, PicturesNeverGoToATerminal) {
    GameFolder folder;
    ASSERT_EQ(runProgram("demo-data").status, 0);
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    // Nothing reads the terminal: a picture written there anyway would block,
    // so the time limit ends it.
    const std::string toTerminal = std::string(" >") + ::ptsname(terminal);
    for (const std::string command : kPictureCommands) {
        SCOPED_TRACE(command);
        const CommandRun shown =
            runProgram(command + toTerminal, ".", std::string("timeout 20 ") + KARNWICK_BINARY);
        EXPECT_EQ(shown.status, 2);
        EXPECT_NE(shown.err.find("standard output is a terminal: a PNG image is not written"),
                  std::string::npos)
            << shown.err;
        char byte;
        EXPECT_EQ(::read(terminal, &byte, 1), -1);
    }
    ::close(terminal);
}

// The completion is a bash script: the tests need bash (a POSIX shell).
namespace {

// What the completion function offers for `words` (the last one being
// completed), and whether it asked readline to treat the offers as file names
// (quoting, a slash after a folder). `withLibrary`: with bash-completion's
// helpers loaded, as in an interactive shell.
struct Offer {
    std::set<std::string> words;
    bool fileNames = false;
};

Offer complete(const std::vector<std::string>& words, bool withLibrary) {
    std::string command = "-c '";
    if (withLibrary) command += "source /usr/share/bash-completion/bash_completion || exit 3; ";
    command +=
        "source \"$0\"; compopt() { echo compopt \"$@\"; }; "
        "COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); COMP_LINE=\"$*\"; "
        "COMP_POINT=${#COMP_LINE}; "
        "if [ \"$1\" = karnwick-arena ]; then _karnwick_arena; else _karnwick; fi; "
        "printf \"%s\\n\" \"${COMPREPLY[@]}\"' ";
    command += std::string(KARNWICK_SOURCE_DIR) + "/packaging/karnwick.bash-completion";
    for (const std::string& word : words) command += " '" + word + "'";  // none holds a '
    const CommandRun bash = runProgram(command, ".", "bash");
    EXPECT_EQ(bash.status, 0) << bash.err;
    std::istringstream lines(bash.out);
    Offer offer;
    for (std::string line; std::getline(lines, line);) {
        if (line == "compopt -o filenames")
            offer.fileNames = true;
        else if (!line.empty() && !line.starts_with("compopt "))
            offer.words.insert(line);
    }
    return offer;
}

// The long options a command's --help lists.
std::set<std::string> longOptionsInHelp(const std::string& command) {
    std::set<std::string> options;
    std::istringstream lines(runProgram(command + " --help").out);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("  -")) continue;
        std::istringstream fields(line.substr(0, line.find("  ", 2)));
        for (std::string field; fields >> field;) {
            if (field.ends_with(",")) field.pop_back();
            if (field.starts_with("--")) options.insert(field);
        }
    }
    return options;
}

}  // namespace

// The completion knows every command of the table and each one's options as
// its --help lists them; names with blanks stay one word.
TEST(CommandLine, BashCompletionFollowsTheCommandsAndTheFolders) {
    GameFolder folder;
    std::filesystem::create_directory("My Games");
    std::filesystem::create_directory("demo");
    folder.write("notes.txt", "");
    folder.write("look.png", "");
    folder.write("stats.csv", "");
    // The monsters come from the program the line names.
    const std::string program = KARNWICK_BINARY;
    ASSERT_EQ(runProgram("demo-data demo").status, 0);
    std::set<std::string> names;
    for (const karnwick::cli::Command& c : karnwick::cli::commands()) names.emplace(c.name);
    const std::set<std::string> folders = {"My Games", "demo"};
    const struct {
        std::vector<std::string> words;
        std::set<std::string> offered;
        bool fileNames;
    } cases[] = {
        {{"karnwick", ""}, names, false},
        {{"karnwick", "--dir", "\"My Games\"", ""}, names, false},
        {{"karnwick", "--dir", "=", ".", ""}, names, false},
        {{"karnwick", "--dir", "My"}, {"My Games"}, true},
        {{"karnwick", "list", "--dir", ""}, folders, true},
        {{"karnwick", "export", ""}, {"sprite", "sheet", "palette", "all"}, false},
        {{"karnwick", "export", "sheet", ""}, {"1", "2", "3"}, false},
        {{"karnwick", "export", "all", ""}, folders, true},
        {{"karnwick", "export", "sprite", "3", "--output", "n"}, {"notes.txt"}, true},
        {{"karnwick", "--dir", "demo", "export", "-o", "x", "--scale", "2", "all", "d"},
         {"demo"},
         true},
        {{program, "--dir", "demo", "odds", "3", "Wi"}, {"Wispet"}, false},
        {{program, "duel", "--dir=demo", "3"},
         {"3", "30", "31", "32", "33", "34", "35", "36", "37", "38", "39"},
         false},
        {{program, "--dir", "demo", "sweep", "0", "1", "Sn"}, {"Snarvel."}, false},
        {{program, "--dir", "demo", "sweep", "0", "1", "Snarvel.sp1"},
         {"Snarvel.sp1Min", "Snarvel.sp1Max", "Snarvel.sp1Threshold"},
         false},
        {{program, "odds", "0", "1", "--set", "2.a"}, {"2.agility="}, false},
        {{"karnwick", "import", "stats", ""}, {"stats.csv", "My Games", "demo", "-"}, true},
        {{"karnwick", "import", "sprite", "0", "l"}, {"look.png"}, true},
        {{"karnwick-arena", ""}, folders, true},
        {{"karnwick-arena", "--v"}, {"--version"}, false},
    };
    const bool library = std::filesystem::exists("/usr/share/bash-completion/bash_completion");
    for (const bool withLibrary : {false, true}) {
        if (withLibrary && !library) continue;
        SCOPED_TRACE(withLibrary ? "with bash-completion" : "alone");
        for (const auto& c : cases) {
            SCOPED_TRACE(c.words.back());
            const Offer offer = complete(c.words, withLibrary);
            EXPECT_EQ(offer.words, c.offered);
            EXPECT_EQ(offer.fileNames, c.fileNames);
        }
        for (const std::string& name : names) {
            SCOPED_TRACE(name);
            EXPECT_EQ(complete({"karnwick", name, "--"}, withLibrary).words,
                      longOptionsInHelp(name));
        }
    }
    // Without bash-completion a half-typed name with a blank is read as the shell would.
    EXPECT_EQ(complete({"karnwick", "demo-data", "My\\ G"}, false).words,
              std::set<std::string>{"My Games"});
}
#endif
