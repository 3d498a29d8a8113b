#include <gtest/gtest.h>

#include <map>

#include "data/errors.h"
#include "data/sprite.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::GameFolder;

namespace {

// A surface that remembers every point set, and how often it was cleared.
struct RecordingSurface : DrawingSurface {
    std::map<std::pair<int, int>, int32_t> points;
    int clears = 0;
    void clear() override {
        points.clear();
        ++clears;
    }
    void setPoint(float x, float y, int32_t colour) override {
        points[{static_cast<int>(x), static_cast<int>(y)}] = colour;
    }
};

// Palette whose packed colour of index i is i + 1000 (so it is never 0).
Palette markerPalette() {
    Palette p;
    for (int i = 0; i < 256; ++i) p.palColor[i] = i + 1000;
    return p;
}

// Sprite m filled with byte (m + 1) except a transparent first row.
std::vector<unsigned char> sprites(int count, int extraBytes = 0) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(count) * kSpriteBytes + extraBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t m = i / kSpriteBytes, k = i % kSpriteBytes;
        bytes[i] = k < kSpriteWidth ? 0 : static_cast<unsigned char>(m + 1 + k % 7);
    }
    return bytes;
}

}  // namespace

TEST(Sprites, CountMonstersFromTheFileLength) {
    GameFolder folder;
    EXPECT_EQ(countMonsters(), -1);  // missing
    EXPECT_FALSE(std::filesystem::exists("monster.dat"));
    for (auto [length, last] : std::vector<std::pair<int, int>>{{0, -1},
                                                                {1, -1},
                                                                {8999, -1},
                                                                {9000, 0},
                                                                {17999, 0},
                                                                {18000, 1},
                                                                {513000, 56},
                                                                {514000, 56}}) {
        folder.write("monster.dat", std::string(static_cast<std::size_t>(length), '\x01'));
        EXPECT_EQ(countMonsters(), last) << length;
    }
}

TEST(Sprites, MoreThan32768SpritesOverflow) {
    GameFolder folder;
    { std::ofstream f("monster.dat", std::ios::binary); }
    std::filesystem::resize_file("monster.dat", 294912000);  // 32768 sprites
    EXPECT_EQ(countMonsters(), 32767);
    std::filesystem::resize_file("monster.dat", 294921000);
    EXPECT_THROW(countMonsters(), GameError);
}

TEST(Sprites, DrawMapsBytesToPointsAndSkipsTransparentOnes) {
    GameFolder folder;
    auto bytes = sprites(4);
    bytes[3 * kSpriteBytes + 90] = 77;  // monster 3, column 0, row 1
    bytes[8999] = 200;                  // monster 0, column 89, row 99
    folder.write("monster.dat", bytes);
    const Palette palette = markerPalette();
    const GameFile file("monster.dat");

    RecordingSurface surface;
    drawSprite(file, 3, surface, 10, 20, palette);
    EXPECT_EQ(surface.points.size(), static_cast<std::size_t>(kSpriteBytes - kSpriteWidth));
    EXPECT_EQ(surface.points.count({10, 20}), 0u);  // row 0 is transparent
    EXPECT_EQ(surface.points.at({10, 21}), 1077);
    EXPECT_EQ(surface.points.rbegin()->first, std::make_pair(99, 119));
    EXPECT_EQ(surface.clears, 0);

    RecordingSurface first;
    drawSprite(file, 0, first, 0, 0, palette);
    EXPECT_EQ(first.points.at({89, 99}), 1200);
    EXPECT_EQ(first.points.at({0, 1}), 1000 + bytes[90]);
}

TEST(Sprites, BytesPastTheEndAreTransparent) {
    GameFolder folder;
    folder.write("monster.dat", sprites(1, 200));  // 2 rows and 20 bytes of monster 1
    RecordingSurface surface;
    drawSprite(GameFile("monster.dat"), 1, surface, 0, 0, markerPalette());
    EXPECT_EQ(surface.points.size(), 110u);
    RecordingSurface none;
    drawSprite(GameFile("monster.dat"), 7, none, 0, 0, markerPalette());
    EXPECT_TRUE(none.points.empty());
}
