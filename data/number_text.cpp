// Whole numbers and monster indexes read from text.
#include "data/number_text.h"

#include <charconv>
#include <string>

#include "data/errors.h"

namespace karnwick {

std::string_view trimmedText(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\n\v\f\r";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::optional<long long> wholeNumber(std::string_view text, long long low, long long high) {
    text = trimmedText(text);
    // One sign only: from_chars would read the "-1" left of "+-1".
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
        value > high)
        return std::nullopt;
    return value;
}

int16_t monsterIndex(std::string_view text, int lastIndex) {
    if (const auto value = wholeNumber(text, 0, lastIndex)) return static_cast<int16_t>(*value);
    const std::string named = "monster " + quotedText(text) + " is not ";
    if (lastIndex < 0) throw CommandError(named + "in monster.dat, which holds no monsters");
    throw CommandError(named + "a monster index: the valid range is 0.." +
                       std::to_string(lastIndex));
}

}  // namespace karnwick
