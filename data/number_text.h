#pragma once
// Numbers as a player types them on a command line or in a box: a whole
// number within a range, and a monster's index.

#include <cstdint>
#include <optional>
#include <string_view>

namespace karnwick {

// `text` without the blanks around it.
std::string_view trimmedText(std::string_view text);

// A whole number in `text` (blanks around it allowed) within [low, high].
std::optional<long long> wholeNumber(std::string_view text, long long low, long long high);

// The monster index `text` names among 0..lastIndex (-1 when monster.dat
// holds none). Throws CommandError naming the text and the valid range.
int16_t monsterIndex(std::string_view text, int lastIndex);

}  // namespace karnwick
