// Every command that writes files (export, matrix --png, demo-data) against
// whatever may be at its target, /dev/null the one device taken, and outputs
// that are doomed or too large refused before any work.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <QRegularExpression>
#include <chrono>
#include <fstream>
#include <functional>

#include "battle/odds.h"
#include "charts/heat_map.h"
#include "command_run.h"
#include "data/errors.h"
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
        {"sweep", {"sweep", "0", "1", "0.hp", "1..3", "--png", "T"}},
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
#ifndef _WIN32  // Windows has no FIFOs
        {"a FIFO", [](const fs::path& t) { ::mkfifo(t.c_str(), 0644); }, true, 2,
         "T: not a regular file"},
#endif
        {"a folder", [](const fs::path& t) { fs::create_directory(t); }, true, 2,
         "T: not a regular file (it is a folder)"},
        {"a file", [](const fs::path& t) { std::ofstream(t) << "old"; }, false, 2,
         "T: already exists (use --force to replace it)"},
        {"a file, forced", [](const fs::path& t) { std::ofstream(t) << "old"; }, true, 0, ""},
        // The one device taken: a picture made for its checks alone.
        {"the null device", nullptr, false, 0, ""},
    };
    for (const auto& command : commands) {
        for (const auto& kind : kinds) {
            const bool toNull = !kind.make;
            if (toNull && command.command == std::string("demo-data")) continue;
            SCOPED_TRACE(std::string(command.command) + " onto " + kind.what);
            GameFolder folder;
            writeSmallSet(folder);
            fs::create_directory("d");
            const fs::path target = toNull ? fs::path(karnwick::testing::kNullDevice)
                                    : command.command == std::string("demo-data")
                                        ? fs::path("d") / kPaletteFileName
                                        : fs::path("d") / "t.png";
            if (!toNull) kind.make(target);
            QStringList arguments = command.arguments;
            arguments.replaceInStrings(QRegularExpression("^T$"),
                                       karnwick::testing::pathArgument(target));
            arguments.replaceInStrings(QRegularExpression("^D$"), "d");
            if (kind.force) arguments << "--force";
            const Outcome run = runTool(arguments);
            EXPECT_EQ(run.status, kind.status) << run.err;
            if (kind.status != 0) {
                std::string message = kind.message;
                message.replace(0, 1, platform::pathText(target));
                EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
                EXPECT_EQ(fs::symlink_status(target).type() == fs::file_type::regular,
                          std::string(kind.what) == "a file");
            } else if (toNull) {
                // Still the device: no file of its name is made.
                EXPECT_TRUE(karnwick::testing::kPosix ? fs::is_character_file(target)
                                                      : !fs::is_regular_file(target));
            } else {
                EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
                EXPECT_NE(karnwick::testing::readBytes(target), "old");
            }
            // No temporary file is left; the record of a forced demo set stays.
            EXPECT_EQ(karnwick::testing::writerLeftovers("."), 0);
        }
    }
}

// An oversized output fails in moments, before any picture is drawn, and
// leaves no folder behind; 32768 sprites (the most an index can name) end
// rather than wrap. (Doomed targets are rows of refusals_test.cpp.)
TEST(FileOutputs, DoomedOutputsFailBeforeAnyWork) {
    GameFolder folder;
    writeSmallSet(folder);
    fs::resize_file(kSpriteFileName, std::uintmax_t{32768} * kSpriteBytes);  // sparse
    const auto start = std::chrono::steady_clock::now();
    karnwick::testing::expectRefused("export", {"all", "many", "--scale", "20"},
                                     "at most 64 megapixels");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    fs::resize_file(kSpriteFileName, 0);
    karnwick::testing::expectRefused("export", {"sprite", "0"},
                                     "in monster.dat, which holds no monsters");
}

// The heat map of the largest roster is refused with its figures.
TEST(FileOutputs, HeatMapOfTheLargestRosterIsRefused) {
    EXPECT_NO_THROW(
        charts::requireHeatMapFits(std::vector<std::string>(57, "0 Grubnik"), 1u << 30));
    try {
        charts::requireHeatMapFits(std::vector<std::string>(32767, "0 Grubnik"), 1u << 30);
        ADD_FAILURE() << "the heat map of 32767 monsters was not refused";
    } catch (const karnwick::CommandError& e) {
        EXPECT_NE(std::string(e.what()).find("the heat map of 32767 monsters would be"),
                  std::string::npos)
            << e.what();
    }
}
