#include "tools/demo_data_command.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "data/monster_stats.h"
#include "data/palette.h"
#include "data/sprite.h"
#include "tools/demo_set.h"

namespace karnwick {
namespace {

std::filesystem::path pathIn(const QTemporaryDir& dir, const char* name) {
    return std::filesystem::path(dir.filePath(name).toStdString());
}

TEST(DemoDataCommand, WritesASetThatTheGameReadersAccept) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath("arena/demo");  // made when missing
    ASSERT_EQ(runDemoDataCommand({target}), 0);

    const std::filesystem::path folder(target.toStdString());
    Palette palette;
    ASSERT_NO_THROW(loadPalette(palette, folder / kPaletteFileName));
    ASSERT_NO_THROW(makeColorFromRGB(palette));
    for (int i = 0; i < kPaletteEntries; ++i) {
        EXPECT_LE(palette.palRed[i], 252);
        EXPECT_LE(palette.palGreen[i], 252);
        EXPECT_LE(palette.palBlue[i], 252);
    }
    EXPECT_EQ(countMonsters(folder / kSpriteFileName), kDemoMonsterCount - 1);

    const std::vector<MonsterStats> expected = makeDemoMonsters();
    for (int16_t m = 0; m < kDemoMonsterCount; ++m) {
        MonsterStats read;
        loadMonsterStats(m, read, folder / kStatsFileName);
        EXPECT_EQ(read, expected[m]) << "monster " << m;
    }
}

TEST(DemoDataCommand, RefusesToOverwriteWithoutForce) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QFile existing(dir.filePath("monsters.tat"));
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("the player's own records");
    }
    EXPECT_EQ(runDemoDataCommand({dir.path()}), 1);
    EXPECT_EQ(QFileInfo(dir.filePath("monsters.tat")).size(), 24);
    // Nothing is written when one of the three is in the way.
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("mypal.pal")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("monster.dat")));

    EXPECT_EQ(runDemoDataCommand({dir.path(), "--force"}), 0);
    EXPECT_EQ(QFileInfo(dir.filePath("monsters.tat")).size(), kDemoMonsterCount * kRecordLength);
    EXPECT_EQ(countMonsters(pathIn(dir, "monster.dat")), kDemoMonsterCount - 1);
}

TEST(DemoDataCommand, RejectsAWrongCommandLine) {
    EXPECT_EQ(runDemoDataCommand({"--colour"}), 2);
    EXPECT_EQ(runDemoDataCommand({"one", "two"}), 2);
}

}  // namespace
}  // namespace karnwick
