#include "cli/history_command.h"

#include <QCommandLineParser>

#include "cli/command_line.h"
#include "cli/edit_history.h"
#include "cli/game_edit.h"

namespace karnwick::cli {

int runHistoryCommand(const QStringList& arguments, std::ostream& out, std::ostream&) {
    cli::CommandLine line("history", "",
                          "Lists the edits recorded in the game folder's .karnwick-history,\n"
                          "newest first: number, time, command and what it changed. Edits\n"
                          "taken back by undo are marked (undone).");
    line.addDirOption();
    if (!line.parse(arguments, out)) return cli::kExitSuccess;
    if (!line.positionalArguments().isEmpty())
        throw cli::CommandError("unexpected argument \"" +
                                line.positionalArguments().front().toStdString() + "\"");
    const std::filesystem::path dir = line.gameDir();
    // Settling an edit a killed program left pending writes in the history.
    const cli::GameFolderLock lock(dir);
    const cli::EditHistory history(dir);
    const auto& entries = history.entries();
    if (entries.empty()) {
        out << "No edits recorded\n";
        return cli::kExitSuccess;
    }
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        std::string command = entry->command;
        command.resize(std::max<std::size_t>(command.size(), 12), ' ');
        out << entry->number << "  " << entry->time << "  " << command << "  " << entry->summary
            << (history.isUndone(entry->number) ? " (undone)" : "") << "\n";
    }
    return cli::kExitSuccess;
}

}  // namespace karnwick::cli
