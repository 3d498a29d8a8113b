// The fast odds held to the exact enumerator over every class of record: both
// orders of the pair, and each side opening.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "battle/hit_points_left.h"
#include "battle/odds.h"
#include "tests/battle/exact_battle.h"

using namespace karnwick;
using karnwick::testing::exactBattleOdds;
using karnwick::testing::ExactOdds;

namespace {

// The fields a row sets; every other field is 0. The default is a plain
// fighter: hp 10, only the normal attack, for 1 to 2 damage.
struct Sketch {
    int16_t hp = 10, level = 0, agility = 5, strength = 0;
    int16_t sp1Threshold = 0, sp2Threshold = 0;
    int16_t offMin = 1, offMax = 3, sp1Min = 0, sp1Max = 0, sp2Min = 0, sp2Max = 0;
    int16_t defense = 0, mpower = 0, magicFlag = 0;
};

MonsterStats record(const Sketch& s) {
    MonsterStats m;
    m.hp = s.hp, m.level = s.level, m.agility = s.agility, m.strength = s.strength;
    m.sp1Threshold = s.sp1Threshold, m.sp2Threshold = s.sp2Threshold;
    m.offMin = s.offMin, m.offMax = s.offMax, m.sp1Min = s.sp1Min, m.sp1Max = s.sp1Max;
    m.sp2Min = s.sp2Min, m.sp2Max = s.sp2Max;
    m.defense = s.defense, m.mpower = s.mpower, m.magicFlag = s.magicFlag;
    return m;
}

struct Row {
    const char* what;
    Sketch a, b;
};

void expectSameOdds(const Fighters& f) {
    const BattleOdds fast = battleOdds(f);
    const ExactOdds exact = exactBattleOdds(f);
    EXPECT_NEAR(fast.oneWins, exact.oneWins.get_d(), 1e-12);
    EXPECT_NEAR(fast.twoWins, exact.twoWins.get_d(), 1e-12);
    EXPECT_NEAR(fast.bothFell, exact.bothFell.get_d(), 1e-12);
    EXPECT_NEAR(fast.turnCap, exact.turnCap.get_d(), 1e-12);
    EXPECT_NEAR(fast.error, exact.error.get_d(), 1e-12);
    EXPECT_NEAR(fast.meanTurns, exact.meanTurns.get_d(),
                1e-12 * std::max(1.0, exact.meanTurns.get_d()));
    for (std::size_t t = 0; t < fast.turns.size(); ++t)
        EXPECT_NEAR(fast.turns[t], exact.turns[t].get_d(), 1e-12) << "turn " << t + 1;

    // Each side's hit points at the end: rising, summing to 1, each chance
    // the enumerator's.
    const HitPointsLeft left = hitPointsLeft(f);
    for (int side = 0; side < 2; ++side) {
        SCOPED_TRACE(side == 0 ? "Monster One's hit points left" : "Monster Two's hit points left");
        std::map<int16_t, double> chances;
        double sum = 0;
        for (std::size_t i = 0; i < left[side].size(); ++i) {
            if (i > 0) {
                EXPECT_LT(left[side][i - 1].hitPoints, left[side][i].hitPoints);
            }
            chances[left[side][i].hitPoints] = left[side][i].chance;
            sum += left[side][i].chance;
        }
        EXPECT_NEAR(sum, exact.hpLeft[side].empty() ? 0.0 : 1.0, 1e-12);
        for (const auto& [hp, chance] : exact.hpLeft[side])
            EXPECT_NEAR(chances[hp], chance.get_d(), 1e-12) << "at " << hp << " hit points";
        for (const auto& [hp, chance] : chances)
            EXPECT_TRUE(exact.hpLeft[side].contains(hp)) << hp << " hit points at " << chance;
    }
}

}  // namespace

