#include "data/text_codec.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace karnwick {

namespace {
// Code points of bytes 0x80 to 0x9F; the five the code page leaves undefined
// keep their own value.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}
}  // namespace

std::string decodeWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        appendUtf8(out, (b >= 0x80 && b < 0xA0) ? kHighControls[b - 0x80] : char32_t{b});
    }
    return out;
}

std::optional<std::string> encodeWindows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t at = 0;
    while (at < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : 0;
        if (length == 0 || at + std::size_t(length) > utf8.size()) return std::nullopt;
        char32_t cp = length == 1 ? lead : length == 2 ? (lead & 0x1Fu) : (lead & 0x0Fu);
        for (int i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(utf8[at + std::size_t(i)]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            cp = (cp << 6) | (next & 0x3Fu);
        }
        // Overlong forms would let two spellings stand for one byte.
        if ((length == 2 && cp < 0x80) || (length == 3 && cp < 0x800)) return std::nullopt;
        at += std::size_t(length);
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        const auto high = std::find(kHighControls.begin(), kHighControls.end(), cp);
        if (high == kHighControls.end()) return std::nullopt;
        out.push_back(static_cast<char>(0x80 + (high - kHighControls.begin())));
    }
    return out;
}

}  // namespace karnwick
