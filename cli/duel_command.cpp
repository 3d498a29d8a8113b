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
#include <variant>

#include "battle/battle.h"
#include "data/errors.h"
#include "data/sprite.h"
#include "cli/command_line.h"
#include "cli/record_overrides.h"

using namespace karnwick;

namespace {

struct DuelOptions {
    int16_t monsters[2] = {0, 0};
    long long battles = 1;
    uint64_t seed = Pcg32::kDefaultState;
    bool json = false;
    bool summary = false;
    std::filesystem::path dir = ".";
    std::vector<RecordOverride> overrides;
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

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Parses the command line; on a problem writes it to `err` and returns the
// exit status instead.
std::variant<DuelOptions, int> parseOptions(const QStringList& arguments, std::ostream& out,
                                            std::ostream& err) {
    cli::CommandLine line(
        "duel", "A B",
        "Plays battles between monster A (Monster One) and monster B (Monster Two) of the game\n"
        "files, exactly as the arena would after a fresh start.");
    QCommandLineParser& parser = line.parser();
    parser.addPositionalArgument("A", "Monster index for Monster One.");
    parser.addPositionalArgument("B", "Monster index for Monster Two.");
    const QCommandLineOption battlesOption("battles", "Press FIGHT <n> times (default 1).", "n",
                                           "1");
    const QCommandLineOption jsonOption("json", "One JSON object per battle, one per line.");
    const QCommandLineOption summaryOption(
        "summary", "No logs: how often each side won, the turn cap, errors and turn counts.");
    const QCommandLineOption seedOption(
        "seed", "Seed the random source with <s> instead of the arena's fixed start.", "s");
    const QCommandLineOption setOption = recordOverrideOption();
    parser.addOptions({battlesOption, jsonOption, summaryOption, seedOption, setOption});
    line.addDirOption();

    if (const auto status = line.parse(arguments, out, err)) return *status;
    const QStringList positional = line.positionalArguments();
    if (positional.size() != 2)
        return line.fail(err, "expected two monster indexes, A and B (see --help)");
    if (line.isSet(jsonOption) && line.isSet(summaryOption))
        return line.fail(err, "--json and --summary exclude each other");

    DuelOptions options;
    options.dir = line.gameDir();
    options.json = line.isSet(jsonOption);
    options.summary = line.isSet(summaryOption);
    const auto battles = cli::wholeNumber(line.value(battlesOption), 0, LLONG_MAX);
    if (!battles) {
        return line.fail(err, "--battles takes a whole number of 0 or more, not \"" +
                                  line.value(battlesOption).toStdString() + "\"");
    }
    options.battles = *battles;
    if (line.isSet(seedOption)) {
        bool ok = false;
        options.seed = line.value(seedOption).toULongLong(&ok);
        if (!ok) {
            return line.fail(err, "--seed takes a whole number of 0 or more, not \"" +
                                      line.value(seedOption).toStdString() + "\"");
        }
    }

    if (const auto missing = cli::missingGameFile(options.dir, {kSpriteFileName, kStatsFileName}))
        return line.fail(err, *missing);
    int16_t last;
    try {
        last = countMonsters(options.dir / kSpriteFileName);
    } catch (const GameError& e) {
        return line.fail(err, e.what());
    }
    for (int side = 0; side < 2; ++side) {
        const auto index = cli::wholeNumber(positional[side], 0, last);
        if (!index) {
            std::string message = "monster \"" + positional[side].toStdString() + "\" is not ";
            if (last < 0)
                message += "in monster.dat, which holds no monsters";
            else
                message += "a monster index: the valid range is 0.." + std::to_string(last);
            return line.fail(err, message);
        }
        options.monsters[side] = static_cast<int16_t>(*index);
    }
    auto overrides = parseRecordOverrides(parser.values(setOption), last);
    if (const auto* message = std::get_if<std::string>(&overrides)) return line.fail(err, *message);
    options.overrides = std::move(std::get<std::vector<RecordOverride>>(overrides));
    return options;
}

// 1 or 2 for the side left standing; null when the cap ended the battle, an
// error stopped it, or both sides fell.
QJsonValue winnerOf(const BattleState& state, bool stopped) {
    const bool standing[2] = {state.currentHp[0] >= 1, state.currentHp[1] >= 1};
    if (stopped || standing[0] == standing[1]) return QJsonValue(QJsonValue::Null);
    return standing[0] ? 1 : 2;
}

int playWithLogs(const DuelOptions& options, const Fighters& fighters, std::ostream& out,
                 std::ostream& err) {
    Pcg32 random(options.seed);
    ArenaTexts texts;
    for (int side = 0; side < 2; ++side) {
        texts.hp[side] = panelHpText(fighters[side]);
        texts.agility[side] = panelAgilityText(fighters[side]);
    }
    // The current-HP boxes keep their text from battle to battle until a
    // battle writes them; at start-up they are empty.
    std::string currentHp[2];
    int status = 0;
    for (long long n = 1; n <= options.battles; ++n) {
        texts.currentHp = {};
        BattleState state;
        std::optional<std::string> error;
        try {
            runBattle(texts, fighters, random, state);
        } catch (const GameError& e) {
            error = e.what();
            err << "karnwick duel: battle " << n << ": " << e.what() << "\n";
            status = 1;
        }
        for (int side = 0; side < 2; ++side) {
            if (texts.currentHp[side]) currentHp[side] = *texts.currentHp[side];
        }
        if (options.json) {
            QJsonObject line{
                {"winner", winnerOf(state, error.has_value())},
                {"battle", static_cast<qint64>(n)},
                {"log", fromUtf8(texts.arena)},
                {"currentHp", QJsonArray{fromUtf8(currentHp[0]), fromUtf8(currentHp[1])}},
                {"turns", state.turnCount},
                {"error", error ? QJsonValue(fromUtf8(*error)) : QJsonValue(QJsonValue::Null)},
            };
            out << QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString() << "\n";
        } else {
            out << displayLog(texts.arena) << "Current HP: " << currentHp[0] << " " << currentHp[1]
                << "\n";
        }
    }
    return status;
}

int playSummary(const DuelOptions& options, const Fighters& fighters, std::ostream& out,
                std::ostream& err) {
    Pcg32 random(options.seed);
    const std::array<std::string, 2> hp{panelHpText(fighters[0]), panelHpText(fighters[1])};
    const std::array<std::string, 2> agility{panelAgilityText(fighters[0]),
                                             panelAgilityText(fighters[1])};
    long long wins[2] = {0, 0}, capped = 0, errors = 0, bothDown = 0;
    // A battle never lasts more than 667 turns, so a count per length keeps
    // the exact median in constant memory for any number of battles.
    std::array<long long, kMaxTurns + 1> turnCounts{};
    // A battle stopped by an error counts at the turn it stopped, as the odds
    // count it: turn 0 when a starting hit point overflows.
    const bool startFails = !startingHitPoints(leadingNumber(hp[0])).ok() ||
                            !startingHitPoints(leadingNumber(hp[1])).ok();
    long long finished = 0;
    BattleState state;
    auto countTurns = [&](int turns) {
        ++turnCounts[static_cast<std::size_t>(std::clamp(turns, 0, int{kMaxTurns}))];
        ++finished;
    };
    for (long long n = 1; n <= options.battles; ++n) {
        try {
            playSilentBattle(hp, agility, fighters, random, state);
            countTurns(state.turnCount);
            const bool standing[2] = {state.currentHp[0] >= 1, state.currentHp[1] >= 1};
            if (standing[0] && standing[1])
                ++capped;
            else if (standing[0] || standing[1])
                ++wins[standing[0] ? 0 : 1];
            else
                ++bothDown;
        } catch (const GameError& e) {
            err << "karnwick duel: battle " << n << ": " << e.what() << "\n";
            ++errors;
            countTurns(startFails ? 0 : state.turnCount + 1);
        }
    }

    auto row = [&](const std::string& label, long long count) {
        const double share = options.battles ? 100.0 * static_cast<double>(count) /
                                                   static_cast<double>(options.battles)
                                             : 0.0;
        char line[160];
        std::snprintf(line, sizeof line, "%-34s %10lld  %6.2f%%\n", label.c_str(), count, share);
        out << line;
    };
    out << "Battles: " << options.battles << "\n";
    row("Monster One wins (" + cli::shownInBox(fieldText(fighters[0].name)) + ")", wins[0]);
    row("Monster Two wins (" + cli::shownInBox(fieldText(fighters[1].name)) + ")", wins[1]);
    row("Ended by the 667-turn cap", capped);
    if (bothDown) row("Both fell at the start", bothDown);
    row("Stopped by a run-time error", errors);
    if (finished) {
        // The turn count at 0-based position `rank` of the sorted counts.
        auto turnsAt = [&](long long rank) {
            long long seen = 0;
            for (std::size_t t = 0; t < turnCounts.size(); ++t) {
                seen += turnCounts[t];
                if (seen > rank) return static_cast<int>(t);
            }
            return static_cast<int>(kMaxTurns);
        };
        long long sum = 0;
        int largest = 0;
        for (std::size_t t = 0; t < turnCounts.size(); ++t) {
            sum += static_cast<long long>(t) * turnCounts[t];
            if (turnCounts[t]) largest = static_cast<int>(t);
        }
        const long long mid = finished / 2;
        const double median = finished % 2 ? turnsAt(mid) : (turnsAt(mid - 1) + turnsAt(mid)) / 2.0;
        char line[160];
        std::snprintf(line, sizeof line, "Turns: mean %.2f, median %g, largest %d\n",
                      static_cast<double>(sum) / static_cast<double>(finished), median, largest);
        out << line;
    }
    return errors ? cli::kExitFound : cli::kExitSuccess;
}

}  // namespace

int runDuelCommand(const QStringList& arguments, std::ostream& out, std::ostream& err) {
    const auto parsed = parseOptions(arguments, out, err);
    if (const int* status = std::get_if<int>(&parsed)) return *status;
    const DuelOptions& options = std::get<DuelOptions>(parsed);

    Fighters fighters{};
    try {
        for (int side = 0; side < 2; ++side) {
            loadMonsterStats(options.monsters[side], fighters[side], options.dir / kStatsFileName);
            applyRecordOverrides(options.overrides, options.monsters[side], fighters[side]);
        }
    } catch (const GameError& e) {
        err << "karnwick duel: " << e.what() << "\n";
        return cli::kExitFailure;
    }
    return options.summary ? playSummary(options, fighters, out, err)
                           : playWithLogs(options, fighters, out, err);
}