TEST(ExactOdds, EveryClassOfRecordBothOrdersBothOpeners) {
    // clang-format off
    const Row rows[] = {
        {"uneven hits over several turns",
         {.hp = 12, .strength = 20, .offMin = 1, .offMax = 6, .defense = 1},
         {.hp = 9, .agility = 2, .offMin = 0, .offMax = 4}},
        {"hp 0", {.hp = 0}, {}},
        {"fallen opener against a survivor hitting 0 to 19",
         {.hp = -5, .agility = 10, .offMin = 0, .offMax = 20}, {.offMin = 0, .offMax = 20}},
        {"fallen at -32768 against hits that would overflow it",
         {.hp = -32768, .agility = 9}, {.offMin = 5, .offMax = 7}},
        {"both fallen", {.hp = 0}, {.hp = -3}},
        {"16-bit top of hp, killed to exactly 0",
         {.hp = 32767, .offMin = 32767, .offMax = 32767},
         {.hp = 32767, .agility = 4, .offMin = 32766, .offMax = 32767}},
        {"agility tie", {.hp = 6, .agility = 3}, {.hp = 5, .agility = 3, .offMin = 0, .offMax = 4}},
        {"level 100", {.level = 100}, {}},
        {"fallen under an attack that always fails", {.hp = -2, .agility = 1}, {.level = 100}},
        {"level 100 against an overflowing range", {.level = 100}, {.offMin = -30000, .offMax = 30000}},
        {"level above 100 turns the signs over",
         {.level = 150, .strength = 40, .offMin = -4, .offMax = 2},
         {.hp = 6, .level = 120, .offMin = -3, .offMax = -1}},
        {"negative, zero and one-value spans",
         {.hp = 8, .sp1Threshold = 30, .sp2Threshold = 70, .offMin = 4, .offMax = 1,
          .sp1Min = 2, .sp1Max = 2, .sp2Min = 3, .sp2Max = 4},
         {.hp = 7, .offMin = 3, .offMax = -1}},
        {"a special attack with an overflowing span",
         {.sp1Threshold = 40, .sp1Min = -20000, .sp1Max = 20000}, {.hp = 4}},
        {"threshold edges: sp1 never, sp2 on 2 to 99",
         {.hp = 7, .sp1Threshold = 1, .sp2Threshold = 100, .offMin = 9, .offMax = 9,
          .sp2Min = 1, .sp2Max = 3},
         {.hp = 6, .sp1Threshold = 101, .sp2Threshold = 101, .sp1Min = 0, .sp1Max = 3}},
        {"threshold edges: a roll at sp1 is normal, sp2 one above never",
         {.sp1Threshold = 50, .sp2Threshold = 51, .offMin = 0, .offMax = 2, .sp1Min = 3,
          .sp1Max = 5, .sp2Min = 20, .sp2Max = 20},
         {.hp = 5, .sp1Threshold = -5, .sp2Threshold = 0}},
        {"magic specials against mpower, the normal attack on two runs of rolls",
         {.hp = 9, .sp1Threshold = 60, .sp2Threshold = 80, .offMin = 1, .offMax = 2,
          .sp1Min = 1, .sp1Max = 4, .sp2Min = 2, .sp2Max = 2, .mpower = 50, .magicFlag = 1},
         {.hp = 9, .agility = 200, .sp1Threshold = 60, .sp1Min = 1, .sp1Max = 4, .mpower = -60}},
        {"damage beyond 32 bits",
         {.level = 99, .strength = 32767, .offMin = 32766, .offMax = 32767},
         {.level = 99, .agility = 32767, .defense = -32768}},
        {"hit points beyond 16 bits",
         {.hp = 1, .level = 50, .offMin = 10930, .offMax = 10931},
         {.hp = 50, .agility = 1, .offMin = 4, .offMax = 9}},
        {"a kill on half of the rolls, the cap after 2^-334",
         {.sp1Threshold = 51, .offMin = 0, .offMax = 0, .sp1Min = 10, .sp1Max = 10},
         {.agility = 1, .offMin = 0, .offMax = 0}},
        {"hits for no damage until the cap",
         {.offMin = 0, .offMax = 0}, {.agility = 1, .offMin = 0, .offMax = 1}},
        {"rare hits, some battles reach the cap",
         {.hp = 3, .offMin = 0, .offMax = 2, .defense = 2},
         {.hp = 2, .offMin = 1, .offMax = 5, .defense = 3}},
    };
    // clang-format on
    for (const Row& row : rows) {
        for (const bool swapAgility : {false, true}) {
            Fighters f{record(row.a), record(row.b)};
            if (swapAgility) std::swap(f[0].agility, f[1].agility);
            for (const bool swapOrder : {false, true}) {
                SCOPED_TRACE(std::string(row.what) + (swapAgility ? ", agilities swapped" : "") +
                             (swapOrder ? ", order swapped" : ""));
                expectSameOdds(swapOrder ? Fighters{f[1], f[0]} : f);
            }
        }
    }
}
