// What `check` says about pairs of monsters, held to the exact odds: every
// overflow it names happens in some battle of the pair it names, and every
// pair whose battles can stop on an error is covered by something it says.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "battle/game_files_check.h"
#include "battle/odds.h"
#include "battle/random.h"
#include "battle/record_check.h"
#include "data/monster_stats.h"
#include "game_files.h"

using namespace karnwick;

namespace {

// A record with this name and blank special attacks, numbers all 0.
MonsterStats named(const char* name) {
    MonsterStats s;
    for (std::size_t i = 0; i < s.name.size(); ++i) s.name[i] = *name ? *name++ : ' ';
    s.special1.fill(' ');
    s.special2.fill(' ');
    return s;
}

void expectClaimsMatchTheOdds(const std::vector<MonsterStats>& records) {
    const std::vector<GameFileProblem> problems = checkRecords(records);
    std::set<int> broken;  // monsters with an error of their own
    std::set<std::pair<int, int>> claimed;
    std::set<std::tuple<int, ProblemKind, std::string>> said;
    for (const GameFileProblem& p : problems) {
        EXPECT_TRUE(said.insert({*p.monster, p.kind, p.field}).second)
            << "said twice: " << p.effect;
        if (p.severity != Severity::Error) continue;
        const bool overflow =
            p.kind == ProblemKind::DamageOverflow || p.kind == ProblemKind::HitOverflow;
        EXPECT_EQ(overflow, !p.others.empty()) << p.effect;
        if (!overflow) broken.insert(*p.monster);
        for (const int d : p.others) {
            const int a = *p.monster;
            claimed.insert({a, d});
            EXPECT_GT(battleOdds({records[a], records[d]}).error, 0.0)
                << "monster " << a << " on " << d << ": " << p.effect;
        }
    }
    for (int a = 0; a < std::ssize(records); ++a) {
        for (int b = 0; b < std::ssize(records); ++b) {
            if (broken.count(a) || broken.count(b) || claimed.count({a, b}) ||
                claimed.count({b, a}))
                continue;
            EXPECT_EQ(battleOdds({records[a], records[b]}).error, 0.0)
                << "nothing said about monsters " << a << " and " << b;
        }
    }
}

}  // namespace

TEST(RecordCheck, OverflowClaimsFollowWhatBattlesCanDo) {
    // A hit of 32790 kills from 50 hit points without leaving 16 bits; from 1
    // it overflows.
    MonsterStats smasher = named("Smasher");
    smasher.hp = 50, smasher.level = 50, smasher.agility = 5;
    smasher.offMin = smasher.offMax = 10930;
    MonsterStats target50 = named("Target50");
    target50.hp = 50, target50.offMin = 4, target50.offMax = 9;
    MonsterStats target1 = target50;
    target1.hp = 1;
    // Quick always opens and ends the battle in turn 1: Doomed never attacks.
    MonsterStats doomed = named("Doomed");
    doomed.level = 50, doomed.offMin = doomed.offMax = 10930, doomed.defense = 1000;
    MonsterStats quick = named("Quick");
    quick.hp = 1, quick.agility = 10, quick.offMin = 1, quick.offMax = 3;

    // Wall starts at 30000, where Crusher's special hit of 63000 already
    // leaves 16 bits; but a normal hit of 27003 first leaves it standing on
    // 2997, the fewest it can have (27000 and 27003 are Crusher's other hits).
    MonsterStats wall = named("Wall");
    wall.hp = 30000;
    MonsterStats crusher = named("Crusher");
    crusher.hp = 50, crusher.level = 50, crusher.agility = 5;
    crusher.offMin = 9000, crusher.offMax = 9002;
    crusher.sp1Threshold = 50, crusher.sp1Min = crusher.sp1Max = 21000;
    crusher.special1.fill(' ');
    std::copy_n("Quake", 5, crusher.special1.begin());

    // Sprinter opens and Sponge never hurts it: 334 attacks, 333 hits of 3
    // leave Sponge at 101 at the fewest, where the special hit of 32868
    // (1 roll in 100) still fits 16 bits; a 335th attack would not.
    MonsterStats sprinter = named("Sprinter");
    sprinter.hp = 50, sprinter.level = 50, sprinter.agility = 5;
    sprinter.offMin = sprinter.offMax = 1;
    sprinter.sp1Threshold = 2, sprinter.sp1Min = sprinter.sp1Max = 10956;
    MonsterStats sponge = named("Sponge");
    sponge.hp = 1100;

    const std::vector<std::vector<MonsterStats>> sets = {{smasher, target50},
                                                         {smasher, target50, target1},
                                                         {doomed, quick},
                                                         {wall, crusher},
                                                         {sprinter, sponge}};
    for (const auto& set : sets) expectClaimsMatchTheOdds(set);
    // One finding per overflowing attack: Smasher's hit on Target1 only.
    std::vector<std::vector<int>> overflows;
    for (const GameFileProblem& p : checkRecords(sets[1]))
        if (p.kind == ProblemKind::HitOverflow) overflows.push_back(p.others);
    EXPECT_EQ(overflows, (std::vector<std::vector<int>>{{2}}));
    // Crusher's special hit overflows on Wall and on itself, Wall the example.
    std::string crushed;
    for (const GameFileProblem& p : checkRecords(sets[3])) {
        if (p.monster != 1 || p.field != "sp1Max - sp1Min") continue;
        EXPECT_EQ(p.kind, ProblemKind::HitOverflow);
        EXPECT_EQ(p.others, (std::vector<int>{0, 1}));
        crushed = p.effect;
    }
    EXPECT_EQ(crushed,
              "special attack 1 \"Quake       \" on monsters 0 \"Wall      \" and 1 \"Crusher   \" "
              "can overflow: a hit of 63000 on 2997 hit points on monster 0 (the fewest it can "
              "have when that attack comes) leaves 16 bits, and the battle stops with Overflow");
}

