#pragma once
// The exact odds of a battle: how likely each of its ends is, and in which
// turn it ends, for one match-up, every pair of a roster, or a band of them.
//
// The random source is taken as 2^32 equally likely values k / 2^32. Every
// action roll and damage roll is counted over those values and mapped through
// the battle's own rules, so the odds are exact up to the rounding of doubles.
// How they are worked out is in odds_detail.h.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "battle/rules.h"
#include "data/monster_stats.h"

namespace karnwick {

// The five ends of a battle, which sum to 1, and the mean number of turns.
struct OutcomeOdds {
    double oneWins = 0;   // only Monster Two ends below 1 hit point
    double twoWins = 0;   // only Monster One ends below 1 hit point
    double bothFell = 0;  // both below 1 (only when a side starts below 1)
    double turnCap = 0;   // both standing after turn 667
    double error = 0;     // a run-time error stops the battle
    double meanTurns = 0;
};

struct BattleOdds : OutcomeOdds {
    // turns[t - 1]: the chance that the battle ends in turn t, whatever the
    // end. A starting hit-point overflow ends it before turn 1 and shows in
    // `error` only.
    std::array<double, kMaxTurns> turns{};
};

// The odds when a starting hit point overflows: the battle stops before its
// first turn.
BattleOdds overflowAtStart();

// The odds of the battle FIGHT would start with these HP and agility texts.
BattleOdds battleOdds(const Fighters& fighters, const std::array<std::string, 2>& hpTexts,
                      const std::array<std::string, 2>& agilityTexts);
// The same after a fresh choice of both monsters.
BattleOdds battleOdds(const Fighters& fighters);

// Every ordered pair of monsters (row: Monster One, column: Monster Two,
// itself included) after a fresh choice, as battleOdds gives it, row by row.
// Runs on `threads` threads (at least 1); the result does not depend on their
// number. The calling thread waits and calls progress(done, total) as the
// pairs are done.
std::vector<OutcomeOdds> oddsMatrix(
    const std::vector<MonsterStats>& monsters, int threads,
    const std::function<void(std::size_t done, std::size_t total)>& progress = {});

// The smallest turn by which at least half of the battles have ended; 0 when
// the battle ends before turn 1.
int medianTurns(const BattleOdds& odds);

// Rows [first, first + count) of oddsMatrix's result, row a column b at
// [(a - first) * n + b], so a matrix too large to hold can be made and
// written a band of rows at a time. A pair with both monsters inside the band
// is worked out once for both orders, as in oddsMatrix; a pair reaching
// outside it is worked out for this order only.
std::vector<OutcomeOdds> oddsMatrixRows(
    const std::vector<MonsterStats>& monsters, std::size_t first, std::size_t count, int threads,
    const std::function<void(std::size_t done, std::size_t total)>& progress = {});

}  // namespace karnwick
