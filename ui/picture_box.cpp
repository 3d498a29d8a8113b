#include "ui/picture_box.h"

#include <QPaintEvent>
#include <QPainter>

#include "data/palette.h"

namespace {

constexpr int kBorderWidth = 2;

// The pixel a drawing unit lands on: floor(unit * pixels / units), or -1 when
// that is outside 0 to pixels - 1 (a NaN included). Multiplying before
// dividing keeps whole results exact: unit 50 of 100 over 96 pixels is pixel
// 48, not 47.999... For a pixel scale the unit is the pixel.
inline int pixelOf(float unit, int pixels, double units, bool pixelScale) {
    const double v = pixelScale ? double(unit) : double(unit) * pixels / units;
    // For v >= 0 truncation is the floor.
    return v >= 0.0 && v < pixels ? static_cast<int>(v) : -1;
}

}  // namespace

PictureBox::PictureBox(QSize inside, QSizeF units, QWidget* parent)
    : QFrame(parent),
      m_image(inside, QImage::Format_RGB32),
      m_inside(inside),
      m_units(units),
      m_pixelScale(units == QSizeF(inside)) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kBorderWidth);
    setFixedSize(inside + QSize(2 * kBorderWidth, 2 * kBorderWidth));
    m_image.fill(palette().color(QPalette::Button));
}

void PictureBox::clear() {
    m_image.fill(palette().color(QPalette::Button));
    m_updatePending = true;
    update();
}

void PictureBox::setPoint(float x, float y, int32_t packedColor) {
    const int px = pixelOf(x, m_inside.width(), m_units.width(), m_pixelScale);
    const int py = pixelOf(y, m_inside.height(), m_units.height(), m_pixelScale);
    if (px < 0 || py < 0) {
        return;
    }
    reinterpret_cast<QRgb*>(m_image.scanLine(py))[px] = karnwick::packedToArgb(packedColor);
    if (!m_updatePending) {
        m_updatePending = true;
        update();
    }
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    m_updatePending = false;
    // The image is in logical pixels; on a scaled display the painter enlarges
    // it without smoothing so every sprite pixel stays a sharp block.
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const QRect inside = contentsRect();
    painter.setClipRect(inside);
    painter.drawImage(QRect(inside.topLeft(), m_image.size()), m_image);
}
