#include <gtest/gtest.h>

#include "data/text_codec.h"

using namespace karnwick;

TEST(TextCodec, Windows1252BothWaysByteForByte) {
    EXPECT_EQ(decodeWindows1252("Orc  "), "Orc  ");
    EXPECT_EQ(decodeWindows1252("\x80\xE9\x9F\xFF"), "\u20AC\u00E9\u0178\u00FF");
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
