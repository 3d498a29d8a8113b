#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "data/monster_stats.h"

using namespace karnwick;

// Every byte of the record different, so a field read from the wrong place,
// or into another field, shows; the offsets are the file format's own.
TEST(Records, EveryFieldSitsAtItsOffset) {
    RecordBytes bytes;
    for (int i = 0; i < kRecordLength; ++i) bytes[i] = static_cast<unsigned char>(0x21 + i);
    const MonsterStats s = decodeMonsterStats(bytes);
    using M = MonsterStats;
    const std::pair<int16_t M::*, int> numbers[] = {
        {&M::hp, 10},           {&M::spare1, 12},  {&M::spare2, 14}, {&M::spare3, 16},
        {&M::spare4, 18},       {&M::spare5, 20},  {&M::level, 22},  {&M::agility, 24},
        {&M::strength, 26},     {&M::spare6, 28},  {&M::spare7, 30}, {&M::sp1Threshold, 56},
        {&M::sp2Threshold, 58}, {&M::spare8, 60},  {&M::spare9, 62}, {&M::offMin, 64},
        {&M::offMax, 66},       {&M::sp1Min, 68},  {&M::sp1Max, 70}, {&M::sp2Min, 72},
        {&M::sp2Max, 74},       {&M::defense, 76}, {&M::mpower, 78}, {&M::magicFlag, 80},
        {&M::spare10, 82},      {&M::spare11, 84}};
    for (const auto& [number, offset] : numbers)
        EXPECT_EQ(s.*number, bytes[offset] | bytes[offset + 1] << 8) << offset;
    auto text = [&](int offset, int width) {
        return std::string(reinterpret_cast<const char*>(bytes.data()) + offset, width);
    };
    EXPECT_EQ(std::string(s.name.data(), 10), text(0, 10));
    EXPECT_EQ(std::string(s.special1.data(), 12), text(32, 12));
    EXPECT_EQ(std::string(s.special2.data(), 12), text(44, 12));
    EXPECT_EQ(encodeMonsterStats(s), bytes);
    // Little-endian and signed: FF FF is -1, 00 80 the smallest number.
    bytes[24] = 0xFF, bytes[25] = 0xFF, bytes[26] = 0x00, bytes[27] = 0x80;
    EXPECT_EQ(decodeMonsterStats(bytes).agility, -1);
    EXPECT_EQ(decodeMonsterStats(bytes).strength, -32768);
}

// Records by index in a file's bytes: whole, cut short (the missing bytes
// read as 0, as the game reads past the end), or past the end altogether;
// writing one past the end fills the gap with zero-filled records.
TEST(Records, ByIndexInAFilesBytes) {
    MonsterStats a, b;
    a.hp = 11, a.spare11 = -2;
    b.hp = 22, b.spare11 = 0x0707;
    std::vector<unsigned char> file;
    putRecord(file, 0, a);
    putRecord(file, 2, b);
    ASSERT_EQ(file.size(), 3u * kRecordLength);
    EXPECT_EQ(recordAt(file, 0).spare11, -2);
    EXPECT_EQ(recordAt(file, 1).hp, 0);
    EXPECT_EQ(recordAt(file, 2).spare11, 0x0707);
    putRecord(file, 1, b);
    EXPECT_EQ(file.size(), 3u * kRecordLength);
    EXPECT_EQ(recordAt(file, 1).spare11, 0x0707);
    file.resize(3 * kRecordLength - 1);
    EXPECT_EQ(recordAt(file, 2).spare11, 0x07);
    EXPECT_EQ(recordAt(file, 2).hp, 22);
    EXPECT_EQ(recordAt(file, 3).hp, 0);
    EXPECT_EQ(recordAt(file, 40000).hp, 0);
}
