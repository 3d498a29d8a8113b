// The command line of the karnwick commands. The first line names the
// command (an input naming none is skipped), the rest are its arguments, one
// per line. Whatever they say, a command answers with exit status 0, 1 or 2,
// puts every complaint on its error stream behind its own name, and changes
// nothing in the game folder.
// demo-data runs dry: its folder is always one that cannot exist (below
// /dev/null), and only its options come from the input. Commands that read
// play in the fuzzer's own game folder: --dir is dropped, and so is matrix's
// --png. export writes its images into a scratch folder of its own, emptied
// after every input, and reads the game folder through --dir. set and import
// change a copy of the game folder in that scratch folder, never the folder
// itself, and never read standard input; so do undo, redo and history, which
// work on that copy's edit history.

#include <unistd.h>

#include <QGuiApplication>
#include <QRegularExpression>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "data/monster_stats.h"
#include "data/palette.h"
#include "demo/set.h"
#include "fuzz/fuzz_check.h"

using karnwick::fuzz::check;

namespace {

using karnwick::cli::Command;

// How a command's arguments are made safe to run.
enum class Writes {
    Nothing,
    NamedFolder,  // its arguments name a folder it writes into
    Images,       // it writes image files where its arguments say
    GameFiles,    // it changes the game files of its folder
};

// Every command of the table must be named here: a command that writes and
// is not would write where the input says.
Writes writesOf(std::string_view name) {
    if (name == "duel" || name == "odds" || name == "list" || name == "check" || name == "matrix" ||
        name == "sweep")
        return Writes::Nothing;
    if (name == "demo-data") return Writes::NamedFolder;
    if (name == "export") return Writes::Images;
    // history settles an edit a killed program left pending, so it may write
    // too; undo and redo put game files back from the history.
    if (name == "set" || name == "import" || name == "undo" || name == "redo" || name == "history")
        return Writes::GameFiles;
    std::fprintf(stderr, "the command fuzz target does not know how \"%.*s\" writes\n",
                 static_cast<int>(name.size()), name.data());
    std::abort();
}

std::filesystem::path gameFolder;
std::filesystem::path scratchFolder;

void removeGameFolder() {
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
    std::filesystem::remove_all(gameFolder, ignored);
    std::filesystem::remove_all(scratchFolder, ignored);
}

// A small game folder, made once and the current folder from then on: three
// monsters of the demo set. It goes when the process ends.
void enterGameFolder() {
    if (!gameFolder.empty()) return;
    gameFolder = std::filesystem::temp_directory_path() /
                 ("karnwick-command-fuzz-" + std::to_string(getpid()));
    scratchFolder = gameFolder.string() + "-images";
    std::filesystem::create_directories(gameFolder);
    std::filesystem::create_directories(scratchFolder);
    std::filesystem::current_path(gameFolder);
    std::atexit(removeGameFolder);
    const karnwick::DemoSet set = karnwick::makeDemoSet();
    auto write = [](const char* name, const void* data, std::size_t size) {
        std::FILE* f = std::fopen(name, "wb");
        check(f != nullptr, "the game folder can be written");
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    };
    write(karnwick::kPaletteFileName, set.palette.data(), set.palette.size());
    write("monster.dat", set.sprites.data(), 3 * 9000);
    write(karnwick::kStatsFileName, set.records.data(), 3 * karnwick::kRecordLength);
}

// Every entry of the current folder with its size and change time.
std::map<std::string, std::tuple<std::uintmax_t, std::filesystem::file_time_type>> folderState() {
    std::map<std::string, std::tuple<std::uintmax_t, std::filesystem::file_time_type>> state;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        state[entry.path().filename().string()] = {entry.is_regular_file() ? entry.file_size() : 0,
                                                   entry.last_write_time()};
    }
    return state;
}

