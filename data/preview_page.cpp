#include "data/preview_page.h"

namespace karnwick {

int16_t previewFirstMonster(int16_t page) {
    return static_cast<int16_t>((page - 1) * 25);
}

void drawPreviewPage(int16_t page, int16_t lastMonsterIndex, const Palette& palette,
                     DrawingSurface& surface, const std::filesystem::path& spriteFile) {
    const GameFile sprites(spriteFile);
    int16_t m = previewFirstMonster(page);
    for (int r = 0; r < kPreviewRows; ++r) {
        for (int c = 0; c < kPreviewColumns; ++c) {
            // Once a cell is past the last monster, every later cell is too.
            if (m > lastMonsterIndex) continue;
            drawSprite(sprites, m, surface, static_cast<float>(kPreviewCellWidth * c),
                       static_cast<float>(kPreviewCellHeight * r), palette);
            ++m;
        }
    }
}

}  // namespace karnwick
