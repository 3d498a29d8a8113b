#pragma once
// The numbers of a record that a battle reads, by their record names, with
// what each does in a battle: the rules in rules.h take these and nothing
// else. The spare fields and the texts play no part in a battle, so a what-if
// change to them could change nothing.

#include <algorithm>
#include <array>
#include <string_view>

namespace karnwick {

struct BattleField {
    std::string_view name;
    std::string_view role;  // a sentence a modder reads beside the number
};

inline constexpr std::array<BattleField, 15> kBattleFieldRoles = {{
    {"hp", "The hit points the monster starts a battle with; it falls when they run out."},
    {"level",
     "Strengthens the monster's attacks and its defence, the more the nearer it is to 100; at "
     "exactly 100 they divide by zero (a run-time error), above it they turn over."},
    {"agility",
     "The higher agility strikes first; also the defence stat against normal attacks and "
     "non-magic special attacks."},
    {"strength", "The attack stat of the normal attack and of non-magic special attacks."},
    {"defense",
     "Scales the defence taken off every hit the monster receives; a hit that does not get past "
     "it misses."},
    {"mpower", "The attack and the defence stat of magic special attacks, on both sides."},
    {"magicFlag",
     "Not 0: the monster's special attacks are magic, its mpower against the defender's."},
    {"offMin", "The least damage roll of the normal attack."},
    {"offMax", "The normal attack's damage roll stays below this (offMin when the two are equal)."},
    {"sp1Min", "The least damage roll of special attack 1."},
    {"sp1Max", "Special attack 1's damage roll stays below this (sp1Min when the two are equal)."},
    {"sp2Min", "The least damage roll of special attack 2."},
    {"sp2Max", "Special attack 2's damage roll stays below this (sp2Min when the two are equal)."},
    {"sp1Threshold", "An action roll (1 to 100) below this makes special attack 1."},
    {"sp2Threshold",
     "An action roll above sp1Threshold and below this makes special attack 2; every other roll "
     "is a normal attack."},
}};

inline constexpr std::array<std::string_view, 15> kBattleFields = [] {
    std::array<std::string_view, 15> names{};
    for (std::size_t i = 0; i < names.size(); ++i) names[i] = kBattleFieldRoles[i].name;
    return names;
}();

constexpr bool isBattleField(std::string_view name) {
    return std::find(kBattleFields.begin(), kBattleFields.end(), name) != kBattleFields.end();
}

// What the field called `name` does in a battle; empty for a field no battle
// reads.
constexpr std::string_view battleFieldRole(std::string_view name) {
    for (const BattleField& field : kBattleFieldRoles)
        if (field.name == name) return field.role;
    return {};
}

}  // namespace karnwick
