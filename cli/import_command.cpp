#include "cli/import_command.h"

#include "cli/command_line.h"
#include "cli/edit_history.h"
#include "cli/game_edit.h"
#include "cli/import_stats_command.h"
#include "cli/pictures.h"

namespace karnwick::cli {

int runImportCommand(const QStringList& arguments, std::ostream& out, std::ostream&) {
    cli::CommandLine line(
        "import", "stats FILE.csv | sprite N FILE.png",
        "Writes edited game data back into the game files:\n"
        "  stats FILE    records from the CSV that `list --csv` writes (- for standard\n"
        "                input), matched by index; rows past the end append records\n"
        "  sprite N FILE monster N's sprite from a 90 x 100 image (- for standard input):\n"
        "                an image with the game palette index for index, any other\n"
        "                colour by colour (transparent pixels to index 0)");
    QCommandLineParser& parser = line.parser();
    const QCommandLineOption nearestOption(
        "nearest", "sprite: take the nearest palette colour for a colour not in the palette.");
    const QCommandLineOption dryRunOption("dry-run", "Show what would change; write nothing.");
    const QCommandLineOption noHistoryOption = cli::noHistoryOption();
    const QCommandLineOption forceOption = cli::forceEditOption();
    parser.addOptions({nearestOption, dryRunOption, noHistoryOption, forceOption});
    line.addDirOption();
    if (!line.parse(arguments, out)) return cli::kExitSuccess;

    const cli::EditMode mode{line.isSet(dryRunOption), !line.isSet(noHistoryOption),
                             line.isSet(forceOption)};
    const QStringList positional = line.positionalArguments();
    const QString what = positional.value(0);
    if (what == "stats" && positional.size() == 2) {
        if (line.isSet(nearestOption)) throw cli::CommandError("--nearest is for import sprite");
        return cli::importStats(positional[1], line.gameDir(), mode, out);
    }
    if (what == "sprite" && positional.size() == 3)
        return cli::pictures().importSprite(positional[1], positional[2], line.isSet(nearestOption),
                                            line.gameDir(), mode, out);
    throw cli::CommandError("expected stats FILE.csv or sprite N FILE.png (see --help)");
}

}  // namespace karnwick::cli
