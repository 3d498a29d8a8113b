#include "cli/import_command.h"

#include <optional>

#include "cli/command_line.h"
#include "cli/edit_history.h"
#include "cli/game_edit.h"
#include "cli/import_stats_command.h"
#include "cli/pictures.h"

namespace karnwick::cli {

namespace {

// The request, or nothing when the help was asked for and written to `out`.
std::optional<ImportRequest> parseRequest(cli::CommandLine& line, const QStringList& arguments,
                                          std::ostream& out) {
    const QCommandLineOption nearestOption(
        "nearest", "sprite: take the nearest palette colour for a colour not in the palette.");
    line.parser().addOption(nearestOption);
    const cli::EditOptions editOptions =
        cli::addEditOptions(line, "Show what would change; write nothing.");
    line.addDirOption();
    if (!line.parse(arguments, out)) return std::nullopt;

    ImportRequest request;
    request.mode = cli::editMode(line, editOptions);
    request.nearest = line.isSet(nearestOption);
    const QStringList positional = line.positionalArguments();
    const QString what = positional.value(0);
    if (what == "stats" && positional.size() == 2) {
        if (request.nearest) throw cli::CommandError("--nearest is for import sprite");
        request.what = ImportRequest::What::Stats;
        request.file = positional[1];
        return request;
    }
    if (what == "sprite" && positional.size() == 3) {
        request.what = ImportRequest::What::Sprite;
        request.monster = positional[1];
        request.file = positional[2];
        return request;
    }
    throw cli::CommandError("expected stats FILE.csv or sprite N FILE.png (see --help)");
}

}  // namespace

int runImportCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                     std::ostream&) {
    cli::CommandLine line(
        command,
        "Writes edited game data back into the game files:\n"
        "  stats FILE    records from the CSV that `list --csv` writes (- for standard\n"
        "                input), matched by index; rows past the end append records\n"
        "  sprite N FILE monster N's sprite from a 90 x 100 image (- for standard input):\n"
        "                an image with the game palette index for index, any other\n"
        "                colour by colour (transparent pixels to index 0)");
    const std::optional<ImportRequest> request = parseRequest(line, arguments, out);
    if (!request) return cli::kExitSuccess;
    if (request->what == ImportRequest::What::Stats)
        return cli::importStats(*request, line.lockGameDir(), out);
    return cli::pictures().importSprite(*request, line.lockGameDir(), out);
}

}  // namespace karnwick::cli
