#include "cli/commands.h"

#include <algorithm>
#include <filesystem>
#include <new>

#include "cli/check_command.h"
#include "cli/demo_data_command.h"
#include "cli/duel_command.h"
#include "cli/history_command.h"
#include "cli/import_command.h"
#include "cli/list_command.h"
#include "cli/matrix_command.h"
#include "cli/odds_command.h"
#include "cli/pictures.h"
#include "cli/set_command.h"
#include "cli/shown_text.h"
#include "cli/sweep_command.h"
#include "cli/undo_command.h"
#include "data/errors.h"

namespace karnwick::cli {

const char* const kExitStatusHelp =
    "Exit status:\n"
    "  0  success\n"
    "  1  the command ran and found something: a battle stopped by a run-time\n"
    "     error, problems found by check, a monster list cannot show\n"
    "  2  wrong usage, game files that cannot be read, or output that cannot be\n"
    "     written; a command refusing to overwrite a file without --force\n";

namespace {

// Export draws with Qt's graphics, which the program loads only for it.
int runExportPictures(const Command& command, const QStringList& arguments, std::ostream& out,
                      std::ostream& err) {
    return pictures().runExport(command, arguments, out, err);
}

constexpr Command kCommands[] = {
    {"duel", "A B", "Play battles between two monsters of the game files", Graphics::Never,
     runDuelCommand},
    {"odds", "A B", "The exact odds of the battle between two monsters", Graphics::Never,
     runOddsCommand},
    {"matrix", "", "The exact odds of every pair of monsters: ranking, CSV, JSON, heat map",
     Graphics::ForPng, runMatrixCommand},
    {"sweep", "A B INDEX.FIELD FROM..TO",
     "The exact odds of a pair for every value of one number of a record: table, CSV, JSON, chart",
     Graphics::ForPng, runSweepCommand},
    {"list", "[N]", "Every monster's record, or monster N in full", Graphics::Never,
     runListCommand},
    {"check", "", "Name every problem in the game files that a battle would meet", Graphics::Never,
     runCheckCommand},
    {"export", "WHAT", "Sprites, preview sheets and the palette as PNG images", Graphics::Always,
     runExportPictures, "sprite N | sheet 1|2|3 | palette | all DIR"},
    {"set", "N FIELD=VALUE...", "Change fields of a monster's record in monsters.tat",
     Graphics::Never, runSetCommand},
    {"import", "WHAT", "Write an edited CSV of records or a sprite image back into the game files",
     Graphics::Always, runImportCommand, "stats FILE.csv | sprite N FILE.png"},
    {"history", "", "The edits made to the game files, newest first", Graphics::Never,
     runHistoryCommand},
    {"undo", "", "Bring back the game files as they were before the last edit", Graphics::Never,
     runUndoCommand},
    {"redo", "", "Apply again the edit undo took back", Graphics::Never, runRedoCommand},
    {"demo-data", "[DIR]", "Write a demo set of game files (mypal.pal, monster.dat, monsters.tat)",
     Graphics::Never, runDemoDataCommand},
};

}  // namespace

std::string failureText(const std::exception& failure) {
    if (const auto* file = dynamic_cast<const std::filesystem::filesystem_error*>(&failure)) {
        if (file->path1().empty()) return file->code().message();
        std::string text = shownPath(file->path1());
        if (!file->path2().empty()) text += " -> " + shownPath(file->path2());
        return text + ": " + file->code().message();
    }
    if (dynamic_cast<const std::bad_alloc*>(&failure)) return "out of memory";
    return failure.what();
}

std::string_view usageWords(const Command& command) {
    return command.usage.empty() ? command.synopsis : command.usage;
}

std::span<const Command> commands() {
    return kCommands;
}

const Command* findCommand(std::string_view name) {
    const auto row = std::find_if(std::begin(kCommands), std::end(kCommands),
                                  [&](const Command& c) { return c.name == name; });
    return row == std::end(kCommands) ? nullptr : &*row;
}

int runCommand(const Command& command, const QStringList& arguments, std::ostream& out,
               std::ostream& err) {
    const std::string prefix = "karnwick " + std::string(command.name) + ": ";
    // What the command wrote comes before its message; a failure of that
    // write is already told by the message it would precede.
    auto flushQuietly = [&out] {
        try {
            out.flush();
        } catch (...) {
        }
    };
    try {
        return command.run(command, arguments, out, err);
    } catch (const CommandError& e) {
        if (e.isReaderGone()) return e.status();
        flushQuietly();
        err << prefix << e.what() << "\n";
        return e.status();
    } catch (const GameError& e) {
        flushQuietly();
        err << prefix << e.what() << "\n";
        return kExitFailure;
    } catch (const std::exception& e) {
        flushQuietly();
        err << prefix << failureText(e) << "\n";
        return kExitFailure;
    }
}

}  // namespace karnwick::cli
