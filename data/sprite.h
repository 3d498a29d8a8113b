#pragma once
// monster.dat: one 90 x 100 sprite of palette indexes per monster, 9000 bytes
// each, row by row from the top. Index 0 is transparent.

#include <cstdint>
#include <filesystem>

#include "data/game_file.h"
#include "data/palette.h"

namespace karnwick {

inline constexpr const char* kSpriteFileName = "monster.dat";
inline constexpr int kSpriteWidth = 90;
inline constexpr int kSpriteHeight = 100;
inline constexpr int kSpriteBytes = kSpriteWidth * kSpriteHeight;

// Anything a sprite can be drawn on: one point at a time, in the surface's own
// scale units, in a packed colour (red + green * 256 + blue * 65536).
class DrawingSurface {
  public:
    virtual ~DrawingSurface() = default;
    // Fills the whole inside with the background colour.
    virtual void clear() = 0;
    virtual void setPoint(float x, float y, int32_t packedColor) = 0;
};

// The highest monster index: floor(length / 9000) - 1, -1 for no complete
// sprite. A file of more than 32768 sprites is an overflow error.
int16_t lastMonsterIndex(const std::filesystem::path& file = kSpriteFileName);

// Draws the non-transparent pixels of one sprite with their top-left pixel at
// (x, y). Bytes past the end of the file count as 0. Neither clears the
// surface nor opens the file.
void drawSprite(const GameFile& spriteFile, int16_t monsterIndex, DrawingSurface& surface, float x,
                float y, const Palette& palette);

}  // namespace karnwick
