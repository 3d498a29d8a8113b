#pragma once
// The arena's three preview pages: which monsters each shows, in what grid,
// and the drawing area of each, the inside of its window's picture box in
// pixels. The windows are made with it, and `karnwick export sheet` draws a
// page on an image of the same size, so the two show the same pixels. The
// bosses page is only 197 pixels high: its second row of sprites is cut at
// their pixel row 91, and later rows fall outside.

#include <cstdint>
#include <filesystem>

#include "data/palette.h"
#include "data/sprite.h"

namespace karnwick {

// Page 1 shows monsters 0-24, page 2 shows 25-49, page 3 the bosses from 50,
// each in a grid of 5 by 5 cells of 95 by 105 pixels.
inline constexpr int kPreviewColumns = 5;
inline constexpr int kPreviewRows = 5;
inline constexpr int kPreviewCellWidth = 95;
inline constexpr int kPreviewCellHeight = 105;
int16_t previewFirstMonster(int16_t page);

struct PreviewArea {
    int width;
    int height;
};

inline constexpr PreviewArea kPreviewAreas[3] = {{501, 533}, {509, 541}, {501, 197}};

// Page 1, 2 or 3.
inline PreviewArea previewArea(int16_t page) {
    return kPreviewAreas[page - 1];
}

// Draws a page's 5 x 5 grid, row by row, while the monster index is not above
// lastMonsterIndex; opens monster.dat once. Does not clear the surface.
void drawPreviewPage(int16_t page, int16_t lastMonsterIndex, const Palette& palette,
                     DrawingSurface& surface,
                     const std::filesystem::path& spriteFile = kSpriteFileName);

}  // namespace karnwick
