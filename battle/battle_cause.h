#pragma once
// Why a battle stopped on a run-time error, in the terms of the game files:
// which record's fields, with which values, make the failing step fail. The
// answer comes from the record checker, which asks the battle's own rules, so
// the window that reports the error only has to word it.

#include <string>
#include <vector>

#include "battle/battle.h"
#include "data/errors.h"
#include "data/monster_stats.h"

namespace karnwick {

struct RecordCause {
    int side = 0;       // 0 = Monster One, 1 = Monster Two
    std::string name;   // the record's name field, trailing blanks dropped
    std::string field;  // "level", "offMax - offMin", "agility, level, defense"
    std::string value;  // as the file holds it: "100", "30000 - -30000"
};

// The records' share in `error`, thrown by a battle of `fighters` that stopped
// in `state` (the attacker and defender of the failing turn): the attacker's
// causes first, then the defender's. Empty when no field of either record
// explains it (starting hit points typed into a box, for example).
std::vector<RecordCause> battleErrorCauses(const GameError& error, const Fighters& fighters,
                                           const BattleState& state);

}  // namespace karnwick
