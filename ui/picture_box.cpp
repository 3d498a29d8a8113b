#include "ui/picture_box.h"

#include <QPaintEvent>
#include <QPainter>
#include <cmath>

#include "data/palette.h"

namespace {

constexpr int kBorderWidth = 2;

// The pixel a drawing unit lands on: floor(unit * pixels / units). Multiplying
// before dividing keeps whole results exact (unit 50 of 100 over 96 pixels is
// pixel 48, not 47.999...). Kept as a double so a huge unit cannot overflow.
double pixelOf(float unit, int pixels, double units) {
    return std::floor(static_cast<double>(unit) * pixels / units);
}

}  // namespace

PictureBox::PictureBox(QSize inside, QSizeF units, QWidget* parent)
    : QFrame(parent), m_image(inside, QImage::Format_RGB32), m_units(units) {
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
    const double px = pixelOf(x, m_image.width(), m_units.width());
    const double py = pixelOf(y, m_image.height(), m_units.height());
    // Written so that a NaN fails too: anything not inside is clipped.
    if (!(px >= 0.0 && px < m_image.width() && py >= 0.0 && py < m_image.height())) {
        return;
    }
    auto* line = reinterpret_cast<QRgb*>(m_image.scanLine(static_cast<int>(py)));
    line[static_cast<int>(px)] = karnwick::packedToArgb(packedColor);
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
