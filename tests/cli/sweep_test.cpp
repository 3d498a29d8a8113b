#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <fstream>
#include <sstream>

#include "cli/commands.h"
#include "command_run.h"
#include "demo/set.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::GameFolder;

namespace {

using karnwick::testing::CommandRun;

CommandRun run(const char* name, const QStringList& args) {
    return karnwick::testing::runKarnwick(name, args);
}

QJsonArray jsonRows(const CommandRun& r) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
}

// Two demo monsters, and records that reach the odds' other paths: misses
// and hits for nothing, an attack that always fails, and hits so large that
// they overflow any standing side.
struct SweepFolder : GameFolder {
    SweepFolder() {
        std::vector<MonsterStats> monsters = makeDemoMonsters();
        monsters.resize(5);
        MonsterStats& misser = monsters[2];
        misser = MonsterStats{};
        misser.hp = 40, misser.agility = 10, misser.offMin = -20, misser.offMax = 15;
        misser.sp1Threshold = 20, misser.sp1Min = 5, misser.sp1Max = 9, misser.mpower = 200;
        monsters[3] = misser;
        monsters[3].level = 100;
        monsters[4] = misser;
        monsters[4].level = 90, monsters[4].offMin = monsters[4].offMax = 30000;
        writeRecords(monsters);
        write("monster.dat", std::string(5 * 9000, '\0'));
    }
};

}  // namespace

// Every row is what `odds --set` says for that value, the same on any number
// of threads: hit points through their own fast path (negative, both sides,
// misses, failing attacks, overflowing hits) and another number through the
// plain one.
TEST(SweepCommand, RowsAreTheOddsOfEachValue) {
    SweepFolder folder;
    const QStringList cases[] = {
        {"0", "1", "0.hp", "-3..200", "--step", "7"},
        {"1", "2", "1.hp", "1..400", "--step", "13"},
        {"2", "2", "2.hp", "-1..90", "--step", "3"},
        // Every value through 0 hit points, on either side and on both.
        {"0", "1", "1.hp", "-2..3"},
        {"0", "1", "0.hp", "-2..3"},
        {"1", "1", "1.hp", "-1..2"},
        {"3", "0", "3.hp", "1..50", "--step", "7"},
        {"0", "4", "0.hp", "1..32767", "--step", "4099"},
        {"2", "0", "2.offMax", "0..30", "--step", "5"},
    };
    const char* keys[] = {"oneWins", "twoWins", "bothFell", "turnCap", "error", "meanTurns"};
    for (const QStringList& c : cases) {
        SCOPED_TRACE(c.join(' ').toStdString());
        const CommandRun sweep = run("sweep", c + QStringList{"--json", "--threads", "1"});
        ASSERT_EQ(sweep.status, 0) << sweep.err;
        EXPECT_EQ(run("sweep", c + QStringList{"--json", "--threads", "3"}).out, sweep.out);
        for (const QJsonValue row : jsonRows(sweep)) {
            const QString value = QString::number(row["value"].toInt());
            const CommandRun odds =
                run("odds", {c[0], c[1], "--json", "--set", c[2] + "=" + value});
            const QJsonObject expected =
                QJsonDocument::fromJson(QByteArray::fromStdString(odds.out)).object();
            for (const char* key : keys)
                EXPECT_NEAR(row[key].toDouble(), expected[key].toDouble(), 1e-12)
                    << key << " at " << value.toStdString();
        }
    }
}

