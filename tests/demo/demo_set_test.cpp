#include "demo/set.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "battle/battle.h"
#include "data/sprite.h"

namespace karnwick {
namespace {

uint64_t fnv1a(std::span<const unsigned char> bytes) {
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char b : bytes) h = (h ^ b) * 1099511628211ULL;
    return h;
}

const DemoSet& demoSet() {
    static const DemoSet set = makeDemoSet();
    return set;
}

std::string contentsOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Another process (other addresses, other memory) writes the same bytes.
TEST(DemoSet, IsTheSameOnEveryRunWithFiftySevenFullSizeMonsters) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("karnwick-demo-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    const std::string command =
        std::string(KARNWICK_BINARY) + " demo-data " + dir.string() + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // check finds nothing (it exits 1 on any problem): no level that bleeds
    // into the next colour, no level 100, no special attack that never comes,
    // no NUL in a name.
    const std::string check =
        std::string(KARNWICK_BINARY) + " check --dir " + dir.string() + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(check.c_str()), 0);
    EXPECT_EQ(contentsOf(dir / "mypal.pal"), demoSet().palette);
    const std::string sprites = contentsOf(dir / "monster.dat");
    const std::string records = contentsOf(dir / "monsters.tat");
    std::filesystem::remove_all(dir);
    auto bytes = [](const std::vector<unsigned char>& v) {
        return std::string(v.begin(), v.end());
    };
    EXPECT_TRUE(sprites == bytes(demoSet().sprites));
    EXPECT_TRUE(records == bytes(demoSet().records));
    // Pinned, so that a change to the demo set is always a deliberate one.
    const std::string& palette = demoSet().palette;
    EXPECT_EQ(fnv1a({reinterpret_cast<const unsigned char*>(palette.data()), palette.size()}),
              2336920114599337895ULL);
    EXPECT_EQ(fnv1a(demoSet().sprites), 13697047514286254083ULL);
    EXPECT_EQ(fnv1a(demoSet().records), 14282135736670716060ULL);
}

// Every ordered pair fights three battles in a row from the arena's fixed
// random start: most last 4 to 40 turns,
// and bosses beat ordinary monsters far more often than not.
TEST(DemoSet, BattlesAreOfUsualLengthAndBossesWin) {
    const std::vector<MonsterStats> monsters = makeDemoMonsters();
    ASSERT_EQ(monsters.size(), std::size_t(kDemoMonsterCount));
    Pcg32 random;
    int battles = 0, usualLength = 0, bossWins = 0, bossFights = 0;
    for (int a = 0; a < kDemoMonsterCount; ++a) {
        for (int b = 0; b < kDemoMonsterCount; ++b) {
            const Fighters fighters{monsters[a], monsters[b]};
            for (int k = 0; k < 3; ++k) {
                // A run-time error throws; that no pair can err is held by
                // check on this set (above).
                const BattleState state =
                    playSilentBattle({panelHpText(monsters[a]), panelHpText(monsters[b])},
                                     {panelAgilityText(monsters[a]), panelAgilityText(monsters[b])},
                                     fighters, random);
                ++battles;
                usualLength += state.turnCount >= 4 && state.turnCount <= 40;
                if (a >= kDemoFirstBoss && b < kDemoFirstBoss) {
                    ++bossFights;
                    bossWins += state.currentHp[0] > 0 && state.currentHp[1] <= 0;
                }
            }
        }
    }
    EXPECT_GT(usualLength * 100 / battles, 80);
    EXPECT_GT(bossWins * 100 / bossFights, 80);
}

}  // namespace
}  // namespace karnwick
