#pragma once
// What every tab of the Balance window works from: the arena's choices and
// records, and the what-if changes laid over them.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "battle/battle.h"
#include "battle/record_override.h"
#include "data/monster_stats.h"

namespace karnwick::balance {

// What the window reads from the arena's main window.
struct ArenaState {
    std::filesystem::path folder;
    int lastIndex = -1;
    // The monster each list has chosen, none before a choice.
    std::array<std::optional<int16_t>, 2> chosen;
    Fighters fighters{};
    // The HP and agility texts of the boxes, which FIGHT starts from.
    StartingTexts start;
};

struct WhatIfState {
    ArenaState arena;
    std::vector<RecordOverride> changes;

    bool paired() const { return arena.chosen[0] && arena.chosen[1]; }
    // The chosen monster's record with the what-if changes.
    MonsterStats changed(int side) const;
};

// A record's name without the spaces that pad its field.
std::string trimmedName(const MonsterStats& stats);

// The first `count` records of the folder's monsters.tat, read whole under
// the folder's shared lock; throws GameError.
std::vector<MonsterStats> readRoster(const std::filesystem::path& folder, int count);

// The threads a lane's work spreads over: as many as the command line uses.
int workerThreads();

}  // namespace karnwick::balance
