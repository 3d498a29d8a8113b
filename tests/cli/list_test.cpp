// `karnwick list`: texts trimmed for the terminal, exact in CSV and JSON.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <sstream>

#include "game_files.h"
#include "cli/list_command.h"

using namespace karnwick;
using karnwick::testing::GameFolder;
using karnwick::testing::setField;

TEST(List, TrimsForTheTerminalAndKeepsEveryByteForScripts) {
    GameFolder folder;
    MonsterStats ogre, nameless;
    setField(ogre.name, "Ogre");
    setField(ogre.special1, "Club, \"Big\"");
    ogre.hp = -7, ogre.spare11 = 513, ogre.sp2Threshold = 40;
    nameless.name[0] = 'X';  // the rest NUL, as a zero-filled record holds it
    folder.writeRecords({ogre, nameless});
    folder.write("monster.dat", std::string(2 * 9000, '\0'));

    auto list = [](const QStringList& arguments) {
        std::ostringstream out, err;
        EXPECT_EQ(runListCommand(arguments, out, err), 0) << err.str();
        return out.str();
    };
    const std::string table = list({});
    EXPECT_TRUE(table.starts_with("index  name  hp  spare1")) << table;
    EXPECT_NE(table.find("\n    0  Ogre  -7 "), std::string::npos) << table;
    EXPECT_NE(table.find("  Club, \"Big\"  "), std::string::npos) << table;
    EXPECT_NE(table.find("\n    1  X      0 "), std::string::npos) << table;

    const std::string csv = list({"--csv"});
    EXPECT_TRUE(csv.starts_with("index,name,hp,spare1,spare2,spare3,spare4,spare5,level,")) << csv;
    EXPECT_NE(csv.find("\r\n0,\"Ogre      \",-7,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",\"Club, \"\"Big\"\" \","), std::string::npos) << csv;
    // Control bytes are escaped, so a CSV line is always one record.
    EXPECT_NE(csv.find(R"(1,"X\x00\x00\x00\x00\x00\x00\x00\x00\x00",)"), std::string::npos) << csv;

    const QJsonArray json =
        QJsonDocument::fromJson(QByteArray::fromStdString(list({"--json"}))).array();
    ASSERT_EQ(json.size(), 2);
    EXPECT_EQ(json[0]["name"].toString(), "Ogre      ");
    EXPECT_EQ(json[0]["spare11"].toInt(), 513);
    EXPECT_EQ(json[1]["name"].toString(), QString("X") + QString(9, QChar(0)));
    EXPECT_EQ(json[1].toObject().size(), 30);

    // One monster as the panel shows it, the fields it does not show after.
    const std::string one = list({"1"});
    EXPECT_TRUE(one.starts_with("Monster 1\n  name          \"X         \"\n  hp            0\n"))
        << one;
    EXPECT_NE(list({"0"}).find("Not shown in the panel:\n  spare1        0\n"), std::string::npos);
    EXPECT_NE(list({"0"}).find("  sp2Threshold  40\n"), std::string::npos);
}
