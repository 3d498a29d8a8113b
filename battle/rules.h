#pragma once
// The rules of one attack, each in one small function: the battle plays them
// in order, the exact odds enumerate them, and the record checker asks them
// what a record can do. No rule of the game is written anywhere else.
//
// A rule that can fail (an overflow, a division by zero) returns a Checked
// value instead of throwing, so the odds can count a failure as an outcome;
// the battle turns a failure into a GameError at the step where it arose.

#include <cmath>
#include <cstdint>
#include <string_view>

#include "data/monster_stats.h"

namespace karnwick {

inline constexpr int16_t kMaxTurns = 667;

// Round half to even, as std::nearbyint does in the default rounding mode, but
// without a library call in the battle's inner loop: adding and taking away
// 2^52 leaves no fraction bits, and the addition itself rounds to even.
inline double roundHalfEven(double x) {
    constexpr double kNoFraction = 4503599627370496.0;
    const double magnitude = std::fabs(x);
    if (!(magnitude < kNoFraction)) return x;  // already whole, or not a number
    return std::copysign((magnitude + kNoFraction) - kNoFraction, x);
}

enum class RuleFault : uint8_t { None, Overflow, DivisionByZero };

template <typename T>
struct Checked {
    T value{};
    RuleFault fault = RuleFault::None;
    bool ok() const { return fault == RuleFault::None; }
};

// The side that opens by the agility texts' values: the larger opens; -1 for a
// tie, which one random value breaks with tieBreak.
inline int openerByAgility(double agility0, double agility1) {
    if (agility0 > agility1) return 0;
    if (agility1 > agility0) return 1;
    return -1;
}
inline int16_t tieBreak(double r) {
    return static_cast<int16_t>(std::floor(2.0 * r));
}

enum class AttackKind : uint8_t { Special1, Special2, Normal };

// The roll that chooses the kind of attack: floor(100 r) + 1, so 1 to 100.
inline int16_t actionRollFrom(double r) {
    // 100 r lies in [0, 100), where truncation is the floor.
    return static_cast<int16_t>(static_cast<int>(100.0 * r) + 1);
}

// Special attack 1 below sp1Threshold; special attack 2 strictly between the
// two thresholds; otherwise the normal attack. A roll equal to sp1Threshold is
// a normal attack even below sp2Threshold.
inline AttackKind chooseAttack(int16_t actionRoll, const MonsterStats& attacker) {
    if (actionRoll < attacker.sp1Threshold) return AttackKind::Special1;
    if (actionRoll < attacker.sp2Threshold && actionRoll > attacker.sp1Threshold)
        return AttackKind::Special2;
    return AttackKind::Normal;
}

struct DamageRange {
    int16_t low = 0;        // the kind's minimum field
    int16_t high = 0;       // the kind's maximum field
    std::string_view name;  // "sp1Max - sp1Min", as an error names it
};

inline DamageRange damageRange(const MonsterStats& attacker, AttackKind kind) {
    switch (kind) {
        case AttackKind::Special1:
            return {attacker.sp1Min, attacker.sp1Max, "sp1Max - sp1Min"};
        case AttackKind::Special2:
            return {attacker.sp2Min, attacker.sp2Max, "sp2Max - sp2Min"};
        case AttackKind::Normal:
            break;
    }
    return {attacker.offMin, attacker.offMax, "offMax - offMin"};
}

// max - min as a 16-bit difference; outside 16 bits it overflows.
inline Checked<int16_t> damageSpan(const DamageRange& range) {
    Checked<int16_t> span;
    if (__builtin_sub_overflow(range.high, range.low, &span.value))
        span.fault = RuleFault::Overflow;
    return span;
}

// low + floor(r * span): low to high - 1 for a positive span, low for 0, and
// high up to low for a negative span. Always between the two, so 16 bits.
inline int16_t damageRoll(int16_t low, int16_t span, double r) {
    const double scaled = r * span;
    const double whole =
        scaled >= 0.0 ? static_cast<double>(static_cast<int>(scaled)) : std::floor(scaled);
    return static_cast<int16_t>(low + static_cast<int>(whole));
}

// The stats an attack pits against each other. The attacker's magicFlag turns
// both special attacks magic, and then both sides fight with their mpower; the
// normal attack is never magic.
struct DuelStats {
    double attack = 0;
    double defence = 0;
};

inline DuelStats duelStats(const MonsterStats& attacker, const MonsterStats& defender,
                           AttackKind kind) {
    const bool magic = kind != AttackKind::Normal && attacker.magicFlag != 0;
    return {magic ? double(attacker.mpower) : double(attacker.strength),
            magic ? double(defender.mpower) : double(defender.agility)};
}

// A rounded value of a formula as a 32-bit integer, or its overflow.
inline Checked<int32_t> roundTo32Bits(double value) {
    const double rounded = roundHalfEven(value);
    if (!(rounded >= INT32_MIN && rounded <= INT32_MAX)) return {0, RuleFault::Overflow};
    return {static_cast<int32_t>(rounded)};
}

// 100 - L, the divisor of both values: 0 at level 100, and below 0 above it,
// which turns the signs of the values over.
inline double levelDivisor(int16_t level) {
    return 100.0 - level;
}

// ((S + 100) + L) * roll / (100 - L), in this order; a level of exactly 100
// divides by zero.
inline Checked<int32_t> attackValue(double attackStat, int16_t level, int16_t roll) {
    const double divisor = levelDivisor(level);
    if (divisor == 0.0) return {0, RuleFault::DivisionByZero};
    return roundTo32Bits(((attackStat + 100.0) + level) * roll / divisor);
}

// ((S + 100) + L) / (100 - L) * defense, in this order: the quotient is not
// rounded before the product, which shows in the result (2.05 * 30 is just
// below 61.5).
inline Checked<int32_t> defenceValue(double defenceStat, int16_t level, int16_t defense) {
    const double divisor = levelDivisor(level);
    if (divisor == 0.0) return {0, RuleFault::DivisionByZero};
    return roundTo32Bits(((defenceStat + 100.0) + level) / divisor * defense);
}

// attackValue - defenceValue in 32 bits; below 0 the attack misses, 0 is a hit
// for no damage.
inline Checked<int32_t> damageDone(int32_t attack, int32_t defence) {
    Checked<int32_t> damage;
    if (__builtin_sub_overflow(attack, defence, &damage.value)) damage.fault = RuleFault::Overflow;
    return damage;
}

inline bool isMiss(int32_t damage) {
    return damage < 0;
}

// The defender's hit points after a hit, worked out in 32 bits and held in 16.
inline Checked<int16_t> applyHit(int16_t hitPoints, int32_t damage) {
    int32_t left;
    Checked<int16_t> result;
    if (__builtin_sub_overflow(int32_t{hitPoints}, damage, &left) ||
        __builtin_add_overflow(left, 0, &result.value)) {
        result.fault = RuleFault::Overflow;
    }
    return result;
}

// The starting hit points from an HP box's number (leadingNumber of its text),
// rounded half to even into 16 bits.
inline Checked<int16_t> startingHitPoints(double boxNumber) {
    const double start = roundHalfEven(boxNumber);
    if (!(start >= -32768.0 && start <= 32767.0)) return {0, RuleFault::Overflow};
    return {static_cast<int16_t>(start)};
}

// After each turn: another one while both sides stand and fewer than 667 turns
// have been played. The first turn is played whatever the hit points.
// A side stands while it has at least 1 hit point.
inline bool isStanding(int16_t hitPoints) {
    return hitPoints >= 1;
}

inline bool battleGoesOn(int16_t hitPoints0, int16_t hitPoints1, int16_t turnsPlayed) {
    return isStanding(hitPoints1) && isStanding(hitPoints0) && turnsPlayed <= kMaxTurns - 1;
}

// The last turn a battle can reach. A side down at the start plays only
// turn 1: the first turn is played whatever the hit points, and none after.
inline int lastReachableTurn(bool bothStartStanding) {
    return bothStartStanding ? kMaxTurns : 1;
}

// A palette level is stored times 4 in its colour byte, so levels 0 to 63 fit
// the byte; others spill into the neighbouring channel.
inline constexpr int kPaletteLevelScale = 4;
inline constexpr int kHighestPaletteLevel = 63;
inline int paletteLevel(int16_t scaled) {
    return scaled / kPaletteLevelScale;
}
inline bool fitsColourByte(int level) {
    return level >= 0 && level <= kHighestPaletteLevel;
}

}  // namespace karnwick
