#include "tools/demo_data_command.h"

#include <gtest/gtest.h>

#include <iostream>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>

#include "data/monster_stats.h"
#include "data/palette.h"
#include "data/sprite.h"
#include "tools/demo_set.h"

namespace karnwick {
namespace {

TEST(DemoDataCommand, WritesASetThatTheGameReadersAccept) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath("arena/demo");  // made when missing
    ASSERT_EQ(runDemoDataCommand({target}, std::cout, std::cerr), 0);

    const std::filesystem::path folder(target.toStdString());
    Palette palette;
    ASSERT_NO_THROW(loadPalette(palette, folder / kPaletteFileName));
    ASSERT_NO_THROW(makeColorFromRGB(palette));
    // Levels are not clamped: one past 63 would bleed into the next colour.
    for (int i = 0; i < kPaletteEntries; ++i) {
        EXPECT_LE(std::max({palette.palRed[i], palette.palGreen[i], palette.palBlue[i]}), 252);
    }
    EXPECT_EQ(countMonsters(folder / kSpriteFileName), kDemoMonsterCount - 1);
    const std::vector<MonsterStats> expected = makeDemoMonsters();
    for (int16_t m = 0; m < kDemoMonsterCount; ++m) {
        MonsterStats read;
        loadMonsterStats(m, read, folder / kStatsFileName);
        EXPECT_EQ(read, expected[m]) << "monster " << m;
    }
}

// Nothing is written while any one of the three files is in the way, unless
// forced; a wrong command line is refused outright.
TEST(DemoDataCommand, RefusesToOverwriteWithoutForce) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QFile existing(dir.filePath("monsters.tat"));
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("the player's own records");
    }
    EXPECT_EQ(runDemoDataCommand({dir.path()}, std::cout, std::cerr), 1);
    EXPECT_EQ(QFileInfo(dir.filePath("monsters.tat")).size(), 24);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("mypal.pal")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("monster.dat")));

    EXPECT_EQ(runDemoDataCommand({dir.path(), "--force"}, std::cout, std::cerr), 0);
    EXPECT_EQ(QFileInfo(dir.filePath("monsters.tat")).size(), kDemoMonsterCount * kRecordLength);

    EXPECT_EQ(runDemoDataCommand({"--colour"}, std::cout, std::cerr), 2);
    EXPECT_EQ(runDemoDataCommand({"one", "two"}, std::cout, std::cerr), 2);
}

}  // namespace
}  // namespace karnwick
