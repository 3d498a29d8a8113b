// Monsters named by index or by name, and the one case names are compared in.
#include "data/monster_names.h"

#include <algorithm>
#include <array>
#include <utility>

#include "data/errors.h"
#include "data/game_file.h"
#include "data/monster_stats.h"
#include "data/number_text.h"
#include "data/record_fields.h"
#include "data/suggestions.h"
#include "data/text_codec.h"

namespace karnwick {

namespace {

constexpr int kListedCandidates = 10;

// The letters outside A-Z whose simple case folding is a letter a name can
// hold: the Windows-1252 capitals, and the few letters elsewhere in Unicode
// that fold to one of the code page's letters. Sorted by code point.
constexpr std::array<std::pair<char32_t, char32_t>, 41> kFoldedLetters{{
    {0x00B5, 0x03BC}, {0x00C0, 0x00E0}, {0x00C1, 0x00E1}, {0x00C2, 0x00E2}, {0x00C3, 0x00E3},
    {0x00C4, 0x00E4}, {0x00C5, 0x00E5}, {0x00C6, 0x00E6}, {0x00C7, 0x00E7}, {0x00C8, 0x00E8},
    {0x00C9, 0x00E9}, {0x00CA, 0x00EA}, {0x00CB, 0x00EB}, {0x00CC, 0x00EC}, {0x00CD, 0x00ED},
    {0x00CE, 0x00EE}, {0x00CF, 0x00EF}, {0x00D0, 0x00F0}, {0x00D1, 0x00F1}, {0x00D2, 0x00F2},
    {0x00D3, 0x00F3}, {0x00D4, 0x00F4}, {0x00D5, 0x00F5}, {0x00D6, 0x00F6}, {0x00D8, 0x00F8},
    {0x00D9, 0x00F9}, {0x00DA, 0x00FA}, {0x00DB, 0x00FB}, {0x00DC, 0x00FC}, {0x00DD, 0x00FD},
    {0x00DE, 0x00FE}, {0x0152, 0x0153}, {0x0160, 0x0161}, {0x0178, 0x00FF}, {0x017D, 0x017E},
    {0x017F, 0x0073}, {0x0191, 0x0192}, {0x039C, 0x03BC}, {0x1E9E, 0x00DF}, {0x212A, 0x006B},
    {0x212B, 0x00E5},
}};

char32_t foldedLetter(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c - U'A' + U'a';
    const auto* found =
        std::lower_bound(kFoldedLetters.begin(), kFoldedLetters.end(), c,
                         [](const auto& entry, char32_t x) { return entry.first < x; });
    return found != kFoldedLetters.end() && found->first == c ? found->second : c;
}

char32_t decodedCodePoint(std::string_view sequence) {
    const auto lead = static_cast<unsigned char>(sequence[0]);
    if (sequence.size() == 1) return lead;
    char32_t c = lead & (0x7F >> sequence.size());
    for (std::size_t i = 1; i < sequence.size(); ++i)
        c = (c << 6) | (static_cast<unsigned char>(sequence[i]) & 0x3F);
    return c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A sign and digits, and nothing else but blanks around them: an index,
// whether or not it is in range.
bool isWholeNumber(std::string_view word) {
    word = trimmedText(word);
    if (!word.empty() && (word.front() == '+' || word.front() == '-')) word.remove_prefix(1);
    return !word.empty() &&
           std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string defaultOutOfRange(const std::string& word, int lastIndex) {
    const std::string named = "monster " + quotedText(word) + " is not ";
    if (lastIndex < 0) return named + "in monster.dat, which holds no monsters";
    return named + "a monster index: the valid range is 0.." + std::to_string(lastIndex);
}

std::string listed(const std::vector<std::string>& names, const std::vector<int>& indexes) {
    std::string list;
    const int shown = std::min<int>(kListedCandidates, static_cast<int>(indexes.size()));
    for (int i = 0; i < shown; ++i) {
        const int index = indexes[static_cast<std::size_t>(i)];
        list += (i ? ", " : "") + std::to_string(index) + " " +
                quotedText(names[static_cast<std::size_t>(index)]);
    }
    if (static_cast<int>(indexes.size()) > shown)
        list +=
            " and " + std::to_string(indexes.size() - static_cast<std::size_t>(shown)) + " more";
    return list;
}

std::string unknownName(const std::string& typed, const std::vector<std::string>& names,
                        int lastIndex) {
    std::string message = "no monster is named " + quotedText(typed);
    const std::vector<std::string> near = nearestWords(typed, names);
    if (!near.empty()) {
        std::vector<int> indexes;
        for (const std::string& name : near) {
            for (std::size_t i = 0; i < names.size(); ++i)
                if (names[i] == name &&
                    std::find(indexes.begin(), indexes.end(), static_cast<int>(i)) == indexes.end())
                    indexes.push_back(static_cast<int>(i));
        }
        return message + "; did you mean " + listed(names, indexes) + "?";
    }
    if (lastIndex < 0) return message + ": monster.dat holds no monsters";
    return message + ": give an index 0.." + std::to_string(lastIndex) +
           " or a name `karnwick list` shows";
}

}  // namespace

std::optional<std::string> foldedCase(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = utf8SequenceLength(text);
        if (length == 0) return std::nullopt;
        appendUtf8(folded, foldedLetter(decodedCodePoint(text.substr(0, length))));
        text.remove_prefix(length);
    }
    return folded;
}

std::string missingEntryText(const std::string& typed, std::string_view entry,
                             std::string_view file, long long held, long long last) {
    std::string text = "monster " + quotedText(typed) + " has no " + std::string(entry) + ": " +
                       std::string(file) + " holds " + std::to_string(held);
    if (held <= 0) return text + " (0 appends one)";
    if (held <= last)
        return text + " (0.." + std::to_string(held - 1) + ", and " + std::to_string(held) +
               " appends one)";
    return text + " (0.." + std::to_string(std::min(held - 1, last)) + "; the arena reads no " +
           std::string(entry) + " past " + std::to_string(last) + ")";
}

std::vector<std::string> monsterNames(const std::filesystem::path& statsFile, int count) {
    std::vector<std::string> names;
    if (count <= 0) return names;
    const GameFile file(statsFile);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(count) * kRecordLength);
    file.readAt(0, bytes);
    names.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const char* at = reinterpret_cast<const char*>(bytes.data()) +
                         static_cast<std::size_t>(i) * kRecordLength + kRecordFields[0].offset;
        std::string_view name(at, static_cast<std::size_t>(kNameLength));
        while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.remove_suffix(1);
        names.push_back(fieldText({name.data(), name.size()}));
    }
    return names;
}

