#include "data/suggestions.h"

#include <algorithm>
#include <numeric>

namespace karnwick {

namespace {

char folded(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::size_t allowedDistance(std::size_t length) {
    return length <= 3 ? 1 : length <= 8 ? 2 : 3;
}

}  // namespace

std::size_t editDistance(std::string_view a, std::string_view b) {
    // Three rows of the table are enough for the swap of neighbours.
    std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
    std::iota(previous.begin(), previous.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const bool same = folded(a[i - 1]) == folded(b[j - 1]);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + !same});
            if (i > 1 && j > 1 && folded(a[i - 1]) == folded(b[j - 2]) &&
                folded(a[i - 2]) == folded(b[j - 1]))
                current[j] = std::min(current[j], before[j - 2] + 1);
        }
        before.swap(previous);
        previous.swap(current);
    }
    return previous[b.size()];
}

std::vector<std::string> nearestWords(std::string_view word,
                                      std::span<const std::string> candidates) {
    const std::size_t allowed = allowedDistance(word.size());
    std::vector<std::pair<std::size_t, std::size_t>> near;  // distance, position
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::size_t distance = editDistance(word, candidates[i]);
        // A candidate as short as the allowance would be "near" anything.
        if (distance <= allowed && distance < candidates[i].size()) near.emplace_back(distance, i);
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    std::vector<std::string> words;
    for (const auto& [distance, i] : near) words.push_back(candidates[i]);
    return words;
}

std::string suggestionOrList(std::string_view word, std::span<const std::string> candidates,
                             std::string_view what) {
    const std::vector<std::string> near = nearestWords(word, candidates);
    if (!near.empty()) return "; did you mean \"" + near.front() + "\"?";
    std::string list = "; the " + std::string(what) + " are ";
    for (std::size_t i = 0; i < candidates.size(); ++i) list += (i ? ", " : "") + candidates[i];
    return list;
}

}  // namespace karnwick
