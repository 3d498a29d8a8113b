#pragma once
// A `karnwick` command run as the program runs it: through the dispatcher,
// so a failure arrives as its status and its "karnwick <command>: " message.

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QProcess>
#include <QStringList>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>

#include "cli/commands.h"
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

// The program itself, run by bash in `dir` on `line` as a shell reads it
// (redirections and variables included), with standard input at its end;
// standard error without the platform's notes about its runtime folder, which
// depend on the machine. A run that hangs (a FIFO read) is ended after 30
// seconds and reads as status -1.
inline CommandRun runProgram(const std::string& line, const std::filesystem::path& dir = ".",
                             const std::string& program = KARNWICK_BINARY) {
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(dir.string()));
    process.start("/bin/bash", {"-c", QString::fromStdString(program + " " + line)});
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(30000);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    std::string err;
    std::istringstream lines(process.readAllStandardError().toStdString());
    for (std::string l; std::getline(lines, l);)
        if (!l.starts_with("QStandardPaths:")) err += l + "\n";
    return {finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), err};
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
