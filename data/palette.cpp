#include "data/palette.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/errors.h"
#include "data/game_file.h"
#include "data/platform.h"

namespace karnwick {

namespace {

constexpr int kNumberCount = 3 * kPaletteEntries;
// A message quotes at most this much of a bad number.
constexpr std::size_t kQuotedMax = 40;

bool isSeparator(char c) {
    return c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The value of a number token rounded half to even, exactly, however many
// digits it has; nothing when the token is not a number. A magnitude of
// 100000 or more, which no 16-bit level reaches, comes back as 100000 with its
// sign, for the caller's range check to refuse.
std::optional<int32_t> readNumber(std::string_view token) {
    std::size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
    // All digits of the whole part and the fraction, and how many of them
    // stand before the decimal point.
    std::string digits;
    for (; i < token.size() && isDigit(token[i]); ++i) digits.push_back(token[i]);
    int64_t pointAt = static_cast<int64_t>(digits.size());
    if (i < token.size() && token[i] == '.') {
        for (++i; i < token.size() && isDigit(token[i]); ++i) digits.push_back(token[i]);
    }
    if (digits.empty()) return std::nullopt;
    if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < token.size() && (token[i] == '+' || token[i] == '-'))
            negativeExponent = token[i++] == '-';
        if (i == token.size() || !isDigit(token[i])) return std::nullopt;
        // Beyond a million the exponent decides nothing more: the value is
        // either far too large or rounds to 0.
        int64_t exponent = 0;
        for (; i < token.size() && isDigit(token[i]); ++i) {
            if (exponent < 1000000) exponent = exponent * 10 + (token[i] - '0');
        }
        pointAt += negativeExponent ? -exponent : exponent;
    }
    if (i != token.size()) return std::nullopt;

    const std::size_t lead = digits.find_first_not_of('0');
    if (lead == std::string::npos) return 0;  // zero, in any spelling
    const std::string_view significant = std::string_view(digits).substr(lead);
    pointAt -= static_cast<int64_t>(lead);
    if (pointAt > 5) return negative ? -100000 : 100000;
    int32_t whole = 0;
    int dropped = 0;    // the first digit after the point
    bool more = false;  // any other digit after it that is not 0
    if (pointAt < 0) {
        more = true;  // a leading significant digit sits beyond the first fraction digit
    } else {
        const auto point = static_cast<std::size_t>(pointAt);
        for (std::size_t k = 0; k < point; ++k)
            whole = whole * 10 + (k < significant.size() ? significant[k] - '0' : 0);
        if (point < significant.size()) {
            dropped = significant[point] - '0';
            more = significant.find_first_not_of('0', point + 1) != std::string_view::npos;
        }
    }
    if (dropped > 5 || (dropped == 5 && (more || whole % 2 == 1))) ++whole;
    return negative ? -whole : whole;
}

class PaletteText {
  public:
    PaletteText(std::string_view text, std::string_view name, bool cutShort)
        : m_text(text), m_name(name), m_cutShort(cutShort) {}

    // Number `ordinal` (1-based) of the 768, as a 16-bit level.
    int16_t readLevel(int ordinal) {
        while (m_at < m_text.size() && isSeparator(m_text[m_at])) ++m_at;
        if (m_at == m_text.size()) {
            if (m_cutShort) tooLong();
            fail(ErrorKind::InputPastEndOfFile, ordinal);
        }
        const std::size_t start = m_at;
        while (m_at < m_text.size() && !isSeparator(m_text[m_at])) ++m_at;
        if (m_at == m_text.size() && m_cutShort) tooLong();
        const std::string_view token = m_text.substr(start, m_at - start);
        const std::optional<int32_t> value = readNumber(token);
        if (!value) fail(ErrorKind::BadNumber, ordinal, quoted(token) + " ");
        if (*value < INT16_MIN || *value > INT16_MAX) {
            fail(ErrorKind::Overflow, ordinal, "", ": " + quoted(token) + " does not fit 16 bits");
        }
        return static_cast<int16_t>(*value);
    }

