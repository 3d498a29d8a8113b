#pragma once
// A what-if change to one number of one monster's record, `INDEX.FIELD=VALUE`
// as `karnwick --set` and `karnwick-arena --set` read it and as the Balance
// window makes it: the battle is fought with the changed record, and the game
// files are never written. Only the numbers a battle reads may be changed.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "battle/battle_fields.h"
#include "data/errors.h"
#include "data/monster_names.h"
#include "data/monster_stats.h"
#include "data/number_text.h"

namespace karnwick {

// The form of a change and an example, as help and messages give them.
inline constexpr const char* kRecordOverrideForm = "INDEX.FIELD=VALUE";
inline constexpr const char* kRecordOverrideExample = "3.hp=120";

// The help of a program's --set: what a change does there (`purpose`), an
// example, and that the files stay as they are.
std::string recordOverrideHelp(std::string_view purpose);

struct RecordOverride {
    int16_t index = 0;
    int16_t MonsterStats::*field = nullptr;
    int16_t value = 0;
};

// The battle field of that name, or null.
int16_t MonsterStats::*battleField(std::string_view name);
// The record name of a battle field ("hp"); empty for any other member.
std::string_view battleFieldName(int16_t MonsterStats::*field);

// One number of one monster's record: monster `index`'s `field`.
struct RecordNumber {
    int16_t index = 0;
    int16_t MonsterStats::*field = nullptr;
};

// What the INDEX of a change names: given the INDEX part as typed, blanks
// trimmed, the monster's index; throws CommandError saying what is wrong.
using MonsterFinder = std::function<int16_t(std::string_view who)>;

// Numbers only: an INDEX of 0..lastIndex.
MonsterFinder monsterByIndex(int lastIndex);
// A number of 0..lookup.lastIndex or a name among its records (see
// resolveMonster), as every program's --set reads INDEX.
MonsterFinder monsterByIndexOrName(MonsterLookup lookup);

// One `INDEX.FIELD` text (UTF-8). The field is what follows the last dot,
// since a name may hold dots, and a mistyped field is answered with the
// nearest field's name. Throws CommandError saying what is wrong ("unknown
// field ..."), for the caller to put after the text as it names it.
RecordNumber parseRecordNumber(std::string_view text, const MonsterFinder& findMonster);

// One `INDEX.FIELD=VALUE` text (UTF-8). Throws CommandError with the whole
// message ("--set \"3.hq=1\": unknown field ...").
RecordOverride parseRecordOverride(std::string_view text, const MonsterFinder& findMonster);
inline RecordOverride parseRecordOverride(std::string_view text, int lastIndex) {
    return parseRecordOverride(text, monsterByIndex(lastIndex));
}

// The text parseRecordOverride reads back as `change`: "3.hp=120".
std::string recordOverrideText(const RecordOverride& change);

// Changes monster `index`'s record as asked, later changes winning.
void applyRecordOverrides(const std::vector<RecordOverride>& overrides, int index,
                          MonsterStats& stats);

}  // namespace karnwick
