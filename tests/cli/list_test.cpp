// `karnwick list` where a monster has no record (its outputs are pinned in
// tests/golden/list.txt).

#include <gtest/gtest.h>

#include <filesystem>

#include "command_run.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::GameFolder;
using karnwick::testing::setField;

// With 32768 sprites the last monster's record number overflows: every other
// record is listed and the arena's error for it is named.
TEST(List, MonsterWithoutARecordIsNamedNotFatal) {
    GameFolder folder;
    MonsterStats ogre;
    setField(ogre.name, "Ogre");
    folder.writeRecords({ogre});
    folder.write("monster.dat", "");
    std::filesystem::resize_file("monster.dat", 32768LL * 9000);
    const karnwick::testing::CommandRun all = karnwick::testing::runKarnwick("list", {"--csv"});
    EXPECT_EQ(all.status, 1);
    EXPECT_NE(all.out.find("\r\n32766,"), std::string::npos);
    EXPECT_EQ(all.out.find("\r\n32767,"), std::string::npos);
    const std::string said =
        "karnwick list: monster 32767 has no record: choosing it in the arena stops with "
        "\"./monsters.tat: overflow in the record number of monster 32767\"\n";
    EXPECT_EQ(all.err, said);
    const karnwick::testing::CommandRun one = karnwick::testing::runKarnwick("list", {"32767"});
    EXPECT_EQ(one.status, 2);
    EXPECT_EQ(one.err, said);
}
