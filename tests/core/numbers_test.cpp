#include <gtest/gtest.h>

#include "data/errors.h"
#include "data/numbers.h"
#include "data/text_codec.h"

using namespace karnwick;

TEST(Numbers, RoundsHalfToEven) {
    EXPECT_EQ(roundHalfEven(16.5), 16);
    EXPECT_EQ(roundHalfEven(1.5), 2);
    EXPECT_EQ(roundHalfEven(12.5), 12);
    EXPECT_EQ(roundHalfEven(13.5), 14);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(14.47), 14);
    EXPECT_EQ(roundToInt16(32767.4, "x"), 32767);
    EXPECT_EQ(roundToInt16(-32768.5, "x"), -32768);
}

TEST(Numbers, ResultsOutsideTheirWidthAreOverflowErrors) {
    auto kindOf = [](auto&& f) {
        try {
            f();
        } catch (const GameError& e) {
            return e.kind();
        }
        return ErrorKind::BadNumber;  // no error at all
    };
    EXPECT_EQ(kindOf([] { roundToInt16(32767.5, "x"); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { roundToInt16(-32769, "x"); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { roundToInt32(2147483648.0, "x"); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { roundToInt32(0.0 / 0.0, "x"); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { checkedMul16(8192, 4, "x"); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { checkedAdd16(32767, 1, "x"); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { checkedSub32(-2147483647, 2, "x"); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { narrowTo16(-32769, "x"); }), ErrorKind::Overflow);
    EXPECT_EQ(checkedMul16(8191, 4, "x"), 32764);
    EXPECT_EQ(narrowTo16(-32768, "x"), -32768);
}

TEST(TextCodec, DecodesWindows1252ByteForByte) {
    EXPECT_EQ(decodeWindows1252("Orc  "), "Orc  ");
    EXPECT_EQ(decodeWindows1252("\x80\xE9\x9F\xFF"), "\u20AC\u00E9\u0178\u00FF");
    // Bytes the code page leaves undefined, and NUL, still make one character.
    EXPECT_EQ(decodeWindows1252(std::string_view("\x81\0", 2)), std::string("\u0081\0", 3));
}
