#include "cli/demo_data_command.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "command_run.h"
#include "data/monster_stats.h"
#include "data/sprite.h"
#include "demo/set.h"

namespace karnwick {
namespace {

int demoData(const QStringList& arguments) {
    return testing::runKarnwick("demo-data", arguments).status;
}

TEST(DemoDataCommand, WritesASetThatTheGameReadersAccept) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath("arena/demo");  // made when missing
    ASSERT_EQ(demoData({target}), 0);

    // check finds nothing: no level that bleeds into the next colour, no
    // level 100, no special attack that never comes, no NUL in a name.
    const testing::CommandRun check = testing::runKarnwick("check", {"--dir", target});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    const std::filesystem::path folder(target.toStdString());
    EXPECT_EQ(countMonsters(folder / kSpriteFileName), kDemoMonsterCount - 1);
    const std::vector<MonsterStats> expected = makeDemoMonsters();
    for (int16_t m = 0; m < kDemoMonsterCount; ++m) {
        MonsterStats read;
        loadMonsterStats(m, read, folder / kStatsFileName);
        EXPECT_EQ(read, expected[m]) << "monster " << m;
    }
}

}  // namespace
}  // namespace karnwick
