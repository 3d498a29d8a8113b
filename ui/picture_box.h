#pragma once
// A picture box as the game's windows use it: a sunken 2-pixel border around
// an inside that keeps its drawing in an image, so a sprite stays visible when
// the window is covered, minimised or shown later. Its drawing coordinates are
// either pixels (preview sheets) or a user scale (the 100 x 100 units across a
// sprite box's 96 x 96 inside).

#include <QFrame>
#include <QImage>
#include <QSize>
#include <QSizeF>

#include "data/sprite.h"

class PictureBox : public QFrame, public karnwick::DrawingSurface {
    Q_OBJECT
  public:
    // `inside`: the drawing area in logical pixels; `units`: how many drawing
    // units span it (equal to `inside` for a pixel scale). The widget's size is
    // the inside plus the border.
    PictureBox(QSize inside, QSizeF units, QWidget* parent = nullptr);

    // Fills the inside with the system button-face colour.
    void clear() override;
    // Sets the device pixel that (x, y) in drawing units lands on; points
    // outside the inside are clipped.
    void setPoint(float x, float y, int32_t packedColor) override;

    // The retained drawing, one pixel per logical pixel of the inside.
    const QImage& image() const { return m_image; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage m_image;
    QSize m_inside;
    QSizeF m_units;
    bool m_pixelScale;
    // A repaint is already requested; a page of 225,000 points asks only once.
    bool m_updatePending = false;
};
