#include "ui/preview_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>

#include "data/errors.h"
#include "data/sprite.h"
#include "game_files.h"
#include "ui/picture_box.h"

namespace {

using karnwick::kSpriteHeight;
using karnwick::kSpriteWidth;

using karnwick::testing::spriteByte;

// Counts the events of one type a watched object receives.
class EventCounter : public QObject {
  public:
    EventCounter(QEvent::Type type, int& count) : m_type(type), m_count(count) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == m_type) ++m_count;
        return false;
    }

  private:
    QEvent::Type m_type;
    int& m_count;
};

// Each test plays in its own game folder holding a monster.dat of its own.
class PreviewWindowsTest : public ::testing::Test {
  protected:
    void TearDown() override { m_windows.closeAll(); }

    void writeSprites(int count) const { m_folder.writeSprites(count); }

    QRgb colourOf(unsigned char index) const {
        return karnwick::packedToArgb(karnwick::packedColor(m_palette, index));
    }

    // The whole page, pixel by pixel: monsters from `first` up to `last` in
    // 95 by 105 cells, five to a row; zero bytes, the cells after `last` and
    // the strips between cells show the background.
    void expectPage(int16_t page, int first, int last) const {
        const PictureBox* box = m_windows.pictureBox(page);
        ASSERT_NE(box, nullptr);
        const QImage& image = box->image();
        const QRgb background = box->palette().color(QPalette::Button).rgb();
        int mismatches = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const int c = x % 95, r = y % 105, monster = first + y / 105 * 5 + x / 95;
                const bool drawn =
                    c < kSpriteWidth && r < kSpriteHeight && x < 470 && y < 520 && monster <= last;
                const unsigned char index = drawn ? spriteByte(monster, c, r) : 0;
                mismatches += image.pixel(x, y) != (index ? colourOf(index) : background);
            }
        }
        EXPECT_EQ(mismatches, 0) << "page " << page << " monsters " << first << " to " << last;
    }

    karnwick::testing::GameFolder m_folder;
    std::filesystem::path m_sprites = m_folder.path() / karnwick::kSpriteFileName;
    karnwick::Palette m_palette = karnwick::testing::distinctPalette();
    PreviewWindows m_windows;
};

// Each page opens a window of its own, even without a monster.dat, and fills
// its cells row by row up to the last monster; the bosses' page is 197 pixels
// high, so its second row shows sprite rows 0 to 91 only.
TEST_F(PreviewWindowsTest, EachPageFillsItsOwnWindowUpToTheLastMonster) {
    const struct {
        int sprites;
        int16_t page;
        int first, last;
    } cases[] = {{0, 1, 0, -1},   {0, 2, 25, -1},  {0, 3, 50, -1},  {11, 1, 0, 10},
                 {11, 2, 25, 10}, {50, 2, 25, 49}, {75, 3, 50, 56}, {75, 3, 50, 60}};
    for (const auto& c : cases) {
        writeSprites(c.sprites);
        m_windows.showPage(c.page, m_palette, int16_t(c.last), m_sprites);
        ASSERT_NE(m_windows.window(c.page), nullptr);
        EXPECT_TRUE(m_windows.window(c.page)->isVisible());
        expectPage(c.page, c.first, c.last);
    }
    // Each picture box at (8, 8), its page's drawing area inside a 2-pixel border.
    const QRect boxes[] = {{8, 8, 505, 537}, {8, 8, 513, 545}, {8, 8, 505, 201}};
    for (int16_t page = 1; page <= 3; ++page)
        EXPECT_EQ(m_windows.pictureBox(page)->geometry(), boxes[page - 1]) << page;
    EXPECT_NE(m_windows.window(1), m_windows.window(2));
    EXPECT_EQ(m_windows.window(1)->windowTitle(), QStringLiteral("Monsters 0-24"));
    EXPECT_EQ(m_windows.window(2)->windowTitle(), QStringLiteral("Monsters 25-49"));
    EXPECT_EQ(m_windows.window(3)->windowTitle(), QStringLiteral("Game Bosses"));
    const QImage& image = m_windows.pictureBox(3)->image();
    ASSERT_EQ(image.height(), 197);
    EXPECT_EQ(image.pixel(95 + 1, 196), colourOf(spriteByte(56, 1, 91)));
    EXPECT_THROW(m_windows.showPage(4, m_palette, -1, m_sprites), karnwick::GameError);
}

TEST_F(PreviewWindowsTest, RepeatedClicksRedrawTheOneWindowAndAClosedOneIsMadeAnew) {
    writeSprites(30);
    m_windows.showPage(2, m_palette, 29, m_sprites);
    QPointer<QWidget> first = m_windows.window(2);
    // The second click clears (the cells past the new last monster are
    // empty) and brings the window to the front of the others.
    int raised = 0;
    EventCounter counter(QEvent::ZOrderChange, raised);
    first->installEventFilter(&counter);
    m_windows.showPage(2, m_palette, 26, m_sprites);
    EXPECT_EQ(raised, 1);
    first->removeEventFilter(&counter);
    EXPECT_EQ(m_windows.window(2), first.data());
    expectPage(2, 25, 26);

    // Closed by the user: gone at once, even before the event loop destroys
    // it, and the next click draws a fresh window.
    first->close();
    EXPECT_EQ(m_windows.window(2), nullptr);
    m_windows.showPage(2, m_palette, 29, m_sprites);
    ASSERT_NE(m_windows.window(2), nullptr);
    EXPECT_NE(m_windows.window(2), first.data());
    expectPage(2, 25, 29);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
}

TEST_F(PreviewWindowsTest, AnUnreadableSpriteFileIsReportedAndTheWindowStaysHidden) {
    ASSERT_TRUE(std::filesystem::create_directory(m_sprites));
    EXPECT_THROW(m_windows.showPage(1, m_palette, 10, m_sprites), karnwick::GameError);
    const QWidget* window = m_windows.window(1);
    EXPECT_TRUE(window == nullptr || !window->isVisible());
}

}  // namespace
