#include "cli/duel_command.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <optional>
#include <string>

#include "battle/battle.h"
#include "battle/outcome_columns.h"
#include "cli/command_line.h"
#include "cli/outcome_output.h"
#include "cli/roster.h"
#include "cli/shown_text.h"
#include "data/errors.h"

namespace karnwick::cli {

namespace {

struct DuelRequest {
    std::array<QString, 2> monsters;  // A and B, by index or name
    QStringList setTexts;             // --set, as given
    long long battles = 1;
    uint64_t seed = Pcg32::kDefaultState;
    bool json = false;
    bool summary = false;
};

// The log as the arena shows it: one line end per line.
std::string displayLog(const std::string& log) {
    std::string out;
    out.reserve(log.size());
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i] == '\r' && i + 1 < log.size() && log[i + 1] == '\n') continue;
        out.push_back(log[i]);
    }
    return out;
}

// The request, or nothing when the help was asked for and written to `out`.
std::optional<DuelRequest> parseRequest(cli::CommandLine& line, const QStringList& arguments,
                                        std::ostream& out) {
    const QCommandLineOption battlesOption("battles", "Press FIGHT <n> times (default 1).", "n",
                                           "1");
    const QCommandLineOption jsonOption("json", "One JSON object per battle, one per line.");
    const QCommandLineOption summaryOption(
        "summary", "No logs: how often each side won, the turn cap, errors and turn counts.");
    const QCommandLineOption seedOption(
        "seed", "Seed the random source with <s> instead of the arena's fixed start.", "s");
    const QCommandLineOption setOption = recordOverrideOption();
    QCommandLineParser& parser = line.parser();
    cli::addMatchUpArguments(parser);
    parser.addOptions({battlesOption, jsonOption, summaryOption, seedOption, setOption});
    line.addDirOption();

    if (!line.parse(arguments, out)) return std::nullopt;
    DuelRequest request;
    request.monsters = cli::matchUpArguments(line.positionalArguments());
    line.requireAtMostOne({&jsonOption, &summaryOption});
    request.setTexts = parser.values(setOption);
    request.json = line.isSet(jsonOption);
    request.summary = line.isSet(summaryOption);
    const QString battles = line.value(battlesOption);
    const auto count = cli::wholeNumber(battles, 0, LLONG_MAX);
    if (!count) {
        throw cli::CommandError("--battles takes a whole number of 0 or more, not \"" +
                                battles.toStdString() + "\"");
    }
    request.battles = *count;
    if (line.isSet(seedOption)) {
        bool ok = false;
        request.seed = line.value(seedOption).toULongLong(&ok);
        if (!ok) {
            throw cli::CommandError("--seed takes a whole number of 0 or more, not \"" +
                                    line.value(seedOption).toStdString() + "\"");
        }
    }
    return request;
}

// 1 or 2 for the side left standing; null when the cap ended the battle, an
// error stopped it, or both sides fell.
QJsonValue winnerOf(const BattleState& state, bool stopped) {
    const bool standing[2] = {isStanding(state.currentHp[0]), isStanding(state.currentHp[1])};
    if (stopped || standing[0] == standing[1]) return QJsonValue(QJsonValue::Null);
    return standing[0] ? 1 : 2;
}

std::string battleFailure(long long battle, const GameError& error) {
    return "karnwick duel: battle " + std::to_string(battle) + ": " + error.what() + "\n";
}

int playWithLogs(const DuelRequest& request, const Fighters& fighters, std::ostream& out,
                 std::ostream& err) {
    Pcg32 random(request.seed);
    const StartingTexts start = startingTexts(fighters);
    BattleLog log;
    // The current-HP boxes keep their text from battle to battle until a
    // battle writes them; at start-up they are empty.
    std::string currentHp[2];
    int status = cli::kExitSuccess;
    for (long long n = 1; n <= request.battles; ++n) {
        BattleState state;
        std::optional<std::string> error;
        try {
            runBattle(start, fighters, random, log, state);
        } catch (const GameError& e) {
            error = e.what();
            err << battleFailure(n, e);
            status = cli::kExitFound;
        }
        for (int side = 0; side < 2; ++side) {
            if (auto shown = log.currentHpText(side)) currentHp[side] = std::move(*shown);
        }
        if (request.json) {
            const QJsonObject line{
                {"winner", winnerOf(state, error.has_value())},
                {"battle", static_cast<qint64>(n)},
                {"log", cli::jsonText(log.text)},
                {"currentHp", QJsonArray{cli::jsonText(currentHp[0]), cli::jsonText(currentHp[1])}},
                {"turns", state.turnCount},
                {"error", error ? QJsonValue(cli::jsonText(*error)) : QJsonValue(QJsonValue::Null)},
            };
            out << QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString() << "\n";
        } else {
            out << displayLog(log.text) << "Current HP: " << currentHp[0] << " " << currentHp[1]
                << "\n";
        }
    }
    return status;
}

