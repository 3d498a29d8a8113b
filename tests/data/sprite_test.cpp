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

const Palette kPalette = karnwick::testing::distinctPalette();

int32_t colourOf(int monster, int column, int row) {
    return packedColor(kPalette, karnwick::testing::spriteByte(monster, column, row));
}

// The points a whole sprite sets: one per non-zero byte.
std::size_t pointsOf(int monster, int rows = kSpriteHeight, int lastRowColumns = kSpriteWidth) {
    std::size_t n = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < (r == rows - 1 ? lastRowColumns : kSpriteWidth); ++c)
            n += karnwick::testing::spriteByte(monster, c, r) != 0;
    return n;
}

}  // namespace

// Short files, missing ones and non-files are in the bad-file matrix.
TEST(Sprites, CountMonstersFromTheFileLength) {
    GameFolder folder;
    for (auto [length, last] : std::vector<std::pair<int, int>>{
             {9000, 0}, {17999, 0}, {18000, 1}, {513000, 56}, {514000, 56}}) {
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
    folder.writeSprites(4);
    const GameFile file("monster.dat");

    RecordingSurface surface;
    drawSprite(file, 3, surface, 10, 20, kPalette);
    EXPECT_EQ(surface.points.size(), pointsOf(3));
    EXPECT_EQ(surface.points.at({10, 20}), colourOf(3, 0, 0));  // offset 27000
    EXPECT_EQ(surface.points.at({10, 21}), colourOf(3, 0, 1));  // a row is 90 bytes
    EXPECT_EQ(surface.points.at({99, 119}), colourOf(3, 89, 99));
    EXPECT_EQ(surface.points.rbegin()->first, std::make_pair(99, 119));  // nothing beyond
    EXPECT_EQ(surface.clears, 0);

    // Monster 0 begins with a zero byte: transparent, never drawn.
    RecordingSurface first;
    drawSprite(file, 0, first, 0, 0, kPalette);
    EXPECT_EQ(first.points.count({0, 0}), 0u);
    EXPECT_EQ(first.points.at({89, 99}), colourOf(0, 89, 99));
}

TEST(Sprites, BytesPastTheEndAreTransparent) {
    GameFolder folder;
    folder.writeSprites(1, 200);  // 2 rows and 20 bytes of monster 1
    RecordingSurface surface;
    drawSprite(GameFile("monster.dat"), 1, surface, 0, 0, kPalette);
    EXPECT_EQ(surface.points.size(), pointsOf(1, 3, 20));
    RecordingSurface none;
    drawSprite(GameFile("monster.dat"), 7, none, 0, 0, kPalette);
    EXPECT_TRUE(none.points.empty());
}
