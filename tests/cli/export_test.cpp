// Exported images read back: indexes, colours and the preview window's pixels;
// `export all` into a folder that exists, alone and racing another export.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>

#include "command_run.h"
#include "data/palette.h"
#include "data/platform.h"
#include "data/sprite.h"
#include "game_files.h"
#include "ui/picture_box.h"
#include "ui/preview_windows.h"

using namespace karnwick;
using karnwick::testing::GameFolder;
using karnwick::testing::kPosix;
using karnwick::testing::readBytes;
using karnwick::testing::writerLeftovers;

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

namespace {

platform::FileIdentity identityOf(const std::filesystem::path& path) {
    return platform::identityOf(path).value_or(platform::FileIdentity{});
}

}  // namespace

// Again into a folder that exists: a whole new folder takes its place (a new
// inode), with the user's own files, links and the folder's permissions (on
// POSIX: Windows, which cannot swap two folders, takes the set in place), and
// nothing of the writer's is left beside it. A folder holding a subfolder,
// which cannot be carried over, or named "." takes the pictures in place.
TEST(Export, AllAgainSwapsInAWholeNewFolderKeepingTheUsersFiles) {
    ExportFolder folder;
    namespace fs = std::filesystem;
    ASSERT_EQ(exportImages({"all", "images"}), 0);
    std::ofstream("images/notes.txt") << "mine";
    if constexpr (kPosix) {
        fs::permissions("images", fs::perms(0750));
        fs::create_symlink("notes.txt", "images/link");
    }
    const auto sheetBefore = readBytes("images/sheet-1.png");
    std::ofstream("images/sheet-1.png") << "stale";
    const auto before = identityOf("images");

    ASSERT_EQ(exportImages({"all", "images", "--force"}), 0);
    EXPECT_EQ(identityOf("images") != before, kPosix);
    EXPECT_EQ(readBytes("images/notes.txt"), "mine");
    if constexpr (kPosix) {
        EXPECT_EQ(fs::read_symlink("images/link"), "notes.txt");
        EXPECT_EQ(fs::status("images").permissions(), fs::perms(0750));
    }
    EXPECT_EQ(readBytes("images/sheet-1.png"), sheetBefore);
    EXPECT_EQ(writerLeftovers(folder.path()), 0);

    fs::create_directory("images/mine");
    std::ofstream("images/mine/keep") << "kept";
    std::ofstream("images/sheet-1.png") << "stale";
    const auto inPlace = identityOf("images");
    ASSERT_EQ(exportImages({"all", "images", "--force"}), 0);
    EXPECT_EQ(identityOf("images"), inPlace);
    EXPECT_EQ(readBytes("images/mine/keep"), "kept");
    EXPECT_EQ(readBytes("images/sheet-1.png"), sheetBefore);
    EXPECT_EQ(writerLeftovers(folder.path()), 0);

    // The folder the command runs in has no name of its own to swap.
    ASSERT_EQ(exportImages({"all", "."}), 0);
    EXPECT_EQ(readBytes("sheet-1.png"), sheetBefore);
    EXPECT_EQ(writerLeftovers(folder.path()), 0);
}

// `export all` from X into Y racing `export all` from Y into X, 50 rounds:
// each reads one folder and writes the other, and neither ever waits for the
// other without end. A round that outlasts its bound fails the test.
TEST(Export, AllBetweenTwoFoldersBothWaysNeverDeadlocks) {
    namespace fs = std::filesystem;
    using namespace std::chrono;
    karnwick::testing::GameFolder folder;
    folder.writePalette();
    folder.writeSprites(3);
    for (const char* side : {"x", "y"}) {
        fs::create_directory(side);
        for (const char* name : {kPaletteFileName, kSpriteFileName})
            fs::copy_file(name, fs::path(side) / name);
    }
    using karnwick::testing::pathArgument;
    auto start = [&](const char* from, const char* into) {
        auto process = std::make_unique<QProcess>();
        process->setStandardOutputFile(QProcess::nullDevice());
        process->start(KARNWICK_BINARY, {"export", "all", pathArgument(folder.path() / into),
                                         "--dir", pathArgument(folder.path() / from), "--force"});
        return process;
    };
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::unique_ptr<QProcess> exports[] = {start("x", "y"), start("y", "x")};
        const auto bound = steady_clock::now() + seconds(30);
        for (const auto& process : exports) {
            const auto left = duration_cast<milliseconds>(bound - steady_clock::now());
            if (!process->waitForFinished(int(std::max<milliseconds::rep>(left.count(), 1)))) {
                for (const auto& each : exports) each->kill(), each->waitForFinished();
                FAIL() << "the two exports waited for each other";
            }
            EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
        }
    }
    EXPECT_TRUE(fs::exists("x/sprite-2.png") && fs::exists("y/sprite-2.png"));
    EXPECT_EQ(writerLeftovers(folder.path()), 0);
}
