#include "data/palette.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "data/errors.h"

namespace karnwick {

namespace {

constexpr int kNumberCount = 3 * kPaletteEntries;

bool isSeparator(int c) {
    return c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads the numbers of the palette text one at a time; any mix of commas,
// blanks and line ends separates them.
class PaletteReader {
  public:
    explicit PaletteReader(const std::filesystem::path& file) : m_name(file.string()) {
        m_file.reset(std::fopen(file.c_str(), "rb"));
        if (!m_file) {
            if (errno == ENOENT)
                throw GameError(ErrorKind::FileNotFound, m_name, m_name + ": file not found");
            throw GameError(ErrorKind::FileAccess, m_name,
                            m_name + ": cannot open (" + std::strerror(errno) + ")");
        }
    }

    // Number `ordinal` (1-based) of the 768, as a 16-bit level.
    int16_t readLevel(int ordinal) {
        int c = std::getc(m_file.get());
        while (c != EOF && isSeparator(c)) c = std::getc(m_file.get());
        if (c == EOF) {
            if (std::ferror(m_file.get())) {
                throw GameError(ErrorKind::FileAccess, m_name,
                                m_name + ": cannot read (" + std::strerror(errno) + ")");
            }
            fail(ErrorKind::InputPastEndOfFile, "input past end of file", ordinal);
        }
        std::string token;
        while (c != EOF && !isSeparator(c)) {
            // A token longer than any 16-bit number is kept only in part: it
            // is an error either way, and the message shows its start.
            if (token.size() < 40) token.push_back(static_cast<char>(c));
            c = std::getc(m_file.get());
        }
        return parseLevel(token, ordinal);
    }

    [[noreturn]] void fail(ErrorKind kind, const std::string& what, int ordinal) const {
        throw GameError(kind, m_name,
                        m_name + ": " + what + " at number " + std::to_string(ordinal) + " of " +
                            std::to_string(kNumberCount));
    }

  private:
    int16_t parseLevel(const std::string& token, int ordinal) const {
        std::size_t i = 0;
        bool negative = false;
        if (token[0] == '+' || token[0] == '-') {
            negative = token[0] == '-';
            i = 1;
        }
        if (i == token.size()) notWhole(token, ordinal);
        long value = 0;
        for (; i < token.size(); ++i) {
            if (token[i] < '0' || token[i] > '9') notWhole(token, ordinal);
            if (value <= 32768) value = value * 10 + (token[i] - '0');
        }
        if (negative) value = -value;
        if (value < -32768 || value > 32767) {
            fail(ErrorKind::Overflow, "overflow: \"" + token + "\" does not fit 16 bits", ordinal);
        }
        return static_cast<int16_t>(value);
    }

    [[noreturn]] void notWhole(const std::string& token, int ordinal) const {
        fail(ErrorKind::BadNumber, "\"" + token + "\" is not a whole number", ordinal);
    }

    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> m_file;
    std::string m_name;
};

}  // namespace

void loadPalette(Palette& palette, const std::filesystem::path& file) {
    PaletteReader reader(file);
    for (int i = 0; i < kPaletteEntries; ++i) {
        const int first = 3 * i + 1;
        palette.palRed[i] = reader.readLevel(first);
        palette.palGreen[i] = reader.readLevel(first + 1);
        palette.palBlue[i] = reader.readLevel(first + 2);
        // Scaling follows the reading of all three, red first.
        int16_t* levels[] = {&palette.palRed[i], &palette.palGreen[i], &palette.palBlue[i]};
        for (int k = 0; k < 3; ++k) {
            int16_t scaled;
            if (__builtin_mul_overflow(*levels[k], int16_t{4}, &scaled)) {
                reader.fail(ErrorKind::Overflow,
                            "overflow: level " + std::to_string(*levels[k]) + " times 4",
                            first + k);
            }
            *levels[k] = scaled;
        }
    }
}

void makeColorFromRGB(Palette& palette) {
    for (int i = 0; i < kPaletteEntries; ++i) {
        const int32_t red = palette.palRed[i];
        const int32_t green = palette.palGreen[i];
        const int32_t blue = palette.palBlue[i];
        int32_t g, b, sum, packed;
        if (__builtin_mul_overflow(green, 256, &g) || __builtin_mul_overflow(blue, 65536, &b) ||
            __builtin_add_overflow(g, b, &sum) || __builtin_add_overflow(sum, red, &packed)) {
            const std::string where = "packed colour of palette entry " + std::to_string(i);
            throw GameError(ErrorKind::Overflow, where,
                            std::string(kPaletteFileName) + ": overflow in the " + where);
        }
        palette.palColor[i] = packed;
    }
}

int32_t packedColor(const Palette& palette, unsigned char index) {
    // The stored values are whole numbers, so rounding half to even is exact.
    return static_cast<int32_t>(std::nearbyint(palette.palColor[index]));
}

}  // namespace karnwick
