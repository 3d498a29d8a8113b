#include "cli/demo_data_command.h"

#include <QCommandLineParser>
#include <filesystem>
#include <optional>

#include "cli/command_line.h"
#include "cli/edit_history.h"
#include "cli/game_edit.h"
#include "cli/shown_text.h"
#include "cli/standard_output.h"
#include "data/file_set.h"
#include "data/file_writer.h"
#include "data/platform.h"
#include "demo/set.h"

namespace karnwick::cli {

namespace {

struct DemoDataRequest {
    std::filesystem::path dir;  // where the set goes
    bool force = false;         // over game files that are there
    bool recordHistory = true;
};

// The request, or nothing when the help was asked for and written to `out`.
std::optional<DemoDataRequest> parseRequest(cli::CommandLine& line, const QStringList& arguments,
                                            std::ostream& out) {
    line.parser().addPositionalArgument(
        "DIR", "Folder to write into (default: the current folder).", "[DIR]");
    const QCommandLineOption forceOption("force", "Overwrite game files that already exist.");
    const QCommandLineOption noHistoryOption = cli::noHistoryOption();
    line.parser().addOptions({forceOption, noHistoryOption});
    if (!line.parse(arguments, out)) return std::nullopt;
    const QStringList positional = line.positionalArguments();
    if (positional.size() > 1) throw cli::CommandError("only one folder may be given");
    if (!positional.isEmpty() && positional.front().isEmpty())
        throw cli::CommandError("the folder name is empty");
    return DemoDataRequest{positional.isEmpty() ? std::filesystem::path(".")
                                                : cli::pathFromArgument(positional.front()),
                           line.isSet(forceOption), !line.isSet(noHistoryOption)};
}

}  // namespace

int runDemoDataCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                       std::ostream&) {
    cli::CommandLine line(command,
                          "Writes a complete demo set of game files (mypal.pal, monster.dat, "
                          "monsters.tat)\nwith 50 monsters and 7 bosses.");
    const std::optional<DemoDataRequest> request = parseRequest(line, arguments, out);
    if (!request) return cli::kExitSuccess;
    cli::requireStandardOutput();
    const std::filesystem::path& dir = request->dir;
    std::error_code error;
    const bool isFolder = std::filesystem::is_directory(dir, error);
    // A missing folder is made by the writer; any other failure to look is
    // the folder's fault (a name too long, a part that is no folder).
    if (error && error != std::errc::no_such_file_or_directory &&
        error != std::errc::not_a_directory)
        throw cli::CommandError(cli::shownPath(dir) + ": " + error.message());
    std::error_code noCurrentFolder;
    const std::filesystem::path shown =
        std::filesystem::absolute(dir, noCurrentFolder).lexically_normal();
    const Existing existing = request->force ? Existing::Replace : Existing::Refuse;
    // What would stop the set is told before anything is recorded or reported.
    const std::vector<std::filesystem::path> files = demoFileNames();
    checkSetWritable(dir, files, existing);
    // Over an existing set the demo set is an edit like any other, undoable.
    std::optional<cli::GameFolderLock> lock;
    std::optional<cli::PendingEdit> record;
    if (request->force && request->recordHistory && isFolder) {
        std::vector<std::string> names;
        bool overASet = false;
        for (const std::filesystem::path& name : files) {
            names.push_back(platform::pathText(name));
            std::error_code missing;
            overASet = overASet || std::filesystem::exists(dir / name, missing);
        }
        if (overASet) {
            lock.emplace(dir);
            record.emplace(dir, "demo-data", "the demo set over the game files", names);
        }
    }
    out << "Wrote the demo set (" << kDemoMonsterCount << " monsters) to "
        << cli::shownPath(noCurrentFolder ? dir : shown) << "\n";
    // The three files go in whole or not at all; a link at any of them is
    // replaced by a file, never written through.
    cli::commitAfterReport(out, [&] {
        writeDemoSet(dir, existing);
        if (record) record->keep();
    });
    return cli::kExitSuccess;
}

}  // namespace karnwick::cli
