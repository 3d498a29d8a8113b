#include "tools/duel_command.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "battle/battle.h"
#include "data/errors.h"
#include "data/sprite.h"
#include "tools/record_overrides.h"

using namespace karnwick;

namespace {

struct DuelOptions {
    int16_t monsters[2] = {0, 0};
    long long battles = 1;
    uint64_t seed = Pcg32::kDefaultState;
    bool json = false;
    bool summary = false;
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
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Plays battles between monster A (Monster One) and monster B (Monster Two) of the game\n"
        "files in the current directory, exactly as the arena would after a fresh start.");
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
    const QCommandLineOption helpOption({"h", "help"}, "Show this help.");
    parser.addOptions({battlesOption, jsonOption, summaryOption, seedOption, setOption, helpOption});

    if (!parser.parse(QStringList{"karnwick duel"} + arguments)) {
        err << "karnwick duel: " << parser.errorText().toStdString() << "\n";
        return 2;
    }
    if (parser.isSet(helpOption)) {
        out << parser.helpText().toStdString();
        return 0;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2) {
        err << "karnwick duel: expected two monster indexes, A and B (see --help)\n";
        return 2;
    }
    if (parser.isSet(jsonOption) && parser.isSet(summaryOption)) {
        err << "karnwick duel: --json and --summary exclude each other\n";
        return 2;
    }

    DuelOptions options;
    options.json = parser.isSet(jsonOption);
    options.summary = parser.isSet(summaryOption);
    bool ok = false;
    options.battles = parser.value(battlesOption).toLongLong(&ok);
    if (!ok || options.battles < 0) {
        err << "karnwick duel: --battles takes a whole number of 0 or more, not \""
            << parser.value(battlesOption).toStdString() << "\"\n";
        return 2;
    }
    if (parser.isSet(seedOption)) {
        options.seed = parser.value(seedOption).toULongLong(&ok);
        if (!ok) {
            err << "karnwick duel: --seed takes a whole number of 0 or more, not \""
                << parser.value(seedOption).toStdString() << "\"\n";
            return 2;
        }
    }

    int16_t last;
    try {
        last = countMonsters();
    } catch (const GameError& e) {
        err << "karnwick duel: " << e.what() << "\n";
        return 2;
    }
    for (int side = 0; side < 2; ++side) {
        const int index = positional[side].toInt(&ok);
        if (!ok || index < 0 || index > last) {
            err << "karnwick duel: monster \"" << positional[side].toStdString() << "\" is not ";
            if (last < 0)
                err << "in monster.dat, which holds no monsters\n";
            else
                err << "a monster index: the valid range is 0.." << last << "\n";
            return 2;
        }
        options.monsters[side] = static_cast<int16_t>(index);
    }
    auto overrides = parseRecordOverrides(parser.values(setOption), last);
    if (const auto* message = std::get_if<std::string>(&overrides)) {
        err << "karnwick duel: " << *message << "\n";
        return 2;
    }
    options.overrides = std::move(std::get<std::vector<RecordOverride>>(overrides));
    return options;
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
    std::vector<int16_t> turns;
    turns.reserve(static_cast<std::size_t>(std::min(options.battles, 10'000'000LL)));
    for (long long n = 1; n <= options.battles; ++n) {
        try {
            const BattleState state = playSilentBattle(hp, agility, fighters, random);
            turns.push_back(state.turnCount);
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
        }
    }

    auto row = [&](const std::string& label, long long count) {
        const double share = options.battles ? 100.0 * count / options.battles : 0.0;
        char line[160];
        std::snprintf(line, sizeof line, "%-34s %10lld  %6.2f%%\n", label.c_str(), count, share);
        out << line;
    };
    out << "Battles: " << options.battles << "\n";
    row("Monster One wins (" + fieldText(fighters[0].name) + ")", wins[0]);
    row("Monster Two wins (" + fieldText(fighters[1].name) + ")", wins[1]);
    row("Ended by the 667-turn cap", capped);
    if (bothDown) row("Both fell at the start", bothDown);
    row("Stopped by a run-time error", errors);
    if (!turns.empty()) {
        long long sum = 0;
        for (const int16_t t : turns) sum += t;
        std::sort(turns.begin(), turns.end());
        const std::size_t mid = turns.size() / 2;
        const double median = turns.size() % 2 ? turns[mid] : (turns[mid - 1] + turns[mid]) / 2.0;
        char line[160];
        std::snprintf(line, sizeof line, "Turns: mean %.2f, median %g, largest %d\n",
                      static_cast<double>(sum) / turns.size(), median, turns.back());
        out << line;
    }
    return errors ? 1 : 0;
}

}  // namespace

int runDuelCommand(const QStringList& arguments, std::ostream& out, std::ostream& err) {
    const auto parsed = parseOptions(arguments, out, err);
    if (const int* status = std::get_if<int>(&parsed)) return *status;
    const DuelOptions& options = std::get<DuelOptions>(parsed);

    Fighters fighters{};
    try {
        for (int side = 0; side < 2; ++side) {
            loadMonsterStats(options.monsters[side], fighters[side]);
            applyRecordOverrides(options.overrides, options.monsters[side], fighters[side]);
        }
    } catch (const GameError& e) {
        err << "karnwick duel: " << e.what() << "\n";
        return 2;
    }
    return options.summary ? playSummary(options, fighters, out, err)
                           : playWithLogs(options, fighters, out, err);
}
