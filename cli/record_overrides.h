#pragma once
// `--set INDEX.FIELD=VALUE`: a what-if change to one number of one monster's
// record for a single run, for balancing without a game editor. The game files
// are never written.

#include <QCommandLineOption>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "data/monster_stats.h"

struct RecordOverride {
    int16_t index = 0;
    int16_t karnwick::MonsterStats::*field = nullptr;
    int16_t value = 0;
};

// The option as every command that plays battles offers it.
QCommandLineOption recordOverrideOption();

// Reads the texts of every --set; lastIndex is the highest monster index and
// `statsFile` holds the names INDEX may give instead (the field is what
// follows the last dot). Throws CommandError naming the text and what is
// wrong with it.
std::vector<RecordOverride> parseRecordOverrides(const QStringList& texts, int lastIndex,
                                                 const std::filesystem::path& statsFile);

// Changes monster `index`'s record as asked, later changes winning.
void applyRecordOverrides(const std::vector<RecordOverride>& overrides, int index,
                          karnwick::MonsterStats& stats);
