#pragma once
// The 29 fields of a monsters.tat record by the names the game's record gives
// them, in file order: the one description of the record's layout. Reading and
// writing a record walk it, and so do the tools that show, check or change a
// record field by field.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "data/errors.h"
#include "data/monster_stats.h"

namespace karnwick {

struct RecordField {
    std::string_view name;
    int width;  // in bytes
    // The number's member; null for the three texts.
    int16_t MonsterStats::*number;
    // The text's bytes at full width; null for the numbers.
    std::span<char> (*text)(MonsterStats&);
    int offset = 0;  // in the 86-byte record, from the widths before it
};

inline constexpr int kRecordFieldCount = 29;

namespace detail {

template <auto Member>
std::span<char> textBytes(MonsterStats& stats) {
    return stats.*Member;
}

constexpr RecordField number(std::string_view name, int16_t MonsterStats::*member) {
    return {name, 2, member, nullptr};
}

template <auto Member>
constexpr RecordField text(std::string_view name) {
    return {
        name,
        static_cast<int>(
            std::tuple_size_v<std::remove_cvref_t<decltype(std::declval<MonsterStats>().*Member)>>),
        nullptr, &textBytes<Member>};
}

constexpr std::array<RecordField, kRecordFieldCount> laidOut(
    std::array<RecordField, kRecordFieldCount> fields) {
    int offset = 0;
    for (RecordField& field : fields) {
        field.offset = offset;
        offset += field.width;
    }
    return fields;
}

}  // namespace detail

inline constexpr std::array<RecordField, kRecordFieldCount> kRecordFields = detail::laidOut({{
    detail::text<&MonsterStats::name>("name"),
    detail::number("hp", &MonsterStats::hp),
    detail::number("spare1", &MonsterStats::spare1),
    detail::number("spare2", &MonsterStats::spare2),
    detail::number("spare3", &MonsterStats::spare3),
    detail::number("spare4", &MonsterStats::spare4),
    detail::number("spare5", &MonsterStats::spare5),
    detail::number("level", &MonsterStats::level),
    detail::number("agility", &MonsterStats::agility),
    detail::number("strength", &MonsterStats::strength),
    detail::number("spare6", &MonsterStats::spare6),
    detail::number("spare7", &MonsterStats::spare7),
    detail::text<&MonsterStats::special1>("special1"),
    detail::text<&MonsterStats::special2>("special2"),
    detail::number("sp1Threshold", &MonsterStats::sp1Threshold),
    detail::number("sp2Threshold", &MonsterStats::sp2Threshold),
    detail::number("spare8", &MonsterStats::spare8),
    detail::number("spare9", &MonsterStats::spare9),
    detail::number("offMin", &MonsterStats::offMin),
    detail::number("offMax", &MonsterStats::offMax),
    detail::number("sp1Min", &MonsterStats::sp1Min),
    detail::number("sp1Max", &MonsterStats::sp1Max),
    detail::number("sp2Min", &MonsterStats::sp2Min),
    detail::number("sp2Max", &MonsterStats::sp2Max),
    detail::number("defense", &MonsterStats::defense),
    detail::number("mpower", &MonsterStats::mpower),
    detail::number("magicFlag", &MonsterStats::magicFlag),
    detail::number("spare10", &MonsterStats::spare10),
    detail::number("spare11", &MonsterStats::spare11),
}});

static_assert(kRecordFields.back().offset + kRecordFields.back().width == kRecordLength,
              "the fields fill the record exactly");

// The field called `name`, or nullptr.
constexpr const RecordField* findRecordField(std::string_view name) {
    for (const RecordField& field : kRecordFields)
        if (field.name == name) return &field;
    return nullptr;
}

// How every reader of a field's name refuses a name no record has:
// `unknown field "hq"`, then `rest`, a suggestion or the names there are.
inline std::string unknownFieldMessage(std::string_view name, std::string_view rest) {
    return "unknown field " + quotedText(name) + std::string(rest);
}

// The bytes of one of the three text fields, as the record holds them; none
// for a number.
inline std::span<const char> textField(const MonsterStats& stats, const RecordField& field) {
    if (!field.text) return {};
    // Only read through: the accessor is shared with the record's reader.
    return field.text(const_cast<MonsterStats&>(stats));
}

}  // namespace karnwick
