#pragma once
// The demo set: a palette, 57 monster sprites and 57 statistics records made
// up for the arena, so that a player without the game's own files still gets a
// complete arena. Everything is drawn and chosen from fixed numbers: every run
// gives the same bytes.

#include <filesystem>
#include <string>
#include <vector>

#include "data/file_writer.h"
#include "data/monster_stats.h"

namespace karnwick {

inline constexpr int kDemoMonsterCount = 57;
inline constexpr int kDemoFirstBoss = 50;

struct DemoSet {
    std::string palette;                 // mypal.pal: one "r,g,b" line per entry
    std::vector<unsigned char> sprites;  // monster.dat: 57 sprites of 9000 bytes
    std::vector<unsigned char> records;  // monsters.tat: 57 records of 86 bytes
};

DemoSet makeDemoSet();

// The parts on their own, for tests and for the icon's colours.
std::string makeDemoPalette();
std::vector<unsigned char> makeDemoSprites();
std::vector<MonsterStats> makeDemoMonsters();

// The three file names of a demo set, in the order they are written.
std::vector<std::filesystem::path> demoFileNames();

// Writes the three files of the demo set into `dir` (made if missing), all
// three or none: the arena's "Try the Demo Set" and `karnwick demo-data`.
// Throws a GameError naming the file and the reason; what it created is
// removed again on a failure.
void writeDemoSet(const std::filesystem::path& dir, Existing existing);

}  // namespace karnwick