// How many battles ended each way, and how many lasted each number of turns,
// a battle stopped by an error included.
struct Tally {
    long long wins[2] = {0, 0};
    long long capped = 0;
    long long errors = 0;
    long long bothDown = 0;
    // A battle never lasts more than 667 turns, so a count per length keeps
    // the exact median in constant memory for any number of battles.
    std::array<long long, kMaxTurns + 1> turnCounts{};
    long long finished = 0;

    void countTurns(int turns) {
        ++turnCounts[static_cast<std::size_t>(std::clamp(turns, 0, int{kMaxTurns}))];
        ++finished;
    }

    void count(const BattleState& state) {
        countTurns(state.turnCount);
        const bool standing[2] = {isStanding(state.currentHp[0]), isStanding(state.currentHp[1])};
        if (standing[0] && standing[1])
            ++capped;
        else if (standing[0] || standing[1])
            ++wins[standing[0] ? 0 : 1];
        else
            ++bothDown;
    }

    // The turn count at 0-based position `rank` of the sorted counts.
    int turnsAt(long long rank) const {
        long long seen = 0;
        for (std::size_t t = 0; t < turnCounts.size(); ++t) {
            seen += turnCounts[t];
            if (seen > rank) return static_cast<int>(t);
        }
        return static_cast<int>(kMaxTurns);
    }

    double medianTurns() const {
        const long long mid = finished / 2;
        return finished % 2 ? turnsAt(mid) : (turnsAt(mid - 1) + turnsAt(mid)) / 2.0;
    }
};

void writeTurns(const Tally& tally, std::ostream& out) {
    long long sum = 0;
    int largest = 0;
    for (std::size_t t = 0; t < tally.turnCounts.size(); ++t) {
        sum += static_cast<long long>(t) * tally.turnCounts[t];
        if (tally.turnCounts[t]) largest = static_cast<int>(t);
    }
    char line[160];
    std::snprintf(line, sizeof line, "Turns: mean %.2f, median %g, largest %d\n",
                  static_cast<double>(sum) / static_cast<double>(tally.finished),
                  tally.medianTurns(), largest);
    out << line;
}

void writeSummary(const Tally& tally, long long battles, const Fighters& fighters,
                  std::ostream& out) {
    auto row = [&](const std::string& label, long long count) {
        const double share =
            battles ? static_cast<double>(count) / static_cast<double>(battles) : 0.0;
        char line[160];
        std::snprintf(line, sizeof line, "%s %10lld  %7s\n", cli::paddedText(label, 34).c_str(),
                      count, percentText(share).c_str());
        out << line;
    };
    const std::string names[2] = {cli::shownText(fighters[0].name),
                                  cli::shownText(fighters[1].name)};
    auto label = [&](std::string_view key) {
        return outcomeLine(outcomeColumn(key), names[0], names[1]);
    };
    out << "Battles: " << battles << "\n";
    row(label("oneWins"), tally.wins[0]);
    row(label("twoWins"), tally.wins[1]);
    row(label("turnCap"), tally.capped);
    if (tally.bothDown) row(label("bothFell"), tally.bothDown);
    row(label("error"), tally.errors);
    if (tally.finished) writeTurns(tally, out);
}

int playSummary(const DuelRequest& request, const Fighters& fighters, std::ostream& out,
                std::ostream& err) {
    Pcg32 random(request.seed);
    const StartingTexts start = startingTexts(fighters);
    // A battle stopped by an error counts at the turn it stopped, as the odds
    // count it: turn 0 when a starting hit point overflows.
    const bool startFails = !startingHitPoints(leadingNumber(start.hp[0])).ok() ||
                            !startingHitPoints(leadingNumber(start.hp[1])).ok();
    Tally tally;
    BattleState state;
    for (long long n = 1; n <= request.battles; ++n) {
        try {
            playSilentBattle(start.hp, start.agility, fighters, random, state);
            tally.count(state);
        } catch (const GameError& e) {
            err << battleFailure(n, e);
            ++tally.errors;
            tally.countTurns(startFails ? 0 : state.turnCount + 1);
        }
    }
    writeSummary(tally, request.battles, fighters, out);
    return tally.errors ? cli::kExitFound : cli::kExitSuccess;
}

}  // namespace

int runDuelCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                   std::ostream& err) {
    cli::CommandLine line(command, "Plays battles between monster A (" + cli::sideText(0) +
                                       ") and monster B (" + cli::sideText(1) +
                                       ") of the game\n"
                                       "files, exactly as the arena would after a fresh start.");
    const std::optional<DuelRequest> request = parseRequest(line, arguments, out);
    if (!request) return cli::kExitSuccess;
    const MatchUp match =
        cli::Roster(line.lockGameDir(), request->setTexts).matchUp(request->monsters);
    return request->summary ? playSummary(*request, match.fighters, out, err)
                            : playWithLogs(*request, match.fighters, out, err);
}

}  // namespace karnwick::cli
