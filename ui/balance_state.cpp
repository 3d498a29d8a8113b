#include "ui/balance_state.h"

#include <QThread>
#include <algorithm>

namespace karnwick::balance {

MonsterStats WhatIfState::changed(int side) const {
    MonsterStats stats = arena.fighters[static_cast<std::size_t>(side)];
    if (const auto index = arena.chosen[static_cast<std::size_t>(side)])
        applyRecordOverrides(changes, *index, stats);
    return stats;
}

std::string trimmedName(const MonsterStats& stats) {
    std::string name = fieldText(stats.name);
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}

int workerThreads() {
    return std::max(1, QThread::idealThreadCount());
}

}  // namespace karnwick::balance
