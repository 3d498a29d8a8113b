// How game texts and file names appear in what a command writes.

#include "cli/shown_text.h"

#include <algorithm>

#include "data/monster_stats.h"
#include "data/platform.h"

namespace karnwick::cli {

std::string shownPath(const std::filesystem::path& path) {
    return escapedText(platform::pathText(path));
}

std::size_t shownLength(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string paddedText(std::string text, std::size_t columns) {
    const std::size_t shown = shownLength(text);
    if (shown < columns) text.append(columns - shown, ' ');
    return text;
}

QString jsonText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace karnwick::cli
