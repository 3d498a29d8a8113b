#include "cli/demo_data_command.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/check_command.h"
#include "data/monster_stats.h"
#include "data/sprite.h"
#include "demo/set.h"

namespace karnwick {
namespace {

int demoData(const QStringList& arguments) {
    std::ostringstream out, errors;
    return runDemoDataCommand(arguments, out, errors);
}

TEST(DemoDataCommand, WritesASetThatTheGameReadersAccept) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath("arena/demo");  // made when missing
    ASSERT_EQ(demoData({target}), 0);

    // check finds nothing: no level that bleeds into the next colour, no
    // level 100, no special attack that never comes, no NUL in a name.
    std::ostringstream out, err;
    EXPECT_EQ(runCheckCommand({"--dir", target}, out, err), 0) << out.str() << err.str();
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