// magicFlag turns the special attack magic for every value but 0, so the
// values either side of 0 tie, apart in the sweep.
TEST(SweepCommand, TargetNamesEveryTiedValue) {
    SweepFolder folder;
    const QStringList sweep = {"2", "0", "2.magicFlag", "-2..2"};
    const QJsonArray rows = jsonRows(run("sweep", sweep + QStringList{"--json"}));
    ASSERT_EQ(rows.size(), 5);
    const double magic = rows[3]["oneWins"].toDouble(), plain = rows[2]["oneWins"].toDouble();
    ASSERT_NE(magic, plain);
    auto percent = [](double chance) { return QString::number(100.0 * chance, 'g', 17); };
    const struct {
        QString target;
        std::string answer;
    } targets[] = {
        {percent(magic), "at each of 4 values of magicFlag (a tie): -2..-1 and 1..2\n"},
        {percent(plain), "at magicFlag 0\n"},
    };
    for (const auto& t : targets) {
        const CommandRun r = run("sweep", sweep + QStringList{"--target", t.target});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.substr(r.out.find(" at ") + 1), t.answer) << r.out;
    }
}

// A field given twice with --set takes its last value, in every command that
// plays battles; the swept value wins over a --set of the same field.
TEST(SweepCommand, TheLastSetOfAFieldWins) {
    SweepFolder folder;
    const struct {
        const char* command;
        QStringList twice, once, first;
    } same[] = {
        {"odds",
         {"0", "1", "--set", "1.hp=5", "--set", "1.hp=40"},
         {"0", "1", "--set", "1.hp=40"},
         {"0", "1", "--set", "1.hp=5"}},
        {"duel",
         {"0", "1", "--summary", "--set", "0.agility=1", "--set", "0.agility=30"},
         {"0", "1", "--summary", "--set", "0.agility=30"},
         {"0", "1", "--summary", "--set", "0.agility=1"}},
        {"matrix",
         {"--csv", "--set", "2.level=100", "--set", "2.level=3"},
         {"--csv", "--set", "2.level=3"},
         {"--csv", "--set", "2.level=100"}},
        {"sweep",
         {"0", "1", "1.hp", "3..5", "--csv", "--set", "1.hp=90", "--set", "0.hp=7", "--set",
          "0.hp=30"},
         {"0", "1", "1.hp", "3..5", "--csv", "--set", "0.hp=30"},
         {"0", "1", "1.hp", "3..5", "--csv", "--set", "0.hp=7"}},
    };
    for (const auto& s : same) {
        SCOPED_TRACE(s.twice.join(' ').toStdString());
        const CommandRun twice = run(s.command, s.twice);
        ASSERT_EQ(twice.status, 0) << twice.err;
        EXPECT_EQ(twice.out, run(s.command, s.once).out);
        EXPECT_NE(twice.out, run(s.command, s.first).out);
    }
}

// Long battles sum many turns' chances, and the rounding of doubles can carry
// a share a hair past 1: every share printed stays within 0..1, as the
// outcome chances do.
TEST(SweepCommand, OddsPrintNoShareBeyondOne) {
    SweepFolder folder;
    QStringList slow = {"0", "1"};
    for (const char* side : {"0", "1"}) {
        slow << "--set" << QString("%1.hp=30000").arg(side);
        for (const char* low : {"offMin", "sp1Min", "sp2Min"})
            slow << "--set" << QString("%1.%2=1").arg(side, low);
        for (const char* high : {"offMax", "sp1Max", "sp2Max"})
            slow << "--set" << QString("%1.%2=3").arg(side, high);
    }
    const CommandRun odds = run("odds", slow + QStringList{"--json"});
    ASSERT_EQ(odds.status, 0) << odds.err;
    const QJsonObject object =
        QJsonDocument::fromJson(QByteArray::fromStdString(odds.out)).object();
    EXPECT_EQ(object["turnCap"].toDouble(), 1.0);
    auto expectShare = [](const QJsonValue& share, const char* what) {
        EXPECT_GE(share.toDouble(-1), 0.0) << what;
        EXPECT_LE(share.toDouble(2), 1.0) << what;
    };
    for (const QJsonValue turn : object["turns"].toArray()) expectShare(turn, "turn");
    EXPECT_EQ(object["turns"].toArray().last().toDouble(), 1.0);
    for (const char* side : {"one", "two"})
        for (const QJsonValue pair : object["hpLeft"][side].toArray()) expectShare(pair[1], side);
}
