#include "ui/preview_windows.h"

#include <QCloseEvent>
#include <QString>
#include <string>

#include "data/errors.h"
#include "data/preview_page.h"
#include "data/sprite.h"
#include "ui/picture_box.h"

namespace {

// One preview window's look: its caption and client area. Its picture box
// sits at (8, 8) with a 2-pixel border around the page's drawing area.
struct PageLayout {
    const char* caption;
    QSize clientArea;
};

constexpr PageLayout kPageLayouts[3] = {
    {"Monsters 0-24", QSize(534, 557)},
    {"Monsters 25-49", QSize(528, 560)},
    {"Game Bosses", QSize(526, 224)},
};

constexpr QPoint kPictureBoxPlace(8, 8);

std::size_t slotOf(int16_t page) {
    if (page < 1 || page > 3) {
        throw karnwick::GameError(karnwick::ErrorKind::BadNumber,
                                  "preview page " + std::to_string(page), "(the pages are 1 to 3)");
    }
    return static_cast<std::size_t>(page - 1);
}

// Closing by the title bar only schedules the window's destruction; until the
// event loop carries it out the window is marked so that a click in between
// makes a new one instead of reviving the closed one.
class PreviewWindow : public QWidget {
  public:
    PreviewWindow() : QWidget(nullptr, Qt::Window) {}
    bool isClosed() const { return m_closed; }

  protected:
    void closeEvent(QCloseEvent* event) override {
        m_closed = true;
        QWidget::closeEvent(event);
    }

  private:
    bool m_closed = false;
};

// The window is made hidden and drawn on before it is first shown, so it
// appears with its page complete. Closing it by the title bar destroys it.
PreviewWindow* makeWindow(const PageLayout& layout, int16_t page) {
    auto* window = new PreviewWindow;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QString::fromLatin1(layout.caption));
    window->resize(layout.clientArea);
    // No layout manager: resizing the window leaves the picture box in place.
    const karnwick::PreviewArea area = karnwick::previewArea(page);
    const QSize inside(area.width, area.height);
    auto* box = new PictureBox(inside, QSizeF(inside), window);
    box->move(kPictureBoxPlace);
    return window;
}

}  // namespace

PreviewWindows::~PreviewWindows() {
    closeAll();
}

void PreviewWindows::showPage(int16_t page, const karnwick::Palette& palette,
                              int16_t lastMonsterIndex, const std::filesystem::path& spriteFile) {
    const std::size_t slot = slotOf(page);
    QPointer<QWidget>& window = m_windows[slot];
    if (window && static_cast<PreviewWindow*>(window.data())->isClosed()) {
        delete window.data();
    }
    if (!window) {
        window = makeWindow(kPageLayouts[slot], page);
    }
    PictureBox* box = window->findChild<PictureBox*>();
    box->clear();
    karnwick::drawPreviewPage(page, lastMonsterIndex, palette, *box, spriteFile);
    // A window already open is brought to the front to show its new drawing.
    if (window->isVisible()) {
        window->raise();
    }
    window->show();
}

QWidget* PreviewWindows::window(int16_t page) const {
    if (page < 1 || page > 3) {
        return nullptr;
    }
    QWidget* w = m_windows[page - 1].data();
    return w && !static_cast<PreviewWindow*>(w)->isClosed() ? w : nullptr;
}

PictureBox* PreviewWindows::pictureBox(int16_t page) const {
    QWidget* w = window(page);
    return w ? w->findChild<PictureBox*>() : nullptr;
}

void PreviewWindows::redrawOpenPages(const karnwick::Palette& palette, int16_t lastMonsterIndex,
                                     const std::filesystem::path& spriteFile) {
    for (int16_t page = 1; page <= 3; ++page) {
        PictureBox* box = pictureBox(page);
        if (!box) continue;
        box->clear();
        karnwick::drawPreviewPage(page, lastMonsterIndex, palette, *box, spriteFile);
    }
}

void PreviewWindows::closeAll() {
    for (QPointer<QWidget>& window : m_windows) {
        delete window.data();
    }
}
