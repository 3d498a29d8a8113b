#pragma once
// The game stores its texts (monster names, attack names) as single bytes in
// the Windows-1252 code page. The arena keeps those bytes as they are and turns
// them into UTF-8 only to show or log them.

#include <optional>
#include <string>
#include <string_view>

namespace karnwick {

// Every byte becomes one character: 0x00-0x7F and 0xA0-0xFF map to the same
// code point, 0x80-0x9F to the code page's letters and signs; the five bytes the
// code page leaves undefined keep their C1 control code point, as Windows does.
std::string decodeWindows1252(std::string_view bytes);

// The way back, for texts a modder writes into a record: UTF-8 to one byte a
// character, the exact inverse of decodeWindows1252 (so U+0081 gives the byte
// 0x81). Nothing for a character the code page cannot hold or text that is
// not valid UTF-8.
std::optional<std::string> encodeWindows1252(std::string_view utf8);

}  // namespace karnwick
