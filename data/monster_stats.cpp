#include "data/monster_stats.h"

#include <algorithm>
#include <cstring>

#include "data/errors.h"
#include "data/game_file.h"
#include "data/platform.h"
#include "data/record_fields.h"
#include "data/text_codec.h"

namespace karnwick {

MonsterStats decodeMonsterStats(std::span<const unsigned char, kRecordLength> bytes) {
    MonsterStats stats;
    for (const RecordField& field : kRecordFields) {
        const unsigned char* at = bytes.data() + field.offset;
        if (field.number) {
            stats.*field.number = static_cast<int16_t>(static_cast<uint16_t>(at[0] | (at[1] << 8)));
        } else {
            const std::span<char> text = field.text(stats);
            std::memcpy(text.data(), at, text.size());
        }
    }
    return stats;
}

RecordBytes encodeMonsterStats(const MonsterStats& stats) {
    RecordBytes bytes{};
    for (const RecordField& field : kRecordFields) {
        unsigned char* at = bytes.data() + field.offset;
        if (field.number) {
            const auto u = static_cast<uint16_t>(stats.*field.number);
            at[0] = static_cast<unsigned char>(u & 0xFF);
            at[1] = static_cast<unsigned char>(u >> 8);
        } else {
            const std::span<const char> text = textField(stats, field);
            std::memcpy(at, text.data(), text.size());
        }
    }
    return bytes;
}

MonsterStats recordAt(std::span<const unsigned char> file, std::size_t index) {
    RecordBytes record{};
    const std::size_t at = index * kRecordLength;
    if (at < file.size())
        std::copy_n(file.begin() + std::ptrdiff_t(at), std::min(file.size() - at, record.size()),
                    record.begin());
    return decodeMonsterStats(record);
}

void putRecord(std::vector<unsigned char>& file, std::size_t index, const MonsterStats& stats) {
    const std::size_t at = index * kRecordLength;
    if (file.size() < at + kRecordLength) file.resize(at + kRecordLength, 0);
    const RecordBytes record = encodeMonsterStats(stats);
    std::copy(record.begin(), record.end(), file.begin() + std::ptrdiff_t(at));
}

void loadMonsterStats(int16_t monsterIndex, MonsterStats& target,
                      const std::filesystem::path& file) {
    int16_t recordNumber;
    if (__builtin_add_overflow(monsterIndex, int16_t{1}, &recordNumber)) {
        throw GameError(ErrorKind::Overflow, platform::pathText(file),
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

std::string shownText(std::span<const char> field) {
    std::size_t end = field.size();
    while (end > 0 && (field[end - 1] == ' ' || field[end - 1] == '\0')) --end;
    return shownInBox(fieldText(field.first(end)));
}

std::string monsterLabel(int index, std::string_view shownName) {
    std::string label = std::to_string(index);
    if (!shownName.empty()) label.append(" ").append(shownName);
    return label;
}

std::string monsterLabel(int index, const MonsterStats& stats) {
    return monsterLabel(index, shownText(stats.name));
}

}  // namespace karnwick
