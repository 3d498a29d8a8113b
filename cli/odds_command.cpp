#include "cli/odds_command.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "battle/odds.h"
#include "cli/command_line.h"
#include "cli/roster.h"

using namespace karnwick;

namespace {

std::string formatted(const char* format, auto... values) {
    char line[200];
    std::snprintf(line, sizeof line, format, values...);
    return line;
}

// How long battles last: at most a dozen rows of equal width from the turn
// by which 0.1% of the battles have ended to the one by which 99.9% have, and
// a row for either tail.
void writeHistogram(const BattleOdds& odds, std::ostream& out) {
    int first = 0, last = 0;
    for (int t = 1; t <= kMaxTurns; ++t) {
        if (odds.turns[t - 1] > 0) {
            last = t;
            if (first == 0) first = t;
        }
    }
    if (last == 0) {
        out << "No turn is played: the battle stops before turn 1.\n";
        return;
    }
    double total = 0;
    for (const double p : odds.turns) total += p;
    int from = first, to = last;
    double cumulative = 0;
    for (int t = first; t <= last; ++t) {
        cumulative += odds.turns[t - 1];
        if (cumulative <= 0.001 * total) from = t + 1;
        if (cumulative >= 0.999 * total) {
            to = t;
            break;
        }
    }
    from = std::min(from, to);
    const int width = std::max(1, (to - from + 12) / 12);
    struct Row {
        int from, to;
        double share;
    };
    std::vector<Row> rows;
    if (first < from) rows.push_back({first, from - 1, 0});
    for (int t = from; t <= to; t += width) rows.push_back({t, std::min(t + width - 1, to), 0});
    if (to < last) rows.push_back({to + 1, last, 0});
    for (Row& r : rows)
        for (int t = r.from; t <= r.to; ++t) r.share += odds.turns[t - 1];
    double peak = 0;
    for (const Row& r : rows) peak = std::max(peak, r.share);
    out << "Turns      Battles ending\n";
    for (const Row& r : rows) {
        const std::string label = r.from == r.to
                                      ? std::to_string(r.from)
                                      : std::to_string(r.from) + "-" + std::to_string(r.to);
        const int bar = peak > 0 ? static_cast<int>(std::lround(40.0 * r.share / peak)) : 0;
        out << formatted("%-9s  %-40s %7.2f%%\n", label.c_str(), std::string(bar, '#').c_str(),
                         100.0 * r.share);
    }
}

void writeJson(const std::array<int, 2>& monsters, const BattleOdds& odds, std::ostream& out) {
    QJsonArray turns;
    for (const double p : odds.turns) turns.append(p);
    const QJsonObject object{
        {"one", monsters[0]},      {"two", monsters[1]},          {"oneWins", odds.oneWins},
        {"twoWins", odds.twoWins}, {"bothFell", odds.bothFell},   {"turnCap", odds.turnCap},
        {"error", odds.error},     {"meanTurns", odds.meanTurns}, {"turns", turns},
    };
    out << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << "\n";
}

void writeText(const std::array<int, 2>& monsters, const Fighters& fighters, const BattleOdds& odds,
               std::ostream& out) {
    const std::string names[2] = {fieldText(fighters[0].name), fieldText(fighters[1].name)};
    auto row = [&](const std::string& label, double chance) {
        out << formatted("%s %7.2f%%\n", cli::paddedText(label, 34).c_str(), 100.0 * chance);
    };
    out << "Exact odds: " << monsters[0] << " " << names[0] << " (Monster One) against "
        << monsters[1] << " " << names[1] << " (Monster Two)\n";
    row("Monster One wins (" + names[0] + ")", odds.oneWins);
    row("Monster Two wins (" + names[1] + ")", odds.twoWins);
    row("Both fell at the start", odds.bothFell);
    row("Ended by the 667-turn cap", odds.turnCap);
    row("Stopped by a run-time error", odds.error);
    out << formatted("Turns: mean %.2f, median %d\n\n", odds.meanTurns, medianTurns(odds));
    writeHistogram(odds, out);
}

}  // namespace

int runOddsCommand(const QStringList& arguments, std::ostream& out, std::ostream&) {
    cli::CommandLine line(
        "odds", "A B",
        "The exact odds of a battle between monster A (Monster One) and monster B (Monster Two)\n"
        "after a fresh choice of both: each outcome, the mean and median number of turns, and\n"
        "how long battles last. Every random value is counted, none is drawn.");
    QCommandLineParser& parser = line.parser();
    parser.addPositionalArgument("A", "Monster index for Monster One.");
    parser.addPositionalArgument("B", "Monster index for Monster Two.");
    const QCommandLineOption jsonOption(
        "json", QStringLiteral("One JSON object (see %1).").arg(cli::kJsonDocumentation));
    const QCommandLineOption setOption = recordOverrideOption();
    parser.addOptions({jsonOption, setOption});
    line.addDirOption();

    if (!line.parse(arguments, out)) return cli::kExitSuccess;
    const QStringList positional = line.positionalArguments();
    if (positional.size() != 2)
        throw cli::CommandError("expected two monster indexes, A and B (see --help)");
    const cli::Roster roster(line.gameDir(), parser.values(setOption));
    std::array<int, 2> monsters{};
    Fighters fighters{};
    for (int side = 0; side < 2; ++side) {
        const int16_t index = roster.index(positional[side]);
        monsters[side] = index;
        fighters[side] = roster.load(index);
    }

    const BattleOdds odds = battleOdds(fighters);
    if (parser.isSet(jsonOption))
        writeJson(monsters, odds, out);
    else
        writeText(monsters, fighters, odds, out);
    return cli::kExitSuccess;
}
