#include "battle/battle.h"

#include <cmath>
#include <string>

#include "data/errors.h"
#include "data/text_codec.h"

namespace karnwick {

namespace {

constexpr std::string_view kSideNames[2] = {"Monster One", "Monster Two"};

// Round half to even, as std::nearbyint does in the default rounding mode, but
// without a library call in the battle's inner loop: adding and taking away
// 2^52 leaves no fraction bits, and the addition itself rounds to even.
inline double roundHalfEven(double x) {
    constexpr double kNoFraction = 4503599627370496.0;
    const double magnitude = std::fabs(x);
    if (!(magnitude < kNoFraction)) return x;  // already whole, or not a number
    return std::copysign((magnitude + kNoFraction) - kNoFraction, x);
}

template <typename Random>
int16_t chooseOpener(double agility0, double agility1, Random& random) {
    if (agility0 > agility1) return 0;
    if (agility1 > agility0) return 1;
    return static_cast<int16_t>(std::floor(2.0 * random.nextRandom()));
}

[[noreturn, gnu::cold]] void failTurn(ErrorKind kind, int turn, int attacker,
                                      std::string_view what) {
    const std::string where = "turn " + std::to_string(turn) + ", " +
                              std::string(kSideNames[attacker]) +
                              " attacking: " + std::string(what);
    throw GameError(kind, where, std::string(errorKindName(kind)) + " in " + where);
}

enum class Attack { Special1, Special2, Normal };

// The log lines of one battle that do not depend on the dice, made once.
struct BattleLines {
    // attackLines[side][kind]: side attacking the other with that kind.
    std::string attackLines[2][3];
    // The defender's name closing a hit line, with its line break.
    std::string hitEnding[2];
    std::string hitLine;  // reused buffer

    explicit BattleLines(const Fighters& f) {
        for (int s = 0; s < 2; ++s) {
            const MonsterStats& a = f[s];
            const std::string prefix = fieldText(a.name) + "attacks " + fieldText(f[1 - s].name);
            attackLines[s][0] = prefix + " with " + fieldText(a.special1) + std::string(kLineBreak);
            attackLines[s][1] = prefix + " with " + fieldText(a.special2) + std::string(kLineBreak);
            attackLines[s][2] = prefix + std::string(kLineBreak);
            hitEnding[1 - s] = " damage to " + fieldText(f[1 - s].name) + std::string(kLineBreak);
        }
    }

    std::string_view hit(int32_t damage, int defender) {
        hitLine.assign(" and caused ");
        hitLine += std::to_string(damage);
        hitLine += hitEnding[defender];
        return hitLine;
    }
};

// Texts through the window's (or a test's) BattleTexts.
struct LoggedTexts {
    static constexpr bool kLogs = true;
    BattleTexts& texts;
    BattleLines lines;

    std::string hpText(int side) const { return texts.hpText(side); }
    std::string agilityText(int side) const { return texts.agilityText(side); }
};

// No texts at all: the starting texts are given, nothing is written.
struct SilentTexts {
    static constexpr bool kLogs = false;
    const std::array<std::string, 2>& hp;
    const std::array<std::string, 2>& agility;

