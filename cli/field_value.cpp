#include "cli/field_value.h"

#include <QString>
#include <algorithm>

#include "cli/command_line.h"

namespace karnwick::cli {

std::optional<int16_t> numberValue(std::string_view text) {
    const auto number = wholeNumber(
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), INT16_MIN, INT16_MAX);
    if (!number) return std::nullopt;
    return static_cast<int16_t>(*number);
}

void assignField(MonsterStats& stats, const RecordField& field, std::string_view value) {
    const std::string takes = std::string(field.name) + " takes ";
    if (field.number) {
        const auto number = numberValue(value);
        if (!number) throw CommandError(takes + kNumberValues);
        stats.*field.number = *number;
        return;
    }
    const std::span<char> text = field.text(stats);
    if (value.size() > text.size())
        throw CommandError(takes + "a text of at most " + std::to_string(field.width) +
                           " characters");
    std::fill(std::copy(value.begin(), value.end(), text.begin()), text.end(), ' ');
}

}  // namespace karnwick::cli
