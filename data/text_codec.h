#pragma once
// The game stores its texts (monster names, attack names) as single bytes in
// the Windows-1252 code page. The arena keeps those bytes as they are and turns
// them into UTF-8 only to show or log them.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace karnwick {

// The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D): no letter, so they are shown escaped like control bytes.
bool isUndefinedInWindows1252(unsigned char byte);

// A byte as every message and CSV of the project writes one it cannot show:
// "\x1F", two upper-case hex digits.
std::string hexEscape(unsigned char byte);

// The one way a message shows a text that may hold what a terminal must not
// be sent: control characters (C0, DEL, and the C1 controls that the five
// bytes the code page leaves undefined decode to) and bytes that are not
// UTF-8 become \xHH (a C1 control as its code, which is the game's byte), so
// "Vex\x9Dling" reads the same in a message as in the CSV. `inQuotes` also
// puts a backslash before a quote and a backslash. Everything else is kept.
std::string escapedText(std::string_view text, bool inQuotes = false);

// A game text (UTF-8) as a statistics box of the arena shows it: the box shows
// every control character but the tab as a blank, so a name of NUL bytes is
// blanks. What a terminal must not be sent (a tab, DEL, the C1 controls of the
// bytes the code page leaves undefined) is escaped as \xHH (escapedText).
std::string shownInBox(const std::string& text);

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0:
// no overlong forms, no surrogates, nothing above U+10FFFF.
std::size_t utf8SequenceLength(std::string_view text);

// Whether all of `text` is well-formed UTF-8.
bool isUtf8(std::string_view text);

// A command-line argument's bytes as UTF-16 text for a parser, and back. A
// file may be named by any bytes, valid UTF-8 or not: a byte that is not part
// of well-formed UTF-8 travels as the code point U+DC00 + byte (U+DC80..U+DCFF,
// which valid UTF-8 never holds), so nothing is lost on the way to the file
// system.
std::u16string argumentText(std::string_view bytes);
std::string argumentBytes(std::u16string_view text);

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