TEST(RecordCheck, GeneratedSetsClaimExactlyThePairsThatErr) {
    // Values near the edges where damage and hit points leave their widths.
    const int16_t hps[] = {-32768, -3, 0, 1, 2, 50, 300, 32767};
    const int16_t levels[] = {0, 50, 99, 150, 0, 100};
    const int16_t lows[] = {1, 4, 10930, 32766, -30000, 0};
    const int16_t widths[] = {0, 1, 3, -2};
    const int16_t strengths[] = {0, 1000, 32767};
    const int16_t defenses[] = {0, 1, 1000, -32768, 32767};
    Pcg32 random(2024, 7);
    auto pick = [&](const auto& values) { return values[random.nextUInt32() % std::size(values)]; };
    for (int set = 0; set < 40; ++set) {
        std::vector<MonsterStats> records;
        for (int m = 0; m < 5; ++m) {
            MonsterStats s = named("Gen");
            s.hp = pick(hps), s.level = pick(levels), s.agility = pick(lows) % 11;
            s.strength = pick(strengths), s.defense = pick(defenses);
            s.sp1Threshold = static_cast<int16_t>(random.nextUInt32() % 2 * 30);
            s.sp1Min = pick(lows), s.sp1Max = static_cast<int16_t>(s.sp1Min + pick(widths));
            s.offMin = pick(lows), s.offMax = static_cast<int16_t>(s.offMin + pick(widths));
            s.mpower = pick(strengths), s.magicFlag = static_cast<int16_t>(random.nextUInt32() % 2);
            records.push_back(s);
        }
        SCOPED_TRACE("set " + std::to_string(set));
        expectClaimsMatchTheOdds(records);
    }
}

// Each monster's own findings come in the order a battle meets them (its
// texts, hit points, level, thresholds, then each attack's range), then what
// its attacks do to others; monster by monster, whatever order they were
// found in. A zero-filled record keeps its warnings to the note on the
// record count, but is still hit.
TEST(RecordCheck, FindingsComeMonsterByMonsterInTheOrderABattleMeetsThem) {
    MonsterStats odd = named("Od\x01");
    odd.special1[3] = '\x7f';
    odd.hp = 0, odd.level = 150, odd.agility = 1;
    odd.offMin = 5, odd.offMax = 2;
    MonsterStats divider = named("Divider");
    divider.hp = 5, divider.level = 100;
    // Below 50 a range that overflows, from 50 a hit of 32790.
    MonsterStats smasher = named("Smasher");
    smasher.hp = 50, smasher.level = 50, smasher.agility = 5;
    smasher.sp1Threshold = 50, smasher.sp1Min = -30000, smasher.sp1Max = 30000;
    smasher.offMin = smasher.offMax = 10930;
    MonsterStats target = named("Target");
    target.hp = 1, target.offMin = 4, target.offMax = 9;
    target.sp1Threshold = 20, target.sp2Threshold = 40;
    const std::vector<MonsterStats> records = {odd, divider, smasher, target, MonsterStats{}};

    std::vector<std::tuple<int, ProblemKind, std::string>> found;
    std::vector<int> hitOn;
    for (const GameFileProblem& p : checkRecords(records, 4)) {
        found.emplace_back(*p.monster, p.kind, p.field);
        if (p.kind == ProblemKind::HitOverflow) hitOn = p.others;
    }
    using K = ProblemKind;
    const std::vector<std::tuple<int, ProblemKind, std::string>> expected = {
        {0, K::ControlCharacters, "name"},
        {0, K::ControlCharacters, "special1"},
        {0, K::NoHitPoints, "hp"},
        {0, K::NegativeLevel, "level"},
        {0, K::Special1Never, "sp1Threshold"},
        {0, K::Special2Never, "sp1Threshold, sp2Threshold"},
        {0, K::RangeReversed, "offMax - offMin"},
        {1, K::LevelDividesByZero, "level"},
        {2, K::Special2Never, "sp1Threshold, sp2Threshold"},
        {2, K::RangeLeaves16Bits, "sp1Max - sp1Min"},
        {2, K::HitOverflow, "offMax - offMin"},
    };
    EXPECT_EQ(found, expected);
    const std::vector<GameFileProblem> problems = checkRecords(records, 4);
    EXPECT_EQ(problemLine(problems[8]),
              "monsters.tat: monster 2 \"Smasher   \": sp1Threshold, sp2Threshold = 50, 0: "
              "warning: special attack 2 \"            \" never happens: no action roll from 1 "
              "to 100 lies above sp1Threshold and below sp2Threshold (fix: an sp2Threshold at "
              "least 2 above sp1Threshold)");
    // Odd and the zero-filled record are down and hit where they start.
    EXPECT_EQ(hitOn, (std::vector<int>{0, 3, 4}));
}

