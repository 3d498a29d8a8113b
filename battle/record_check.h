#pragma once
// What in a set of game files will break a battle, or quietly not do what a
// modder meant, before a player meets it. The record checks ask the battle's
// own rules (battle/rules.h) what a record can do; nothing here decides a rule
// of its own.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/monster_stats.h"

namespace karnwick {

enum class Severity {
    Error,    // the arena does not start, or a battle stops on a run-time error
    Warning,  // everything runs, but not as the file seems to mean
};

// What a finding is about, for a program to act on without reading its text.
enum class ProblemKind {
    PaletteUnreadable,       // too few numbers, or one the arena cannot read
    PaletteColourOverflow,   // a packed colour leaves 32 bits
    PaletteLevelOutOfRange,  // a level outside 0-63 bleeds into the next byte
    SpriteLengthRagged,      // monster.dat is not whole sprites
    TooManySprites,          // the sprite count leaves 16 bits
    LastSpriteUnchoosable,   // 32768 sprites: monster 32767's record number overflows
    RecordLengthRagged,      // monsters.tat is not whole records
    RecordsMissing,          // sprites without a record
    RecordsUnused,           // records without a sprite
    NoHitPoints,
    LevelDividesByZero,
    NegativeLevel,
    ControlCharacters,  // in a text field
    Special1Never,
    Special2Never,
    RangeLeaves16Bits,  // a damage range wider than 16 bits
    RangeReversed,      // a damage range's maximum below its minimum
    DamageOverflow,     // attack value - defence value leaves 32 bits on `others`
    HitOverflow,        // a hit leaves 16 bits of hit points on `others`
};

struct GameFileProblem {
    ProblemKind kind;
    std::string file;            // "mypal.pal", "monster.dat" or "monsters.tat"
    std::optional<int> monster;  // the monster index, for a record's problem
    std::string name;            // its name field as UTF-8, at full width
    std::string field;           // the field(s) at fault: "level", "offMax - offMin"
    std::string value;           // their value(s) as the file holds them
    Severity severity = Severity::Error;
    std::string effect;       // what it does in the game
    std::string hint;         // a short fix, or empty when there is no obvious one
    std::vector<int> others;  // for an overflow, the monsters it meets, the example first
};

// A finding on one line, as `karnwick check` prints it and the Balance window
// copies it: monsters.tat: monster 3 "Goblin    ": level = 100: error: ...
// (fix: ...)
std::string problemLine(const GameFileProblem& problem);

// The problems of a set of records, monster 0 first, as the battle meets them
// whatever the other side (every record of the set can be the other side).
// Records from `withRecords` on are the zero-filled ones of sprites without a
// record: they meet the others in battle, but their own warnings (no name, no
// hit points, no special attacks) are left to the note on the record count.
std::vector<GameFileProblem> checkRecords(const std::vector<MonsterStats>& records,
                                          std::size_t withRecords = SIZE_MAX);

}  // namespace karnwick
