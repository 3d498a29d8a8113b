#include "cli/demo_data_command.h"

#include <QCommandLineParser>
#include <filesystem>

#include "cli/command_line.h"
#include "demo/set.h"

int runDemoDataCommand(const QStringList& arguments, std::ostream& out, std::ostream& err) {
    using namespace karnwick;
    cli::CommandLine line("demo-data", "[DIR]",
                          "Writes a complete demo set of game files (mypal.pal, monster.dat, "
                          "monsters.tat)\nwith 50 monsters and 7 bosses.");
    line.parser().addPositionalArgument(
        "DIR", "Folder to write into (default: the current folder).", "[DIR]");
    const QCommandLineOption forceOption("force", "Overwrite game files that already exist.");
    line.parser().addOption(forceOption);
    if (const auto status = line.parse(arguments, out, err)) return *status;
    const QStringList positional = line.positionalArguments();
    if (positional.size() > 1) throw cli::CommandError("only one folder may be given");
    if (!positional.isEmpty() && positional.front().isEmpty())
        throw cli::CommandError("the folder name is empty");

    const std::filesystem::path dir = positional.isEmpty()
                                          ? std::filesystem::path(".")
                                          : cli::pathFromArgument(positional.front());
    // The three files go in whole or not at all; a link at any of them is
    // replaced by a file, never written through.
    writeDemoSet(dir, line.isSet(forceOption) ? Existing::Replace : Existing::Refuse);
    out << "Wrote the demo set (" << kDemoMonsterCount << " monsters) to "
        << std::filesystem::absolute(dir).lexically_normal().string() << "\n";
    return cli::kExitSuccess;
}
