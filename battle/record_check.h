#pragma once
// What in a set of game files will break a battle, or quietly not do what a
// modder meant, before a player meets it. The record checks ask the battle's
// own rules (battle/rules.h) what a record can do; nothing here decides a rule
// of its own.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "data/monster_stats.h"

namespace karnwick {

enum class Severity {
    Error,    // the arena does not start, or a battle stops on a run-time error
    Warning,  // everything runs, but not as the file seems to mean
};

struct GameFileProblem {
    std::string file;            // "mypal.pal", "monster.dat" or "monsters.tat"
    std::optional<int> monster;  // the monster index, for a record's problem
    std::string name;            // its name field as UTF-8, at full width
    std::string field;           // the field(s) at fault: "level", "offMax - offMin"
    std::string value;           // their value(s) as the file holds them
    Severity severity = Severity::Error;
    std::string effect;  // what it does in the game
    std::string hint;    // a short fix, or empty when there is no obvious one
};

// The problems of a set of records, monster 0 first, as the battle meets them
// whatever the other side (every record of the set can be the other side).
std::vector<GameFileProblem> checkRecords(const std::vector<MonsterStats>& records);

// Reads and checks the three game files of `dir`: the palette, the sprite file
// against the record file, then every record the game can use. Throws
// GameError for a file that cannot be read at all (missing palette, no
// access, a folder in its place).
struct GameFilesReport {
    std::vector<GameFileProblem> problems;
    int monsters = 0;  // how many monsters the arena offers (lastMonsterIndex + 1)
    int records = 0;   // how many whole or partial records monsters.tat holds
};
GameFilesReport checkGameFiles(const std::filesystem::path& dir);

}  // namespace karnwick
