// `karnwick check` against folders that each hold one known problem.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "command_run.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::GameFolder;
using karnwick::testing::saneMonster;

namespace {

// Three sane monsters with sprites; each case spoils one thing.
struct Files {
    std::vector<MonsterStats> records{saneMonster("Rat"), saneMonster("Bat"), saneMonster("Cat")};
    std::string sprites = std::string(3 * 9000, '\0');
    std::string palette;
    std::size_t recordBytes = std::string::npos;  // where monsters.tat is cut
    std::uintmax_t spriteBytes = 0;               // monster.dat's length (sparse), if set
    Files() {
        for (int i = 0; i < 768; ++i) palette += std::to_string(i % 64) + "\n";
    }
};

struct Case {
    const char* what;
    std::function<void(Files&)> spoil;
    const char* where;      // the start of the problem's line
    const char* says;       // a part of what it does in the game
    const char* last = "";  // the closing count, where the case pins it
};

std::string runCheck(const QStringList& arguments, int& status) {
    const karnwick::testing::CommandRun run = karnwick::testing::runKarnwick("check", arguments);
    status = run.status;
    return run.out + run.err;
}

}  // namespace

TEST(Check, NamesEveryKindOfProblem) {
    const Case cases[] = {
        {"nothing wrong", [](Files&) {}, "No problems found: 3 monsters, 3 records", "",
         "No problems found: 3 monsters, 3 records"},
        {"767 palette numbers", [](Files& f) { f.palette.resize(f.palette.rfind("\n6")); },
         "mypal.pal: error: it holds fewer than 768 numbers", "number 768 of 768"},
        {"a palette word", [](Files& f) { f.palette.replace(0, 1, "x"); },
         "mypal.pal: error: it holds a number the arena cannot read", "the arena does not start"},
        {"a level above 63",
         [](Files& f) { f.palette.replace(f.palette.find("\n15\n"), 4, "\n70\n"); },
         "mypal.pal: entry 5 red = 70: warning:",
         "carries into green; colour 5 shows as red 24, green 65, blue 68"},
        {"trailing sprite bytes", [](Files& f) { f.sprites += "12345"; },
         "monster.dat: length = 27005: warning:", "the last 5 bytes belong to no monster"},
        {"a hit beyond 16 bits on a sprite without a record",
         [](Files& f) {
             // 32770 overflows only on the zero-filled monster 3: no hit points
             // and a defence value of 0.
             f.sprites += std::string(9000, '\0');
             f.records[0].level = 99, f.records[0].strength = 32571;
             f.records[0].offMin = f.records[0].offMax = 1;
         },
         "monsters.tat: monster 0 \"Rat       \": offMax - offMin = 1 - 1: error:",
         "the normal attack on monster 3 \""},
        {"32768 sprites", [](Files& f) { f.spriteBytes = 32768ull * 9000; },
         "monster.dat: length = 294912000: error:",
         "choosing monster 32767 stops the arena with Overflow"},
        {"more records than sprites", [](Files& f) { f.sprites.resize(2 * 9000); },
         "monsters.tat: records = 3: warning:", "sprites: record 3 is never used"},
        {"a sprite without a record", [](Files& f) { f.sprites += std::string(9000, '\0'); },
         "monsters.tat: records = 3: warning:", "sprites: monster 3 has no record and fights"},
        {"a partial last record",
         [](Files& f) {
             f.records.push_back(saneMonster("Half"));
             f.sprites += std::string(9000, '\0');
             f.recordBytes = 3 * 86 + 40;
         },
         "monsters.tat: length = 298: warning:", "record 4 (monster 3) is only partly there"},
        {"level 100", [](Files& f) { f.records[1].level = 100; },
         "monsters.tat: monster 1 \"Bat       \": level = 100: error:", "Division by zero",
         "1 problem found"},
        {"level above 100", [](Files& f) { f.records[2].level = 150; },
         "monsters.tat: monster 2 \"Cat       \": level = 150: warning:",
         "100 - level is negative"},
        {"a range beyond 16 bits",
         [](Files& f) { f.records[0].offMin = -30000, f.records[0].offMax = 30000; },
         "monsters.tat: monster 0 \"Rat       \": offMax - offMin = 30000 - -30000: error:",
         "the normal attack comes, the battle stops with Overflow"},
        {"max below min", [](Files& f) { f.records[0].sp1Min = 9, f.records[0].sp1Max = 4; },
         "monsters.tat: monster 0 \"Rat       \": sp1Max - sp1Min = 4 - 9: warning:",
         "rolls from 4 to 9, the minimum included"},
        {"no special attack 1", [](Files& f) { f.records[0].sp1Threshold = 1; },
         "monsters.tat: monster 0 \"Rat       \": sp1Threshold = 1: warning:",
         "special attack 1 \"Bite        \" never happens"},
        {"no special attack 2", [](Files& f) { f.records[0].sp2Threshold = 21; },
         "monsters.tat: monster 0 \"Rat       \": sp1Threshold, sp2Threshold = 20, 21: warning:",
         "special attack 2 \"Spit        \" never happens"},
        {"no hit points", [](Files& f) { f.records[2].hp = 0; },
         "monsters.tat: monster 2 \"Cat       \": hp = 0: warning:", "ends after the first turn"},
        // The name as the box shows a NUL, with a byte the code page leaves undefined escaped.
        {"a NUL in a name",
         [](Files& f) { f.records[1].name[2] = '\0', f.records[1].name[3] = '\x9D'; },
         "monsters.tat: monster 1 \"Ba \\x9D      \": name = \"Ba\\x00\\x9D      \": warning:",
         "NUL or control characters"},
        {"a hit beyond 16 bits",
         [](Files& f) {
             f.records[0].level = 99, f.records[0].strength = 1000, f.records[0].offMin = 30,
             f.records[0].offMax = 40;
         },
         "monsters.tat: monster 0 \"Rat       \": offMax - offMin = 40 - 30: error:",
         "the normal attack on monsters 0 \"Rat       \", 1 \"Bat       \" and 2 \"Cat       \" "
         "can overflow: a hit of 45937 on 25 hit points on monster 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GameFolder folder;
        Files files;
        c.spoil(files);
        folder.write("mypal.pal", files.palette);
        folder.write("monster.dat", files.sprites);
        folder.writeRecords(files.records);
        if (files.recordBytes != std::string::npos)
            std::filesystem::resize_file(folder.path() / "monsters.tat", files.recordBytes);
        if (files.spriteBytes)
            std::filesystem::resize_file(folder.path() / "monster.dat", files.spriteBytes);
        const std::string where = c.where;
        int status = 0;
        const std::string output =
            runCheck({"--dir", karnwick::testing::pathArgument(folder.path())}, status);
        EXPECT_EQ(status, *c.says ? 1 : 0);
        // Some line starts with `where` and says it.
        std::istringstream lines(output);
        std::string line;
        bool found = false;
        while (!found && std::getline(lines, line))
            found = line.starts_with(where) && line.find(c.says) != std::string::npos;
        EXPECT_TRUE(found) << output;
        if (*c.last) {
            EXPECT_TRUE(("\n" + output).ends_with(std::string("\n") + c.last + "\n")) << output;
        }
    }
}

// The findings come file by file (palette, sprites, records), then monster by
// monster; a record past the last sprite is never used, so nothing in it is a
// finding until a sprite is added for it.
TEST(Check, FindingsComeInOrderAndStopAtTheLastSprite) {
    GameFolder folder;
    Files files;
    files.records.push_back(saneMonster("Dog"));
    files.records[0].hp = 0;
    files.records[2].level = 100;
    files.records[3].level = 100;
    files.palette.replace(files.palette.find("\n15\n"), 4, "\n70\n");
    folder.write("mypal.pal", files.palette);
    folder.write("monster.dat", files.sprites + "12345");
    folder.writeRecords(files.records);
    const char* const order[] = {
        "mypal.pal: entry 5 red = 70: warning:",
        "monster.dat: length = 27005: warning:",
        "monsters.tat: records = 4: warning: monster.dat holds only 3 sprites: record 4 is never "
        "used",
        "monsters.tat: monster 0 \"Rat       \": hp = 0: warning:",
        "monsters.tat: monster 2 \"Cat       \": level = 100: error:",
        "5 problems found",
    };
    int status = 0;
    std::istringstream lines(runCheck({}, status));
    EXPECT_EQ(status, 1);
    std::string line;
    for (const char* start : order) {
        ASSERT_TRUE(std::getline(lines, line)) << "no line for " << start;
        EXPECT_TRUE(line.starts_with(start)) << line;
    }
    EXPECT_FALSE(std::getline(lines, line)) << line;

    folder.write("monster.dat", files.sprites + std::string(9000, '\0'));
    const std::string withFour = runCheck({}, status);
    EXPECT_NE(withFour.find("\nmonsters.tat: monster 3 \"Dog       \": level = 100: error:"),
              std::string::npos)
        << withFour;
    EXPECT_TRUE(withFour.ends_with("\n4 problems found\n")) << withFour;
}

// A file that cannot be read is no problem in it but a failure (a missing
// one is in command_line_test.cpp's table).
TEST(Check, AnUnreadableFileIsAnotherMatter) {
    GameFolder folder;
    Files files;
    folder.write("monster.dat", files.sprites);
    folder.writeRecords(files.records);
    std::filesystem::create_directory(folder.path() / "mypal.pal");
    int status = -1;
    EXPECT_TRUE(runCheck({}, status).starts_with("karnwick check: "));
    EXPECT_EQ(status, 2);
}
