#include <gtest/gtest.h>

#include "data/text_codec.h"

using namespace karnwick;

TEST(TextCodec, DecodesWindows1252ByteForByte) {
    EXPECT_EQ(decodeWindows1252("Orc  "), "Orc  ");
    EXPECT_EQ(decodeWindows1252("\x80\xE9\x9F\xFF"), "\u20AC\u00E9\u0178\u00FF");
    // Bytes the code page leaves undefined, and NUL, still make one character.
    EXPECT_EQ(decodeWindows1252(std::string_view("\x81\0", 2)), std::string("\u0081\0", 3));
}
