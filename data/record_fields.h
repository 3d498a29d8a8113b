#pragma once
// The 29 fields of a monsters.tat record by the names the game's record gives
// them, in file order, for tools that show, check or change a record field by
// field.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "data/monster_stats.h"

namespace karnwick {

struct RecordField {
    std::string_view name;
    int offset;  // in the 86-byte record
    int width;   // in bytes
    // The number's member; null for the three texts (name, special1, special2).
    int16_t MonsterStats::*number;
};

inline constexpr int kRecordFieldCount = 29;

// clang-format off
inline constexpr std::array<RecordField, kRecordFieldCount> kRecordFields = {{
    {"name", 0, kNameLength, nullptr},
    {"hp", 10, 2, &MonsterStats::hp},
    {"spare1", 12, 2, &MonsterStats::spare1},
    {"spare2", 14, 2, &MonsterStats::spare2},
    {"spare3", 16, 2, &MonsterStats::spare3},
    {"spare4", 18, 2, &MonsterStats::spare4},
    {"spare5", 20, 2, &MonsterStats::spare5},
    {"level", 22, 2, &MonsterStats::level},
    {"agility", 24, 2, &MonsterStats::agility},
    {"strength", 26, 2, &MonsterStats::strength},
    {"spare6", 28, 2, &MonsterStats::spare6},
    {"spare7", 30, 2, &MonsterStats::spare7},
    {"special1", 32, kSpecialLength, nullptr},
    {"special2", 44, kSpecialLength, nullptr},
    {"sp1Threshold", 56, 2, &MonsterStats::sp1Threshold},
    {"sp2Threshold", 58, 2, &MonsterStats::sp2Threshold},
    {"spare8", 60, 2, &MonsterStats::spare8},
    {"spare9", 62, 2, &MonsterStats::spare9},
    {"offMin", 64, 2, &MonsterStats::offMin},
    {"offMax", 66, 2, &MonsterStats::offMax},
    {"sp1Min", 68, 2, &MonsterStats::sp1Min},
    {"sp1Max", 70, 2, &MonsterStats::sp1Max},
    {"sp2Min", 72, 2, &MonsterStats::sp2Min},
    {"sp2Max", 74, 2, &MonsterStats::sp2Max},
    {"defense", 76, 2, &MonsterStats::defense},
    {"mpower", 78, 2, &MonsterStats::mpower},
    {"magicFlag", 80, 2, &MonsterStats::magicFlag},
    {"spare10", 82, 2, &MonsterStats::spare10},
    {"spare11", 84, 2, &MonsterStats::spare11},
}};
// clang-format on

// The bytes of one of the three text fields, as the record holds them.
inline std::span<const char> textField(const MonsterStats& stats, const RecordField& field) {
    if (field.offset == 0) return stats.name;
    return field.offset == 32 ? std::span<const char>(stats.special1)
                              : std::span<const char>(stats.special2);
}

}  // namespace karnwick
