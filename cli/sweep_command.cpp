#include "cli/sweep_command.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <span>

#include "battle/outcome_columns.h"
#include "battle/sweep.h"
#include "cli/command_line.h"
#include "cli/outcome_output.h"
#include "cli/pictures.h"
#include "cli/roster.h"
#include "cli/shown_text.h"
#include "cli/standard_output.h"
#include "data/errors.h"
#include "data/file_writer.h"

namespace karnwick::cli {

namespace {

// "text" with its quotes, built by appending: GCC 12's optimiser warns
// falsely (-Wrestrict) about a literal added in front of a temporary string.
std::string quotedArgument(const QString& text) {
    std::string quoted(1, '"');
    quoted.append(text.toStdString()).push_back('"');
    return quoted;
}

struct SweptField {
    int index;
    std::string name;
    int16_t MonsterStats::*field;
};

// INDEX.FIELD as --set reads it, with --set's own checks and messages.
SweptField sweptField(const QString& text, const Roster& roster) {
    try {
        const RecordNumber number =
            parseRecordNumber(text, roster.lastIndex(), roster.folder() / kStatsFileName);
        return {number.index, std::string(battleFieldName(number.field)), number.field};
    } catch (const CommandError& e) {
        throw CommandError(quotedArgument(text) + ": " + e.what());
    }
}

// FROM..TO, both within 16 bits, FROM not above TO.
std::pair<int16_t, int16_t> sweptRange(const QString& text) {
    static const QRegularExpression form(R"(^\s*(\S+?)\s*\.\.\s*(\S+)\s*$)");
    const std::string quoted = "the range \"" + text.toStdString() + "\"";
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) throw CommandError(quoted + ": expected FROM..TO, e.g. 1..200");
    int16_t ends[2];
    for (int i = 0; i < 2; ++i) {
        const auto value = cli::wholeNumber(match.captured(i + 1), INT16_MIN, INT16_MAX);
        if (!value) {
            throw CommandError(quoted + ": \"" + match.captured(i + 1).toStdString() +
                               "\" is not a whole number from -32768 to 32767");
        }
        ends[i] = static_cast<int16_t>(*value);
    }
    if (ends[0] > ends[1]) throw CommandError(quoted + " is empty: FROM is above TO");
    return {ends[0], ends[1]};
}

struct SweepOptions {
    QCommandLineOption step, csv, json, png, force, target, threads, set;
};

SweepOptions addSweepOptions(cli::CommandLine& line) {
    QCommandLineParser& parser = line.parser();
    cli::addMatchUpArguments(parser);
    parser.addPositionalArgument("INDEX.FIELD", "The number that changes, e.g. 5.hp.");
    parser.addPositionalArgument("FROM..TO", "Its values, e.g. 50..300 or -10..10.");
    SweepOptions options{
        QCommandLineOption("step", "Every S-th value only (default 1).", "S"),
        QCommandLineOption("csv", "One CSV row per value instead of the table."),
        QCommandLineOption("json", "A JSON array of the values instead of the table."),
        QCommandLineOption(
            "png",
            "Also draw the chances against the value as a PNG chart into FILE (- for standard "
            "output, instead of the table).",
            "FILE"),
        QCommandLineOption("force", "Replace the file --png names if it exists."),
        QCommandLineOption("target",
                           "Instead of the table, the value(s) where " + sideText(0) +
                               "'s chance of winning comes closest to P percent.",
                           "P"),
        cli::threadsOption(),
        recordOverrideOption(),
    };
    parser.addOptions({options.step, options.csv, options.json, options.png, options.force,
                       options.target, options.threads, options.set});
    line.addDirOption();
    return options;
}

std::optional<double> targetChance(const cli::CommandLine& line, const QCommandLineOption& option) {
    if (!line.isSet(option)) return std::nullopt;
    bool ok = false;
    const double percent = line.value(option).trimmed().remove('%').toDouble(&ok);
    if (!ok || !(percent >= 0.0 && percent <= 100.0)) {
        throw CommandError("--target takes a percentage from 0 to 100, not \"" +
                           line.value(option).toStdString() + "\"");
    }
    return percent / 100.0;
}

// What the command line asks for, before any game file is read.
struct SweepRequest {
    std::array<QString, 2> monsters;  // A and B, by index or name
    QString field, range;             // INDEX.FIELD and FROM..TO, as given
    QStringList setTexts;             // --set, as given
    bool csv = false, json = false;
    int threads = 1, step = 1;
    std::optional<double> target;
    std::optional<std::filesystem::path> chartFile;
    Existing existing = Existing::Refuse;
};

// The request, or nothing when the help was asked for and written to `out`.
std::optional<SweepRequest> parseRequest(cli::CommandLine& line, const QStringList& arguments,
                                         std::ostream& out) {
    const SweepOptions options = addSweepOptions(line);
    if (!line.parse(arguments, out)) return std::nullopt;
    const QStringList positional = line.positionalArguments();
    if (positional.size() != 4) {
        throw CommandError(
            "expected A, B, INDEX.FIELD and FROM..TO, e.g. sweep 0 5 5.hp 50..300 (see --help)");
    }
    SweepRequest request;
    request.monsters = {positional[0], positional[1]};
    request.field = positional[2];
    request.range = positional[3];
    request.setTexts = line.parser().values(options.set);
    request.csv = line.isSet(options.csv);
    request.json = line.isSet(options.json);
    line.requireAtMostOne({&options.csv, &options.json, &options.target});
    request.threads = cli::threadCount(line, options.threads);
    request.step = cli::countOption(line, options.step, 65535).value_or(1);
    request.target = targetChance(line, options.target);
    if (line.isSet(options.png)) request.chartFile = line.pathValue(options.png);
    if (request.chartFile && cli::isStandardOutputName(*request.chartFile)) {
        if (request.csv || request.json)
            throw CommandError(
                "--png - writes the chart to standard output: --csv and --json "
                "cannot go there too");
        cli::requirePictureOutput();
    }
    request.existing = line.isSet(options.force) ? Existing::Replace : Existing::Refuse;
    return request;
}

// The two monsters, the number that changes and its range, as the arguments name them.
struct SweptMatchUp {
    int16_t monsters[2];
    SweptField swept;
    int16_t from, to;
};

SweptMatchUp sweptMatchUp(const SweepRequest& request, const Roster& roster) {
    int16_t monsters[2];
    for (int side = 0; side < 2; ++side) monsters[side] = roster.index(request.monsters[side]);
    SweptField swept = sweptField(request.field, roster);
    if (swept.index != monsters[0] && swept.index != monsters[1]) {
        throw CommandError("\"" + request.field.toStdString() + "\": monster " +
                           std::to_string(swept.index) + " does not fight; the monsters are " +
                           std::to_string(monsters[0]) + " and " + std::to_string(monsters[1]));
    }
    const auto [from, to] = sweptRange(request.range);
    return {{monsters[0], monsters[1]}, std::move(swept), from, to};
}

void writeCsv(const std::vector<int16_t>& values, const std::vector<OutcomeOdds>& odds,
              std::ostream& out) {
    out << sweepCsvHeader();
    for (std::size_t i = 0; i < odds.size(); ++i) out << sweepCsvLine(values[i], odds[i]);
}

void writeJson(const std::vector<int16_t>& values, const std::vector<OutcomeOdds>& odds,
               std::ostream& out) {
    QJsonArray rows;
    for (std::size_t i = 0; i < odds.size(); ++i) {
        QJsonObject row{{"value", values[i]}};
        cli::addOutcomeJson(row, odds[i]);
        rows.append(row);
    }
    out << cli::jsonLine(rows);
}

// A column per outcome, each as wide as its heading and at least 8; the
// chances in percent.
void writeTable(const std::string& heading, const std::string& field,
                const std::vector<int16_t>& values, const std::vector<OutcomeOdds>& odds,
                std::ostream& out) {
    auto width = [](const OutcomeColumn& c) {
        return std::max<int>(8, static_cast<int>(c.heading.size()));
    };
    out << heading << "\n" << cli::formatted("%7s", field.substr(0, 7).c_str());
    for (const OutcomeColumn& c : kOutcomeColumns)
        out << cli::formatted("  %*s", width(c), std::string(c.heading).c_str());
    out << "\n";
    for (std::size_t i = 0; i < odds.size(); ++i) {
        out << cli::formatted("%7d", values[i]);
        for (const OutcomeColumn& c : kOutcomeColumns) {
            const double v = odds[i].*c.value;
            out << (c.isChance ? cli::formatted("  %*.2f%%", width(c) - 1, 100.0 * v)
                               : cli::formatted("  %*.2f", width(c), v));
        }
        out << "\n";
    }
}

SweepPlan planFor(const SweptMatchUp& match, int step) {
    SweepPlan plan;
    plan.field = match.swept.field;
    plan.sides = {match.monsters[0] == match.swept.index, match.monsters[1] == match.swept.index};
    plan.values = sweepValues(match.from, match.to, step);
    return plan;
}

// The closest values to --target, the CSV, the JSON or the table.
void writeListing(const SweepRequest& request, const SweptMatchUp& match,
                  const std::array<std::string, 2>& names, const SweepPlan& plan,
                  const std::vector<OutcomeOdds>& odds, std::ostream& out) {
    const SweptField& swept = match.swept;
    if (request.target) {
        out << targetAnswer(*request.target, swept.name, plan.values, odds) << "\n";
    } else if (request.csv) {
        writeCsv(plan.values, odds, out);
    } else if (request.json) {
        writeJson(plan.values, odds, out);
    } else {
        const std::string sweptName = "monster " +
                                      monsterLabel(swept.index, names[plan.sides[0] ? 0 : 1]) +
                                      "'s " + swept.name;
        writeTable("Exact odds: " +
                       matchUpText(monsterLabel(match.monsters[0], names[0]),
                                   monsterLabel(match.monsters[1], names[1])) +
                       ", by " + sweptName +
                       (plan.sides[0] && plan.sides[1] ? " on both sides" : ""),
                   swept.name, plan.values, odds, out);
    }
}

}  // namespace

int runSweepCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                    std::ostream& err) {
    cli::CommandLine line(
        command,
        "The exact odds of monster A (" + sideText(0) + ") against monster B (" + sideText(1) +
            "), as\n"
            "'karnwick odds' computes them, for every value of one number of monster INDEX's\n"
            "record (INDEX is A or B) from FROM to TO, set as --set would set it: e.g.\n"
            "'karnwick sweep 0 5 5.hp 50..300 --target 33' finds the hit points that let\n"
            "monster 0 beat monster 5 one time in three.");
    const std::optional<SweepRequest> asked = parseRequest(line, arguments, out);
    if (!asked) return cli::kExitSuccess;
    const SweepRequest& request = *asked;

    const Roster roster(line.lockGameDir(), request.setTexts);
    const SweptMatchUp match = sweptMatchUp(request, roster);
    const auto& [monsters, swept, from, to] = match;
    const bool chartToOutput = request.chartFile && cli::isStandardOutputName(*request.chartFile);
    if (request.chartFile && !chartToOutput) checkWritable(*request.chartFile, request.existing);

    const Fighters fighters{roster.load(monsters[0]), roster.load(monsters[1])};
    const SweepPlan plan = planFor(match, request.step);
    cli::Progress progress(err, "sweep", "values", plan.values.size());
    const std::vector<OutcomeOdds> odds = sweepOdds(
        fighters, plan, request.threads, [&](std::size_t done, std::size_t) { progress(done); });
    progress.clear();

    const std::array<std::string, 2> names{cli::shownText(fighters[0].name),
                                           cli::shownText(fighters[1].name)};
    if (request.chartFile) {
        const std::string chart =
            cli::pictures().sweepChartPng({{monsters[0], monsters[1], names[0], names[1],
                                            swept.index, swept.name, from, to, request.step},
                                           plan.values,
                                           odds,
                                           request.target});
        if (chartToOutput)
            out << chart;
        else
            writeFileAtomically(*request.chartFile, chart, request.existing);
    }

    // With --png -, the chart is all that standard output carries.
    if (!chartToOutput) writeListing(request, match, names, plan, odds, out);
    return cli::kExitSuccess;
}

}  // namespace karnwick::cli
