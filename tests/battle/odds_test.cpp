#include <gtest/gtest.h>

#include <cmath>

#include "battle/battle.h"
#include "battle/hit_convolution.h"
#include "battle/odds.h"
#include "demo/set.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::setField;

namespace {

// Always the normal attack, for exactly `damage` against a defender of
// defense 0: level 0 and strength 0 make the attack value the roll itself.
MonsterStats striker(int16_t hp, int16_t agility, int16_t damage) {
    MonsterStats s;
    setField(s.name, "Striker");
    s.hp = hp, s.agility = agility;
    s.offMin = damage, s.offMax = damage;
    return s;
}

}  // namespace

TEST(Odds, BoxTextsDecideStartAndOpener) {
    const Fighters f{striker(10, 1, 10), striker(10, 1, 10)};
    // One opens on the agility texts, whatever the records say.
    EXPECT_NEAR(battleOdds(f, {"10", "10"}, {"7", "6.5"}).oneWins, 1.0, 1e-12);
    // A starting HP beyond 16 bits stops the battle before its first turn.
    const BattleOdds overflow = battleOdds(f, {"40000", "10"}, {"1", "1"});
    EXPECT_EQ(overflow.error, 1.0);
    EXPECT_EQ(overflow.meanTurns, 0.0);
    EXPECT_EQ(medianTurns(overflow), 0);
}

// Rounding never carries a reported chance past 1 or below 0, nor the mean
// past the turn cap, and the five chances of a pair still sum to 1.
TEST(Odds, ReportedNumbersStayWithinWhatCanHappen) {
    std::vector<OutcomeOdds> all = oddsMatrix(makeDemoMonsters(), 2);
    // Hits for nothing until the cap: every battle lasts 667 turns.
    all.push_back(battleOdds({striker(10, 2, 0), striker(10, 1, 0)}));
    EXPECT_EQ(all.back().turnCap, 1.0);
    EXPECT_EQ(all.back().meanTurns, double{kMaxTurns});
    for (std::size_t i = 0; i < all.size(); ++i) {
        const OutcomeOdds& o = all[i];
        double sum = 0;
        for (const double chance : {o.oneWins, o.twoWins, o.bothFell, o.turnCap, o.error}) {
            EXPECT_TRUE(chance >= 0.0 && chance <= 1.0) << "pair " << i << ": " << chance;
            sum += chance;
        }
        EXPECT_NEAR(sum, 1.0, 1e-12) << "pair " << i;
        EXPECT_LE(o.meanTurns, kMaxTurns) << "pair " << i;
    }
}

TEST(Odds, TransformAgreesWithDirectSums) {
    // Hits of 1 to 1999 with uneven chances on 3000 hit points, several hits.
    std::vector<AttackOutcomes::Hit> hits;
    double total = 0;
    for (int d = 1; d < 2000; d += 1 + d % 3) {
        hits.push_back({d, 1.0 + (d % 7)});
        total += 1.0 + (d % 7);
    }
    const int top = 3000;
    HitConvolution direct(hits, total, HitConvolution::Method::Direct);
    HitConvolution transform(hits, total, HitConvolution::Method::Transform);
    std::vector<double> a(top + 1, 0.0), b(top + 1, 0.0), na(top + 1), nb(top + 1);
    a[top] = b[top] = 1.0;
    int lo = top, hi = top;
    for (int k = 0; k < 6 && lo <= hi; ++k) {
        const auto [dLo, dHi] = direct.step(a, lo, hi, na);
        const auto [tLo, tHi] = transform.step(b, lo, hi, nb);
        ASSERT_EQ(dLo, tLo);
        ASSERT_EQ(dHi, tHi);
        double difference = 0;
        for (int h = dLo; h <= dHi; ++h) difference += std::fabs(na[h] - nb[h]);
        EXPECT_LT(difference, 1e-13) << "after hit " << k + 1;
        std::swap(a, na), std::swap(b, nb);
        lo = dLo, hi = dHi;
    }
}

// Battles played by the engine land within a 99.9% interval of the exact odds.
TEST(Odds, AgreeWithPlayedBattles) {
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

// Rows made a band at a time are the rows of the whole matrix, whatever
// the band.
TEST(Odds, MatrixBandsMatchTheWholeMatrix) {
    std::vector<MonsterStats> monsters = makeDemoMonsters();
    monsters.resize(5);
    const std::vector<OutcomeOdds> whole = oddsMatrix(monsters, 2);
    for (const std::size_t band : {1u, 2u, 5u}) {
        for (std::size_t first = 0; first < monsters.size(); first += band) {
            const std::vector<OutcomeOdds> rows = oddsMatrixRows(monsters, first, band, 2);
            for (std::size_t i = 0; i < rows.size(); ++i) {
                const OutcomeOdds& a = rows[i];
                const OutcomeOdds& b = whole[first * monsters.size() + i];
                EXPECT_TRUE(a.oneWins == b.oneWins && a.twoWins == b.twoWins &&
                            a.bothFell == b.bothFell && a.turnCap == b.turnCap &&
                            a.error == b.error && a.meanTurns == b.meanTurns)
                    << "band " << band << ", pair " << first * monsters.size() + i;
            }
        }
    }
}
