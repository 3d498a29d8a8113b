#include <gtest/gtest.h>

#include "data/text_codec.h"

using namespace karnwick;

TEST(TextCodec, Windows1252BothWaysByteForByte) {
    EXPECT_EQ(decodeWindows1252("Orc  "), "Orc  ");
    EXPECT_EQ(decodeWindows1252("\x80\xE9\x9F\xFF"), "\u20AC\u00E9\u0178\u00FF");
    std::string high;
    for (int b = 0x80; b < 0xA0; ++b) high += static_cast<char>(b);
    EXPECT_EQ(decodeWindows1252(high),
              "€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008D"
              "Ž\u008F\u0090‘’“”•–—˜™š"
              "›œ\u009DžŸ");
    // Bytes the code page leaves undefined, and NUL, still make one character.
    EXPECT_EQ(decodeWindows1252(std::string_view("\x81\0", 2)), std::string("\u0081\0", 3));

    // Texts a modder types go back to the same bytes; what the code page
    // cannot hold, and broken or overlong UTF-8, has no bytes.
    std::string every;
    for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
    EXPECT_EQ(encodeWindows1252(decodeWindows1252(every)), every);
    for (const char* refused : {"\u4E2D", "\U0001F600", "\xC3", "\xC0\xAF", "\xE2\x82"})
        EXPECT_FALSE(encodeWindows1252(refused)) << refused;
}

// The text facts every message, CSV and command line shares.
TEST(TextCodec, UndefinedBytesEscapesUtf8AndArgumentBytes) {
    std::string undefined;
    for (int b = 0; b < 256; ++b)
        if (isUndefinedInWindows1252(static_cast<unsigned char>(b))) undefined += char(b);
    EXPECT_EQ(undefined, "\x81\x8D\x8F\x90\x9D");

    // Well-formed UTF-8 only: no overlong form, surrogate or code point past U+10FFFF.
    for (const char* good : {"", "Orc", "\u00FC", "\u20AC", "\U0001F600", "\U0010FFFF"})
        EXPECT_TRUE(isUtf8(good)) << good;
    for (const char* bad : {"\xFF", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                            "\xE2\x82", "\x80", "ok\xC3"})
        EXPECT_FALSE(isUtf8(bad)) << bad;

    // Any bytes an argument brings come back unchanged through the text.
    std::string every;
    for (int b = 1; b < 256; ++b) every += static_cast<char>(b);
    for (const std::string& bytes :
         {every, std::string("bad\xFFname"), std::string("\xED\xA0\x80\U0001F600\xF0\x9F")}) {
        EXPECT_EQ(argumentBytes(argumentText(bytes)), bytes);
    }
    EXPECT_EQ(argumentText("a\xFF\u00FC"), u"a\xDCFF\u00FC");
}
