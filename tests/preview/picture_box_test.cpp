#include "ui/picture_box.h"

#include <gtest/gtest.h>

#include <QPalette>
#include <cmath>
#include <limits>

namespace {

constexpr int32_t kRed = 0x0000FF;  // packed: red + green * 256 + blue * 65536

QRgb background(const PictureBox& box) {
    return box.palette().color(QPalette::Button).rgb();
}

TEST(PictureBox, SpriteBoxScaleMapsHundredUnitsOntoNinetySixPixels) {
    PictureBox box(QSize(96, 96), QSizeF(100, 100));
    EXPECT_EQ(box.size(), QSize(100, 100));
    EXPECT_EQ(box.contentsRect(), QRect(2, 2, 96, 96));

    box.setPoint(99, 99, kRed);
    EXPECT_EQ(box.image().pixel(95, 95), qRgb(255, 0, 0));
    box.clear();

    // A whole sprite's width of units, 0 to 89: the last column lands on
    // pixel 85 and the right tenth of the box keeps its background.
    for (int x = 0; x < 90; ++x) {
        for (int y = 0; y < 100; ++y) {
            box.setPoint(float(x), float(y), kRed);
        }
    }
    EXPECT_EQ(box.image().pixel(85, 0), qRgb(255, 0, 0));
    EXPECT_EQ(box.image().pixel(85, 95), qRgb(255, 0, 0));
    for (int px = 86; px < 96; ++px) {
        EXPECT_EQ(box.image().pixel(px, 50), background(box)) << px;
    }
    // Exact multiples land exactly: unit 50 is pixel 48.
    box.clear();
    box.setPoint(50, 25, kRed);
    EXPECT_EQ(box.image().pixel(48, 24), qRgb(255, 0, 0));
    EXPECT_EQ(box.image().pixel(47, 24), background(box));
}

TEST(PictureBox, PixelScaleClipsToTheInsideAndClearRestoresBackground) {
    PictureBox box(QSize(10, 8), QSizeF(10, 8));
    const QImage blank = box.image().copy();
    for (QRgb p : {blank.pixel(0, 0), blank.pixel(9, 7)}) {
        EXPECT_EQ(p, background(box));
    }

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float huge = 1e30f;
    for (auto [x, y] : {std::pair{-1.0f, 0.0f},
                        {0.0f, -1.0f},
                        {10.0f, 0.0f},
                        {0.0f, 8.0f},
                        {nan, 0.0f},
                        {0.0f, nan},
                        {huge, huge},
                        {-huge, 0.0f}}) {
        box.setPoint(x, y, kRed);
    }
    EXPECT_EQ(box.image(), blank);

    box.setPoint(9, 7, 0x10 + 0x20 * 256 + 0x30 * 65536);
    EXPECT_EQ(box.image().pixel(9, 7), qRgb(0x10, 0x20, 0x30));

    // What is painted is the retained image inside the 2-pixel border.
    const QImage shown = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.copy(2, 2, 10, 8), box.image());

    box.clear();
    EXPECT_EQ(box.image(), blank);
}

}  // namespace
