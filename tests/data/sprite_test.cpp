// A sprite drawn point by point: each pixel at its column and row from the
// given corner, in its palette colour, the transparent ones left out, and
// a sprite cut short by the end of the file drawn as far as it goes.

#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "data/sprite.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::distinctPalette;
using karnwick::testing::GameFolder;
using karnwick::testing::spriteByte;

namespace {

struct Recorded : DrawingSurface {
    std::map<std::pair<float, float>, int32_t> points;
    int drawn = 0;
    void clear() override {}
    void setPoint(float x, float y, int32_t packed) override {
        points[{x, y}] = packed;
        ++drawn;
    }
};

}  // namespace

TEST(Sprites, EachPixelAtItsColumnAndRowInItsColour) {
    GameFolder folder;
    folder.writeSprites(2, 150);  // and the first 150 bytes of a third
    const Palette palette = distinctPalette();
    const GameFile file(kSpriteFileName);
    for (const int monster : {1, 2}) {
        SCOPED_TRACE(monster);
        Recorded surface;
        drawSprite(file, static_cast<int16_t>(monster), surface, 10.0f, 20.5f, palette);
        int expected = 0;
        for (int row = 0; row < kSpriteHeight; ++row) {
            for (int column = 0; column < kSpriteWidth; ++column) {
                const bool inFile = monster < 2 || row * kSpriteWidth + column < 150;
                const unsigned char index = inFile ? spriteByte(monster, column, row) : 0;
                const auto at = surface.points.find(
                    {10.0f + static_cast<float>(column), 20.5f + static_cast<float>(row)});
                if (index == 0) {
                    EXPECT_EQ(at, surface.points.end()) << column << ", " << row;
                    continue;
                }
                ++expected;
                ASSERT_NE(at, surface.points.end()) << column << ", " << row;
                EXPECT_EQ(at->second, packedColor(palette, index)) << column << ", " << row;
            }
        }
        EXPECT_EQ(surface.drawn, expected);
    }
}
