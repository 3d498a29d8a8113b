#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>

#include "battle/battle.h"
#include "battle/hit_convolution.h"
#include "battle/hit_points_left.h"
#include "battle/odds.h"
#include "battle/odds_detail.h"
#include "battle/outcome_columns.h"
#include "battle/sweep.h"
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

// Monster One opens and fells Monster Two (1 hit point) with a roll of 1 on
// exactly half of its draws, and hits for nothing on the other half; then
// Two fells One (5 hit points) in turn 2. Every chance is exactly one half.
Fighters evenDuel() {
    MonsterStats one = striker(5, 2, 0);
    one.offMax = 2;
    return {one, striker(1, 1, 5)};
}

#ifdef KARNWICK_BINARY
// What `karnwick odds 0 1` prints for a game folder of these two fighters.
std::string printedOdds(const Fighters& fighters) {
    karnwick::testing::GameFolder folder;
    folder.writePalette();
    folder.writeSprites(2);
    folder.writeRecords({fighters[0], fighters[1]});
    const std::string command = std::string(KARNWICK_BINARY) + " odds 0 1 >odds.txt 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return karnwick::testing::readBytes("odds.txt");
}
#endif

}  // namespace

// At least half of the battles have ended by the median, and an exact half
// is enough: for the turns and for each side's hit points, as `odds` prints
// them.
TEST(Odds, TheMedianIsReachedAtAnExactHalf) {
    const Fighters duel = evenDuel();
    const BattleOdds odds = battleOdds(duel);
    EXPECT_EQ(odds.turns[0], 0.5);
    EXPECT_EQ(odds.turns[1], 0.5);
    EXPECT_EQ(medianTurns(odds), 1);
    const HitPointsLeft left = hitPointsLeft(duel);
    using Ends = std::vector<std::pair<int, double>>;
    for (int side = 0; side < 2; ++side) {
        Ends ends;
        for (const HitPointsChance& c : left[side]) ends.emplace_back(c.hitPoints, c.chance);
        EXPECT_EQ(ends, (side == 0 ? Ends{{0, 0.5}, {5, 0.5}} : Ends{{0, 0.5}, {1, 0.5}}));
    }

#ifdef KARNWICK_BINARY  // a build of the engine alone has no karnwick
    const std::string printed = printedOdds(duel);
    EXPECT_NE(printed.find("\nTurns: mean 1.50, median 1\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Hit points at the end      Mean   Median   Lowest   Highest\n"
                           "Monster One                2.50        0        0         5\n"
                           "Monster Two                0.50        0        0         1\n"),
              std::string::npos)
        << printed;
#endif
}

TEST(Odds, BoxTextsDecideStartAndOpener) {
    const Fighters f{striker(10, 1, 10), striker(10, 1, 10)};
    // One opens on the agility texts, whatever the records say.
    EXPECT_NEAR(battleOdds(f, {"10", "10"}, {"7", "6.5"}).oneWins, 1.0, 1e-12);
    // A starting HP beyond 16 bits stops the battle before its first turn.
    const BattleOdds overflow = battleOdds(f, {"40000", "10"}, {"1", "1"});
    EXPECT_EQ(overflow.error, 1.0);
    EXPECT_EQ(overflow.meanTurns, 0.0);
    EXPECT_EQ(medianTurns(overflow), 0);
    EXPECT_TRUE(hitPointsLeft(f, {"40000", "10"}, {"1", "1"})[0].empty());
}

