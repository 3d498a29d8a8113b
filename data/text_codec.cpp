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
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The code point of the well-formed sequence of `length` bytes at `at`.
char32_t codePoint(std::string_view at, std::size_t length) {
    const auto lead = static_cast<unsigned char>(at[0]);
    char32_t cp = length == 1 ? lead : static_cast<char32_t>(lead & (0x7Fu >> length));
    for (std::size_t i = 1; i < length; ++i) cp = (cp << 6) | (at[i] & 0x3Fu);
    return cp;
}

// A lone byte carried through a command line's text.
constexpr char16_t kByteEscape = 0xDC00;
}  // namespace

bool isUndefinedInWindows1252(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 && kHighControls[byte - 0x80] == byte;
}

std::string hexEscape(unsigned char byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0xF]};
}

std::size_t utf8SequenceLength(std::string_view text) {
    if (text.empty()) return 0;
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    const auto second = static_cast<unsigned char>(text[1]);
    if (second < low || second > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 0;
    return length;
}

std::string escapedText(std::string_view text, bool inQuotes) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t n = utf8SequenceLength(text.substr(i));
            if (n == 0) {
                out += hexEscape(c);
                ++i;
                continue;
            }
            // U+0080..U+009F, two bytes: C2 and the control's code.
            const bool control = c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
            if (control)
                out += hexEscape(static_cast<unsigned char>(text[i + 1]));
            else
                out.append(text.substr(i, n));
            i += n;
            continue;
        }
        if (c < 0x20 || c == 0x7F) {
            out += hexEscape(c);
        } else {
            if (inQuotes && (c == '"' || c == '\\')) out += '\\';
            out += text[i];
        }
        ++i;
    }
    return out;
}

std::string shownInBox(const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') c = ' ';
    }
    return escapedText(shown);
}

bool isUtf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = utf8SequenceLength(text);
        if (length == 0) return false;
        text.remove_prefix(length);
    }
    return true;
}

std::u16string argumentText(std::string_view bytes) {
    std::u16string text;
    while (!bytes.empty()) {
        const std::size_t length = utf8SequenceLength(bytes);
        if (length == 0) {
            text += static_cast<char16_t>(kByteEscape + static_cast<unsigned char>(bytes[0]));
            bytes.remove_prefix(1);
            continue;
        }
        const char32_t cp = codePoint(bytes, length);
        if (cp >= 0x10000) {
            text += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            text += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            text += static_cast<char16_t>(cp);
        }
        bytes.remove_prefix(length);
    }
    return text;
}

std::string argumentBytes(std::u16string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= kByteEscape + 0x80 && unit <= kByteEscape + 0xFF) {
            bytes += static_cast<char>(unit - kByteEscape);
        } else if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() &&
                   text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            appendUtf8(bytes, 0x10000 + ((char32_t(unit) - 0xD800) << 10) +
                                  (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit < 0xE000) {
            appendUtf8(bytes, 0xFFFD);  // a lone surrogate no argument can bring
        } else {
            appendUtf8(bytes, unit);
        }
    }
    return bytes;
}

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
        // Overlong forms would let two spellings stand for one byte.
        const std::size_t length = utf8SequenceLength(utf8.substr(at));
        if (length == 0) return std::nullopt;
        const char32_t cp = codePoint(utf8.substr(at), length);
        at += length;
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
