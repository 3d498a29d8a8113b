#include "data/record_override.h"

#include <algorithm>
#include <charconv>

#include "data/errors.h"
#include "data/record_fields.h"

namespace karnwick {

namespace {

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\n\v\f\r";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string fieldNames() {
    std::string names;
    for (const std::string_view name : kBattleFields)
        names += (names.empty() ? "" : ", ") + std::string(name);
    return names;
}

}  // namespace

std::string recordOverrideHelp(std::string_view purpose) {
    return std::string(purpose) + ", e.g. " + kRecordOverrideExample +
           " (repeatable; the files are not written).";
}

int16_t MonsterStats::*battleField(std::string_view name) {
    if (std::find(kBattleFields.begin(), kBattleFields.end(), name) == kBattleFields.end())
        return nullptr;
    return findRecordField(name)->number;
}

std::string_view battleFieldName(int16_t MonsterStats::*field) {
    for (const std::string_view name : kBattleFields)
        if (findRecordField(name)->number == field) return name;
    return {};
}

std::optional<long long> wholeNumber(std::string_view text, long long low, long long high) {
    text = trimmed(text);
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

RecordNumber parseRecordNumber(std::string_view text, int lastIndex) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || text.find('=') != std::string_view::npos)
        throw CommandError("expected INDEX.FIELD, e.g. 0.hp");
    const int16_t index = monsterIndex(trimmed(text.substr(0, dot)), lastIndex);
    const std::string_view field = trimmed(text.substr(dot + 1));
    RecordNumber number{index, battleField(field)};
    if (!number.field)
        throw CommandError(unknownFieldMessage(field, "; the fields are " + fieldNames()));
    return number;
}

RecordOverride parseRecordOverride(std::string_view text, int lastIndex) {
    const std::string quoted = "--set " + quotedText(text) + ": ";
    // INDEX.FIELD=VALUE: the value follows the first equals sign.
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos ||
        text.substr(0, equals).find('.') == std::string_view::npos)
        throw CommandError(quoted + "expected " + kRecordOverrideForm + ", e.g. " +
                           kRecordOverrideExample);
    RecordNumber number;
    try {
        number = parseRecordNumber(text.substr(0, equals), lastIndex);
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