// The record file against the sprite file, at the first record and the
// first sprite past the other, one and many.
TEST(FilesCheck, RecordsAgainstSpritesAtTheirEnds) {
    using karnwick::testing::saneMonster;
    const struct {
        int sprites, records, extraBytes;
        std::vector<std::string> effects;
    } cases[] = {
        {2, 2, 0, {}},
        {4,
         2,
         0,
         {"monster.dat holds 4 sprites: monsters 2 to 3 have no record and fight with "
          "zero-filled ones (no name, 0 hit points)"}},
        {2, 4, 0, {"monster.dat holds only 2 sprites: records 3 to 4 are never used"}},
        {2,
         2,
         1,
         {"the length is not a multiple of 86: record 3 (monster 2) is only partly there, its "
          "missing bytes read as 0",
          "monster.dat holds only 2 sprites: record 3 is never used"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.sprites) + " sprites, " + std::to_string(c.records) +
                     " records and " + std::to_string(c.extraBytes) + " bytes");
        karnwick::testing::GameFolder folder;
        folder.writePalette();
        folder.writeSprites(c.sprites);
        std::vector<MonsterStats> records;
        for (int r = 0; r < c.records; ++r)
            records.push_back(saneMonster("Sane" + std::to_string(r)));
        folder.writeRecords(records);
        std::ofstream(folder.path() / kStatsFileName, std::ios::app | std::ios::binary)
            << std::string(static_cast<std::size_t>(c.extraBytes), '\x05');
        const GameFilesReport report = checkGameFiles(folder.path());
        std::vector<std::string> effects;
        for (const GameFileProblem& p : report.problems) effects.push_back(p.effect);
        EXPECT_EQ(effects, c.effects);
        EXPECT_EQ(report.monsters, c.sprites);
        EXPECT_EQ(report.records, c.records + (c.extraBytes > 0));
        EXPECT_EQ(reportSummaryLine(report),
                  c.effects.empty()       ? "No problems found: 2 monsters, 2 records"
                  : c.effects.size() == 1 ? "1 problem found"
                                          : std::to_string(c.effects.size()) + " problems found");
    }
}

// A palette level outside 0-63 spills out of its colour byte: above 63 it
// carries into the next channel, below 0 it borrows from it.
TEST(FilesCheck, PaletteLevelsSpillIntoTheNextChannel) {
    karnwick::testing::GameFolder folder;
    std::string palette = "64,0,-1\r\n0,-1,0\r\n";
    for (int i = 2; i < 256; ++i) palette += "1,1,1\r\n";
    folder.write(kPaletteFileName, palette);
    folder.writeSprites(1);
    folder.writeRecords({karnwick::testing::saneMonster("Sane")});
    std::vector<std::pair<std::string, std::string>> found;
    for (const GameFileProblem& p : checkGameFiles(folder.path()).problems)
        found.emplace_back(p.field, p.effect.substr(0, p.effect.find(';')));
    const std::string spill = "the level is outside 0-63: times 4 it leaves its byte and ";
    EXPECT_EQ(found, (std::vector<std::pair<std::string, std::string>>{
                         {"entry 0 red", spill + "carries into green"},
                         {"entry 0 blue", spill + "borrows from the byte above blue, which no "
                                                  "screen shows"},
                         {"entry 1 green", spill + "borrows from blue"}}));
}
