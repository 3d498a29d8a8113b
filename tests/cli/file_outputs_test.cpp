// Every command that writes files (export, matrix --png, demo-data) against
// whatever may be at its target, and outputs that are doomed or too large
// refused before any work.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRegularExpression>
#include <chrono>
#include <fstream>
#include <functional>

#include "battle/odds.h"
#include "charts/heat_map.h"
#include "command_run.h"
#include "demo/set.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::GameFolder;
namespace fs = std::filesystem;

namespace {

using Outcome = karnwick::testing::CommandRun;

Outcome runTool(QStringList arguments) {
    const std::string command = arguments.takeFirst().toStdString();
    return karnwick::testing::runKarnwick(command, arguments);
}

std::string contentsOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The demo set cut down to its first three sprites: a matrix of nine pairs.
void writeSmallSet(const GameFolder& folder) {
    writeDemoSet(folder.path(), Existing::Replace);
    fs::resize_file(folder.path() / kSpriteFileName, 3 * kSpriteBytes);
}

}  // namespace

TEST(FileOutputs, OnlyARegularFileIsReplacedAndOnlyWithForce) {
    const struct {
        const char* command;
        QStringList arguments;  // "T" is the target, "D" its folder
    } commands[] = {
        {"export", {"export", "sprite", "1", "-o", "T"}},
        {"matrix", {"matrix", "--png", "T"}},
        {"demo-data", {"demo-data", "D"}},
    };
    // A link replaced as a link, not written through: file_writer_test.cpp.
    const struct {
        const char* what;
        std::function<void(const fs::path& target)> make;
        bool force;
        int status;
        const char* message;
    } kinds[] = {
        {"a FIFO", [](const fs::path& t) { ::mkfifo(t.c_str(), 0644); }, true, 2,
         "T: not a regular file"},
        {"a folder", [](const fs::path& t) { fs::create_directory(t); }, true, 2,
         "T: not a regular file (it is a folder)"},
        {"a file", [](const fs::path& t) { std::ofstream(t) << "old"; }, false, 2,
         "T: already exists (use --force to replace it)"},
        {"a file, forced", [](const fs::path& t) { std::ofstream(t) << "old"; }, true, 0, ""},
    };
    for (const auto& command : commands) {
        for (const auto& kind : kinds) {
            SCOPED_TRACE(std::string(command.command) + " onto " + kind.what);
            GameFolder folder;
            writeSmallSet(folder);
            fs::create_directory("d");
            const fs::path target = command.command == std::string("demo-data")
                                        ? fs::path("d") / kPaletteFileName
                                        : fs::path("d") / "t.png";
            kind.make(target);
            QStringList arguments = command.arguments;
            arguments.replaceInStrings(QRegularExpression("^T$"), QString::fromStdString(target));
            arguments.replaceInStrings(QRegularExpression("^D$"), "d");
            if (kind.force) arguments << "--force";
            const Outcome run = runTool(arguments);
            EXPECT_EQ(run.status, kind.status) << run.err;
            if (kind.status != 0) {
                std::string message = kind.message;
                message.replace(0, 1, target.string());
                EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
                EXPECT_EQ(fs::symlink_status(target).type() == fs::file_type::regular,
                          std::string(kind.what) == "a file");
            } else {
                EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
                EXPECT_NE(contentsOf(target), "old");
            }
            for (const auto& entry : fs::recursive_directory_iterator("."))
                EXPECT_EQ(entry.path().string().find(".karnwick-"), std::string::npos);
        }
    }
}

// A doomed or oversized output fails in moments, before any picture is
// drawn or pair worked out, and leaves no folder behind; 32768 sprites (the
// most an index can name) end rather than wrap.
TEST(FileOutputs, DoomedOutputsFailBeforeAnyWork) {
    GameFolder folder;
    writeSmallSet(folder);
    const struct {
        QStringList arguments;
        const char* message;
    } cases[] = {
        {{"matrix", "--csv", "--png", "missing/map.png"},
         "missing/map.png: cannot write (the folder missing does not exist)"},
        {{"export", "palette", "-o", ""}, "-o needs a file name"},
        {{"export", "all", "monster.dat/x"}, "monster.dat/x: cannot write (monster.dat"},
        {{"demo-data", "monster.dat/x"}, "monster.dat/x: cannot write (monster.dat"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Outcome run = runTool(c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    fs::resize_file(kSpriteFileName, std::uintmax_t{32768} * kSpriteBytes);  // sparse
    const auto start = std::chrono::steady_clock::now();
    const Outcome all = runTool({"export", "all", "many", "--scale", "20"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_NE(all.err.find("at most 64 megapixels"), std::string::npos) << all.err;
    EXPECT_FALSE(fs::exists("many"));

    fs::resize_file(kSpriteFileName, 0);
    EXPECT_NE(
        runTool({"export", "sprite", "0"}).err.find("in monster.dat, which holds no monsters"),
        std::string::npos);
}

// Rows made a band at a time are the rows of the whole matrix, whatever
// the band; the heat map of the largest roster is refused with its figures.
TEST(FileOutputs, MatrixBandsMatchTheWholeMatrix) {
    std::vector<MonsterStats> monsters = makeDemoMonsters();
    monsters.resize(5);
    const std::vector<OutcomeOdds> whole = oddsMatrix(monsters, 2);
    for (const std::size_t band : {1u, 2u, 5u}) {
        for (std::size_t first = 0; first < monsters.size(); first += band) {
            const std::vector<OutcomeOdds> rows = oddsMatrixRows(monsters, first, band, 2);
            for (std::size_t i = 0; i < rows.size(); ++i) {
                const OutcomeOdds& a = rows[i];
                const OutcomeOdds& b = whole[first * monsters.size() + i];
                EXPECT_TRUE(a.oneWins == b.oneWins && a.twoWins == b.twoWins &&
                            a.bothFell == b.bothFell && a.turnCap == b.turnCap &&
                            a.error == b.error && a.meanTurns == b.meanTurns)
                    << "band " << band << ", pair " << first * monsters.size() + i;
            }
        }
    }
    EXPECT_FALSE(charts::heatMapTooLarge(std::vector<std::string>(57, "0 Grubnik"), 1u << 30));
    const auto refused = charts::heatMapTooLarge(std::vector<std::string>(32767, "0 Grubnik"), 1u << 30);
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->find("the heat map of 32767 monsters would be"), std::string::npos)
        << *refused;
}
