#include "demo/set.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "data/sprite.h"
#include "game_files.h"

namespace karnwick {
namespace {

uint64_t fnv1a(std::span<const unsigned char> bytes) {
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char b : bytes) h = (h ^ b) * 1099511628211ULL;
    return h;
}

const DemoSet& demoSet() {
    static const DemoSet set = makeDemoSet();
    return set;
}

// Another process (other addresses, other memory) writes the same bytes.
TEST(DemoSet, IsTheSameOnEveryRunWithFiftySevenFullSizeMonsters) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("karnwick-demo-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    const std::string command =
        std::string(KARNWICK_BINARY) + " demo-data " + dir.string() + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // check finds nothing (it exits 1 on any problem): no level that bleeds
    // into the next colour, no level 100, no special attack that never comes,
    // no NUL in a name.
    const std::string check =
        std::string(KARNWICK_BINARY) + " check --dir " + dir.string() + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(check.c_str()), 0);
    EXPECT_EQ(testing::readBytes(dir / "mypal.pal"), demoSet().palette);
    const std::string sprites = testing::readBytes(dir / "monster.dat");
    const std::string records = testing::readBytes(dir / "monsters.tat");
    std::filesystem::remove_all(dir);
    auto bytes = [](const std::vector<unsigned char>& v) {
        return std::string(v.begin(), v.end());
    };
    EXPECT_TRUE(sprites == bytes(demoSet().sprites));
    EXPECT_TRUE(records == bytes(demoSet().records));
    // Pinned, so that a change to the demo set is always a deliberate one.
    const std::string& palette = demoSet().palette;
    EXPECT_EQ(fnv1a({reinterpret_cast<const unsigned char*>(palette.data()), palette.size()}),
              2336920114599337895ULL);
    EXPECT_EQ(fnv1a(demoSet().sprites), 13697047514286254083ULL);
    EXPECT_EQ(fnv1a(demoSet().records), 14282135736670716060ULL);
}

}  // namespace
}  // namespace karnwick
