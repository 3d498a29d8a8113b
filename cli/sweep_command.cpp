#include "cli/sweep_command.h"

#include <unistd.h>

#include <QBuffer>
#include <QCommandLineParser>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <span>
#include <thread>

#include "battle/sweep.h"
#include "cli/command_line.h"
#include "cli/roster.h"
#include "cli/sweep_chart.h"
#include "data/errors.h"
#include "data/file_writer.h"

using namespace karnwick;
using cli::CommandError;

namespace {

// The shortest text that reads back as the same double.
std::string shortest(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string formatted(const char* format, auto... values) {
    char line[200];
    std::snprintf(line, sizeof line, format, values...);
    return line;
}

std::string trimmed(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// Progress on a terminal, once the work has taken more than a second.
class Progress {
  public:
    explicit Progress(std::ostream& err) : m_err(err), m_shown(isatty(STDERR_FILENO) == 1) {}
    void operator()(std::size_t done, std::size_t total) {
        if (!m_shown || std::chrono::steady_clock::now() - m_start < std::chrono::seconds(1))
            return;
        m_err << "\rkarnwick sweep: " << done << " of " << total << " values"
              << (done == total ? "\n" : "") << std::flush;
    }

  private:
    std::ostream& m_err;
    bool m_shown;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// A range that starts below 0 ("-100..-1") would be read as options; it goes
// behind a "--" at the end, where it can only be an argument.
QStringList withNegativeRangeLast(const QStringList& arguments) {
    static const QRegularExpression negativeRange(R"(^-\d+\.\..*$)");
    if (arguments.contains("--")) return arguments;
    QStringList kept, ranges;
    for (const QString& a : arguments) (negativeRange.match(a).hasMatch() ? ranges : kept) << a;
    if (ranges.isEmpty()) return arguments;
    return kept << "--" << ranges;
}

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
    const std::string quoted = quotedArgument(text);
    if (text.contains('=')) throw CommandError(quoted + ": expected INDEX.FIELD, e.g. 0.hp");
    auto parsed = parseRecordOverrides({text + "=0"}, roster.lastIndex);
    if (const auto* message = std::get_if<std::string>(&parsed)) {
        // The message names the text as --set saw it; name it as given.
        const std::size_t after = message->find("\": ");
        throw CommandError(
            quoted + (after == std::string::npos ? ": " + *message : message->substr(after + 1)));
    }
    const RecordOverride& change = std::get<std::vector<RecordOverride>>(parsed).front();
    const QString name = text.section('.', 1).trimmed();
    return {change.index, name.toStdString(), change.field};
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

// "57", "57 and 80", "120..122, 130 and 200" for the values at `at`: runs of
// neighbouring values in the sweep written as FROM..TO.
std::string valueList(const std::vector<int16_t>& values, const std::vector<std::size_t>& at) {
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < at.size();) {
        std::size_t j = i;
        while (j + 1 < at.size() && at[j + 1] == at[j] + 1) ++j;
        parts.push_back(j == i
                            ? std::to_string(values[at[i]])
                            : std::to_string(values[at[i]]) + ".." + std::to_string(values[at[j]]));
        i = j + 1;
    }
    std::string text;
    for (std::size_t p = 0; p < parts.size(); ++p)
        text += (p == 0 ? "" : p + 1 == parts.size() ? " and " : ", ") + parts[p];
    return text;
}

void writeTarget(double target, const std::string& field, const std::vector<int16_t>& values,
                 const std::vector<OutcomeOdds>& odds, std::ostream& out) {
    // Chances that differ only by the rounding of doubles count as equal.
    constexpr double kSame = 1e-12;
    double best = INFINITY;
    for (const OutcomeOdds& o : odds) best = std::min(best, std::abs(o.oneWins - target));
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < odds.size(); ++i)
        if (std::abs(odds[i].oneWins - target) <= best + kSame) at.push_back(i);
    const double chance = odds[at.front()].oneWins;
    out << formatted("Closest to %.2f%%: Monster One wins %.2f%% ", 100.0 * target, 100.0 * chance);
    if (at.size() == 1) {
        out << "at " << field << " " << values[at.front()] << "\n";
        return;
    }
    out << "at each of " << at.size() << " values of " << field
        << " (a tie): " << valueList(values, at) << "\n";
}

}  // namespace

int runSweepCommand(const QStringList& arguments, std::ostream& out, std::ostream& err) {
    cli::CommandLine line(
        "sweep", "A B INDEX.FIELD FROM..TO",
        "The exact odds of monster A (Monster One) against monster B (Monster Two), as\n"
        "'karnwick odds' computes them, for every value of one number of monster INDEX's\n"
        "record (INDEX is A or B) from FROM to TO, set as --set would set it: e.g.\n"
        "'karnwick sweep 0 5 5.hp 50..300 --target 33' finds the hit points that let\n"
        "monster 0 beat monster 5 one time in three.");
    QCommandLineParser& parser = line.parser();
    parser.addPositionalArgument("A", "Monster index for Monster One.");
    parser.addPositionalArgument("B", "Monster index for Monster Two.");
    parser.addPositionalArgument("INDEX.FIELD", "The number that changes, e.g. 5.hp.");
    parser.addPositionalArgument("FROM..TO", "Its values, e.g. 50..300 or -10..10.");
    const QCommandLineOption stepOption("step", "Every S-th value only (default 1).", "S");
    const QCommandLineOption csvOption("csv", "One CSV row per value instead of the table.");
    const QCommandLineOption jsonOption("json", "A JSON array of the values instead of the table.");
    const QCommandLineOption pngOption(
        "png", "Also draw the chances against the value as a PNG chart into FILE.", "FILE");
    const QCommandLineOption forceOption("force", "Replace the file --png names if it exists.");
    const QCommandLineOption targetOption(
        "target",
        "Instead of the table, the value(s) where Monster One's chance of winning comes "
        "closest to P percent.",
        "P");
    const QCommandLineOption threadsOption(
        "threads", "Work on N threads (default: one per core); the output is the same.", "N");
    const QCommandLineOption setOption = recordOverrideOption();
    parser.addOptions({stepOption, csvOption, jsonOption, pngOption, forceOption, targetOption,
                       threadsOption, setOption});
    line.addDirOption();

    if (const auto status = line.parse(withNegativeRangeLast(arguments), out, err)) return *status;
    const QStringList positional = line.positionalArguments();
    if (positional.size() != 4) {
        throw CommandError(
            "expected A, B, INDEX.FIELD and FROM..TO, e.g. sweep 0 5 5.hp 50..300 (see --help)");
    }
    const int outputs = line.isSet(csvOption) + line.isSet(jsonOption) + line.isSet(targetOption);
    if (outputs > 1) throw CommandError("--csv, --json and --target exclude each other");
    int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (line.isSet(threadsOption)) {
        const auto asked = cli::wholeNumber(line.value(threadsOption), 1, 1024);
        if (!asked) {
            throw CommandError("--threads takes a whole number from 1 to 1024, not \"" +
                               line.value(threadsOption).toStdString() + "\"");
        }
        threads = static_cast<int>(*asked);
    }
    int step = 1;
    if (line.isSet(stepOption)) {
        const auto asked = cli::wholeNumber(line.value(stepOption), 1, 65535);
        if (!asked) {
            throw CommandError("--step takes a whole number from 1 to 65535, not \"" +
                               line.value(stepOption).toStdString() + "\"");
        }
        step = static_cast<int>(*asked);
    }
    std::optional<double> target;
    if (line.isSet(targetOption)) {
        bool ok = false;
        const double percent = line.value(targetOption).trimmed().remove('%').toDouble(&ok);
        if (!ok || !(percent >= 0.0 && percent <= 100.0)) {
            throw CommandError("--target takes a percentage from 0 to 100, not \"" +
                               line.value(targetOption).toStdString() + "\"");
        }
        target = percent / 100.0;
    }

    auto opened = openRoster(line.gameDir(), parser.values(setOption));
    if (const auto* message = std::get_if<std::string>(&opened)) throw CommandError(*message);
    const Roster& roster = std::get<Roster>(opened);
    int monsters[2];
    for (int side = 0; side < 2; ++side) {
        const auto index = roster.index(positional[side]);
        if (const auto* message = std::get_if<std::string>(&index)) throw CommandError(*message);
        monsters[side] = std::get<int>(index);
    }
    const SweptField swept = sweptField(positional[2], roster);
    if (swept.index != monsters[0] && swept.index != monsters[1]) {
        throw CommandError("\"" + positional[2].toStdString() + "\": monster " +
                           std::to_string(swept.index) + " does not fight; the monsters are " +
                           std::to_string(monsters[0]) + " and " + std::to_string(monsters[1]));
    }
    const auto [from, to] = sweptRange(positional[3]);

    const std::filesystem::path chartFile = line.value(pngOption).toStdString();
    const Existing existing = line.isSet(forceOption) ? Existing::Replace : Existing::Refuse;
    if (line.isSet(pngOption)) checkWritable(chartFile, existing);

    const Fighters fighters{roster.load(monsters[0]), roster.load(monsters[1])};
    SweepPlan plan;
    plan.field = swept.field;
    plan.sides = {monsters[0] == swept.index, monsters[1] == swept.index};
    plan.values = sweepValues(from, to, step);
    Progress progress(err);
    const std::vector<OutcomeOdds> odds =
        sweepOdds(fighters, plan, threads,
                  [&](std::size_t done, std::size_t total) { progress(done, total); });

    const std::string names[2] = {trimmed(fieldText(fighters[0].name)),
                                  trimmed(fieldText(fighters[1].name))};
    const std::string sweptName = "monster " + std::to_string(swept.index) + " " +
                                  names[plan.sides[0] ? 0 : 1] + "'s " + swept.name;
    if (line.isSet(pngOption)) {
        SweepChart chart;
        chart.title = "Chance of each end of the battle as " + sweptName + " goes from " +
                      std::to_string(from) + " to " + std::to_string(to) +
                      (step > 1 ? " by " + std::to_string(step) : "") +
                      " (exact odds after a fresh choice)";
        chart.subtitle = "Monster One: " + std::to_string(monsters[0]) + " " + names[0] +
                         ". Monster Two: " + std::to_string(monsters[1]) + " " + names[1] + ".";
        chart.axis = std::to_string(swept.index) + "." + swept.name;
        chart.values = plan.values;
        chart.odds = odds;
        chart.target = target;
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        if (!writer.write(drawSweepChart(chart)))
            throw CommandError("cannot draw the chart: " + writer.errorString().toStdString());
        writeFileAtomically(chartFile,
                            std::span(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                      static_cast<std::size_t>(bytes.size())),
                            existing);
    }

    if (target) {
        writeTarget(*target, swept.name, plan.values, odds, out);
    } else if (line.isSet(csvOption)) {
        out << "value,oneWins,twoWins,bothFell,turnCap,error,meanTurns\n";
        for (std::size_t i = 0; i < odds.size(); ++i) {
            const OutcomeOdds& o = odds[i];
            out << plan.values[i] << ',' << shortest(o.oneWins) << ',' << shortest(o.twoWins) << ','
                << shortest(o.bothFell) << ',' << shortest(o.turnCap) << ',' << shortest(o.error)
                << ',' << shortest(o.meanTurns) << '\n';
        }
    } else if (line.isSet(jsonOption)) {
        QJsonArray rows;
        for (std::size_t i = 0; i < odds.size(); ++i) {
            const OutcomeOdds& o = odds[i];
            rows.append(QJsonObject{
                {"value", plan.values[i]},
                {"oneWins", o.oneWins},
                {"twoWins", o.twoWins},
                {"bothFell", o.bothFell},
                {"turnCap", o.turnCap},
                {"error", o.error},
                {"meanTurns", o.meanTurns},
            });
        }
        out << QJsonDocument(rows).toJson(QJsonDocument::Compact).toStdString() << "\n";
    } else {
        out << "Exact odds: " << monsters[0] << " " << names[0] << " (Monster One) against "
            << monsters[1] << " " << names[1] << " (Monster Two), by " << sweptName
            << (plan.sides[0] && plan.sides[1] ? " on both sides" : "") << "\n";
        out << formatted("%7s  %8s  %8s  %9s  %8s  %8s  %10s\n", swept.name.substr(0, 7).c_str(),
                         "One wins", "Two wins", "Both fell", "Turn cap", "Error", "Mean turns");
        for (std::size_t i = 0; i < odds.size(); ++i) {
            const OutcomeOdds& o = odds[i];
            out << formatted("%7d  %7.2f%%  %7.2f%%  %8.2f%%  %7.2f%%  %7.2f%%  %10.2f\n",
                             plan.values[i], 100.0 * o.oneWins, 100.0 * o.twoWins,
                             100.0 * o.bothFell, 100.0 * o.turnCap, 100.0 * o.error, o.meanTurns);
        }
    }
    return cli::kExitSuccess;
}
