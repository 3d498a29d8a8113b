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

// Short files, missing ones, non-files and the 16-bit limit are in the
// bad-file matrix.
TEST(Sprites, CountMonstersFromTheFileLength) {
    GameFolder folder;
    for (const auto& [length, last] : {std::pair{17999, 0}, {18000, 1}, {514000, 56}}) {
        folder.write("monster.dat", std::string(static_cast<std::size_t>(length), '\x01'));
        EXPECT_EQ(countMonsters(), last) << length;
    }
}

// One point per non-zero byte at its column and row from the origin; zero
// bytes and bytes past the end of the file are transparent.
TEST(Sprites, DrawMapsBytesToPointsAndSkipsTransparentOnes) {
    GameFolder folder;
    folder.writeSprites(4, 200);  // and 2 rows and 20 bytes of monster 4
    const GameFile file("monster.dat");

    RecordingSurface surface;
    drawSprite(file, 3, surface, 10, 20, kPalette);
    EXPECT_EQ(surface.points.size(), pointsOf(3));
    EXPECT_EQ(surface.points.at({10, 20}), colourOf(3, 0, 0));  // offset 27000
    EXPECT_EQ(surface.points.at({10, 21}), colourOf(3, 0, 1));  // a row is 90 bytes
    EXPECT_EQ(surface.points.at({99, 119}), colourOf(3, 89, 99));
    EXPECT_EQ(surface.points.rbegin()->first, std::make_pair(99, 119));  // nothing beyond
    EXPECT_EQ(surface.clears, 0);

    RecordingSurface first, partial, none;
    drawSprite(file, 0, first, 0, 0, kPalette);
    EXPECT_EQ(first.points.count({0, 0}), 0u);  // monster 0 begins with a zero byte
    drawSprite(file, 4, partial, 0, 0, kPalette);
    EXPECT_EQ(partial.points.size(), pointsOf(4, 3, 20));
    drawSprite(file, 7, none, 0, 0, kPalette);
    EXPECT_TRUE(none.points.empty());
}
