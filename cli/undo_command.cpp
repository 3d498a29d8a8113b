#include "cli/undo_command.h"

#include <QCommandLineParser>

#include "cli/command_line.h"
#include "cli/edit_history.h"
#include "cli/game_edit.h"

namespace karnwick::cli {

namespace {

std::filesystem::path parseFolder(const char* command, const char* description,
                                  const QStringList& arguments, std::ostream& out) {
    cli::CommandLine line(command, "", description);
    line.addDirOption();
    if (!line.parse(arguments, out)) return {};
    if (!line.positionalArguments().isEmpty())
        throw cli::CommandError("unexpected argument \"" +
                                line.positionalArguments().front().toStdString() + "\"");
    return line.gameDir();
}

// Puts back the files `source` keeps and records that as `command` on
// `target`, itself undoable.
void restore(const std::filesystem::path& dir, const cli::EditHistory& history,
             const cli::HistoryEntry& source, const cli::HistoryEntry& target,
             const std::string& command, std::ostream& out) {
    std::vector<std::string> names;
    std::vector<cli::RestoredFile> files;
    for (const cli::HistoryFile& file : source.files) {
        names.push_back(file.name);
        files.push_back({file.name, file.present,
                         file.present ? history.keptBytes(source.number, file.name)
                                      : std::vector<unsigned char>{}});
    }
    const std::string what = std::to_string(target.number) + " (" + target.command +
                             (target.summary.empty() ? "" : ": " + target.summary) + ")";
    cli::PendingEdit record(dir, command, (command == "undo" ? "undid " : "redid ") + what, names,
                            target.number);
    cli::restoreGameFiles(dir, files);
    record.keep();
    out << (command == "undo" ? "Undid edit " : "Redid edit ") << what << "\n";
}

}  // namespace

int runUndoCommand(const QStringList& arguments, std::ostream& out, std::ostream&) {
    const std::filesystem::path dir =
        parseFolder("undo",
                    "Brings back the game files as they were before the last edit that has\n"
                    "not been undone (set, import, demo-data --force). The undo is recorded\n"
                    "too: a second undo goes one edit further back; redo takes it back.",
                    arguments, out);
    if (dir.empty()) return cli::kExitSuccess;
    const cli::GameFolderLock lock(dir);
    const cli::EditHistory history(dir);
    const auto target = history.nextUndo();
    if (!target) throw cli::CommandError("nothing to undo in " + cli::shownPath(history.folder()));
    restore(dir, history, *target, *target, "undo", out);
    return cli::kExitSuccess;
}

int runRedoCommand(const QStringList& arguments, std::ostream& out, std::ostream&) {
    const std::filesystem::path dir =
        parseFolder("redo", "Applies again the last edit that undo took back.", arguments, out);
    if (dir.empty()) return cli::kExitSuccess;
    const cli::GameFolderLock lock(dir);
    const cli::EditHistory history(dir);
    const auto undo = history.nextRedo();
    if (!undo) throw cli::CommandError("nothing to redo in " + cli::shownPath(history.folder()));
    cli::HistoryEntry target = *undo;
    for (const cli::HistoryEntry& entry : history.entries())
        if (entry.number == undo->target) target = entry;
    restore(dir, history, *undo, target, "redo", out);
    return cli::kExitSuccess;
}

}  // namespace karnwick::cli
