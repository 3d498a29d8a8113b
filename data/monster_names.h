#pragma once
// The one way a player names a monster, on a command line or in a --set: by
// index or by name, for duel, odds, sweep, list, export sprite, set, the
// INDEX part of every INDEX.FIELD, and the arena's --set alike.
//
// A whole number is always an index. Any other word is a name: it matches a
// record's name without regard to case, the name's trailing blanks ignored; an
// exact match wins over a prefix, and otherwise a unique prefix matches.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace karnwick {

// The names of records 0..count-1 of `statsFile` as a player reads them:
// Windows-1252 as UTF-8, trailing blanks (and the NULs a box shows as blanks)
// removed. Records past the end of the file have empty names.
std::vector<std::string> monsterNames(const std::filesystem::path& statsFile, int count);

// `text` (UTF-8) with each letter in the one case names are compared in:
// Unicode's simple case folding, for every letter a name can hold and every
// letter that folds to one of those (the Kelvin sign to "k", the long s to
// "s"); any other character is kept, and can match nothing in a name. Nothing
// for text that is not UTF-8.
std::optional<std::string> foldedCase(std::string_view text);

struct MonsterLookup {
    int lastIndex = -1;  // the highest index a number may give; -1 for none
    // How many records a name is looked for in (the first ones of the file);
    // lastIndex + 1 when negative.
    int namedRecords = -1;
    std::filesystem::path statsFile{};
    // The message for a number outside 0..lastIndex, given the word as typed;
    // the default names the valid range.
    std::function<std::string(const std::string&)> outOfRange{};
};

// The refusal of a monster index past what a game file holds, where the
// index just past its end appends one: "monster "12" has no sprite:
// monster.dat holds 3 (0..2, and 3 appends one)". `held` counts the file's
// entries (sprites or records) and `last` is the highest index the arena can
// read at all; `typed` is the word as the player gave it.
std::string missingEntryText(const std::string& typed, std::string_view entry,
                             std::string_view file, long long held, long long last);

// The index `word` (the bytes as typed) names. Throws CommandError for a
// number out of range, a name no record has (naming the nearest names, if any
// is close) or a prefix of several (listing at most 10 of them with their
// indexes).
int resolveMonster(std::string_view word, const MonsterLookup& lookup);

// The same among names already read, for a caller holding the records.
int resolveMonster(std::string_view word, const MonsterLookup& lookup,
                   const std::vector<std::string>& names);

}  // namespace karnwick
