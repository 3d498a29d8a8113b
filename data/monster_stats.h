#pragma once
// monsters.tat: one 86-byte record per monster, record n belonging to monster
// n - 1. Numbers are 16-bit little-endian; texts are fixed-width byte fields
// kept at full width, pad characters included.

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace karnwick {

inline constexpr const char* kStatsFileName = "monsters.tat";
inline constexpr int kRecordLength = 86;
inline constexpr int kNameLength = 10;
inline constexpr int kSpecialLength = 12;

struct MonsterStats {
    std::array<char, kNameLength> name{};
    int16_t hp = 0;
    int16_t spare1 = 0, spare2 = 0, spare3 = 0, spare4 = 0, spare5 = 0;
    int16_t level = 0;
    int16_t agility = 0;
    int16_t strength = 0;
    int16_t spare6 = 0, spare7 = 0;
    std::array<char, kSpecialLength> special1{};
    std::array<char, kSpecialLength> special2{};
    int16_t sp1Threshold = 0;
    int16_t sp2Threshold = 0;
    int16_t spare8 = 0, spare9 = 0;
    int16_t offMin = 0, offMax = 0;
    int16_t sp1Min = 0, sp1Max = 0;
    int16_t sp2Min = 0, sp2Max = 0;
    int16_t defense = 0;
    int16_t mpower = 0;
    int16_t magicFlag = 0;
    int16_t spare10 = 0, spare11 = 0;

    bool operator==(const MonsterStats&) const = default;
};

// The highest monster index whose record the arena can read: a record is
// found by its number, index + 1, which is 16-bit.
inline constexpr int kLastRecordIndex = 32766;
// The highest sprite index: the arena counts the sprites in 16 bits, the
// count less one, so monster.dat holds at most 32768.
inline constexpr int kLastSpriteIndex = 32767;

// Whether a record at `index` can be read by the arena.
constexpr bool recordIndexFits(long long index) {
    return index >= 0 && index <= kLastRecordIndex;
}

using Fighters = std::array<MonsterStats, 2>;
using RecordBytes = std::array<unsigned char, kRecordLength>;

MonsterStats decodeMonsterStats(std::span<const unsigned char, kRecordLength> bytes);
RecordBytes encodeMonsterStats(const MonsterStats& stats);

// Monster `index`'s record in the bytes of a monsters.tat; bytes past their
// end read as 0, as the arena reads them.
MonsterStats recordAt(std::span<const unsigned char> file, std::size_t index);

// Puts `stats` as monster `index`'s record into the bytes of a monsters.tat,
// growing them with zero bytes to hold it.
void putRecord(std::vector<unsigned char>& file, std::size_t index, const MonsterStats& stats);

// Replaces every field of `target` with record monsterIndex + 1 (16-bit, so
// index 32767 is an overflow error). Bytes past the end of the file, a missing
// file included, read as 0.
void loadMonsterStats(int16_t monsterIndex, MonsterStats& target,
                      const std::filesystem::path& file = kStatsFileName);

// A fixed-width text field as UTF-8, nothing trimmed.
std::string fieldText(std::span<const char> field);

// A record's text field (a name, an attack) as every table, window and message
// that names a monster shows it: without the blanks and NULs that pad it, the
// rest as a statistics box shows it (shownInBox).
std::string shownText(std::span<const char> field);

// A monster as lists, titles and charts name it: its index and its shown
// name, "3 Grubnik", or the index alone for a record with no name.
std::string monsterLabel(int index, std::string_view shownName);
std::string monsterLabel(int index, const MonsterStats& stats);

}  // namespace karnwick
