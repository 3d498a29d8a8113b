#pragma once
// "Did you mean": the nearest valid word to a mistyped command, option, field
// or monster name, as git and ninja offer it. A word is suggested only when a
// few keystrokes turn the one into the other; otherwise the caller lists the
// valid words.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace karnwick {

// The number of single-letter insertions, deletions, substitutions and swaps
// of neighbours that turn `a` into `b`, ignoring the case of ASCII letters.
std::size_t editDistance(std::string_view a, std::string_view b);

// The candidates close enough to `word` to be what was meant, nearest first
// (ties in the candidates' order): at most one edit for a word of up to three
// letters, two up to eight, three beyond.
std::vector<std::string> nearestWords(std::string_view word,
                                      std::span<const std::string> candidates);

// `; did you mean "name"?` for the nearest candidate, or `; the <what> are
// a, b, c` when none is near: the end of an "unknown ..." message.
std::string suggestionOrList(std::string_view word, std::span<const std::string> candidates,
                             std::string_view what);

}  // namespace karnwick
