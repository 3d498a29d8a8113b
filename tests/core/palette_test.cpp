#include <gtest/gtest.h>

#include "data/errors.h"
#include "data/palette.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::GameFolder;

namespace {

// 768 levels; `entries` replaces the first few entries' text.
std::string paletteText(const std::vector<std::string>& entries,
                        const std::string& rest = "1,2,3") {
    std::string text;
    for (int i = 0; i < 256; ++i) {
        text += (i < static_cast<int>(entries.size()) ? entries[i] : rest) + "\n";
    }
    return text;
}

Palette load() {
    Palette p;
    loadPalette(p);
    makeColorFromRGB(p);
    return p;
}

std::string errorOf(const std::string& text, ErrorKind expected) {
    GameFolder folder;
    folder.write("mypal.pal", text);
    try {
        load();
    } catch (const GameError& e) {
        EXPECT_EQ(e.kind(), expected) << e.what();
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(Palette, ScalesLevelsByFourAndPacksColours) {
    GameFolder folder;
    folder.write("mypal.pal", paletteText({"63,63,63", "63,0,0", "0,0,63", "64,0,0", "8191,0,0",
                                           "-1,0,0", "0,0,0"}));
    const Palette p = load();
    EXPECT_EQ(p.palRed[0], 252);
    EXPECT_EQ(p.palColor[0], 16579836);  // FCFCFC
    EXPECT_EQ(p.palColor[1], 252);
    EXPECT_EQ(p.palColor[2], 16515072);  // FC0000: blue is the third byte
    EXPECT_EQ(p.palColor[3], 256);       // red 256 carries into green
    EXPECT_EQ(p.palRed[4], 32764);
    EXPECT_EQ(p.palColor[5], -4);  // a negative level borrows, nothing masks it
    EXPECT_EQ(packedColor(p, 1), 252);
    EXPECT_EQ(packedToArgb(252), 0xFFFC0000u);
    EXPECT_EQ(packedToArgb(16515072), 0xFF0000FCu);
}

TEST(Palette, AcceptsAnyMixOfSeparatorsAndIgnoresWhatFollows) {
    GameFolder folder;
    std::string text = "  1 ,2,\r\n3\t4\n\n5 , 6";
    for (int i = 6; i < 768; ++i) {
        text += i % 2 ? ',' : ' ';
        text += std::to_string(i % 64);
    }
    text += "\nthis is never read";
    folder.write("mypal.pal", text);
    const Palette p = load();
    EXPECT_EQ(p.palRed[0], 4);
    EXPECT_EQ(p.palGreen[0], 8);
    EXPECT_EQ(p.palBlue[0], 12);
    EXPECT_EQ(p.palRed[1], 16);
    EXPECT_EQ(p.palBlue[1], 24);
    EXPECT_EQ(p.palBlue[255], (767 % 64) * 4);  // last number without a line end
}

TEST(Palette, FailuresNameTheFileAndTheNumber) {
    std::string short516;
    for (int i = 0; i < 516; ++i) short516 += "1,";
    EXPECT_EQ(errorOf(short516, ErrorKind::InputPastEndOfFile),
              "mypal.pal: input past end of file at number 517 of 768");
    EXPECT_EQ(errorOf("", ErrorKind::InputPastEndOfFile),
              "mypal.pal: input past end of file at number 1 of 768");
    EXPECT_EQ(errorOf(paletteText({"1,8192,0"}), ErrorKind::Overflow),
              "mypal.pal: overflow: level 8192 times 4 at number 2 of 768");
    EXPECT_EQ(errorOf(paletteText({"1,2,40000"}), ErrorKind::Overflow),
              "mypal.pal: overflow: \"40000\" does not fit 16 bits at number 3 of 768");
    EXPECT_EQ(errorOf(paletteText({"1,2", "x7,3,3"}), ErrorKind::BadNumber),
              "mypal.pal: \"x7\" is not a whole number at number 3 of 768");
    EXPECT_EQ(errorOf(paletteText({"1.5,2,3"}), ErrorKind::BadNumber),
              "mypal.pal: \"1.5\" is not a whole number at number 1 of 768");
    // Reading comes before scaling: a missing blue level is reported, not the
    // red level that would overflow.
    EXPECT_EQ(errorOf("9000,1", ErrorKind::InputPastEndOfFile),
              "mypal.pal: input past end of file at number 3 of 768");
    // Levels far beyond 255 can overflow the packed colour.
    EXPECT_EQ(errorOf(paletteText({"8191,8191,8191"}), ErrorKind::Overflow),
              "mypal.pal: overflow in the packed colour of palette entry 0");
}

TEST(Palette, MissingFileIsAnError) {
    GameFolder folder;
    Palette p;
    try {
        loadPalette(p);
        FAIL();
    } catch (const GameError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::FileNotFound);
        EXPECT_STREQ(e.what(), "mypal.pal: file not found");
    }
    EXPECT_FALSE(std::filesystem::exists("mypal.pal"));
}
