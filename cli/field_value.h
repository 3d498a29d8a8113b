#pragma once
// A record field's new value as a modder writes it, read one way for `set`,
// `import stats` and `--set`: a number field takes a whole number from -32768
// to 32767; a text field takes at most its width in Windows-1252, padded with
// blanks as the game's own records are.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "data/monster_stats.h"
#include "data/record_fields.h"

namespace karnwick::cli {

// What a number field takes, for messages.
inline constexpr const char* kNumberValues = "a whole number from -32768 to 32767";

// A number field's value, or nothing.
std::optional<int16_t> numberValue(std::string_view text);

// Sets `field` of `stats` to `value`: the number's text, or the text's bytes
// in Windows-1252. A value that does not fit the field leaves `stats` as it
// was and is refused with a CommandError saying what the field takes ("hp
// takes a whole number from -32768 to 32767", "name takes a text of at most
// 10 characters"), for the caller to put after the value as it names it.
void assignField(MonsterStats& stats, const RecordField& field, std::string_view value);

}  // namespace karnwick::cli
