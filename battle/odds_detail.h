#pragma once
// How the exact odds are worked out, for the engine's own odds, sweep and
// hit-point files and their tests; everyone else reads odds.h. A side's hit
// points change only on the turns the other side attacks, and every attack
// draws its own two random values, so how many attacks a side survives does
// not depend on the other side: each side's fall is a chain of its own
// (DefenderChances), and the two chains meet turn by turn (combineOdds).

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "battle/odds.h"
#include "battle/rules.h"
#include "data/monster_stats.h"

namespace karnwick {

// The most attacks a side can take: the side that does not open is attacked
// in turns 1, 3, ..., 667.
inline constexpr int kMaxAttacks = (kMaxTurns + 1) / 2;

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

}  // namespace karnwick
