#include "cli/check_command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "battle/game_files_check.h"
#include "data/errors.h"
#include "data/palette.h"
#include "data/sprite.h"
#include "cli/command_line.h"

using namespace karnwick;

namespace {

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

const char* severityName(Severity severity) {
    return severity == Severity::Error ? "error" : "warning";
}

// One problem on one line:
// monsters.tat: monster 3 "Goblin    ": level = 100: error: ... (fix: ...)
void writeText(const GameFileProblem& p, std::ostream& out) {
    out << p.file;
    if (p.monster) out << ": monster " << *p.monster << " \"" << cli::shownInBox(p.name) << "\"";
    if (!p.field.empty()) out << ": " << p.field << " = " << p.value;
    out << ": " << severityName(p.severity) << ": " << p.effect;
    if (!p.hint.empty()) out << " (fix: " << p.hint << ")";
    out << "\n";
}

QJsonObject jsonOf(const GameFileProblem& p) {
    auto orNull = [](const std::string& s) {
        return s.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(fromUtf8(s));
    };
    return {
        {"file", fromUtf8(p.file)},
        {"monster", p.monster ? QJsonValue(*p.monster) : QJsonValue(QJsonValue::Null)},
        {"name", p.monster ? QJsonValue(fromUtf8(p.name)) : QJsonValue(QJsonValue::Null)},
        {"field", orNull(p.field)},
        {"value", orNull(p.value)},
        {"severity", severityName(p.severity)},
        {"effect", fromUtf8(p.effect)},
        {"hint", orNull(p.hint)},
    };
}

}  // namespace

int runCheckCommand(const QStringList& arguments, std::ostream& out, std::ostream& err) {
    cli::CommandLine line("check", "",
                          "Reads mypal.pal, monster.dat and monsters.tat and names every problem\n"
                          "that would stop the arena or a battle, or that does not do what the\n"
                          "file seems to mean. Exit status 0 when clean, 1 with problems.");
    const QCommandLineOption jsonOption("json", "The problems as JSON, for scripts.");
    line.parser().addOption(jsonOption);
    line.addDirOption();
    if (const auto status = line.parse(arguments, out, err)) return *status;
    if (!line.positionalArguments().isEmpty())
        return line.fail(err, "takes no arguments (see --help)");

    const std::filesystem::path dir = line.gameDir();
    if (const auto missing =
            cli::missingGameFile(dir, {kPaletteFileName, kSpriteFileName, kStatsFileName}))
        return line.fail(err, *missing);
    GameFilesReport report;
    try {
        report = checkGameFiles(dir);
    } catch (const GameError& e) {
        return line.fail(err, e.what());
    }

    if (line.isSet(jsonOption)) {
        QJsonArray problems;
        for (const GameFileProblem& p : report.problems) problems.append(jsonOf(p));
        const QJsonObject document{
            {"monsters", report.monsters}, {"records", report.records}, {"problems", problems}};
        out << QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
    } else {
        for (const GameFileProblem& p : report.problems) writeText(p, out);
        if (report.problems.empty()) {
            out << "No problems found: " << report.monsters << " monsters, " << report.records
                << " records\n";
        } else {
            out << report.problems.size()
                << (report.problems.size() == 1 ? " problem" : " problems") << " found\n";
        }
    }
    return report.problems.empty() ? cli::kExitSuccess : cli::kExitFound;
}
