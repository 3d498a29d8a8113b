#pragma once
// The drawing area of each preview page: the inside of its window's picture
// box, in pixels. The windows are made with it, and `karnwick export sheet`
// draws a page on an image of the same size, so the two show the same pixels.
// The bosses page is only 197 pixels high: its second row of sprites is cut
// at their pixel row 91, and later rows fall outside.

#include <cstdint>

namespace karnwick {

struct PreviewArea {
    int width;
    int height;
};

inline constexpr PreviewArea kPreviewAreas[3] = {{501, 533}, {509, 541}, {501, 197}};

// Page 1, 2 or 3.
inline PreviewArea previewArea(int16_t page) {
    return kPreviewAreas[page - 1];
}

}  // namespace karnwick
