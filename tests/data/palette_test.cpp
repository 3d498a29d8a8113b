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

}  // namespace

TEST(Palette, ScalesLevelsByFourAndPacksColours) {
    GameFolder folder;
    folder.write("mypal.pal", paletteText({"63,63,63", "63,0,0", "0,0,63", "64,0,0", "8191,0,0",
                                           "-1,0,0", "0,0,0"}));
    const Palette p = load();
    EXPECT_EQ(p.palColor[0], 16579836);  // FCFCFC
    EXPECT_EQ(p.palColor[2], 16515072);  // FC0000: blue is the third byte
    EXPECT_EQ(p.palColor[3], 256);       // red 256 carries into green
    EXPECT_EQ(p.palRed[4], 32764);
    EXPECT_EQ(p.palColor[5], -4);  // a negative level borrows, nothing masks it
    EXPECT_EQ(packedToArgb(252), 0xFFFC0000u);
    EXPECT_EQ(packedToArgb(16515072), 0xFF0000FCu);
}

// Every number is read whole, at any length; a fraction rounds half to even,
// as the game converts it to the 16-bit level. How the numbers may be split
// is left to the palette fuzz seeds, which re-read every accepted file.
TEST(Palette, NumbersAreReadWholeAndFractionsRoundHalfToEven) {
    const std::pair<std::string, int16_t> cases[] = {{std::string(42, '0') + "7", 7},
                                                     {"31.5", 32},
                                                     {"30.5", 30},
                                                     {"30.51", 31},
                                                     {"-30.5", -30},
                                                     {"2.5000000000000000001", 3},
                                                     {"+25E-1", 2},
                                                     {".5", 0},
                                                     {"7.", 7},
                                                     {"-0.5", 0},
                                                     {"0.0e99999999", 0}};
    for (const auto& [number, level] : cases) {
        Palette p;
        parsePalette(paletteText({number + ",0,0"}), "mypal.pal", p);
        EXPECT_EQ(p.palRed[0], level * 4) << number;
    }
}

// What stops the palette names the file, the number and what is wrong; the
// text of a bad number is shown escaped and cut to a readable length.
TEST(Palette, FailuresNameTheFileAndTheNumber) {
    const std::pair<std::string, std::string> cases[] = {
        // Reading comes before scaling: the missing blue level is reported.
        {"9000,1", "input past end of file at number 3 of 768"},
        {paletteText({"1,8192,0"}),
         "overflow at number 2 of 768: level 8192 times 4 does not fit 16 bits"},
        {paletteText({"1,2,32767.5"}),
         "overflow at number 3 of 768: \"32767.5\" does not fit 16 bits"},
        {paletteText({"1,2", "x7,3,3"}), "bad number \"x7\" at number 3 of 768"},
        {std::string("1,2\0003,4", 7), "bad number \"2\\x003\" at number 2 of 768"},
        {"&H1F,1e,1", "bad number \"&H1F\" at number 1 of 768"},
        // Levels beyond 255 can overflow the packed colour: these four times
        // give 1024 + 1020 * 256 + 32764 * 65536, one more than 32 bits hold.
        {paletteText({"256,255,8191"}), "overflow in the packed colour of palette entry 0"},
    };
    for (const auto& [text, message] : cases) {
        Palette p;
        try {
            parsePalette(text, "mypal.pal", p);
            makeColorFromRGB(p);
            ADD_FAILURE() << "no error for " << message;
        } catch (const GameError& e) {
            EXPECT_EQ(e.what(), "mypal.pal: " + message);
        }
    }
}
