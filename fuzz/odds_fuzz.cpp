// The exact odds of a battle between two small records, each field from the
// input, held to the slow exact enumerator: all five outcomes, the mean turns
// and the chance of every turn agree to 1e-12. Hit points and the widths of
// the damage ranges are kept small so the enumerator stays quick; a range
// whose span leaves 16 bits is kept as it is, since it only ever fails.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "battle/odds.h"
#include "fuzz/fuzz_check.h"
#include "tests/battle/exact_battle.h"

using karnwick::fuzz::check;

namespace {

constexpr int kFields = 15;

int16_t clampTo(int16_t value, int low, int high) {
    return static_cast<int16_t>(value < low ? low : value > high ? high : value);
}

// Narrows max - min to at most 8 either way, unless it overflows.
void narrow(int16_t low, int16_t& high) {
    int16_t span;
    if (__builtin_sub_overflow(high, low, &span)) return;
    high = static_cast<int16_t>(low + clampTo(span, -8, 8));
}

karnwick::MonsterStats recordFrom(const uint8_t* bytes) {
    int16_t v[kFields];
    for (int i = 0; i < kFields; ++i)
        v[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    karnwick::MonsterStats s;
    // Every value is kept but the hit points: small, or the lowest of all,
    // which no hit can take further without an overflow.
    s.hp = v[0] == INT16_MIN ? v[0] : clampTo(static_cast<int16_t>(v[0] % 32), -8, 12);
    s.level = v[1], s.agility = v[2], s.strength = v[3];
    s.sp1Threshold = v[4], s.sp2Threshold = v[5];
    s.offMin = v[6], s.offMax = v[7], s.sp1Min = v[8], s.sp1Max = v[9];
    s.sp2Min = v[10], s.sp2Max = v[11];
    s.defense = v[12], s.mpower = v[13], s.magicFlag = v[14];
    narrow(s.offMin, s.offMax);
    narrow(s.sp1Min, s.sp1Max);
    narrow(s.sp2Min, s.sp2Max);
    return s;
}

bool near(double fast, const mpq_class& exact) {
    return std::fabs(fast - exact.get_d()) <= 1e-12;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace karnwick;
    if (size < 4 * kFields) return 0;
    const Fighters f{recordFrom(data), recordFrom(data + 2 * kFields)};
    const BattleOdds fast = battleOdds(f);
    const testing::ExactOdds exact = testing::exactBattleOdds(f);
    check(near(fast.oneWins, exact.oneWins), "Monster One's win chance is exact");
    check(near(fast.twoWins, exact.twoWins), "Monster Two's win chance is exact");
    check(near(fast.bothFell, exact.bothFell), "the chance that both fall is exact");
    check(near(fast.turnCap, exact.turnCap), "the chance of the turn cap is exact");
    check(near(fast.error, exact.error), "the error chance is exact");
    check(std::fabs(fast.meanTurns - exact.meanTurns.get_d()) <=
              1e-12 * std::fmax(1.0, exact.meanTurns.get_d()),
          "the mean turns are exact");
    for (std::size_t t = 0; t < fast.turns.size(); ++t)
        check(near(fast.turns[t], exact.turns[t]), "the chance of every turn is exact");
    return 0;
}
