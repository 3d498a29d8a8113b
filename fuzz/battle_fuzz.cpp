// A battle between two arbitrary records, with arbitrary HP and agility box
// texts and an arbitrary seed. Whatever the numbers, the battle either ends
// within the turn cap with a log whose last line is empty and current-HP boxes
// matching its state, or stops on an overflow or a division by zero; the
// silent battle the statistics use plays the very same battle.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "battle/battle.h"
#include "data/errors.h"
#include "fuzz/fuzz_check.h"

using karnwick::fuzz::check;

namespace {

struct Outcome {
    karnwick::BattleState state;
    bool failed = false;
    karnwick::ErrorKind kind{};
    std::string message;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace karnwick;
    constexpr std::size_t kHead = 2 * kRecordLength + 8;
    if (size < kHead) return 0;
    const Fighters fighters{
        decodeMonsterStats(std::span<const unsigned char, kRecordLength>(data, kRecordLength)),
        decodeMonsterStats(
            std::span<const unsigned char, kRecordLength>(data + kRecordLength, kRecordLength))};
    uint64_t seed = 0;
    for (int i = 0; i < 8; ++i) seed = seed << 8 | data[2 * kRecordLength + i];
    // The four box texts are cut from the rest at the first three '|' bytes.
    StartingTexts texts;
    std::string* boxes[] = {&texts.hp[0], &texts.hp[1], &texts.agility[0], &texts.agility[1]};
    int box = 0;
    for (std::size_t i = kHead; i < size; ++i) {
        if (data[i] == '|' && box < 3) {
            ++box;
            continue;
        }
        boxes[box]->push_back(static_cast<char>(data[i]));
    }

    Outcome logged;
    BattleLog log;
    Pcg32 random(seed);
    try {
        runBattle(texts, fighters, random, log, logged.state);
    } catch (const GameError& e) {
        logged.failed = true;
        logged.kind = e.kind();
        logged.message = e.what();
        check(e.kind() == ErrorKind::Overflow || e.kind() == ErrorKind::DivisionByZero,
              "a battle fails only on an overflow or a division by zero");
        for (const char c : std::string_view(e.what()))
            check(static_cast<unsigned char>(c) >= 0x20, "a message shows control bytes escaped");
        check(std::string_view(e.what()).find(": ") != std::string_view::npos,
              "a message names its place before the problem");
    }
    const BattleState& st = logged.state;
    if (!logged.failed) {
        check(st.turnCount >= 1 && st.turnCount <= kMaxTurns, "a battle plays 1 to 667 turns");
        check(st.currentHp[0] < 1 || st.currentHp[1] < 1 || st.turnCount == kMaxTurns,
              "a battle ends on a fallen side or the turn cap");
        check(log.text.ends_with("\r\n\r\n"), "the log's last line is empty");
        check(log.hpAfterTurn.size() == static_cast<std::size_t>(st.turnCount),
              "the log holds the hit points after every turn");
        for (int side = 0; side < 2; ++side) {
            check(log.currentHpText(side) == std::to_string(st.currentHp[side]),
                  "the current-HP boxes show the hit points left");
        }
    }

    Outcome silent;
    Pcg32 again(seed);
    try {
        silent.state = playSilentBattle(texts.hp, texts.agility, fighters, again);
    } catch (const GameError& e) {
        silent.failed = true;
        silent.kind = e.kind();
        silent.message = e.what();
    }
    check(silent.failed == logged.failed && silent.kind == logged.kind &&
              silent.message == logged.message,
          "the silent battle fails where the logged one does");
    if (!silent.failed) {
        check(silent.state.turnCount == st.turnCount && silent.state.currentHp == st.currentHp,
              "the silent battle ends where the logged one does");
    }
    check(again.nextRandom() == random.nextRandom(), "both battles draw the same values");
    return 0;
}
