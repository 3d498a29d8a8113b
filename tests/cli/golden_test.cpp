// Every command's output for the hand-checked set, pinned in tests/golden/.

#include <gtest/gtest.h>

#include <QImage>

#include "command_run.h"
#include "golden.h"

using karnwick::testing::expectGolden;
using karnwick::testing::GameFolder;
using karnwick::testing::goldenTranscript;

namespace {

struct GoldenFolder : GameFolder {
    GoldenFolder() { karnwick::testing::writeGoldenSet(*this); }
};

}  // namespace

// Grüngul (agility 13) opens against Ice Wraith and falls in turn 14; the
// JSON names the side left standing, and no side for a capped battle or one
// stopped by level 100's division by zero.
TEST(Golden, Duel) {
    GoldenFolder folder;
    expectGolden(
        "duel", goldenTranscript(folder, {
                                             {{"duel", "0", "1"}},
                                             {{"duel", "0", "1", "--battles", "2", "--json"}},
                                             {{"duel", "0", "1", "--summary", "--battles", "300"}},
                                             {{"duel", "0", "1", "--summary", "--battles", "4"}},
                                             {{"duel", "7", "0", "--summary"}},
                                             {{"duel", "0", "6", "--summary", "--battles", "3"}},
                                             {{"duel", "2", "3", "--json"}},
                                             {{"duel", "2", "3", "--summary", "--battles", "2"}},
                                             {{"duel", "5", "5", "--json"}},
                                             {{"duel", "0", "6"}},
                                             {{"duel", "0", "6", "--json"}},
                                             {{"duel", "0", "1", "--seed", "9", "--set", "1.hp=5"}},
                                         }));
}

TEST(Golden, List) {
    GoldenFolder folder;
    expectGolden("list", goldenTranscript(folder, {
                                                      {{"list"}},
                                                      {{"list", "--wide"}},
                                                      {{"list", "--csv"}},
                                                      {{"list", "--json"}},
                                                      {{"list", "4"}},
                                                      {{"list", "9"}},
                                                      {{"list", "4", "--csv"}},
                                                      {{"list", "10"}},
                                                  }));
}

TEST(Golden, Check) {
    GoldenFolder folder;
    expectGolden("check", goldenTranscript(folder, {
                                                       {{"check"}},
                                                       {{"check", "--json"}},
                                                   }));
}

TEST(Golden, OddsAndMatrix) {
    GoldenFolder folder;
    expectGolden("odds", goldenTranscript(folder, {
                                                      {{"odds", "0", "1"}},
                                                      {{"odds", "0", "1", "--json"}},
                                                      {{"odds", "0", "1", "--set", "1.hp=5"}},
                                                      {{"odds", "0", "1", "--csv"}},
                                                      {{"odds", "7", "0"}},
                                                      {{"odds", "2", "3"}},
                                                      {{"odds", "5", "0"}},
                                                      {{"odds", "6", "4", "--json"}},
                                                  }));
    expectGolden("matrix",
                 goldenTranscript(folder, {
                                              {{"matrix"}},
                                              {{"matrix", "--csv", "--threads", "1"}},
                                              {{"matrix", "--json", "--threads", "3"}},
                                              {{"matrix", "--png", "map.png"}, {"map.png"}},
                                          }));
}

TEST(Golden, Sweep) {
    GoldenFolder folder;
    expectGolden(
        "sweep",
        goldenTranscript(
            folder, {
                        {{"sweep", "0", "1", "1.hp", "40..50", "--step", "5"}},
                        {{"sweep", "0", "1", "1.hp", "40..50", "--step", "5", "--csv"}},
                        {{"sweep", "0", "1", "1.hp", "40..50", "--step", "5", "--json"}},
                        {{"sweep", "0", "1", "1.hp", "47..47"}},
                        {{"sweep", "4", "4", "4.level", "98..100", "--csv"}},
                        {{"sweep", "0", "1", "1.hp", "1..60", "--target", "50"}},
                        {{"sweep", "0", "1", "0.hp", "1..60", "--step", "10", "--png", "curve.png"},
                         {"curve.png"}},
                    }));
}

TEST(Golden, Export) {
    GoldenFolder folder;
    expectGolden(
        "export",
        goldenTranscript(folder, {
                                     {{"export", "sprite", "3", "-o", "s3.png"}, {"s3.png"}},
                                     {{"export", "sprite", "9", "--scale", "2"}, {"sprite-9.png"}},
                                     {{"export", "sheet", "1"}, {"sheet-1.png"}},
                                     {{"export", "palette"}, {"palette.png"}},
                                     {{"export", "all", "out"}, {"out"}},
                                 }));
}

// What set and import print, and the records they leave, as list --csv shows
// them; "(a new record)" is monster 7, the first without one.
TEST(Golden, SetAndImport) {
    GoldenFolder folder;
    ASSERT_EQ(karnwick::testing::runKarnwick("export", {"sprite", "1", "-o", "one.png"}).status, 0);
    // The same picture in plain colours: its colour is held by entries 26
    // and 201, and comes back as the lower.
    ASSERT_TRUE(QImage("one.png").convertToFormat(QImage::Format_ARGB32).save("plain.png"));
    folder.write(
        "rows.csv",
        "\xEF\xBB\xBF" + karnwick::testing::csvHeader() +
            "7,\"Nub\\x1f\",1,2,3,4,5,6,7,8,9,10,11,\"A\",\"B\",12,13,14,15,16,17,18,19,20,21,"
            "22,23,24,25,26\r\n"
            "2,\"Moss\",33,301,302,303,304,305,5,7,-90,306,307,\"Spore Cloud\",\"Root Snare\","
            "12,27,308,309,1,2,3,4,8,6,40,14,0,310,311\r\n");
    expectGolden("edit", goldenTranscript(folder, {
                                                      {{"set", "7", "hp=5", "--dry-run"}},
                                                      {{"set", "6", "level=99", "name=Glasswünd"}},
                                                      {{"list", "6", "--csv"}},
                                                      {{"set", "4", "hp=0"}},
                                                      {{"import", "stats", "rows.csv"}},
                                                      {{"list", "--csv"}},
                                                      {{"import", "sprite", "1", "plain.png"}},
                                                      {{"export", "sprite", "1", "-o", "back.png"},
                                                       {"back.png", "one.png"}},
                                                  }));
}

// The demo set's files, and its first duel: Grubnik falls in turn 16.
TEST(Golden, DemoData) {
    GameFolder folder;
    expectGolden("demo-data", goldenTranscript(folder, {
                                                           {{"demo-data", "D"}, {"D"}},
                                                           {{"--dir", "D", "duel", "0", "1"}},
                                                           {{"demo-data", "D"}},
                                                       }));
}
