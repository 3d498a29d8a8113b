#pragma once
// A second, slow way to the exact odds of a battle, which the tests and the
// odds fuzz target hold the product's odds to. It walks the battle turn by
// turn over every state the two hit points can be in, taking each random draw
// as its 2^32 equally likely values, grouped into the runs the battle's rules
// map to one result, and keeps every chance as an exact fraction. It shares
// only the rules and the panel texts with the battle; nothing with the fast
// odds. Practical for small hit points and narrow damage ranges only.

#include <array>
#include <cstdint>
#include <map>

#include <gmpxx.h>

#include "battle/rules.h"
#include "data/monster_stats.h"

namespace karnwick::testing {

struct ExactOdds {
    mpq_class oneWins, twoWins, bothFell, turnCap, error, meanTurns;
    // turns[t - 1]: the chance that the battle ends in turn t.
    std::array<mpq_class, kMaxTurns> turns;
    // hpLeft[side]: the chance of each hit point value the side ends at.
    std::array<std::map<int16_t, mpq_class>, 2> hpLeft;
};

// The battle a fresh choice of both monsters starts (panel texts).
ExactOdds exactBattleOdds(const Fighters& fighters);

}  // namespace karnwick::testing
