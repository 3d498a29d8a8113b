#include "cli/history_command.h"

#include <QCommandLineParser>
#include <algorithm>
#include <optional>

#include "cli/command_line.h"
#include "cli/edit_history.h"
#include "cli/game_edit.h"
#include "cli/shown_text.h"
#include "data/errors.h"
#include "data/text_codec.h"

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
    // No shared lock: the exclusive one is taken before anything is read.
    return HistoryRequest{line.gameDir()};
}

// Each entry newest first: number, time, command and summary, each as a
// terminal may be sent it (an entry may come from anyone's archive).
void writeEntries(const cli::EditHistory& history, std::ostream& out) {
    const auto& entries = history.entries();
    if (entries.empty()) out << "No edits recorded\n";
    std::size_t width = 12;
    for (const cli::HistoryEntry& entry : entries)
        width = std::max(width, cli::shownLength(escapedText(entry.command)));
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        out << entry->number << "  " << escapedText(entry->time) << "  "
            << cli::paddedText(escapedText(entry->command), width) << "  "
            << escapedText(entry->summary);
        if (!entry->problem.empty())
            out << " (unusable: " << entry->problem << ")";
        else if (history.isUndone(entry->number))
            out << " (undone)";
        out << "\n";
    }
    if (history.ignoredNames().empty()) return;
    out << "Not edits, ignored in " << cli::shownPath(history.folder()) << ":";
    for (const std::string& name : history.ignoredNames()) out << " " << quotedText(name);
    out << "\n";
}

}  // namespace

int runHistoryCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                      std::ostream&) {
    cli::CommandLine line(command,
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
