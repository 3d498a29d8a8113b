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
    karnwick::Palette m_palette = karnwick::testing::distinctPalette();
    PreviewWindows m_windows;
};

// Without a monster.dat every page opens empty, each in a window of its own.
TEST_F(PreviewWindowsTest, EachPageOpensItsOwnWindowEvenWithoutSprites) {
    for (int16_t page = 1; page <= 3; ++page) {
        m_windows.showPage(page, m_palette, -1);
        const QWidget* window = m_windows.window(page);
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isWindow());
        EXPECT_TRUE(window->isVisible());
        EXPECT_FALSE(window->isModal());
        expectPage(page, 0, -1);
    }
    EXPECT_NE(m_windows.window(1), m_windows.window(2));
    EXPECT_NE(m_windows.window(2), m_windows.window(3));
    EXPECT_THROW(m_windows.showPage(4, m_palette, -1), std::out_of_range);
}

TEST_F(PreviewWindowsTest, PagesOneAndTwoFillRowByRowUpToTheLastMonster) {
    writeSprites(11);
    m_windows.showPage(1, m_palette, 10);
    expectPage(1, 0, 10);
    m_windows.showPage(2, m_palette, 10);
    expectPage(2, 25, 10);

    writeSprites(50);
    m_windows.showPage(2, m_palette, 49);
    expectPage(2, 25, 49);
}

TEST_F(PreviewWindowsTest, BossesPageFollowsTheMonsterCountAndCutsItsSecondRow) {
    writeSprites(75);
    for (int last : {56, 60, 49}) {
        m_windows.showPage(3, m_palette, int16_t(last));
        expectPage(3, 50, last);
    }
    // 197 pixels high: the second row shows sprite rows 0 to 91 only.
    m_windows.showPage(3, m_palette, 60);
    const QImage& image = m_windows.pictureBox(3)->image();
    ASSERT_EQ(image.height(), 197);
    EXPECT_EQ(image.pixel(95 + 1, 196), colourOf(spriteByte(56, 1, 91)));
}

TEST_F(PreviewWindowsTest, RepeatedClicksRedrawTheOneWindowAndAClosedOneIsMadeAnew) {
    writeSprites(30);
    m_windows.showPage(2, m_palette, 29);
    QPointer<QWidget> first = m_windows.window(2);
    // The second click clears: the cells past the new last monster are empty.
    m_windows.showPage(2, m_palette, 26);
    EXPECT_EQ(m_windows.window(2), first.data());
    expectPage(2, 25, 26);
    EXPECT_EQ(QApplication::topLevelWidgets().count(first.data()), 1);

    // Closed by the user: gone at once, even before the event loop destroys
    // it, and the next click draws a fresh window.
    first->close();
    EXPECT_EQ(m_windows.window(2), nullptr);
    m_windows.showPage(2, m_palette, 29);
    ASSERT_NE(m_windows.window(2), nullptr);
    EXPECT_NE(m_windows.window(2), first.data());
    EXPECT_TRUE(m_windows.window(2)->isVisible());
    expectPage(2, 25, 29);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
}

TEST_F(PreviewWindowsTest, AnUnreadableSpriteFileIsReportedAndTheWindowStaysHidden) {
    ASSERT_TRUE(std::filesystem::create_directory(karnwick::kSpriteFileName));
    EXPECT_THROW(m_windows.showPage(1, m_palette, 10), karnwick::GameError);
    const QWidget* window = m_windows.window(1);
    EXPECT_TRUE(window == nullptr || !window->isVisible());
}

}  // namespace