// At the turn cap the opener has made 334 attacks and the other side 333:
// hits of 0 or 1, half each, on 1000 hit points leave each side where half
// the attacks it took put it, on average.
TEST(Odds, AtTheCapTheOpenerHasAttackedOnceMore) {
    MonsterStats one = striker(1000, 2, 0), two = striker(1000, 1, 0);
    one.offMax = two.offMax = 2;
    const BattleOdds odds = battleOdds({one, two});
    EXPECT_EQ(odds.turnCap, 1.0);
    const HitPointsLeft left = hitPointsLeft({one, two});
    const double expected[2] = {1000 - 333 / 2.0, 1000 - 334 / 2.0};
    for (int side = 0; side < 2; ++side) {
        double mean = 0;
        for (const HitPointsChance& c : left[side]) mean += c.hitPoints * c.chance;
        EXPECT_NEAR(mean, expected[side], 1e-9) << side;
    }
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

// A sweep gives, value by value, the odds of the record with that value set:
// hit points through 0 (where a side starts down) into the negatives, for
// either side or both (a monster against itself), another number, and a
// spare one, which changes nothing.
TEST(Sweep, EachValueHasTheOddsOfItsRecord) {
    const std::vector<MonsterStats> demo = makeDemoMonsters();
    struct Case {
        int one, two;
        int16_t MonsterStats::*field;
        std::array<bool, 2> sides;
        int16_t from, to;
        int step;
    };
    const Case cases[] = {
        {0, 1, &MonsterStats::hp, {true, false}, -3, 40, 1},
        {0, 1, &MonsterStats::hp, {false, true}, -2, 61, 3},
        {3, 3, &MonsterStats::hp, {true, true}, -1, 30, 2},
        {9, 11, &MonsterStats::offMax, {false, true}, -4, 20, 4},
        {9, 11, &MonsterStats::spare3, {true, false}, -1, 1, 1},
        {57, 58, &MonsterStats::hp, {false, true}, -1, 3, 1},
    };
    // Hits of 32768 and 32770 (twice a roll of 16384 or 16385 at strength
    // 100), half each, on a side of defense 0: from 1 hit point the first
    // fells, the second leaves 16 bits; from 2 both fell.
    std::vector<MonsterStats> all = demo;
    MonsterStats giant = striker(3, 9, 16384);
    giant.strength = 100, giant.offMax = 16386;
    all.push_back(giant);
    all.push_back(striker(5, 1, 1));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.one) + " against " + std::to_string(c.two) + " from " +
                     std::to_string(c.from));
        const Fighters fighters{all[c.one], all[c.two]};
        const SweepPlan plan{c.field, c.sides, sweepValues(c.from, c.to, c.step)};
        std::vector<std::size_t> progress;
        const std::vector<OutcomeOdds> swept =
            sweepOdds(fighters, plan, 3, [&](std::size_t done, std::size_t total) {
                EXPECT_EQ(total, plan.values.size());
                progress.push_back(done);
            });
        ASSERT_EQ(swept.size(), plan.values.size());
        EXPECT_EQ(progress.back(), plan.values.size());
        for (std::size_t i = 0; i < swept.size(); ++i) {
            Fighters changed = fighters;
            for (int side = 0; side < 2; ++side)
                if (c.sides[side]) changed[side].*c.field = plan.values[i];
            const BattleOdds expected = battleOdds(changed);
            const OutcomeOdds& got = swept[i];
            SCOPED_TRACE("value " + std::to_string(plan.values[i]));
            EXPECT_NEAR(got.oneWins, expected.oneWins, 1e-12);
            EXPECT_NEAR(got.twoWins, expected.twoWins, 1e-12);
            EXPECT_NEAR(got.bothFell, expected.bothFell, 1e-12);
            EXPECT_NEAR(got.turnCap, expected.turnCap, 1e-12);
            EXPECT_NEAR(got.error, expected.error, 1e-12);
            EXPECT_NEAR(got.meanTurns, expected.meanTurns, 1e-9);
        }
    }
}

