#include "battle/record_override.h"

#include "data/errors.h"
#include "data/record_fields.h"

namespace karnwick {

namespace {

std::string fieldNames() {
    std::string names;
    for (const std::string_view name : kBattleFields)
        names += (names.empty() ? "" : ", ") + std::string(name);
    return names;
}

}  // namespace

int16_t MonsterStats::*battleField(std::string_view name) {
    return isBattleField(name) ? findRecordField(name)->number : nullptr;
}

std::string_view battleFieldName(int16_t MonsterStats::*field) {
    for (const std::string_view name : kBattleFields)
        if (findRecordField(name)->number == field) return name;
    return {};
}

RecordNumber parseRecordNumber(std::string_view text, int lastIndex) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || text.find('=') != std::string_view::npos)
        throw CommandError("expected INDEX.FIELD, e.g. 0.hp");
    const int16_t index = monsterIndex(trimmedText(text.substr(0, dot)), lastIndex);
    const std::string_view field = trimmedText(text.substr(dot + 1));
    RecordNumber number{index, battleField(field)};
    if (!number.field)
        throw CommandError("unknown field \"" + std::string(field) + "\"; the fields are " +
                           fieldNames());
    return number;
}

RecordOverride parseRecordOverride(std::string_view text, int lastIndex) {
    const std::string quoted = "--set " + quotedText(text) + ": ";
    // INDEX.FIELD=VALUE: the value follows the first equals sign.
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos ||
        text.substr(0, equals).find('.') == std::string_view::npos)
        throw CommandError(quoted + "expected INDEX.FIELD=VALUE, e.g. 3.hp=120");
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
