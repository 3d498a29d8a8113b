#include "data/monster_stats.h"

#include <cstring>

#include "data/errors.h"
#include "data/game_file.h"
#include "data/text_codec.h"

namespace karnwick {

namespace {

// The record's fields in file order, as one list both directions use.
template <typename Stats, typename Visitor>
void visitFields(Stats& s, Visitor&& v) {
    v(s.name);
    for (auto* n : {&s.hp, &s.spare1, &s.spare2, &s.spare3, &s.spare4, &s.spare5, &s.level,
                    &s.agility, &s.strength, &s.spare6, &s.spare7})
        v(*n);
    v(s.special1);
    v(s.special2);
    for (auto* n : {&s.sp1Threshold, &s.sp2Threshold, &s.spare8, &s.spare9, &s.offMin, &s.offMax,
                    &s.sp1Min, &s.sp1Max, &s.sp2Min, &s.sp2Max, &s.defense, &s.mpower, &s.magicFlag,
                    &s.spare10, &s.spare11})
        v(*n);
}

}  // namespace

MonsterStats decodeMonsterStats(std::span<const unsigned char, kRecordLength> bytes) {
    MonsterStats stats;
    std::size_t at = 0;
    visitFields(stats, [&](auto& field) {
        using Field = std::remove_reference_t<decltype(field)>;
        if constexpr (std::is_same_v<Field, int16_t>) {
            field = static_cast<int16_t>(static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8)));
            at += 2;
        } else {
            std::memcpy(field.data(), bytes.data() + at, field.size());
            at += field.size();
        }
    });
    return stats;
}

RecordBytes encodeMonsterStats(const MonsterStats& stats) {
    RecordBytes bytes{};
    std::size_t at = 0;
    visitFields(stats, [&](const auto& field) {
        using Field = std::remove_cvref_t<decltype(field)>;
        if constexpr (std::is_same_v<Field, int16_t>) {
            const auto u = static_cast<uint16_t>(field);
            bytes[at] = static_cast<unsigned char>(u & 0xFF);
            bytes[at + 1] = static_cast<unsigned char>(u >> 8);
            at += 2;
        } else {
            std::memcpy(bytes.data() + at, field.data(), field.size());
            at += field.size();
        }
    });
    return bytes;
}

void loadMonsterStats(int16_t monsterIndex, MonsterStats& target,
                      const std::filesystem::path& file) {
    int16_t recordNumber;
    if (__builtin_add_overflow(monsterIndex, int16_t{1}, &recordNumber)) {
        throw GameError(ErrorKind::Overflow, file.string(),
                        "in the record number of monster " + std::to_string(monsterIndex));
    }
    const GameFile stats(file);
    RecordBytes bytes;
    stats.readAt(static_cast<std::int64_t>(recordNumber - 1) * kRecordLength, bytes);
    target = decodeMonsterStats(bytes);
}

std::string fieldText(std::span<const char> field) {
    return decodeWindows1252(std::string_view(field.data(), field.size()));
}

std::array<StatText, kStatBoxCount> statTexts(const MonsterStats& s) {
    auto number = [](int16_t v) { return std::to_string(v); };
    return {{
        {StatBox::Name, fieldText(s.name)},
        {StatBox::HP, number(s.hp)},
        {StatBox::Agility, number(s.agility)},
        {StatBox::Level, number(s.level)},
        {StatBox::Strength, number(s.strength)},
        {StatBox::Special1, fieldText(s.special1)},
        {StatBox::Special2, fieldText(s.special2)},
        {StatBox::Defense, number(s.defense)},
        {StatBox::SP1Min, number(s.sp1Min)},
        {StatBox::SP1Max, number(s.sp1Max)},
        {StatBox::Sp2Min, number(s.sp2Min)},
        {StatBox::SP2Max, number(s.sp2Max)},
        {StatBox::OffMin, number(s.offMin)},
        {StatBox::OffMax, number(s.offMax)},
        {StatBox::Mpower, number(s.mpower)},
    }};
}

}  // namespace karnwick
