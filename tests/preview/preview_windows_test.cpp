#include "ui/preview_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "data/errors.h"
#include "data/sprite.h"
#include "ui/picture_box.h"

namespace {

using karnwick::kSpriteBytes;
using karnwick::kSpriteHeight;
using karnwick::kSpriteWidth;

// Sprite bytes that differ per monster, column and row, with a zero (a
// transparent pixel) every so often.
unsigned char spriteByte(int monster, int column, int row) {
    return static_cast<unsigned char>(monster * 37 + column * 11 + row * 3);
}

// A distinct colour for every palette index.
karnwick::Palette makePalette() {
    karnwick::Palette palette;
    for (int i = 0; i < karnwick::kPaletteEntries; ++i) {
        const int red = i, green = 255 - i, blue = (i * 7) & 0xFF;
        palette.palColor[i] = red + green * 256.0 + blue * 65536.0;
    }
    return palette;
}

// Each test plays in its own game folder holding a monster.dat of its own.
class PreviewWindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_oldCurrent = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    }
    void TearDown() override {
        m_windows.closeAll();
        QDir::setCurrent(m_oldCurrent);
    }

    static void writeSprites(int count) {
        QByteArray bytes(count * kSpriteBytes, '\0');
        for (int m = 0; m < count; ++m) {
            for (int r = 0; r < kSpriteHeight; ++r) {
                for (int c = 0; c < kSpriteWidth; ++c) {
                    bytes[m * kSpriteBytes + r * kSpriteWidth + c] = char(spriteByte(m, c, r));
                }
            }
        }
        QFile file(karnwick::kSpriteFileName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QRgb colourOf(unsigned char index) const {
        return karnwick::packedToArgb(karnwick::packedColor(m_palette, index));
    }

    // Every pixel of a cell (as far as it lies inside the box) shows either
    // the monster's sprite or, for its zero bytes, the background.
    void expectCell(const PictureBox& box, int row, int column, int monster) const {
        const QImage& image = box.image();
        const QRgb background = box.palette().color(QPalette::Button).rgb();
        int mismatches = 0;
        for (int r = 0; r < kSpriteHeight; ++r) {
            for (int c = 0; c < kSpriteWidth; ++c) {
                const int x = 95 * column + c, y = 105 * row + r;
                if (x >= image.width() || y >= image.height()) continue;
                const unsigned char index = monster < 0 ? 0 : spriteByte(monster, c, r);
                const QRgb want = index == 0 ? background : colourOf(index);
                mismatches += image.pixel(x, y) != want;
            }
        }
        EXPECT_EQ(mismatches, 0) << "cell row " << row << " column " << column
                                 << " expected monster " << monster;
    }

    // The whole page: monsters from `first` up to `last` in reading order,
    // empty cells after them, and background strips between the cells.
    void expectPage(int16_t page, int first, int last) const {
        const PictureBox* box = m_windows.pictureBox(page);
        ASSERT_NE(box, nullptr);
        for (int cell = 0; cell < 25; ++cell) {
            const int monster = first + cell;
            expectCell(*box, cell / 5, cell % 5, monster <= last ? monster : -1);
        }
        const QImage& image = box->image();
        const QRgb background = box->palette().color(QPalette::Button).rgb();
        int stripPixels = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const bool gap = x % 95 >= 90 || y % 105 >= 100 || x >= 470 || y >= 520;
                if (gap) stripPixels += image.pixel(x, y) != background;
            }
        }
        EXPECT_EQ(stripPixels, 0) << "drawn pixels between or beyond the cells";
    }

    QTemporaryDir m_dir;
    QString m_oldCurrent;
    karnwick::Palette m_palette = makePalette();
    PreviewWindows m_windows;
};

TEST_F(PreviewWindowsTest, EachPageHasItsCaptionAndLayout) {
    writeSprites(0);
    struct Expected {
        const char* caption;
        QSize client, box;
    };
    const Expected expected[] = {{"Monsters 0-24", {534, 557}, {505, 537}},
                                 {"Monsters 25-49", {528, 560}, {513, 545}},
                                 {"Game Bosses", {526, 224}, {505, 201}}};
    for (int16_t page = 1; page <= 3; ++page) {
        m_windows.showPage(page, m_palette, -1);
        const QWidget* window = m_windows.window(page);
        const PictureBox* box = m_windows.pictureBox(page);
        ASSERT_NE(window, nullptr);
        ASSERT_NE(box, nullptr);
        const Expected& e = expected[page - 1];
        EXPECT_EQ(window->windowTitle(), e.caption);
        EXPECT_TRUE(window->isWindow());
        EXPECT_TRUE(window->isVisible());
        EXPECT_FALSE(window->isModal());
        EXPECT_EQ(window->size(), e.client);
        EXPECT_EQ(box->geometry(), QRect(QPoint(8, 8), e.box));
        EXPECT_EQ(box->image().size(), e.box - QSize(4, 4));
        EXPECT_EQ(box->frameWidth(), 2);
    }
    // All three are open side by side, one window each.
    EXPECT_NE(m_windows.window(1), m_windows.window(2));
    EXPECT_NE(m_windows.window(2), m_windows.window(3));
    EXPECT_EQ(m_windows.window(0), nullptr);
    EXPECT_EQ(m_windows.window(4), nullptr);
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
    // Monster 26 sits in row 0, column 1: its first pixel at (95, 0).
    EXPECT_EQ(m_windows.pictureBox(2)->image().pixel(95 + 3, 0), colourOf(spriteByte(26, 3, 0)));
    // The page shows what was painted: the image inside the border.
    PictureBox* box = m_windows.pictureBox(2);
    const QImage shown = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.copy(box->contentsRect()), box->image());
}

TEST_F(PreviewWindowsTest, BossesPageFollowsTheMonsterCountAndCutsItsSecondRow) {
    writeSprites(75);
    for (int last : {56, 60, 74, 49}) {
        SCOPED_TRACE(last);
        m_windows.showPage(3, m_palette, int16_t(last));
        expectPage(3, 50, last);
    }
    // 197 pixels high: the second row shows sprite rows 0 to 91 only.
    m_windows.showPage(3, m_palette, 56);
    const QImage& image = m_windows.pictureBox(3)->image();
    ASSERT_EQ(image.height(), 197);
    EXPECT_EQ(image.pixel(95 + 1, 196), colourOf(spriteByte(56, 1, 91)));
}

TEST_F(PreviewWindowsTest, AnEmptyOrMissingSpriteFileOpensEmptyPages) {
    for (int16_t page = 1; page <= 3; ++page) {
        m_windows.showPage(page, m_palette, -1);
        expectPage(page, 0, -1);
    }
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

    // Once destroyed by the event loop, the same holds.
    QPointer<QWidget> second = m_windows.window(2);
    second->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(m_windows.window(2), nullptr);
    m_windows.showPage(2, m_palette, 29);
    expectPage(2, 25, 29);

    m_windows.closeAll();
    EXPECT_EQ(m_windows.window(2), nullptr);
}

TEST_F(PreviewWindowsTest, AnUnreadableSpriteFileIsReportedAndTheWindowStaysHidden) {
    ASSERT_TRUE(QDir().mkdir(karnwick::kSpriteFileName));
    EXPECT_THROW(m_windows.showPage(1, m_palette, 10), karnwick::GameError);
    const QWidget* window = m_windows.window(1);
    EXPECT_TRUE(window == nullptr || !window->isVisible());
}

}  // namespace
