#pragma once
// A monster's panel in the arena: the boxes a choice of the monster writes,
// which the battle then reads back (hit points and agility, from their texts).
// `karnwick list N` shows a monster the same way, so the list sits with the
// engine rather than with the window.

#include <array>
#include <string>
#include <string_view>

#include "data/monster_stats.h"
#include "data/record_fields.h"

namespace karnwick {

// The fifteen fields a monster panel of the arena shows, in the order a
// choice writes its boxes; the others (thresholds, magic flag, spares) play
// their part unseen.
inline constexpr std::array<std::string_view, 15> kPanelFields = {
    "name",   "hp",     "agility", "level",  "strength", "special1", "special2", "defense",
    "sp1Min", "sp1Max", "sp2Min",  "sp2Max", "offMin",   "offMax",   "mpower"};

// A field as a panel box shows it: a number in shortest decimal, a text at
// full width through Windows-1252, as UTF-8.
inline std::string panelText(const MonsterStats& stats, const RecordField& field) {
    return field.number ? std::to_string(stats.*field.number) : fieldText(textField(stats, field));
}

}  // namespace karnwick