    const std::string& hpText(int side) const { return hp[side]; }
    const std::string& agilityText(int side) const { return agility[side]; }
};

template <typename Texts, typename Random>
void playBattle(Texts& io, const Fighters& f, Random& random, BattleState& st) {
    st = BattleState{};
    if constexpr (Texts::kLogs) io.texts.setArenaText("");
    for (int side = 0; side < 2; ++side) {
        const auto& hpText = io.hpText(side);
        const double start = roundHalfEven(leadingNumber(hpText));
        if (!(start >= -32768.0 && start <= 32767.0)) {
            const std::string where = "starting hit points of " + std::string(kSideNames[side]) +
                                      " (\"" + std::string(hpText) + "\")";
            throw GameError(ErrorKind::Overflow, where, "Overflow in the " + where);
        }
        st.currentHp[side] = static_cast<int16_t>(start);
        if constexpr (Texts::kLogs) io.texts.setCurrentHpText(side, hpText);
    }
    st.turnCount = 0;
    st.attacker =
        chooseOpener(leadingNumber(io.agilityText(0)), leadingNumber(io.agilityText(1)), random);
    st.defender = st.attacker != 1 ? 1 : 0;
    if constexpr (Texts::kLogs) {
        io.texts.setArenaText(st.attacker == 0 ? "Monster 1 Goes first \r\n"
                                               : "Monster 2 Goes first \r\n");
    }

    do {
        const int turn = st.turnCount + 1;
        const MonsterStats& a = f[st.attacker];
        const MonsterStats& d = f[st.defender];

        // 100 r lies in [0, 100), where truncation is the floor.
        const auto actionRoll =
            static_cast<int16_t>(static_cast<int>(100.0 * random.nextRandom()) + 1);
        Attack kind = Attack::Normal;
        if (actionRoll < a.sp1Threshold) {
            kind = Attack::Special1;
        } else if (actionRoll < a.sp2Threshold && actionRoll > a.sp1Threshold) {
            kind = Attack::Special2;
        }
        if constexpr (Texts::kLogs) {
            io.texts.appendArenaText(io.lines.attackLines[st.attacker][static_cast<int>(kind)]);
        }

        int16_t low = a.offMin, high = a.offMax;
        const char* rangeName = "damage range offMax - offMin";
        if (kind == Attack::Special1) {
            low = a.sp1Min, high = a.sp1Max;
            rangeName = "damage range sp1Max - sp1Min";
        } else if (kind == Attack::Special2) {
            low = a.sp2Min, high = a.sp2Max;
            rangeName = "damage range sp2Max - sp2Min";
        }
        // The game draws the roll before it takes the range, so a range that
        // overflows still uses up its random value.
        const double r = random.nextRandom();
        int16_t span;
        if (__builtin_sub_overflow(high, low, &span)) {
            failTurn(ErrorKind::Overflow, turn, st.attacker, rangeName);
        }
        // Between low and high, so it always fits 16 bits.
        const double scaled = r * span;
        const double damageRoll =
            low +
            (scaled >= 0.0 ? static_cast<double>(static_cast<int>(scaled)) : std::floor(scaled));

        const bool magic = kind != Attack::Normal && a.magicFlag != 0;
        const double attackStat = magic ? a.mpower : a.strength;
        const double defenceStat = magic ? d.mpower : d.agility;

        const double attackDivisor = 100.0 - a.level;
        if (attackDivisor == 0.0)
            failTurn(ErrorKind::DivisionByZero, turn, st.attacker, "attack value");
        const double attack = ((attackStat + 100.0) + a.level) * damageRoll / attackDivisor;
        const double attackRounded = roundHalfEven(attack);
        if (!(attackRounded >= INT32_MIN && attackRounded <= INT32_MAX)) {
            failTurn(ErrorKind::Overflow, turn, st.attacker, "attack value");
        }

        const double defenceDivisor = 100.0 - d.level;
        if (defenceDivisor == 0.0)
            failTurn(ErrorKind::DivisionByZero, turn, st.attacker, "defence value");
        const double defence = ((defenceStat + 100.0) + d.level) / defenceDivisor * d.defense;
        const double defenceRounded = roundHalfEven(defence);
        if (!(defenceRounded >= INT32_MIN && defenceRounded <= INT32_MAX)) {
            failTurn(ErrorKind::Overflow, turn, st.attacker, "defence value");
        }

        int32_t damage;
        if (__builtin_sub_overflow(static_cast<int32_t>(attackRounded),
                                   static_cast<int32_t>(defenceRounded), &damage)) {
            failTurn(ErrorKind::Overflow, turn, st.attacker, "damage");
        }

        if (damage < 0) {
            if constexpr (Texts::kLogs)
                io.texts.appendArenaText("but missed causing no damage\r\n");
        } else {
            int32_t left;
            int16_t left16;
            if (__builtin_sub_overflow(int32_t{st.currentHp[st.defender]}, damage, &left) ||
                __builtin_add_overflow(left, 0, &left16)) {
                failTurn(ErrorKind::Overflow, turn, st.attacker, "hit points left");
            }
            st.currentHp[st.defender] = left16;
            if constexpr (Texts::kLogs) io.texts.appendArenaText(io.lines.hit(damage, st.defender));
        }

        st.defender = st.attacker;
        st.attacker = st.attacker == 0 ? 1 : 0;
        ++st.turnCount;
        if constexpr (Texts::kLogs) {
            io.texts.setCurrentHpText(st.attacker, std::to_string(st.currentHp[st.attacker]));
            io.texts.setCurrentHpText(st.defender, std::to_string(st.currentHp[st.defender]));
            io.texts.appendArenaText(kLineBreak);
        }
    } while (st.currentHp[1] >= 1 && st.currentHp[0] >= 1 && st.turnCount <= kMaxTurns - 1);
}

}  // namespace

int16_t pickFirstAttacker(std::string_view agility0, std::string_view agility1,
                          RandomSource& random) {
    return chooseOpener(leadingNumber(agility0), leadingNumber(agility1), random);
}

void runBattle(BattleTexts& texts, const Fighters& fighters, RandomSource& random,
               BattleState& state) {
    LoggedTexts io{texts, BattleLines(fighters)};
    playBattle(io, fighters, random, state);
}

void runBattle(BattleTexts& texts, const Fighters& fighters, RandomSource& random) {
    BattleState state;
    runBattle(texts, fighters, random, state);
}

BattleState playSilentBattle(const std::array<std::string, 2>& hpTexts,
                             const std::array<std::string, 2>& agilityTexts,
                             const Fighters& fighters, Pcg32& random) {
    SilentTexts io{hpTexts, agilityTexts};
    BattleState state;
    playBattle(io, fighters, random, state);
    return state;
}

std::string panelHpText(const MonsterStats& stats) {
    return std::to_string(stats.hp);
}
std::string panelAgilityText(const MonsterStats& stats) {
    return std::to_string(stats.agility);
}

}  // namespace karnwick
