#pragma once
// The exact odds of a battle. A side's hit points change only on the turns
// the other side attacks, and every attack draws its own two random values, so
// how many attacks a side survives does not depend on the other side: each
// side's fall is a chain of its own (DefenderChances), and the two chains meet
// turn by turn (combineOdds).
//
// The random source is taken as 2^32 equally likely values k / 2^32. Every
// action roll and damage roll is counted over those values and mapped through
// the battle's own rules, so the odds are exact up to the rounding of doubles.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "battle/rules.h"
#include "data/monster_stats.h"

namespace karnwick {

// The most attacks a side can take: the side that does not open is attacked
// in turns 1, 3, ..., 667.
inline constexpr int kMaxAttacks = (kMaxTurns + 1) / 2;

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

// What one attack does to its defender, over all 2^64 pairs of random values.
struct AttackOutcomes {
    double unhurt = 0;  // a miss or a hit for no damage
    double fault = 0;   // an error whatever the hit points
    struct Hit {
        int32_t damage;  // 1 or more
        double chance;
    };
    std::vector<Hit> hits;  // by rising damage, each damage once
};
AttackOutcomes attackOutcomes(const MonsterStats& attacker, const MonsterStats& defender);

// One side under attack from the other, attack by attack: the chance that it
// falls in, or an error stops, its n-th attack, and the chance that it still
// stands after n attacks (index n = 0 .. kMaxAttacks).
struct DefenderChances {
    std::vector<double> fell;
    std::vector<double> error;
    std::vector<double> standing;
};
DefenderChances defenderChances(const AttackOutcomes& attack, int16_t startHitPoints);
DefenderChances defenderChances(const MonsterStats& attacker, const MonsterStats& defender,
                                int16_t startHitPoints);

// The chain of a side that starts standing, from what happens over its
// active attacks (a fault or a hit for damage): fellAt[k] and overflowAt[k]
// the chance that it falls or overflows at its k-th active attack,
// standingAfter[k] that it stands after k of them (each given k active
// attacks), for k up to lastHit, the last with anything left standing before
// it. The attacks that leave it unhurt come in between. Each span holds at
// least lastHit + 2 entries.
DefenderChances chancesByAttack(const AttackOutcomes& attack, std::span<const double> fellAt,
                                std::span<const double> overflowAt,
                                std::span<const double> standingAfter, int lastHit);

// The battle from both chains: against[side] is that side under attack, and
// oneOpens the chance that Monster One attacks first.
BattleOdds combineOdds(const std::array<DefenderChances, 2>& against, double oneOpens);

// What a fresh choice decides before the first turn: the starting hit points
// (none when one overflows) and the chance that Monster One opens.
struct BattleStart {
    bool overflow = false;
    std::array<int16_t, 2> hitPoints{};
    double oneOpens = 0;
};
BattleStart freshStart(const Fighters& fighters);
// The same from the texts of the HP and agility boxes when FIGHT is pressed.
BattleStart startFromTexts(const std::array<std::string, 2>& hpTexts,
                           const std::array<std::string, 2>& agilityTexts);
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
