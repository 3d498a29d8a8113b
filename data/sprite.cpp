#include "data/sprite.h"

#include <array>
#include <cmath>
#include <string>

#include "data/errors.h"
#include "data/platform.h"

namespace karnwick {

int16_t lastMonsterIndex(const std::filesystem::path& file) {
    const GameFile sprites(file);
    const std::int64_t length = sprites.size();
    const double last = std::floor(static_cast<double>(length) / kSpriteBytes) - 1;
    if (length > INT32_MAX || last > INT16_MAX) {
        throw GameError(ErrorKind::Overflow, platform::pathText(file),
                        "in the monster count: " + std::to_string(length) +
                            " bytes hold more than 32768 sprites");
    }
    return static_cast<int16_t>(last);
}

void drawSprite(const GameFile& spriteFile, int16_t monsterIndex, DrawingSurface& surface, float x,
                float y, const Palette& palette) {
    // One read for the whole sprite; bytes past the end of the file read as 0,
    // which is transparent.
    std::array<unsigned char, kSpriteBytes> bytes;
    spriteFile.readAt(static_cast<std::int64_t>(monsterIndex) * kSpriteBytes, bytes);
    std::array<int32_t, kPaletteEntries> colours;
    for (int i = 0; i < kPaletteEntries; ++i)
        colours[i] = packedColor(palette, static_cast<unsigned char>(i));
    std::size_t k = 0;
    for (int r = 0; r < kSpriteHeight; ++r) {
        for (int c = 0; c < kSpriteWidth; ++c) {
            const unsigned char index = bytes[k++];
            if (index == 0) continue;
            surface.setPoint(x + static_cast<float>(c), y + static_cast<float>(r), colours[index]);
        }
    }
}

}  // namespace karnwick
