#include "cli/history_command.h"

#include <QCommandLineParser>
#include <optional>

#include "cli/command_line.h"
#include "cli/edit_history.h"
#include "cli/game_edit.h"

namespace karnwick::cli {

namespace {

struct HistoryRequest {
    std::filesystem::path dir;  // the game folder whose edits are listed
};

// The request, or nothing when the help was asked for and written to `out`.
std::optional<HistoryRequest> parseRequest(cli::CommandLine& line, const QStringList& arguments,
                                           std::ostream& out) {
    line.addDirOption();
    if (!line.parse(arguments, out)) return std::nullopt;
    if (!line.positionalArguments().isEmpty())
        throw cli::CommandError("unexpected argument \"" +
                                line.positionalArguments().front().toStdString() + "\"");
    return HistoryRequest{line.gameDir()};
}

void writeEntries(const cli::EditHistory& history, std::ostream& out) {
    const auto& entries = history.entries();
    if (entries.empty()) {
        out << "No edits recorded\n";
        return;
    }
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        std::string command = entry->command;
        command.resize(std::max<std::size_t>(command.size(), 12), ' ');
        out << entry->number << "  " << entry->time << "  " << command << "  " << entry->summary
            << (history.isUndone(entry->number) ? " (undone)" : "") << "\n";
    }
}

}  // namespace

int runHistoryCommand(const QStringList& arguments, std::ostream& out, std::ostream&) {
    cli::CommandLine line("history", "",
                          "Lists the edits recorded in the game folder's .karnwick-history,\n"
                          "newest first: number, time, command and what it changed. Edits\n"
                          "taken back by undo are marked (undone).");
    const std::optional<HistoryRequest> request = parseRequest(line, arguments, out);
    if (!request) return cli::kExitSuccess;
    // Settling an edit a killed program left pending writes in the history.
    const cli::GameFolderLock lock(request->dir);
    writeEntries(cli::EditHistory(request->dir), out);
    return cli::kExitSuccess;
}

}  // namespace karnwick::cli
