#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <sstream>

#include "battle/battle.h"
#include "battle/odds.h"
#include "command_run.h"
#include "demo/set.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::GameFolder;

namespace {

using karnwick::testing::CommandRun;

// Through the dispatcher, which reports a failure the command throws.
constexpr auto& run = karnwick::testing::runKarnwick;

// The first dozen monsters of the demo set, enough for every kind of pair
// and quick to tabulate.
struct DemoFolder : GameFolder {
    static constexpr int kCount = 12;
    std::vector<MonsterStats> monsters = makeDemoMonsters();
    DemoFolder() {
        monsters.resize(kCount);
        writeRecords(monsters);
        write("monster.dat", std::string(kCount * 9000, '\0'));
    }
};

}  // namespace

// Battles played by the engine land within a 99.9% interval of the exact odds.
TEST(OddsCommand, AgreesWithPlayedBattles) {
    const std::vector<MonsterStats> demo = makeDemoMonsters();
    const int pairs[][2] = {{0, 1}, {20, 20}, {9, 11}, {45, 48}};
    constexpr int kBattles = 40000;
    constexpr double kZ = 3.29;
    for (const auto& [a, b] : pairs) {
        SCOPED_TRACE(std::to_string(a) + " against " + std::to_string(b));
        const Fighters fighters{demo[a], demo[b]};
        const BattleOdds odds = battleOdds(fighters);
        double square = 0;
        for (int t = 1; t <= kMaxTurns; ++t) square += t * t * odds.turns[t - 1];
        const double turnSpread = std::sqrt(square - odds.meanTurns * odds.meanTurns);

        Pcg32 random(1000 + a * 57 + b);
        const std::array<std::string, 2> hp{panelHpText(demo[a]), panelHpText(demo[b])};
        const std::array<std::string, 2> agility{panelAgilityText(demo[a]),
                                                 panelAgilityText(demo[b])};
        double oneWins = 0, twoWins = 0, turns = 0;
        for (int n = 0; n < kBattles; ++n) {
            const BattleState s = playSilentBattle(hp, agility, fighters, random);
            oneWins += s.currentHp[1] < 1;
            twoWins += s.currentHp[0] < 1;
            turns += s.turnCount;
        }
        for (const auto& [count, p] : {std::pair{oneWins, odds.oneWins}, {twoWins, odds.twoWins}})
            EXPECT_NEAR(count / kBattles, p, kZ * std::sqrt(p * (1 - p) / kBattles) + 1e-9);
        EXPECT_NEAR(turns / kBattles, odds.meanTurns, kZ * turnSpread / std::sqrt(kBattles));
    }
}

