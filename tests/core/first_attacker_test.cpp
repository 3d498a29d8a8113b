#include <gtest/gtest.h>

#include <cmath>
#include <deque>

#include "battle/battle.h"

using namespace karnwick;

namespace {

struct CountingRandom : RandomSource {
    double value;
    int draws = 0;
    explicit CountingRandom(double v) : value(v) {}
    double nextRandom() override {
        ++draws;
        return value;
    }
};

}  // namespace

TEST(LeadingNumber, ReadsTheNumberAtTheStartOfAText) {
    EXPECT_EQ(leadingNumber("12"), 12);
    EXPECT_EQ(leadingNumber("12abc"), 12);
    EXPECT_EQ(leadingNumber("-7"), -7);
    EXPECT_EQ(leadingNumber("+3"), 3);
    EXPECT_EQ(leadingNumber("10.5"), 10.5);
    EXPECT_EQ(leadingNumber("12.0"), 12);
    EXPECT_EQ(leadingNumber(".5"), 0.5);
    EXPECT_EQ(leadingNumber("7."), 7);
    EXPECT_EQ(leadingNumber("  42"), 42);
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber("-"), 0);
    EXPECT_EQ(leadingNumber("1e5"), 1);
    EXPECT_EQ(leadingNumber(std::string(400, '9')), HUGE_VAL);
    EXPECT_EQ(leadingNumber("0." + std::string(400, '0') + "1"), 0);
}

TEST(FirstAttacker, HigherAgilityOpensWithoutADraw) {
    CountingRandom random(0.9);
    EXPECT_EQ(pickFirstAttacker("12", "9", random), 0);
    EXPECT_EQ(pickFirstAttacker("9", "12", random), 1);
    EXPECT_EQ(pickFirstAttacker("10.5", "10", random), 0);
    EXPECT_EQ(pickFirstAttacker("letters", "1", random), 1);
    EXPECT_EQ(pickFirstAttacker("-3", "", random), 1);
    EXPECT_EQ(random.draws, 0);
}

TEST(FirstAttacker, ATieDrawsOnce) {
    for (auto [r, side] :
         std::vector<std::pair<double, int>>{{0.0, 0}, {0.4999999, 0}, {0.5, 1}, {0.9999999, 1}}) {
        CountingRandom random(r);
        EXPECT_EQ(pickFirstAttacker("12", "12.0", random), side);
        EXPECT_EQ(pickFirstAttacker("7", "7 dwarves", random), side);
        EXPECT_EQ(pickFirstAttacker("", "", random), side);
        EXPECT_EQ(random.draws, 3);
    }
}

TEST(Random, Pcg32StartsFromTheArenasFixedState) {
    Pcg32 random;
    EXPECT_EQ(random.nextUInt32(), 0xa15c02b7u);
    EXPECT_EQ(random.nextUInt32(), 0x7b47f409u);
    Pcg32 again;
    EXPECT_EQ(again.nextRandom(), 0xa15c02b7u / 4294967296.0);
    Pcg32 other(7);
    EXPECT_NE(other.nextUInt32(), 0xa15c02b7u);
}