    // "<before>at number 5 of 768<after>"
    [[noreturn]] void fail(ErrorKind kind, int ordinal, const std::string& before = {},
                           const std::string& after = {}) const {
        throw GameError(kind, std::string(m_name),
                        before + "at number " + std::to_string(ordinal) + " of " +
                            std::to_string(kNumberCount) + after);
    }

  private:
    static std::string quoted(std::string_view token) {
        if (token.size() <= kQuotedMax) return quotedText(token);
        return quotedText(token.substr(0, kQuotedMax)) + "... (" + std::to_string(token.size()) +
               " characters)";
    }

    [[noreturn]] void tooLong() const {
        throw GameError(
            ErrorKind::FileAccess, std::string(m_name),
            "(more than " + std::to_string(kPaletteMaxBytes) + " bytes before its 768th number)");
    }

    std::string_view m_text;
    std::string_view m_name;
    bool m_cutShort;
    std::size_t m_at = 0;
};

void parseLevels(std::string_view text, std::string_view name, bool cutShort, Palette& palette) {
    PaletteText reader(text, name, cutShort);
    for (int i = 0; i < kPaletteEntries; ++i) {
        const int first = 3 * i + 1;
        palette.palRed[i] = reader.readLevel(first);
        palette.palGreen[i] = reader.readLevel(first + 1);
        palette.palBlue[i] = reader.readLevel(first + 2);
        // Scaling follows the reading of all three, red first.
        int16_t* levels[] = {&palette.palRed[i], &palette.palGreen[i], &palette.palBlue[i]};
        for (int k = 0; k < 3; ++k) {
            int16_t scaled;
            if (__builtin_mul_overflow(*levels[k], int16_t{kPaletteLevelScale}, &scaled)) {
                reader.fail(ErrorKind::Overflow, first + k, "",
                            ": level " + std::to_string(*levels[k]) + " times " +
                                std::to_string(kPaletteLevelScale) + " does not fit 16 bits");
            }
            *levels[k] = scaled;
        }
    }
}

}  // namespace

void parsePalette(std::string_view text, std::string_view name, Palette& palette) {
    parseLevels(text, name, false, palette);
}

void loadPalette(Palette& palette, const std::filesystem::path& file) {
    const GameFile source(file);
    if (!source.exists()) throw GameError(ErrorKind::FileNotFound, platform::pathText(file));
    // Read up to one byte beyond the limit, to know whether the text was cut.
    // The buffer grows with what is read: a palette is a few kilobytes, and
    // clearing a megabyte up front would cost the arena's start-up more than
    // reading it.
    constexpr std::size_t kLimit = kPaletteMaxBytes + 1;
    std::vector<unsigned char> bytes;
    std::size_t length = 0;
    while (length < kLimit) {
        const std::size_t chunk = std::min<std::size_t>(kLimit - length, 1 << 16);
        bytes.resize(length + chunk);
        const std::size_t got = source.readAt(static_cast<std::int64_t>(length),
                                              std::span(bytes).subspan(length, chunk));
        length += got;
        if (got < chunk) break;
    }
    const bool cutShort = length > kPaletteMaxBytes;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()),
                                cutShort ? kPaletteMaxBytes : length);
    parseLevels(text, platform::pathText(file), cutShort, palette);
}

void makeColorFromRGB(Palette& palette) {
    for (int i = 0; i < kPaletteEntries; ++i) {
        const int32_t red = palette.palRed[i];
        const int32_t green = palette.palGreen[i];
        const int32_t blue = palette.palBlue[i];
        int32_t g, b, sum, packed;
        if (__builtin_mul_overflow(green, 256, &g) || __builtin_mul_overflow(blue, 65536, &b) ||
            __builtin_add_overflow(g, b, &sum) || __builtin_add_overflow(sum, red, &packed)) {
            throw GameError(ErrorKind::Overflow, kPaletteFileName,
                            "in the packed colour of palette entry " + std::to_string(i));
        }
        palette.palColor[i] = packed;
    }
}

int32_t packedColor(const Palette& palette, unsigned char index) {
    // The stored values are whole numbers, so rounding half to even is exact.
    return static_cast<int32_t>(std::nearbyint(palette.palColor[index]));
}

}  // namespace karnwick
