// The ends of what the commands take and what they name: every option's
// range at both ends and one past, and lists that name their first items
// and count the rest from exactly one past.

#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <set>

#include "command_run.h"
#include "golden.h"

using karnwick::testing::expectRefused;
using karnwick::testing::GameFolder;
using karnwick::testing::runKarnwick;

TEST(Thresholds, OptionsTakeBothEndsOfTheirRangeAndNothingPast) {
    GameFolder folder;
    karnwick::testing::writeGoldenSet(folder);
    const QStringList sweep = {"sweep", "0", "1", "1.hp", "40..42"};
    const struct {
        QStringList arguments;
        std::string refusal;  // empty: taken
    } cases[] = {
        {sweep + QStringList{"--target", "0"}, ""},
        {sweep + QStringList{"--target", "100"}, ""},
        {sweep + QStringList{"--target", "100.01"},
         "--target takes a percentage from 0 to 100, not \"100.01\"\n"},
        {sweep + QStringList{"--target", "-0.01"}, "--target takes a percentage from 0 to 100"},
        {sweep + QStringList{"--threads", "1024"}, ""},
        {sweep + QStringList{"--threads", "1025"},
         "--threads takes a whole number from 1 to 1024, not \"1025\"\n"},
        {sweep + QStringList{"--step", "65535"}, ""},
        {sweep + QStringList{"--step", "65536"}, "--step takes a whole number from 1 to 65535"},
        {{"export", "sprite", "1", "--scale", "64", "-o", karnwick::testing::kNullDevice}, ""},
        {{"export", "sprite", "1", "--scale", "65", "-o", karnwick::testing::kNullDevice},
         "--scale takes a whole number from 1 to 64, not \"65\"\n"},
        {{"duel", "0", "1", "--battles", "0", "--summary"}, ""},
        {{"set", "0", "name=Abcdefghij", "hp=-32768", "level=32767", "--dry-run"}, ""},
        {{"set", "0", "level=32768"}, "level takes a whole number from -32768 to 32767\n"},
        {{"odds", "0", "1", "--set", "1.hp=-32769"}, "is not a whole number from -32768 to 32767"},
    };
    for (const auto& c : cases) {
        QStringList arguments = c.arguments;
        const std::string command = arguments.takeFirst().toStdString();
        if (!c.refusal.empty()) {
            expectRefused(command, arguments, c.refusal);
            continue;
        }
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const auto taken = runKarnwick(command, arguments);
        EXPECT_EQ(taken.status, 0) << taken.err;
        EXPECT_EQ(taken.err, "");
        EXPECT_NE(taken.out, "");
    }
    // Any number of threads gives the same rows.
    EXPECT_EQ(runKarnwick("sweep", sweep.mid(1) + QStringList{"--threads", "1024"}).out,
              runKarnwick("sweep", sweep.mid(1) + QStringList{"--threads", "1"}).out);
    // A step past the range leaves its first value alone.
    const auto oneRow =
        runKarnwick("sweep", sweep.mid(1) + QStringList{"--step", "65535", "--csv"});
    EXPECT_EQ(std::count(oneRow.out.begin(), oneRow.out.end(), '\n'), 2) << oneRow.out;
    EXPECT_NE(oneRow.out.find("\n40,"), std::string::npos) << oneRow.out;
}

// An image with colours the palette lacks is refused naming its first five
// stray pixels; a sixth is told by "...".
TEST(Thresholds, StrayPixelsAreNamedUpToFive) {
    GameFolder folder;
    karnwick::testing::writeGoldenSet(folder);
    std::string named;
    for (int strays = 1; strays <= 6; ++strays) {
        SCOPED_TRACE(strays);
        QImage image(90, 100, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        for (int x = 0; x < strays; ++x) image.setPixel(x, 2, qRgb(1, 2, 3));
        ASSERT_TRUE(image.save("stray.png"));
        if (strays <= 5)
            named += (strays > 1 ? ", (" : "(") + std::to_string(strays - 1) + ", 2) #010203";
        const std::string count =
            strays == 1 ? "1 pixel has a colour" : std::to_string(strays) + " pixels have colours";
        expectRefused("import", {"sprite", "0", "stray.png"},
                      "stray.png: " + count + " not in the game palette: " + named +
                          (strays > 5 ? ", ..." : "") +
                          " (--nearest takes the nearest palette colour)\n");
    }
}

// --nearest takes the nearest palette colour, and of two as near the lower
// index; an input file is read up to 64 MiB and refused one byte past.
TEST(Thresholds, NearestColourTiesAndTheLargestInput) {
    GameFolder folder;
    karnwick::testing::writeGoldenSet(folder);
    ASSERT_EQ(runKarnwick("export", {"sprite", "1", "-o", "one.png"}).status, 0);
    const QList<QRgb> palette = QImage("one.png").colorTable();
    const QRgb held = palette[26];
    const QRgb stray = qRgb(qRed(held) ^ 1, qGreen(held), qBlue(held));
    std::set<int> nearest;
    for (int i = 1; i < palette.size(); ++i) {
        const int dr = qRed(palette[i]) - qRed(stray), dg = qGreen(palette[i]) - qGreen(stray),
                  db = qBlue(palette[i]) - qBlue(stray);
        if (dr * dr + dg * dg + db * db <= 1) nearest.insert(i);
    }
    ASSERT_EQ(nearest, (std::set<int>{26, 201}));
    QImage image(90, 100, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixel(7, 3, stray);
    ASSERT_TRUE(image.save("tie.png"));
    const auto imported = runKarnwick("import", {"sprite", "2", "tie.png", "--nearest"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    std::ifstream sprites("monster.dat", std::ios::binary);
    sprites.seekg(2 * 9000 + 3 * 90 + 7);
    EXPECT_EQ(sprites.get(), 26);

    for (const std::uintmax_t size : {std::uintmax_t{64} << 20, (std::uintmax_t{64} << 20) + 1}) {
        std::ofstream("big.csv").close();
        std::filesystem::resize_file("big.csv", size);
        const auto big = runKarnwick("import", {"stats", "big.csv"});
        EXPECT_EQ(big.status, 2);
        EXPECT_EQ(big.err.find("big.csv holds more than 64 MiB") != std::string::npos,
                  size > (std::uintmax_t{64} << 20))
            << big.err;
    }
}
