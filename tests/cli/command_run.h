#pragma once
// A `karnwick` command run as the program runs it: through the dispatcher,
// so a failure arrives as its status and its "karnwick <command>: " message.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QStringList>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "data/platform.h"
#include "game_files.h"

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

inline std::string sha256Hex(std::string_view bytes) {
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

// Whether the tests run on a POSIX system: cases of what POSIX alone has
// (file owners and modes, FIFOs, terminals, signals, /dev/full, bash) are
// left out elsewhere, each saying so.
#ifdef _WIN32
inline constexpr bool kPosix = false;
inline constexpr const char* kNullDevice = "NUL";
#else
inline constexpr bool kPosix = true;
inline constexpr const char* kNullDevice = "/dev/null";
#endif

// A path as an argument of the program: its bytes on POSIX, its UTF-8 on
// Windows (what the program reads its wide command line as).
inline QString pathArgument(const std::filesystem::path& path) {
    return QString::fromStdString(platform::pathText(path));
}

// Starts `program` on `line` in `dir`: bash reads the line on POSIX
// (redirections and variables included); Windows has no bash, so there the
// line's words go to the program as they are, double quotes keeping blanks,
// and "<file", ">file" and "2>file" are the process's own redirections.
inline void startLine(QProcess& process, const std::string& program, const std::string& line,
                      const std::filesystem::path& dir) {
    process.setWorkingDirectory(pathArgument(dir));
    if constexpr (kPosix) {
        process.start("/bin/bash", {"-c", QString::fromStdString(program + " " + line)});
        process.closeWriteChannel();
        return;
    }
    std::vector<std::string> words{""};
    bool quoted = false;
    for (const char c : line) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ' ' && !quoted && !words.back().empty())
            words.emplace_back();
        else if (c != ' ' || quoted)
            words.back() += c;
    }
    const QDir here(pathArgument(dir));
    QStringList arguments;
    bool input = false;
    for (const std::string& word : words) {
        const QString text = QString::fromStdString(word);
        if (word.starts_with("2>"))
            process.setStandardErrorFile(here.filePath(text.mid(2)));
        else if (word.starts_with('>'))
            process.setStandardOutputFile(here.filePath(text.mid(1)));
        else if (word.starts_with('<'))
            input = true, process.setStandardInputFile(here.filePath(text.mid(1)));
        else if (!word.empty())
            arguments << text;
    }
    process.start(QString::fromStdString(program), arguments);
    if (!input) process.closeWriteChannel();
}

// The program itself, run in `dir` on `line` (see startLine), with standard
// input at its end unless the line redirects it; standard error without the
// platform's notes about its runtime folder, which depend on the machine. A
// run that hangs (a FIFO read) is ended after 30 seconds and reads as status -1.
inline CommandRun runProgram(const std::string& line, const std::filesystem::path& dir = ".",
                             const std::string& program = KARNWICK_BINARY) {
    QProcess process;
    startLine(process, program, line, dir);
    const bool finished = process.waitForFinished(30000);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    std::string err;
    std::istringstream lines(process.readAllStandardError().toStdString());
    for (std::string l; std::getline(lines, l);)
        if (!l.starts_with("QStandardPaths:")) err += l + "\n";
    const bool ended = finished && process.exitStatus() == QProcess::NormalExit;
    // Why there is no status: it never started, crashed or hung.
    if (!ended) err += "(" + process.errorString().toStdString() + ")\n";
    return {ended ? process.exitCode() : -1, process.readAllStandardOutput().toStdString(), err};
}

// A FIFO at `path`; on Windows, which has none, the test is skipped instead
// (its caller returns when ::testing::Test::IsSkipped()).
inline void makeFifo(const std::filesystem::path& path) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFOs: " << path;
#else
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0) << path;
#endif
}

// A symbolic link at `link` to `target`; where the system refuses to make one
// (Windows without the right to, Wine) the test is skipped instead (its caller
// returns when ::testing::Test::IsSkipped()).
inline void makeLink(const std::filesystem::path& target, const std::filesystem::path& link) {
    std::error_code error;
    std::filesystem::create_symlink(target, link, error);
    if (error && !kPosix) GTEST_SKIP() << "no symbolic link can be made here: " << error.message();
    ASSERT_FALSE(error) << link << ": " << error.message();
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