// The swept values run to TO when a step lands on it and stop short when
// none does, right up to the last 16-bit number; the answers to a target are
// every value that comes equally close.
TEST(Sweep, ValuesAndAnswersAtTheirEnds) {
    using Values = std::vector<int16_t>;
    EXPECT_EQ(sweepValues(0, 9, 3), (Values{0, 3, 6, 9}));
    EXPECT_EQ(sweepValues(0, 10, 3), (Values{0, 3, 6, 9}));
    EXPECT_EQ(sweepValues(32760, 32767, 5), (Values{32760, 32765}));
    EXPECT_EQ(sweepValues(32765, 32767, 1), (Values{32765, 32766, 32767}));
    EXPECT_EQ(sweepValues(-32768, -32768, 1), (Values{-32768}));
    EXPECT_EQ(sweepValues(2, 4, 0), (Values{2, 3, 4}));
    EXPECT_EQ(sweepValues(5, 4, 1), Values{});

    auto odds = [](std::initializer_list<double> wins) {
        std::vector<OutcomeOdds> all;
        for (const double w : wins) all.push_back({w, 1.0 - w});
        return all;
    };
    using At = std::vector<std::size_t>;
    EXPECT_EQ(closestToTarget(odds({0.2, 0.4, 0.6, 0.4, 0.9}), 0.5), (At{1, 2, 3}));
    EXPECT_EQ(closestToTarget(odds({0.1, 0.3, 0.35}), 0.33), (At{2}));
    EXPECT_EQ(closestToTarget(odds({0.0, 1.0}), 1.0), (At{1}));
    EXPECT_EQ(closestToTarget(odds({0.1 + 0.2, 0.3, 0.4}), 0.3), (At{0, 1}));
    EXPECT_EQ(closestToTarget({}, 0.5), At{});

    // The same answers in the sentence the window's caption and the command
    // line both print.
    const Values five{10, 11, 12, 20, 21};
    EXPECT_EQ(targetAnswer(0.5, "hp", five, odds({0.4, 0.5, 0.5, 0.6, 0.5})),
              "Closest to 50.00%: Monster One wins 50.00% at each of 3 values of hp (a tie): "
              "11..12 and 21");
    EXPECT_EQ(targetAnswer(0.25, "agility", five, odds({0.1, 0.2, 0.35, 0.6, 0.9})),
              "Closest to 25.00%: Monster One wins 20.00% at agility 11");
    EXPECT_EQ(targetAnswer(0.5, "hp", {}, {}), "");
}

// The words every output takes from the one outcome table: the cap's from the
// rules, a rarer end named only when it happens, a chance that is there but
// rounds to none (or short of sure but rounds to all) said so, CSV keeping
// the full number; and a monster named by its index and its name as the
// statistics box shows it, pad blanks and NULs dropped.
TEST(OutcomeWords, SentencesLinesAndLabels) {
    EXPECT_EQ(outcomeColumn("turnCap").label,
              "Ended by the " + std::to_string(kMaxTurns) + "-turn cap");
    EXPECT_EQ(percentText(0.00004999), "<0.01%");
    EXPECT_EQ(percentText(0.00005), "0.01%");
    EXPECT_EQ(percentText(0.99994999), "99.99%");
    EXPECT_EQ(percentText(0.99995), ">99.99%");
    EXPECT_EQ(percentText(1.0), "100.00%");

    const OutcomeOdds plain{.oneWins = 0.25, .twoWins = 0.75, .meanTurns = 12.34};
    EXPECT_EQ(
        oddsSentence(plain),
        "Monster One wins 25.00% \u00b7 Monster Two wins 75.00% \u00b7 12.3 turns on average");
    const OutcomeOdds rare{
        .twoWins = 0.99999, .turnCap = 0.000001, .error = 0.000009, .meanTurns = 667};
    EXPECT_EQ(oddsSentence(rare),
              "Monster One wins 0.00% \u00b7 Monster Two wins >99.99% \u00b7 667-turn cap <0.01% "
              "\u00b7 run-time error <0.01% \u00b7 667.0 turns on average");
    EXPECT_EQ(pairCsvHeader() + pairCsvLine(3, 5, rare),
              "one,two,oneWins,twoWins,bothFell,turnCap,error,meanTurns\n"
              "3,5,0,0.99999,0,1e-06,9e-06,667\n");
    EXPECT_EQ(sweepCsvLine(-7, plain), "-7,0.25,0.75,0,0,0,12.34\n");

    MonsterStats orc;
    setField(orc.name, std::string("Orc\0Kin \0", 10));
    EXPECT_EQ(monsterLabel(7, orc), "7 Orc Kin");
    setField(orc.name, std::string("\0\0 ", 3));
    EXPECT_EQ(monsterLabel(7, orc), "7");
    EXPECT_EQ(matchUpText(monsterLabel(7, orc), "2 Troll"),
              "7 (Monster One) against 2 Troll (Monster Two)");
}