int resolveMonster(std::string_view word, const MonsterLookup& lookup) {
    if (isWholeNumber(word) || word.empty()) return resolveMonster(word, lookup, {});
    const int count = lookup.namedRecords >= 0 ? lookup.namedRecords : lookup.lastIndex + 1;
    return resolveMonster(word, lookup, monsterNames(lookup.statsFile, count));
}

int resolveMonster(std::string_view typed, const MonsterLookup& lookup,
                   const std::vector<std::string>& names) {
    const std::string word(typed);
    if (isWholeNumber(word)) {
        if (const auto index = wholeNumber(word, 0, lookup.lastIndex))
            return static_cast<int>(*index);
        throw CommandError(lookup.outOfRange ? lookup.outOfRange(word)
                                             : defaultOutOfRange(word, lookup.lastIndex));
    }
    if (word.empty()) throw CommandError("the monster \"\" is neither an index nor a name");
    // A word that is not UTF-8 names no monster, and no name is a prefix of it.
    const std::optional<std::string> wanted = foldedCase(word);
    std::vector<int> exact, prefix;
    for (std::size_t i = 0; wanted && i < names.size(); ++i) {
        const std::string name = foldedCase(names[i]).value_or(std::string());
        if (name == *wanted)
            exact.push_back(static_cast<int>(i));
        else if (name.starts_with(*wanted))
            prefix.push_back(static_cast<int>(i));
    }
    const std::vector<int>& found = exact.empty() ? prefix : exact;
    if (found.size() == 1) return found.front();
    if (found.empty()) throw CommandError(unknownName(word, names, lookup.lastIndex));
    throw CommandError("the monster " + quotedText(word) + " is ambiguous: " +
                       std::to_string(found.size()) + " names fit: " + listed(names, found));
}

}  // namespace karnwick