// False for a battle count or a sweep range that would make one input run for
// long.
bool fewBattles(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString value;
        if (arguments[i] == "--battles" && i + 1 < arguments.size())
            value = arguments[i + 1];
        else if (arguments[i].startsWith("--battles="))
            value = arguments[i].mid(10);
        else
            continue;
        bool ok = false;
        const long long n = value.toLongLong(&ok);
        if (ok && n > 64) return false;
    }
    // A sweep's range counts as one battle per value.
    static const QRegularExpression range(R"(^\s*(-?\d+)\s*\.\.\s*(-?\d+)\s*$)");
    for (const QString& a : arguments) {
        const QRegularExpressionMatch m = range.match(a);
        if (m.hasMatch() && m.captured(2).toLongLong() - m.captured(1).toLongLong() > 64)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static int argc = 1;
    static char name[] = "karnwick";
    static char* argv[] = {name, nullptr};
    // export and matrix draw pictures; no window is ever shown.
    static const bool offscreen = qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(argc, argv);
    (void)offscreen;
    enterGameFolder();
    if (size == 0) return 0;

    // The lines as the program reads its argv: each up to a NUL, which no
    // argument can hold, and bytes outside UTF-8 kept for the paths.
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n')
            lines.emplace_back();
        else
            lines.back() += static_cast<char>(data[i]);
    }
    std::vector<const char*> pointers = {"karnwick"};
    for (std::string& line : lines) {
        line.resize(std::strlen(line.c_str()));
        pointers.push_back(line.c_str());
    }
    QStringList arguments =
        karnwick::cli::argumentsFromArgv(static_cast<int>(pointers.size()), pointers.data());
    for (qsizetype i = 0; i < arguments.size(); ++i)
        check(karnwick::cli::bytesFromArgument(arguments[i]) == lines[static_cast<std::size_t>(i)],
              "an argument's bytes come back as they were");
    const Command* named = karnwick::cli::findCommand(arguments.takeFirst().toStdString());
    if (!named) return 0;
    const Command& command = *named;
    const Writes writes = writesOf(command.name);
    if (writes == Writes::NamedFolder) {
        QStringList options;
        for (const QString& a : arguments)
            if (a.startsWith('-') && a != "-" && a != "--") options << a;
        arguments = options << "/dev/null/karnwick-fuzz";
    } else {
        // Nothing may name a place outside the folder the command works in.
        arguments.removeIf([](const QString& a) {
            return a == "--dir" || a.startsWith("--dir=") || a == "--png" ||
                   a.startsWith("--png=") || a.contains('/') || a.contains("..") || a == "-";
        });
        if (writes == Writes::Images)
            arguments << "--dir" << QString::fromStdString(gameFolder.string());
    }
    if (!fewBattles(arguments)) return 0;

    const auto before = folderState();
    if (writes == Writes::GameFiles) {
        for (const char* file :
             {karnwick::kPaletteFileName, "monster.dat", karnwick::kStatsFileName})
            std::filesystem::copy_file(file, scratchFolder / file);
    }
    const bool inScratch = writes == Writes::Images || writes == Writes::GameFiles;
    if (inScratch) std::filesystem::current_path(scratchFolder);
    std::ostringstream out, err;
    const int status = karnwick::cli::runCommand(command, arguments, out, err);
    if (inScratch) {
        std::filesystem::current_path(gameFolder);
        for (const auto& entry : std::filesystem::directory_iterator(scratchFolder))
            std::filesystem::remove_all(entry.path());
    }
    check(status >= 0 && status <= 2, "a command exits with 0, 1 or 2");
    const std::string complaint = err.str();
    const std::string prefix = "karnwick " + std::string(command.name) + ": ";
    if (status == 2) {
        check(complaint.starts_with(prefix), "a usage error says which command complains");
        check(out.str().empty(), "a usage error writes nothing else");
    }
    if (status == 0) check(complaint.empty(), "a command that succeeds does not complain");
    if (writes == Writes::NamedFolder)
        check(status != 0 || out.str().starts_with("Usage:"),
              "a dry run never reports a written set");
    check(folderState() == before, "a command changes nothing in the game folder");
    return 0;
}
