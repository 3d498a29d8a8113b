#pragma once
// Reads a game folder's three files and reports what in them will stop the
// arena, break a battle, or quietly not do what a modder meant.

#include <filesystem>
#include <string>
#include <vector>

#include "battle/record_check.h"
#include "battle/record_override.h"

namespace karnwick {

// Reads and checks the three game files of `dir`: the palette, the sprite file
// against the record file, then every record the game can use. Throws
// GameError for a file that cannot be read at all (missing palette, no
// access, a folder in its place).
struct GameFilesReport {
    std::vector<GameFileProblem> problems;
    int monsters = 0;  // how many monsters the arena offers (lastMonsterIndex + 1)
    int records = 0;   // how many whole or partial records monsters.tat holds
};
// With `changes`, the records are checked as those what-if changes leave
// them (as --set makes them in the commands that fight).
GameFilesReport checkGameFiles(const std::filesystem::path& dir,
                               const std::vector<RecordOverride>& changes = {});

// The last line of a check, as `karnwick check` prints it and the Balance
// window copies it: "No problems found: ..." or "N problems found".
std::string reportSummaryLine(const GameFilesReport& report);

}  // namespace karnwick
