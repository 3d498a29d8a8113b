// Exported images read back: indexes, colours and the preview window's pixels.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QImageReader>

#include "command_run.h"
#include "data/palette.h"
#include "data/sprite.h"
#include "game_files.h"
#include "ui/picture_box.h"
#include "ui/preview_windows.h"

using namespace karnwick;
using karnwick::testing::GameFolder;

namespace {

// 60 sprites, so every sheet has something: byte (monster + row * 90 +
// column) % 256, with a frame of transparent zeros.
struct ExportFolder : GameFolder {
    Palette palette;
    ExportFolder() {
        writePalette();
        std::string sprites;
        for (int m = 0; m < 60; ++m)
            for (int i = 0; i < kSpriteBytes; ++i)
                sprites += static_cast<char>(byteOf(m, i % 90, i / 90));
        write("monster.dat", sprites);
        loadPalette(palette);
        makeColorFromRGB(palette);
    }
    static unsigned char byteOf(int monster, int x, int y) {
        if (x == 0 || y == 0) return 0;
        return static_cast<unsigned char>((monster + y * 90 + x) % 256);
    }
};

int exportImages(const QStringList& arguments) {
    return karnwick::testing::runKarnwick("export", arguments).status;
}

QImage readBack(const QString& path) {
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "png");
    return reader.read();
}

}  // namespace

TEST(Export, SpriteKeepsThePaletteIndexesAtAnyScale) {
    ExportFolder folder;
    for (const int scale : {1, 3}) {
        SCOPED_TRACE(scale);
        const QString file = QString("seven-%1.png").arg(scale);
        ASSERT_EQ(exportImages({"sprite", "7", "-o", file, "--scale", QString::number(scale)}), 0);
        const QImage image = readBack(file);
        ASSERT_EQ(image.format(), QImage::Format_Indexed8);
        ASSERT_EQ(image.size(), QSize(90 * scale, 100 * scale));
        ASSERT_EQ(image.colorCount(), 256);
        EXPECT_EQ(qAlpha(image.color(0)), 0);
        for (int i = 1; i < 256; ++i)
            ASSERT_EQ(image.color(i), packedToArgb(packedColor(folder.palette, uchar(i)))) << i;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ASSERT_EQ(image.pixelIndex(x, y), ExportFolder::byteOf(7, x / scale, y / scale))
                    << x << "," << y;
    }
}

TEST(Export, SheetIsWhatThePreviewWindowDraws) {
    ExportFolder folder;
    PreviewWindows windows;
    for (int16_t page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        const QString file = QString("sheet-%1.png").arg(page);
        ASSERT_EQ(exportImages({"sheet", QString::number(page)}), 0);
        windows.showPage(page, folder.palette, 59, karnwick::kSpriteFileName);
        const QImage drawn =
            windows.pictureBox(page)->image().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(readBack(file).convertToFormat(QImage::Format_RGB32), drawn);
    }
}

// Sprite numbers are padded to the width of the largest, so names sort in
// order; the whole set is refused while any one of its files is in the way
// (what may be at a target is tabled in file_outputs_test.cpp).
TEST(Export, AllWritesPaddedNamesAllOrNone) {
    ExportFolder folder;
    ASSERT_EQ(exportImages({"all", "images"}), 0);
    for (const char* name :
         {"sprite-00.png", "sprite-59.png", "sheet-1.png", "sheet-3.png", "palette.png"})
        EXPECT_TRUE(QFileInfo::exists(QString("images/") + name)) << name;
    EXPECT_FALSE(QFileInfo::exists("images/sprite-60.png"));
    EXPECT_FALSE(QFileInfo::exists("images/sprite-0.png"));

    std::filesystem::remove("images/sprite-03.png");
    const auto before = std::filesystem::last_write_time("images/palette.png");
    EXPECT_EQ(exportImages({"all", "images"}), 2);
    EXPECT_EQ(std::filesystem::last_write_time("images/palette.png"), before);
    EXPECT_FALSE(QFileInfo::exists("images/sprite-03.png"));
}
