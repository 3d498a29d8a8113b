#pragma once
// How game texts and file names appear in what a command writes: a name
// without its padding, a path with its odd bytes escaped, columns counted in
// characters rather than bytes, and text for JSON.

#include <QString>
#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "data/monster_stats.h"
#include "data/text_codec.h"

namespace karnwick::cli {

// A game text as a statistics box shows it (data/text_codec.h).
using karnwick::shownInBox;

// A record's text field as every table shows it (data/monster_stats.h).
using karnwick::shownText;

// A file or folder name for a message: bytes that are not UTF-8 and control
// characters escaped (escapedText), as GameError shows its paths.
std::string shownPath(const std::filesystem::path& path);

// The width of a UTF-8 text in a terminal's columns, one for each character
// (a name with "ü" is as wide as its letters, not its bytes).
std::size_t shownLength(std::string_view text);

// A UTF-8 text padded with blanks to `columns` characters, for the tables
// that name monsters.
std::string paddedText(std::string text, std::size_t columns);

// A game text (UTF-8, NULs and all) as a Qt string for JSON output.
QString jsonText(const std::string& text);

}  // namespace karnwick::cli
