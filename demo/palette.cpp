#include "demo/palette.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "demo/set.h"

namespace karnwick {
namespace demo {
namespace {

struct Rgb {
    double r, g, b;
};

struct RampColours {
    Rgb dark, mid, light;
};

constexpr std::array<RampColours, 16> kRamps = {{
    {{0, 0, 0}, {30, 30, 32}, {63, 63, 63}},   // grey
    {{1, 5, 1}, {12, 36, 10}, {46, 63, 36}},   // green
    {{4, 2, 1}, {32, 20, 9}, {60, 48, 32}},    // brown
    {{6, 0, 0}, {46, 8, 6}, {63, 42, 34}},     // red
    {{1, 1, 8}, {10, 20, 50}, {42, 54, 63}},   // blue
    {{8, 4, 2}, {48, 32, 22}, {63, 56, 46}},   // skin
    {{6, 5, 3}, {42, 38, 28}, {63, 62, 56}},   // bone
    {{8, 1, 0}, {58, 24, 2}, {63, 63, 44}},    // fire
    {{1, 4, 10}, {20, 42, 56}, {58, 63, 63}},  // ice
    {{4, 0, 8}, {34, 12, 44}, {60, 46, 63}},   // purple
    {{8, 4, 0}, {52, 38, 6}, {63, 63, 46}},    // gold
    {{0, 6, 6}, {6, 38, 34}, {42, 63, 58}},    // teal
    {{4, 5, 1}, {30, 33, 10}, {56, 60, 36}},   // swamp
    {{8, 1, 4}, {52, 20, 36}, {63, 50, 58}},   // pink
    {{2, 3, 5}, {24, 26, 30}, {54, 56, 60}},   // stone
    {{3, 8, 0}, {32, 56, 4}, {60, 63, 42}},    // acid
}};

Rgb mix(const Rgb& a, const Rgb& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

int level63(double v) {
    return std::clamp(static_cast<int>(std::lround(v)), 0, 63);
}

}  // namespace
}  // namespace demo

std::string makeDemoPalette() {
    std::string text;
    for (int ramp = 0; ramp < 16; ++ramp) {
        const demo::RampColours& rc = demo::kRamps[ramp];
        for (int level = 0; level < 16; ++level) {
            const double t = level / 15.0;
            const demo::Rgb c = t < 0.5 ? demo::mix(rc.dark, rc.mid, t * 2)
                                        : demo::mix(rc.mid, rc.light, t * 2 - 1);
            text += std::to_string(demo::level63(c.r)) + ',' + std::to_string(demo::level63(c.g)) +
                    ',' + std::to_string(demo::level63(c.b)) + "\r\n";
        }
    }
    return text;
}

}  // namespace karnwick
