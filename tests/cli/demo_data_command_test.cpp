#include "cli/demo_data_command.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "data/monster_stats.h"
#include "data/sprite.h"
#include "command_run.h"
#include "demo/set.h"

namespace karnwick {
namespace {

int demoData(const QStringList& arguments, std::string* err = nullptr) {
    const testing::CommandRun run = testing::runKarnwick("demo-data", arguments);
    if (err) *err = run.err;
    return run.status;
}

std::string contentsOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
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

// Nothing is written while any one of the three files is in the way, unless
// forced; a link is in the way like a file, and --force replaces the link
// itself, never what it leads to. A wrong command line is refused outright.
TEST(DemoDataCommand, RefusesToOverwriteAndNeverWritesThroughALink) {
    QTemporaryDir temporary;
    ASSERT_TRUE(temporary.isValid());
    const std::filesystem::path dir(temporary.path().toStdString());
    std::filesystem::create_directories(dir / "d");
    std::filesystem::create_directories(dir / "v");
    { std::ofstream(dir / "d" / "monsters.tat") << "the player's own records"; }
    { std::ofstream(dir / "v" / "spr.dat") << "outside"; }
    std::filesystem::create_symlink("../v/pal.txt", dir / "d" / "mypal.pal");  // dangling
    std::filesystem::create_symlink("../v/spr.dat", dir / "d" / "monster.dat");
    const QString d = QString::fromStdString((dir / "d").string());

    std::string err;
    EXPECT_EQ(demoData({d}, &err), 2);
    EXPECT_NE(err.find("mypal.pal already exists; use --force to overwrite it"), std::string::npos);
    EXPECT_EQ(contentsOf(dir / "d" / "monsters.tat"), "the player's own records");
    EXPECT_FALSE(std::filesystem::exists(dir / "v" / "pal.txt"));

    EXPECT_EQ(demoData({d, "--force"}), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "v" / "pal.txt"));
    EXPECT_EQ(contentsOf(dir / "v" / "spr.dat"), "outside");
    for (const auto& name : demoFileNames())
        EXPECT_TRUE(
            std::filesystem::is_regular_file(std::filesystem::symlink_status(dir / "d" / name)));
    EXPECT_EQ(std::filesystem::file_size(dir / "d" / "monsters.tat"),
              kDemoMonsterCount * kRecordLength);

    EXPECT_EQ(demoData({"--colour"}), 2);
    EXPECT_EQ(demoData({"one", "two"}), 2);
}

// A failure part-way (here a folder where monster.dat belongs) leaves the old
// files as they were and no new file beside them; a folder that cannot be
// made says why.
TEST(DemoDataCommand, AFailureLeavesTheFolderAsItWas) {
    QTemporaryDir temporary;
    ASSERT_TRUE(temporary.isValid());
    const std::filesystem::path dir(temporary.path().toStdString());
    { std::ofstream(dir / "mypal.pal") << "old palette"; }
    std::filesystem::create_directory(dir / "monster.dat");
    std::string err;
    EXPECT_EQ(demoData({temporary.path(), "--force"}, &err), 2);
    EXPECT_NE(err.find("monster.dat: it is a folder"), std::string::npos) << err;
    EXPECT_EQ(contentsOf(dir / "mypal.pal"), "old palette");
    EXPECT_FALSE(std::filesystem::exists(dir / "monsters.tat"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);

    EXPECT_EQ(demoData({QString::fromStdString((dir / "mypal.pal" / "sub").string())}, &err), 2);
    EXPECT_NE(err.find("cannot create the folder"), std::string::npos);
    EXPECT_NE(err.find(": Not a directory"), std::string::npos) << err;
}

}  // namespace
}  // namespace karnwick
