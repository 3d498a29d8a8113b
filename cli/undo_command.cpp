#include "cli/undo_command.h"

#include <QCommandLineParser>
#include <optional>

#include "cli/command_line.h"
#include "cli/edit_history.h"
#include "cli/game_edit.h"
#include "cli/shown_text.h"
#include "cli/standard_output.h"
#include "data/file_writer.h"
#include "data/system_calls.h"
#include "data/text_codec.h"

namespace karnwick::cli {

namespace {

struct UndoRequest {
    std::filesystem::path dir;
    bool force = false;
};

// The request, or nothing when the help was asked for and written to `out`.
std::optional<UndoRequest> parseRequest(const Command& command, const char* description,
                                        const QStringList& arguments, std::ostream& out) {
    cli::CommandLine line(command, description);
    const QCommandLineOption forceOption(
        "force",
        "Put the files back even when they are write-protected or changed since the last "
        "recorded edit (that change is lost).");
    line.parser().addOption(forceOption);
    line.addDirOption();
    if (!line.parse(arguments, out)) return std::nullopt;
    if (!line.positionalArguments().isEmpty())
        throw cli::CommandError("unexpected argument \"" +
                                line.positionalArguments().front().toStdString() + "\"");
    // No shared lock: the exclusive one is taken before anything is read.
    return UndoRequest{line.gameDir(), line.isSet(forceOption)};
}

// Puts back the files `source` keeps and records that as `command` on
// `target`, itself undoable. Everything is checked before anything changes:
// the entries from `source` on, its copies against their sizes and hashes,
// the game files against what the last recorded edit left.
void restore(const UndoRequest& request, const cli::EditHistory& history,
             const cli::HistoryEntry& source, const cli::HistoryEntry& target,
             const std::string& command, std::ostream& out) {
    const std::filesystem::path& dir = request.dir;
    history.requireUsableFrom(source.number, command);
    // A link or a file with other names is refused as `set` refuses it: a
    // restore would write through the one or split the other.
    for (const cli::HistoryFile& file : source.files) {
        sys::Status status;
        if (sys::statusAt(dir / file.name, status, false) == 0)
            cli::requireOwnGameFile(dir, file.name.c_str());
    }
    const std::vector<cli::RestoredFile> files = history.keptFiles(source);
    // A change made without the history would be overwritten for good.
    if (const auto changed = history.changedSinceRecorded(source); changed && !request.force)
        throw cli::CommandError(cli::shownPath(dir / *changed) +
                                " changed since the last recorded edit (an edit with "
                                "--no-history, or another program), and " +
                                command + " would lose that change: pass --force to " + command +
                                " anyway");
    const Existing existing = request.force ? Existing::Replace : Existing::ReplaceUnprotected;
    for (const cli::HistoryFile& file : source.files) checkWritable(dir / file.name, existing);
    const std::string what = std::to_string(target.number) + " (" + target.command +
                             (target.summary.empty() ? "" : ": " + target.summary) + ")";
    cli::PendingEdit record(dir, command, (command == "undo" ? "undid " : "redid ") + what, files,
                            target.number);
    out << (command == "undo" ? "Undid edit " : "Redid edit ") << escapedText(what) << "\n";
    cli::commitAfterReport(out, [&] {
        cli::restoreGameFiles(dir, files, existing);
        record.keep();
    });
}

// Nothing to undo or redo: still a broken newest entry is named, never
// passed over in silence.
[[noreturn]] void refuseNothing(const cli::EditHistory& history, const std::string& command) {
    if (!history.entries().empty())
        history.requireUsableFrom(history.entries().back().number, command);
    throw cli::CommandError("nothing to " + command + " in " + cli::shownPath(history.folder()));
}

}  // namespace

int runUndoCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                   std::ostream&) {
    const std::optional<UndoRequest> request =
        parseRequest(command,
                     "Brings back the game files as they were before the last edit that has\n"
                     "not been undone (set, import, demo-data --force). The undo is recorded\n"
                     "too: a second undo goes one edit further back; redo takes it back.",
                     arguments, out);
    if (!request) return cli::kExitSuccess;
    const std::string name(command.name);
    cli::requireStandardOutput();
    const cli::GameFolderLock lock(request->dir);
    const cli::EditHistory history(request->dir);
    const auto target = history.nextUndo();
    if (!target) refuseNothing(history, name);
    restore(*request, history, *target, *target, name, out);
    return cli::kExitSuccess;
}

int runRedoCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                   std::ostream&) {
    const std::optional<UndoRequest> request =
        parseRequest(command, "Applies again the last edit that undo took back.", arguments, out);
    if (!request) return cli::kExitSuccess;
    const std::string name(command.name);
    cli::requireStandardOutput();
    const cli::GameFolderLock lock(request->dir);
    const cli::EditHistory history(request->dir);
    const auto undo = history.nextRedo();
    if (!undo) refuseNothing(history, name);
    cli::HistoryEntry target = *undo;
    for (const cli::HistoryEntry& entry : history.entries())
        if (entry.number == undo->target) target = entry;
    restore(*request, history, *undo, target, name, out);
    return cli::kExitSuccess;
}

}  // namespace karnwick::cli
