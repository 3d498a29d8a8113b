#pragma once
// The numbers of a record that a battle reads, by their record names: the rules
// in rules.h take these and nothing else. The spare fields and the texts play
// no part in a battle, so a what-if change to them could change nothing.

#include <algorithm>
#include <array>
#include <string_view>

namespace karnwick {

inline constexpr std::array<std::string_view, 15> kBattleFields = {
    "hp",     "level",  "agility", "strength", "defense", "mpower",       "magicFlag",    "offMin",
    "offMax", "sp1Min", "sp1Max",  "sp2Min",   "sp2Max",  "sp1Threshold", "sp2Threshold",
};

constexpr bool isBattleField(std::string_view name) {
    return std::find(kBattleFields.begin(), kBattleFields.end(), name) != kBattleFields.end();
}

}  // namespace karnwick