TEST(OddsCommand, ReportsAndSetChangesOneRunOnly) {
    DemoFolder folder;
    const CommandRun text = run("odds", {"0", "1"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("Monster One wins (Grubnik   )        10.25%\n"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("Turns: mean 14.06, median 14\n"), std::string::npos) << text.out;

    // The last monster at 1 HP falls to Monster 0's first hit that lands.
    const CommandRun changed = run("odds", {"0", "11", "--json", "--set", "11.hp=1"});
    ASSERT_EQ(changed.status, 0) << changed.err;
    MonsterStats weak = folder.monsters[11];
    weak.hp = 1;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(changed.out)).object();
    EXPECT_EQ(o.keys(), (QStringList{"bothFell", "error", "hpLeft", "meanTurns", "one", "oneWins",
                                     "turnCap", "turns", "two", "twoWins"}));
    // Each side's hit points at the end as [hp, chance] pairs, rising, the
    // weak Monster Two at 1 at most, Monster One at its 39 at most.
    for (const auto& [side, highest] : {std::pair{"one", 39}, {"two", 1}}) {
        const QJsonArray left = o["hpLeft"][side].toArray();
        ASSERT_FALSE(left.isEmpty()) << side;
        double sum = 0;
        for (qsizetype i = 0; i < left.size(); ++i) {
            sum += left[i][1].toDouble();
            if (i > 0) {
                EXPECT_LT(left[i - 1][0].toInt(), left[i][0].toInt()) << side;
            }
        }
        EXPECT_LE(left.last()[0].toInt(), highest) << side;
        EXPECT_NEAR(sum, 1.0, 1e-12) << side;
    }
    EXPECT_EQ(o["turns"].toArray().size(), kMaxTurns);
    EXPECT_EQ(o["oneWins"].toDouble(), battleOdds({folder.monsters[0], weak}).oneWins);
    // Files are left alone, and duel plays the changed record too.
    EXPECT_NE(run("odds", {"0", "11", "--json"}).out, changed.out);
    const CommandRun duel = run("duel", {"0", "1", "--set", "0.level=100", "--set", "1.level=3"});
    EXPECT_EQ(duel.status, 1);
    EXPECT_NE(duel.err.find("division by zero"), std::string::npos) << duel.err;

    // A name of NUL bytes is shown as the arena's box shows it, in blanks.
    folder.monsters[2].name.fill(0);
    folder.writeRecords(folder.monsters);
    const CommandRun nameless = run("odds", {"2", "0"});
    EXPECT_EQ(nameless.out.find('\0'), std::string::npos);
    EXPECT_NE(nameless.out.find("Monster One wins (          )"), std::string::npos)
        << nameless.out;
}

// Index ranges, --dir and unwritable --png files are tabled for every command
// in command_line_test.cpp and file_outputs_test.cpp.
TEST(OddsCommand, UsageErrors) {
    DemoFolder folder;
    const char *odds = "odds", *matrix = "matrix";
    const struct {
        const char* command;
        QStringList args;
        const char* message;
    } wrong[] = {
        {odds, {"0"}, "karnwick odds: expected two monster indexes, A and B"},
        {odds,
         {"0", "1", "--set", "1.hp"},
         "karnwick odds: --set \"1.hp\": expected INDEX.FIELD=VALUE, e.g. 3.hp=120\n"},
        {odds,
         {"0", "1", "--set", "12.hp=5"},
         "karnwick odds: --set \"12.hp=5\": monster \"12\" is not a monster index"},
        {odds,
         {"0", "1", "--set", "1.name=5"},
         "unknown field \"name\"; the fields are hp, level,"},
        {odds,
         {"0", "1", "--set", "1.hp=32768"},
         "the value \"32768\" is not a whole number from -32768 to 32767\n"},
        {matrix, {"--csv", "--json"}, "--csv and --json exclude each other"},
        {matrix, {"--threads", "0"}, "--threads takes a whole number from 1 to 1024"},
        {matrix, {"7"}, "unexpected argument \"7\""},
    };
    for (const auto& w : wrong) {
        SCOPED_TRACE(w.args.join(' ').toStdString());
        const CommandRun r = run(w.command, w.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(w.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(MatrixCommand, SameOutputOnAnyThreadsAndAsOdds) {
    DemoFolder folder;
    const CommandRun one = run("matrix", {"--csv", "--threads", "1"});
    const CommandRun two = run("matrix", {"--csv", "--threads", "2", "--png", "map.png"});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out, two.out);

    // Row "9,11" holds what odds says for 9 against 11.
    const BattleOdds odds = battleOdds({folder.monsters[9], folder.monsters[11]});
    std::istringstream rows(one.out);
    std::string row;
    std::getline(rows, row);
    EXPECT_EQ(row, "one,two,oneWins,twoWins,bothFell,turnCap,error,meanTurns");
    int count = 0;
    while (std::getline(rows, row)) {
        ++count;
        if (row.rfind("9,11,", 0) == 0) {
            EXPECT_EQ(std::stod(row.substr(5)), odds.oneWins) << row;
            // odds --csv prints the same header and row for the one pair.
            EXPECT_EQ(run("odds", {"9", "11", "--csv"}).out,
                      "one,two,oneWins,twoWins,bothFell,turnCap,error,meanTurns\n" + row + "\n");
        }
    }
    EXPECT_EQ(count, DemoFolder::kCount * DemoFolder::kCount);

    EXPECT_FALSE(QImage("map.png").isNull());

    // The ranking: every monster once, best first.
    const CommandRun ranking = run("matrix", {});
    EXPECT_EQ(std::count(ranking.out.begin(), ranking.out.end(), '\n'), DemoFolder::kCount + 1);
    EXPECT_EQ(ranking.out.rfind("Rank  Monster  Name        Mean chance of winning\n", 0), 0u);
}
