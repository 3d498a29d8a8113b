#pragma once
// mypal.pal, the game's 256-colour palette as text, and the colour table built
// from it. Levels in the file run 0 to 63 and are scaled by 4.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace karnwick {

inline constexpr const char* kPaletteFileName = "mypal.pal";
inline constexpr int kPaletteEntries = 256;
// A level of the file is stored times this in its colour's byte, so levels 0
// to kHighestPaletteLevel fill the byte.
inline constexpr int kPaletteLevelScale = 4;
inline constexpr int kHighestPaletteLevel = 63;

struct Palette {
    std::array<int16_t, kPaletteEntries> palRed{};
    std::array<int16_t, kPaletteEntries> palGreen{};
    std::array<int16_t, kPaletteEntries> palBlue{};
    // Packed colours red + green * 256 + blue * 65536, held as doubles as the
    // game holds them; always whole numbers.
    std::array<double, kPaletteEntries> palColor{};
};

// Reads the 768 levels (red, green, blue of entry 0, then entry 1, ...) and
// scales each by 4 with a 16-bit check. Errors name the file and the number:
// "mypal.pal: input past end of file at number 517 of 768". The file must be a
// regular one; only its first kPaletteMaxBytes are read, so a huge sparse file
// cannot exhaust memory.
inline constexpr std::size_t kPaletteMaxBytes = 1 << 20;
void loadPalette(Palette& palette, const std::filesystem::path& file = kPaletteFileName);

// The same from the file's text in memory; `name` is the file's name for the
// messages. Numbers are separated by commas, blanks and line ends in any mix
// and read whole, at any length: a sign, digits with an optional fraction and
// an optional decimal exponent ("1e2"). A fraction rounds half to even to the
// 16-bit level ("31.5" reads as 32, "30.5" as 30).
void parsePalette(std::string_view text, std::string_view name, Palette& palette);

// Fills palColor from the three level tables with 32-bit checks; levels are
// neither clamped nor masked, so 256 carries into the next byte.
void makeColorFromRGB(Palette& palette);

// The packed colour of a palette index as a 32-bit integer.
int32_t packedColor(const Palette& palette, unsigned char index);

// The packed colour split into 0xAARRGGBB for image libraries (only the low
// three bytes are meaningful; alpha is opaque).
inline uint32_t packedToArgb(int32_t packed) {
    const auto p = static_cast<uint32_t>(packed);
    return 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
}

}  // namespace karnwick
