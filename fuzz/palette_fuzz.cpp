// Arbitrary text as mypal.pal, read from memory. A palette the reader accepts
// must re-read to the same 768 levels through a plain, independent reading
// (the C library's strtod, within the half a unit rounding allows); a refused
// one must say so in a message naming the file, without raw control bytes;
// and the colour table must pack exactly what the levels say, or overflow.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "data/errors.h"
#include "data/palette.h"
#include "fuzz/fuzz_check.h"

using karnwick::fuzz::check;

namespace {

// The first tokens of the text, split at commas, blanks and line ends.
std::vector<std::string> tokens(std::string_view text, std::size_t count) {
    std::vector<std::string> out;
    std::string current;
    for (const char c : text) {
        if (c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!current.empty()) out.push_back(std::move(current));
            current.clear();
            if (out.size() == count) return out;
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty() && out.size() < count) out.push_back(std::move(current));
    return out;
}

// The token's value by strtod, or NaN when strtod does not take all of it.
double plainValue(const std::string& token) {
    if (token.find_first_of("xXnNiIpP") != std::string::npos) return NAN;  // hex, inf, nan
    char* end = nullptr;
    const double value = std::strtod(token.c_str(), &end);
    return end == token.c_str() + token.size() ? value : NAN;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace karnwick;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Palette palette;
    try {
        parsePalette(text, "mypal.pal", palette);
    } catch (const GameError& e) {
        const std::string_view message = e.what();
        check(message.starts_with("mypal.pal: "), "a palette error names the file");
        for (const char c : message)
            check(static_cast<unsigned char>(c) >= 0x20, "a message shows control bytes escaped");
        check(e.kind() == ErrorKind::InputPastEndOfFile || e.kind() == ErrorKind::BadNumber ||
                  e.kind() == ErrorKind::Overflow,
              "a palette text fails only on its numbers");
        if (e.kind() == ErrorKind::InputPastEndOfFile)
            check(tokens(text, 768).size() < 768, "input past end of file only when short");
        return 0;
    }

    const std::vector<std::string> numbers = tokens(text, 768);
    check(numbers.size() == 768, "an accepted palette holds 768 numbers");
    for (int i = 0; i < 768; ++i) {
        const int16_t level = (i % 3 == 0   ? palette.palRed
                               : i % 3 == 1 ? palette.palGreen
                                            : palette.palBlue)[i / 3];
        const double plain = plainValue(numbers[i]);
        check(!std::isnan(plain), "every accepted number is a plain decimal number");
        check(level % 4 == 0, "every level is scaled by 4");
        check(std::fabs(plain - level / 4) <= 0.5 + 1e-9 * std::fabs(plain),
              "every level rounds its number to the nearest whole one");
    }

    try {
        makeColorFromRGB(palette);
        for (int i = 0; i < kPaletteEntries; ++i) {
            const int64_t packed = palette.palRed[i] + palette.palGreen[i] * int64_t{256} +
                                   palette.palBlue[i] * int64_t{65536};
            check(palette.palColor[i] == static_cast<double>(packed) &&
                      packedColor(palette, static_cast<unsigned char>(i)) == packed,
                  "a packed colour is red + green * 256 + blue * 65536");
        }
    } catch (const GameError& e) {
        check(e.kind() == ErrorKind::Overflow, "packing fails only on an overflow");
    }
    return 0;
}
