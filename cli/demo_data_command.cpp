#include "cli/demo_data_command.h"

#include <QCommandLineParser>
#include <filesystem>
#include <optional>

#include "cli/command_line.h"
#include "cli/edit_history.h"
#include "cli/game_edit.h"
#include "data/file_writer.h"
#include "demo/set.h"

namespace karnwick::cli {

int runDemoDataCommand(const QStringList& arguments, std::ostream& out, std::ostream&) {
    cli::CommandLine line("demo-data", "[DIR]",
                          "Writes a complete demo set of game files (mypal.pal, monster.dat, "
                          "monsters.tat)\nwith 50 monsters and 7 bosses.");
    line.parser().addPositionalArgument(
        "DIR", "Folder to write into (default: the current folder).", "[DIR]");
    const QCommandLineOption forceOption("force", "Overwrite game files that already exist.");
    const QCommandLineOption noHistoryOption = cli::noHistoryOption();
    line.parser().addOptions({forceOption, noHistoryOption});
    if (!line.parse(arguments, out)) return cli::kExitSuccess;
    const QStringList positional = line.positionalArguments();
    if (positional.size() > 1) throw cli::CommandError("only one folder may be given");
    if (!positional.isEmpty() && positional.front().isEmpty())
        throw cli::CommandError("the folder name is empty");

    const std::filesystem::path dir = positional.isEmpty()
                                          ? std::filesystem::path(".")
                                          : cli::pathFromArgument(positional.front());
    // The three files go in whole or not at all; a link at any of them is
    // replaced by a file, never written through.
    const bool force = line.isSet(forceOption);
    // Over an existing set the demo set is an edit like any other, undoable.
    std::optional<cli::GameFolderLock> lock;
    std::optional<cli::PendingEdit> record;
    if (force && !line.isSet(noHistoryOption) && std::filesystem::is_directory(dir)) {
        std::vector<std::string> names;
        bool overASet = false;
        for (const std::filesystem::path& name : demoFileNames()) {
            names.push_back(name.string());
            std::error_code error;
            overASet = overASet || std::filesystem::exists(dir / name, error);
        }
        if (overASet) {
            lock.emplace(dir);
            for (const std::string& name : names) checkWritable(dir / name, Existing::Replace);
            record.emplace(dir, "demo-data", "the demo set over the game files", names);
        }
    }
    writeDemoSet(dir, force ? Existing::Replace : Existing::Refuse);
    if (record) record->keep();
    out << "Wrote the demo set (" << kDemoMonsterCount << " monsters) to "
        << cli::shownPath(std::filesystem::absolute(dir).lexically_normal()) << "\n";
    return cli::kExitSuccess;
}

}  // namespace karnwick::cli
