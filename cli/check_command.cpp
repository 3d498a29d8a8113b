#include "cli/check_command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <optional>

#include "battle/game_files_check.h"
#include "cli/command_line.h"
#include "cli/record_overrides.h"
#include "cli/shown_text.h"
#include "data/errors.h"
#include "data/palette.h"
#include "data/sprite.h"

namespace karnwick::cli {

namespace {

const char* severityName(Severity severity) {
    return severity == Severity::Error ? "error" : "warning";
}

QJsonObject jsonOf(const GameFileProblem& p) {
    auto orNull = [](const std::string& s) {
        return s.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(cli::jsonText(s));
    };
    return {
        {"file", cli::jsonText(p.file)},
        {"monster", p.monster ? QJsonValue(*p.monster) : QJsonValue(QJsonValue::Null)},
        {"name", p.monster ? QJsonValue(cli::jsonText(p.name)) : QJsonValue(QJsonValue::Null)},
        {"field", orNull(p.field)},
        {"value", orNull(p.value)},
        {"severity", severityName(p.severity)},
        {"effect", cli::jsonText(p.effect)},
        {"hint", orNull(p.hint)},
    };
}

struct CheckRequest {
    bool json = false;
    QStringList setTexts;
};

// The request, or nothing when the help was asked for and written to `out`.
std::optional<CheckRequest> parseRequest(cli::CommandLine& line, const QStringList& arguments,
                                         std::ostream& out) {
    const QCommandLineOption jsonOption("json", "The problems as JSON, for scripts.");
    const QCommandLineOption setOption = cli::recordOverrideOption();
    line.parser().addOptions({jsonOption, setOption});
    line.addDirOption();
    if (!line.parse(arguments, out)) return std::nullopt;
    if (!line.positionalArguments().isEmpty())
        throw cli::CommandError("takes no arguments (see --help)");
    return CheckRequest{line.isSet(jsonOption), line.parser().values(setOption)};
}

void writeJson(const GameFilesReport& report, std::ostream& out) {
    QJsonArray problems;
    for (const GameFileProblem& p : report.problems) problems.append(jsonOf(p));
    const QJsonObject document{
        {"monsters", report.monsters}, {"records", report.records}, {"problems", problems}};
    out << QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace

int runCheckCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                    std::ostream&) {
    cli::CommandLine line(command,
                          "Reads mypal.pal, monster.dat and monsters.tat and names every problem\n"
                          "that would stop the arena or a battle, or that does not do what the\n"
                          "file seems to mean. With --set, the records are checked as the\n"
                          "changes leave them. Exit status 0 when clean, 1 with problems.");
    const std::optional<CheckRequest> request = parseRequest(line, arguments, out);
    if (!request) return cli::kExitSuccess;

    const std::filesystem::path dir = line.lockGameDir();
    cli::requireGameFiles(dir, {kPaletteFileName, kSpriteFileName, kStatsFileName});
    // A what-if is checked as the commands that fight would play it; without
    // one, a folder whose sprites cannot be counted is still checked.
    std::vector<RecordOverride> changes;
    if (!request->setTexts.isEmpty())
        changes = cli::parseRecordOverrides(
            request->setTexts, lastMonsterIndex(dir / kSpriteFileName), dir / kStatsFileName);
    const GameFilesReport report = checkGameFiles(dir, changes);
    if (request->json) {
        writeJson(report, out);
    } else {
        for (const GameFileProblem& p : report.problems) out << problemLine(p) << "\n";
        out << reportSummaryLine(report) << "\n";
    }
    return report.problems.empty() ? cli::kExitSuccess : cli::kExitFound;
}

}  // namespace karnwick::cli
