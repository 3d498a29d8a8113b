// Linked into a window program for the start-up benchmark: the program ends
// the moment its first top-level window receives its first paint, so the time
// from launch to exit is the time from launch to a window on screen.

#include <unistd.h>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace {

class FirstPaintExit : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow())
            _exit(0);
        return false;
    }
};

void installFirstPaintExit() {
    QCoreApplication::instance()->installEventFilter(
        new FirstPaintExit(QCoreApplication::instance()));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(installFirstPaintExit)
