#include "app/arena_icon.h"

#include <QEvent>
#include <QGuiApplication>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <iterator>
#include <utility>

namespace arena {

namespace {

// The program's icon, read only when the window system asks for a size:
// QIcon::addFile probes every image format plugin for each file before the
// window can show, and a 256-pixel rendering no window needs at start-up
// would be decoded with them.
class ArenaIconEngine : public QIconEngine {
  public:
    QIconEngine* clone() const override { return new ArenaIconEngine(*this); }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (const Rendering& r : kRenderings) sizes << r.size;
        return sizes;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const QSize own = renderingFor(size).size;
        const bool larger = own.width() > size.width() || own.height() > size.height();
        return larger ? own.scaled(size, Qt::KeepAspectRatio) : own;
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        const Rendering& rendering = renderingFor(size);
        QImage image(QString::fromLatin1(rendering.file), "PNG");
        if (image.size().width() > size.width() || image.size().height() > size.height())
            image = image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return QPixmap::fromImage(std::move(image));
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

  private:
    // The game's own 15 x 16 image where the window system asks for a small
    // icon, sharper renderings for taskbars and window switchers.
    struct Rendering {
        QSize size;
        const char* file;
    };
    inline static const Rendering kRenderings[] = {
        {QSize(15, 16), ":/icons/karnwick-arena-15x16.png"},
        {QSize(32, 32), ":/icons/karnwick-arena-32.png"},
        {QSize(48, 48), ":/icons/karnwick-arena-48.png"},
        {QSize(256, 256), ":/icons/karnwick-arena-256.png"},
    };

    // The smallest rendering that fills `size`, else the largest.
    static const Rendering& renderingFor(const QSize& size) {
        for (const Rendering& r : kRenderings) {
            if (r.size.width() >= size.width() && r.size.height() >= size.height()) return r;
        }
        return kRenderings[std::size(kRenderings) - 1];
    }
};

// Waits for the first paint of its window, then gives the icon from the event
// loop, once that paint has reached the screen.
class IconAfterFirstPaint : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                giveArenaIcon();
                deleteLater();
            });
        }
        return false;
    }
};

}  // namespace

QIcon arenaIcon() {
    return QIcon(new ArenaIconEngine);
}

void giveArenaIconAfterFirstPaint(QWidget& window) {
    window.installEventFilter(new IconAfterFirstPaint(&window));
}

void giveArenaIcon() {
    if (QGuiApplication::windowIcon().isNull()) QGuiApplication::setWindowIcon(arenaIcon());
}

}  // namespace arena
