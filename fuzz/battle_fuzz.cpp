// Feeds arbitrary records and box texts to the battle: whatever the numbers, a
// battle either ends or stops with a GameError, never with undefined
// behaviour (the sanitizers watch every conversion and every sum).

#include <cstddef>
#include <cstdint>
#include <string>

#include "battle/battle.h"
#include "data/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace karnwick;
    if (size < 2 * kRecordLength + 8) return 0;
    Fighters fighters{
        decodeMonsterStats(std::span<const unsigned char, kRecordLength>(data, kRecordLength)),
        decodeMonsterStats(
            std::span<const unsigned char, kRecordLength>(data + kRecordLength, kRecordLength))};
    const std::size_t rest = size - 2 * kRecordLength - 8;
    const char* tail = reinterpret_cast<const char*>(data + 2 * kRecordLength + 8);
    ArenaTexts texts;
    // Four box texts cut from the rest of the input.
    for (int i = 0; i < 4; ++i) {
        const std::size_t from = rest * i / 4, to = rest * (i + 1) / 4;
        (i < 2 ? texts.hp[i] : texts.agility[i - 2]).assign(tail + from, to - from);
    }
    uint64_t seed = 0;
    for (int i = 0; i < 8; ++i) seed = seed << 8 | data[2 * kRecordLength + i];
    Pcg32 random(seed);
    try {
        runBattle(texts, fighters, random);
    } catch (const GameError&) {
    }
    Pcg32 again(seed);
    try {
        playSilentBattle(texts.hp, texts.agility, fighters, again);
    } catch (const GameError&) {
    }
    return 0;
}
