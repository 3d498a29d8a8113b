// `karnwick list`: texts trimmed for the terminal, exact in CSV and JSON.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <sstream>

#include "command_run.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::GameFolder;
using karnwick::testing::setField;

TEST(List, TrimsForTheTerminalAndKeepsEveryByteForScripts) {
    GameFolder folder;
    MonsterStats ogre, nameless;
    setField(ogre.name, "Ogre");
    setField(ogre.special1, "Club, \"Big\"");
    ogre.hp = -7, ogre.spare11 = 513, ogre.sp2Threshold = 40, ogre.offMin = 3, ogre.offMax = 9;
    nameless.name[0] = 'X';  // the rest NUL, as a zero-filled record holds it
    folder.writeRecords({ogre, nameless});
    folder.write("monster.dat", std::string(2 * 9000, '\0'));

    auto list = [](const QStringList& arguments) {
        const karnwick::testing::CommandRun run = karnwick::testing::runKarnwick("list", arguments);
        EXPECT_EQ(run.status, 0) << run.err;
        return run.out;
    };
    // The table a terminal of 80 columns holds, every field with --wide.
    EXPECT_EQ(list({}),
              "index  name  hp  level  agility  strength  defense  off  sp1  sp2\n"
              "    0  Ogre  -7      0        0         0        0  3-9  0-0  0-0\n"
              "    1  X      0      0        0         0        0  0-0  0-0  0-0\n");
    const std::string table = list({"--wide"});
    EXPECT_TRUE(table.starts_with("index  name  hp  spare1")) << table;
    EXPECT_NE(table.find("  Club, \"Big\"  "), std::string::npos) << table;

    const std::string csv = list({"--csv"});
    EXPECT_TRUE(csv.starts_with("index,name,hp,spare1,spare2,spare3,spare4,spare5,level,")) << csv;
    EXPECT_NE(csv.find("\r\n0,\"Ogre      \",-7,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",\"Club, \"\"Big\"\" \","), std::string::npos) << csv;
    // Control bytes are escaped, so a CSV line is always one record.
    EXPECT_NE(csv.find(R"(1,"X\x00\x00\x00\x00\x00\x00\x00\x00\x00",)"), std::string::npos) << csv;
    // One monster: the header and its own row, numbered as in the whole list.
    EXPECT_EQ(list({"1", "--csv"}),
              csv.substr(0, csv.find("\r\n") + 2) + csv.substr(csv.find("\r\n1,") + 2));

    const QJsonArray json =
        QJsonDocument::fromJson(QByteArray::fromStdString(list({"--json"}))).array();
    ASSERT_EQ(json.size(), 2);
    EXPECT_EQ(json[0]["spare11"].toInt(), 513);
    EXPECT_EQ(json[1]["name"].toString(), QString("X") + QString(9, QChar(0)));
    EXPECT_EQ(json[1].toObject().size(), 30);

    // One monster as the panel shows it, the fields it does not show after.
    const std::string one = list({"1"});
    EXPECT_TRUE(one.starts_with("Monster 1\n  name          \"X         \"\n  hp            0\n"))
        << one;
    EXPECT_NE(list({"0"}).find("Not shown in the panel:\n  spare1        0\n"), std::string::npos);
}

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
