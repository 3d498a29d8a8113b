#pragma once
// Each side's hit points when the battle ends, whatever the end, exactly: a
// side that falls ends at what the felling hit left (0 or below); a battle
// stopped by a run-time error leaves both sides at their hit points just
// before the failing step; at the turn cap both sides are where turn 667
// left them. Built on the same two chains as the odds: how the battle ends
// weighs each side's own walk hit by hit.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "battle/odds.h"

namespace karnwick {

struct HitPointsChance {
    int16_t hitPoints;
    double chance;
};

// [side]: by rising hit points, each value once, chances summing to 1 (none
// is listed below the chains' negligible chance). Both are empty when a
// starting hit point overflows: the battle stops before there are any.
using HitPointsLeft = std::array<std::vector<HitPointsChance>, 2>;

// For the battle FIGHT would start with these HP and agility texts.
HitPointsLeft hitPointsLeft(const Fighters& fighters, const std::array<std::string, 2>& hpTexts,
                            const std::array<std::string, 2>& agilityTexts);
// The same after a fresh choice of both monsters.
HitPointsLeft hitPointsLeft(const Fighters& fighters);

}  // namespace karnwick
