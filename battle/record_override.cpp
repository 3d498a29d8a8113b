#include "battle/record_override.h"

#include <climits>

#include "data/errors.h"
#include "data/record_fields.h"
#include "data/suggestions.h"

namespace karnwick {

std::string recordOverrideHelp(std::string_view purpose) {
    return std::string(purpose) + ", e.g. " + kRecordOverrideExample +
           " (repeatable; the files are not written).";
}

int16_t MonsterStats::*battleField(std::string_view name) {
    return isBattleField(name) ? findRecordField(name)->number : nullptr;
}

std::string_view battleFieldName(int16_t MonsterStats::*field) {
    for (const std::string_view name : kBattleFields)
        if (findRecordField(name)->number == field) return name;
    return {};
}

MonsterFinder monsterByIndex(int lastIndex) {
    return [lastIndex](std::string_view who) { return monsterIndex(who, lastIndex); };
}

MonsterFinder monsterByIndexOrName(MonsterLookup lookup) {
    return [lookup = std::move(lookup)](std::string_view who) {
        // An index out of range and an empty INDEX get the range, as numbers.
        if (who.empty() || wholeNumber(who, LLONG_MIN, LLONG_MAX))
            return monsterIndex(who, lookup.lastIndex);
        return static_cast<int16_t>(resolveMonster(who, lookup));
    };
}

RecordNumber parseRecordNumber(std::string_view text, const MonsterFinder& findMonster) {
    const std::size_t dot = text.rfind('.');
    if (dot == std::string_view::npos || text.find('=') != std::string_view::npos)
        throw CommandError("expected INDEX.FIELD, e.g. 0.hp");
    const std::string_view field = trimmedText(text.substr(dot + 1));
    const auto number = battleField(field);
    if (!number) {
        const std::vector<std::string> fields(kBattleFields.begin(), kBattleFields.end());
        throw CommandError(unknownFieldMessage(field, suggestionOrList(field, fields, "fields")));
    }
    return RecordNumber{findMonster(trimmedText(text.substr(0, dot))), number};
}

RecordOverride parseRecordOverride(std::string_view text, const MonsterFinder& findMonster) {
    const std::string quoted = "--set " + quotedText(text) + ": ";
    // INDEX.FIELD=VALUE: the value follows the first equals sign.
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos ||
        text.substr(0, equals).find('.') == std::string_view::npos)
        throw CommandError(quoted + "expected " + kRecordOverrideForm + ", e.g. " +
                           kRecordOverrideExample);
    RecordNumber number;
    try {
        number = parseRecordNumber(text.substr(0, equals), findMonster);
    } catch (const CommandError& e) {
        throw CommandError(quoted + e.what());
    }
    const std::string_view valueText = text.substr(equals + 1);
    const auto value = wholeNumber(valueText, INT16_MIN, INT16_MAX);
    if (!value) {
        throw CommandError(quoted + "the value " + quotedText(valueText) +
                           " is not a whole number from -32768 to 32767");
    }
    return RecordOverride{number.index, number.field, static_cast<int16_t>(*value)};
}

std::string recordOverrideText(const RecordOverride& change) {
    return std::to_string(change.index) + "." + std::string(battleFieldName(change.field)) + "=" +
           std::to_string(change.value);
}

void applyRecordOverrides(const std::vector<RecordOverride>& overrides, int index,
                          MonsterStats& stats) {
    for (const RecordOverride& change : overrides)
        if (change.index == index) stats.*change.field = change.value;
}

}  // namespace karnwick
