// One monsters.tat record of arbitrary bytes: decoding and encoding give the
// same 86 bytes back, and the panel texts show every number and every text
// field as read, the texts at full width.

#include <cstddef>
#include <cstdint>
#include <string>

#include "battle/battle.h"
#include "battle/panel_fields.h"
#include "data/monster_stats.h"
#include "data/record_fields.h"
#include "fuzz/fuzz_check.h"

using karnwick::fuzz::check;

namespace {

// Code points in a UTF-8 text, or -1 when it is not well-formed.
long codePoints(const std::string& text) {
    long count = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80          ? 1
                                   : (lead >> 5) == 0x6 ? 2
                                   : (lead >> 4) == 0xE ? 3
                                                        : 0;
        if (length == 0 || i + length > text.size()) return -1;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return -1;
        i += length;
        ++count;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace karnwick;
    RecordBytes bytes{};
    for (std::size_t i = 0; i < size && i < bytes.size(); ++i) bytes[i] = data[i];
    const MonsterStats stats = decodeMonsterStats(bytes);
    check(encodeMonsterStats(stats) == bytes, "a record encodes back to its bytes");

    auto at = [&](int offset) {
        return static_cast<int16_t>(static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8));
    };
    check(stats.hp == at(10) && stats.level == at(22) && stats.agility == at(24) &&
              stats.magicFlag == at(80) && stats.spare11 == at(84),
          "numbers sit at their offsets, little-endian");

    for (const RecordField& field : kRecordFields) {
        const std::string text = panelText(stats, field);
        if (field.number) {
            check(!text.empty() && std::stol(text) >= INT16_MIN && std::stol(text) <= INT16_MAX,
                  "a number box shows a 16-bit number");
        } else {
            check(codePoints(text) == field.width, "a text box shows the field at full width");
        }
    }
    check(leadingNumber(panelHpText(stats)) == stats.hp &&
              leadingNumber(panelAgilityText(stats)) == stats.agility,
          "the battle reads back the HP and agility the panel shows");
    return 0;
}
