#include "ui/balance_state.h"

#include <QThread>

#include <algorithm>
#include "data/folder_lock.h"
#include "data/game_file.h"
#include "data/sprite.h"

namespace karnwick::balance {

MonsterStats WhatIfState::changedRecord(int side) const {
    MonsterStats stats = arena.fighters[static_cast<std::size_t>(side)];
    if (const auto index = arena.chosen[static_cast<std::size_t>(side)])
        applyRecordOverrides(changes, *index, stats);
    return stats;
}

// The first `count` records of the folder's monsters.tat, read in one go
// under the folder's shared lock: a `set` running meanwhile is seen whole
// or not at all, never as some records old and some new. Records past the
// file's end read as zeros, as the arena reads them.
std::vector<MonsterStats> readRoster(const std::filesystem::path& folder, int count) {
    const FolderLock lock(folder, FolderAccess::Read);
    const GameFile file(folder / kStatsFileName);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(count) * kRecordLength);
    file.readAt(0, bytes);
    std::vector<MonsterStats> roster;
    roster.reserve(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i)
        roster.push_back(recordAt(bytes, i));
    return roster;
}

int workerThreads() {
    return std::max(1, QThread::idealThreadCount());
}

}  // namespace karnwick::balance
