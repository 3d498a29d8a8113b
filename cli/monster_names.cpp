#include "cli/monster_names.h"

#include <QRegularExpression>
#include <algorithm>

#include "cli/command_line.h"
#include "cli/suggestions.h"
#include "data/errors.h"
#include "data/game_file.h"
#include "data/monster_stats.h"
#include "data/record_fields.h"

namespace karnwick::cli {

namespace {

constexpr int kListedCandidates = 10;

bool isWholeNumber(const QString& word) {
    static const QRegularExpression form(QStringLiteral("^[+-]?[0-9]+$"));
    return form.match(word).hasMatch();
}

std::string defaultOutOfRange(const QString& word, int lastIndex) {
    const std::string named = "monster " + quotedText(bytesFromArgument(word)) + " is not ";
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

std::string unknownName(const QString& word, const std::vector<std::string>& names, int lastIndex) {
    const std::string typed = bytesFromArgument(word);
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

int resolveMonster(const QString& word, const MonsterLookup& lookup) {
    if (isWholeNumber(word) || word.isEmpty()) return resolveMonster(word, lookup, {});
    const int count = lookup.namedRecords >= 0 ? lookup.namedRecords : lookup.lastIndex + 1;
    return resolveMonster(word, lookup, monsterNames(lookup.statsFile, count));
}

int resolveMonster(const QString& word, const MonsterLookup& lookup,
                   const std::vector<std::string>& names) {
    if (isWholeNumber(word)) {
        if (const auto index = wholeNumber(word, 0, lookup.lastIndex))
            return static_cast<int>(*index);
        throw CommandError(lookup.outOfRange ? lookup.outOfRange(word)
                                             : defaultOutOfRange(word, lookup.lastIndex));
    }
    if (word.isEmpty()) throw CommandError("the monster \"\" is neither an index nor a name");
    const QString wanted = word.toCaseFolded();
    std::vector<int> exact, prefix;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const QString name = QString::fromStdString(names[i]).toCaseFolded();
        if (name == wanted)
            exact.push_back(static_cast<int>(i));
        else if (name.startsWith(wanted))
            prefix.push_back(static_cast<int>(i));
    }
    const std::vector<int>& found = exact.empty() ? prefix : exact;
    if (found.size() == 1) return found.front();
    if (found.empty()) throw CommandError(unknownName(word, names, lookup.lastIndex));
    throw CommandError("the monster " + quotedText(bytesFromArgument(word)) + " is ambiguous: " +
                       std::to_string(found.size()) + " names fit: " + listed(names, found));
}

}  // namespace karnwick::cli
