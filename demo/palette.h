#pragma once
// The demo set's palette: sixteen ramps of sixteen levels, dark to light.
// Level 1 of a ramp is its outline colour, levels 2 to 15 its shading. Entry 0
// (the darkest grey) is the transparent byte of the sprites and is never drawn.

namespace karnwick::demo {

enum Ramp : int {
    Grey,
    Green,
    Brown,
    Red,
    Blue,
    Skin,
    Bone,
    Fire,
    Ice,
    Purple,
    Gold,
    Teal,
    Swamp,
    Pink,
    Stone,
    Acid,
};

inline constexpr int kOutline = 1;

// The palette index of a ramp's level.
inline unsigned char colour(int ramp, int level) {
    return static_cast<unsigned char>(ramp * 16 + level);
}

}  // namespace karnwick::demo
