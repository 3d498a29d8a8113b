#include <gtest/gtest.h>

#include <cstring>

#include "data/errors.h"
#include "data/monster_stats.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::GameFolder;

TEST(Records, DecodeTheFieldsAtTheirOffsets) {
    RecordBytes bytes{};
    std::memcpy(bytes.data(), "Goblin    ", 10);
    bytes[10] = 0x1E;                    // hp 30
    bytes[22] = 5;                       // level
    bytes[24] = 0xFF, bytes[25] = 0xFF;  // agility -1
    bytes[26] = 0x00, bytes[27] = 0x80;  // strength -32768
    std::memcpy(bytes.data() + 32, "Bite        ", 12);
    std::memcpy(bytes.data() + 44, "Club Smash  ", 12);
    bytes[56] = 20, bytes[58] = 35;
    bytes[64] = 4, bytes[66] = 9;
    bytes[76] = 3, bytes[80] = 1, bytes[84] = 7;
    const MonsterStats s = decodeMonsterStats(bytes);
    EXPECT_EQ(fieldText(s.name), "Goblin    ");
    EXPECT_EQ(s.hp, 30);
    EXPECT_EQ(s.level, 5);
    EXPECT_EQ(s.agility, -1);
    EXPECT_EQ(s.strength, -32768);
    EXPECT_EQ(fieldText(s.special2), "Club Smash  ");
    EXPECT_EQ(s.sp1Threshold, 20);
    EXPECT_EQ(s.sp2Threshold, 35);
    EXPECT_EQ(s.offMin, 4);
    EXPECT_EQ(s.offMax, 9);
    EXPECT_EQ(s.defense, 3);
    EXPECT_EQ(s.magicFlag, 1);
    EXPECT_EQ(s.spare11, 7);
    EXPECT_EQ(encodeMonsterStats(s), bytes);
}

// Which record a monster reads, whole or cut short, is in the bad-file
// matrix; record 32768 (monster 32767) does not fit 16 bits.
TEST(Records, MonsterIndexPlusOneMustFitSixteenBits) {
    GameFolder folder;
    folder.writeRecords({MonsterStats{}});
    MonsterStats s;
    EXPECT_THROW(loadMonsterStats(32767, s), GameError);
}
