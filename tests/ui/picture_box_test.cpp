#include "ui/picture_box.h"

#include <gtest/gtest.h>

#include <QPalette>
#include <QPointF>
#include <limits>

namespace {

constexpr int32_t kRed = 0x0000FF;  // packed: red + green * 256 + blue * 65536
const QRgb kRedPixel = qRgb(255, 0, 0);

QRgb background(const PictureBox& box) {
    return box.palette().color(QPalette::Button).rgb();
}

// A sprite box is 100 units across 96 pixels: a sprite's 90 units of width
// cover pixels 0 to 85 without a gap, and the right tenth keeps its background.
TEST(PictureBox, SpriteBoxScaleMapsHundredUnitsOntoNinetySixPixels) {
    PictureBox box(QSize(96, 96), QSizeF(100, 100));
    for (int x = 0; x < 90; ++x) box.setPoint(float(x), 50, kRed);
    for (int px = 0; px < 96; ++px) {
        EXPECT_EQ(box.image().pixel(px, 48), px <= 85 ? kRedPixel : background(box)) << px;
    }
    box.setPoint(99, 99, kRed);
    EXPECT_EQ(box.image().pixel(95, 95), kRedPixel);
    box.setPoint(50, 25, kRed);  // exact multiples land exactly
    EXPECT_EQ(box.image().pixel(48, 24), kRedPixel);
    EXPECT_EQ(box.image().pixel(47, 24), background(box));
}

TEST(PictureBox, PixelScaleClipsToTheInsideAndClearRestoresBackground) {
    PictureBox box(QSize(10, 8), QSizeF(10, 8));
    const QImage blank = box.image().copy();
    EXPECT_EQ(blank.pixel(9, 7), background(box));

    const float nan = std::numeric_limits<float>::quiet_NaN(), huge = 1e30f;
    for (const QPointF p :
         {QPointF(-1, 0), QPointF(0, -1), QPointF(10, 0), QPointF(0, 8), QPointF(nan, 0),
          QPointF(0, nan), QPointF(huge, huge), QPointF(-huge, 0)}) {
        box.setPoint(float(p.x()), float(p.y()), kRed);
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
