#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <sstream>

#include "battle/battle.h"
#include "command_run.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::GameFolder;
using karnwick::testing::saneMonster;

namespace {

using DuelRun = karnwick::testing::CommandRun;

DuelRun duel(const QStringList& arguments) {
    return karnwick::testing::runKarnwick("duel", arguments);
}

// Three monsters; the third divides by zero whenever it attacks or defends.
struct DuelFolder : GameFolder {
    Fighters pair{saneMonster("Rat", 25, 7), saneMonster("Bat", 20, 7)};
    DuelFolder() {
        MonsterStats broken = saneMonster("Broken", 10, 1);
        broken.level = 100;
        writeRecords({pair[0], pair[1], broken});
        write("monster.dat", std::string(3 * 9000, '\0'));
    }
};

std::string withoutCarriageReturns(std::string s) {
    std::erase(s, '\r');
    return s;
}

}  // namespace

TEST(Duel, PlaysWhatTheArenaPlaysAfterAFreshStart) {
    DuelFolder folder;
    const DuelRun run = duel({"0", "1", "--battles", "3"});
    ASSERT_EQ(run.status, 0) << run.err;

    Pcg32 random;
    std::string expected;
    std::vector<int> winners;
    for (int n = 0; n < 3; ++n) {
        BattleLog log;
        BattleState state;
        runBattle({{"25", "20"}, {"7", "7"}}, folder.pair, random, log, state);
        expected += withoutCarriageReturns(log.text) + "Current HP: " + *log.currentHpText(0) +
                    " " + *log.currentHpText(1) + "\n";
        winners.push_back(state.currentHp[0] >= 1 ? 1 : 2);
    }
    EXPECT_EQ(run.out, expected);
    EXPECT_TRUE(run.err.empty());

    // The same battles as JSON name the side left standing.
    std::istringstream lines(duel({"0", "1", "--battles", "3", "--json"}).out);
    std::string line;
    for (const int winner : winners) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(line))["winner"].toInt(),
                  winner);
    }
    // A battle stopped by an error has no winner, and its line says where it
    // stopped (the messages themselves are battle_test.cpp's).
    const DuelRun broken = duel({"0", "2", "--json"});
    EXPECT_EQ(broken.status, 1);
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(broken.out)).object();
    EXPECT_TRUE(o["winner"].isNull());
    EXPECT_TRUE(
        o["log"].toString().startsWith("Monster 1 Goes first \r\nRat       attacks Broken"));
    EXPECT_EQ(o["error"].toString(),
              "turn 1, Monster One attacking: division by zero in the defence value");
}

TEST(Duel, SummaryCountsEveryBattle) {
    DuelFolder folder;
    const DuelRun run = duel({"0", "1", "--summary", "--battles", "500", "--seed", "7"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Battles: 500\n"), std::string::npos) << run.out;
    // The seeded battles are the engine's own, counted side by side.
    Pcg32 random(7);
    long long wins = 0;
    std::vector<int> turns;
    for (int n = 0; n < 500; ++n) {
        const BattleState b = playSilentBattle({"25", "20"}, {"7", "7"}, folder.pair, random);
        wins += b.currentHp[1] < 1 && b.currentHp[0] >= 1;
        turns.push_back(b.turnCount);
    }
    EXPECT_NE(run.out.find("Monster One wins (Rat       ) "), std::string::npos);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%10lld  %6.2f%%", wins,
                  static_cast<double>(wins) / 5.0);
    EXPECT_NE(run.out.find(expected), std::string::npos) << run.out;
    // The median of an even count is the mean of the middle two: here of the
    // first four battles.
    std::sort(turns.begin(), turns.begin() + 4);
    std::snprintf(expected, sizeof expected, ", median %g, largest %d\n",
                  (turns[1] + turns[2]) / 2.0, turns[3]);
    const DuelRun four = duel({"0", "1", "--summary", "--battles", "4", "--seed", "7"});
    EXPECT_NE(four.out.find(expected), std::string::npos) << expected << four.out;
    // Battles stopped by an error are counted, named on stderr, and found; they
    // count at the turn they stopped, as the odds do.
    const DuelRun broken = duel({"0", "2", "--summary", "--battles", "3"});
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.out.find("Stopped by a run-time error                 3  100.00%"),
              std::string::npos)
        << broken.out;
    EXPECT_EQ(std::count(broken.err.begin(), broken.err.end(), '\n'), 3);
    EXPECT_NE(broken.out.find("Turns: mean 1.00, median 1, largest 1\n"), std::string::npos);
    // A name of NUL bytes shows as the arena's box shows it: blanks.
    folder.pair[0].name.fill('\0');
    folder.writeRecords({folder.pair[0], folder.pair[1]});
    EXPECT_NE(duel({"0", "1", "--summary"}).out.find("Monster One wins (          ) "),
              std::string::npos);
}
