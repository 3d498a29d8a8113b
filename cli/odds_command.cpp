#include "cli/odds_command.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "battle/hit_points_left.h"
#include "battle/odds.h"
#include "battle/outcome_columns.h"
#include "cli/command_line.h"
#include "cli/outcome_output.h"
#include "cli/roster.h"
#include "cli/shown_text.h"

namespace karnwick::cli {

namespace {

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
        out << formatted("%-9s  %-40s %8s\n", label.c_str(), std::string(bar, '#').c_str(),
                         percentText(boundedChance(r.share)).c_str());
    }
}

// Where a side's hit points end: their mean, the smallest value by which at
// least half of the battles have ended, and the lowest and highest.
struct HitPointsSummary {
    double mean = 0;
    int median = 0, lowest = 0, highest = 0;
};

HitPointsSummary summaryOf(const std::vector<HitPointsChance>& left) {
    HitPointsSummary summary{0, left.front().hitPoints, left.front().hitPoints,
                             left.back().hitPoints};
    double below = 0;
    bool medianFound = false;
    for (const HitPointsChance& c : left) {
        summary.mean += c.hitPoints * c.chance;
        below += c.chance;
        if (!medianFound && below >= 0.5) {
            summary.median = c.hitPoints;
            medianFound = true;
        }
    }
    return summary;
}

void writeHitPointsLeft(const HitPointsLeft& left, std::ostream& out) {
    if (left[0].empty() || left[1].empty()) {
        out << "Hit points at the end: none, the battle stops before turn 1.\n";
        return;
    }
    out << "Hit points at the end      Mean   Median   Lowest   Highest\n";
    for (int side = 0; side < 2; ++side) {
        const HitPointsSummary s = summaryOf(left[side]);
        out << formatted("%-21s  %8.2f  %7d  %7d  %8d\n", std::string(sideName(side)).c_str(),
                         s.mean, s.median, s.lowest, s.highest);
    }
}

QJsonObject hitPointsJson(const HitPointsLeft& left) {
    QJsonObject sides;
    const char* keys[2] = {"one", "two"};
    for (int side = 0; side < 2; ++side) {
        QJsonArray pairs;
        for (const HitPointsChance& c : left[side])
            pairs.append(QJsonArray{c.hitPoints, boundedChance(c.chance)});
        sides.insert(keys[side], pairs);
    }
    return sides;
}

// Where the odds go: the text, `matrix --csv`'s row for this one pair, or JSON.
enum class Listing { Text, Csv, Json };

struct OddsRequest {
    std::array<QString, 2> monsters;  // A and B, by index or name
    QStringList setTexts;             // --set, as given
    Listing listing = Listing::Text;
};

// The request, or nothing when the help was asked for and written to `out`.
std::optional<OddsRequest> parseRequest(cli::CommandLine& line, const QStringList& arguments,
                                        std::ostream& out) {
    QCommandLineParser& parser = line.parser();
    cli::addMatchUpArguments(parser);
    const QCommandLineOption jsonOption(
        "json", QStringLiteral("One JSON object (see %1).").arg(cli::kJsonDocumentation));
    const QCommandLineOption csvOption(
        "csv", "A header and one CSV row, the columns of 'karnwick matrix --csv'.");
    const QCommandLineOption setOption = recordOverrideOption();
    parser.addOptions({jsonOption, csvOption, setOption});
    line.addDirOption();

    if (!line.parse(arguments, out)) return std::nullopt;
    OddsRequest request;
    request.monsters = cli::matchUpArguments(line.positionalArguments());
    line.requireAtMostOne({&csvOption, &jsonOption});
    request.setTexts = parser.values(setOption);
    request.listing = line.isSet(csvOption)    ? Listing::Csv
                      : line.isSet(jsonOption) ? Listing::Json
                                               : Listing::Text;
    return request;
}

void writeJson(const MatchUp& match, const BattleOdds& odds, std::ostream& out) {
    QJsonArray turns;
    for (const double p : odds.turns) turns.append(boundedChance(p));
    QJsonObject object{{"one", match.indexes[0]}, {"two", match.indexes[1]}};
    cli::addOutcomeJson(object, odds);
    object.insert("turns", turns);
    object.insert("hpLeft", hitPointsJson(hitPointsLeft(match.fighters)));
    out << cli::jsonLine(object);
}

// The header and row of `matrix --csv` for this one pair.
void writeCsv(const MatchUp& match, const BattleOdds& odds, std::ostream& out) {
    out << pairCsvHeader() << pairCsvLine(match.indexes[0], match.indexes[1], odds);
}

void writeText(const MatchUp& match, const BattleOdds& odds, std::ostream& out) {
    const std::string names[2] = {cli::shownText(match.fighters[0].name),
                                  cli::shownText(match.fighters[1].name)};
    auto row = [&](const std::string& label, double chance) {
        out << formatted("%s %8s\n", cli::paddedText(label, 34).c_str(),
                         percentText(chance).c_str());
    };
    out << "Exact odds: "
        << matchUpText(monsterLabel(match.indexes[0], names[0]),
                       monsterLabel(match.indexes[1], names[1]))
        << "\n";
    for (const OutcomeColumn& column : kOutcomeColumns)
        if (column.isChance) row(outcomeLine(column, names[0], names[1]), odds.*column.value);
    out << formatted("Turns: mean %.2f, median %d\n\n", odds.meanTurns, medianTurns(odds));
    writeHistogram(odds, out);
    out << "\n";
    writeHitPointsLeft(hitPointsLeft(match.fighters), out);
}

}  // namespace

int runOddsCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                   std::ostream&) {
    cli::CommandLine line(
        command,
        "The exact odds of a battle between monster A (" + sideText(0) + ") and monster B (" +
            sideText(1) +
            ")\n"
            "after a fresh choice of both: each outcome, the mean and median number of turns, and\n"
            "how long battles last. Every random value is counted, none is drawn.");
    const std::optional<OddsRequest> request = parseRequest(line, arguments, out);
    if (!request) return cli::kExitSuccess;

    const MatchUp match =
        cli::Roster(line.lockGameDir(), request->setTexts).matchUp(request->monsters);
    const BattleOdds odds = battleOdds(match.fighters);
    if (request->listing == Listing::Csv)
        writeCsv(match, odds, out);
    else if (request->listing == Listing::Json)
        writeJson(match, odds, out);
    else
        writeText(match, odds, out);
    return cli::kExitSuccess;
}

}  // namespace karnwick::cli
