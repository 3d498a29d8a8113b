#include "battle/battle.h"

#include <cmath>
#include <string>

#include "battle/rules.h"
#include "data/errors.h"
#include "data/text_codec.h"

namespace karnwick {

namespace {

constexpr std::string_view kSideNames[2] = {"Monster One", "Monster Two"};

template <typename Random>
int16_t chooseOpener(double agility0, double agility1, Random& random) {
    const int opener = openerByAgility(agility0, agility1);
    if (opener >= 0) return static_cast<int16_t>(opener);
    return tieBreak(random.nextRandom());
}

[[noreturn, gnu::cold]] void failTurn(RuleFault fault, int turn, int attacker,
                                      std::string_view what) {
    const ErrorKind kind =
        fault == RuleFault::DivisionByZero ? ErrorKind::DivisionByZero : ErrorKind::Overflow;
    throw GameError(
        kind,
        "turn " + std::to_string(turn) + ", " + std::string(kSideNames[attacker]) + " attacking",
        "in the " + std::string(what));
}

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
        const Checked<int16_t> start = startingHitPoints(leadingNumber(hpText));
        if (!start.ok()) {
            throw GameError(ErrorKind::Overflow, std::string(kSideNames[side]),
                            "in the starting hit points " + quotedText(hpText));
        }
        st.currentHp[side] = start.value;
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

        const AttackKind kind = chooseAttack(actionRollFrom(random.nextRandom()), a);
        if constexpr (Texts::kLogs) {
            io.texts.appendArenaText(io.lines.attackLines[st.attacker][static_cast<int>(kind)]);
        }

        // The game draws the roll before it takes the range, so a range that
        // overflows still uses up its random value.
        const double r = random.nextRandom();
        const DamageRange range = damageRange(a, kind);
        const Checked<int16_t> span = damageSpan(range);
        if (!span.ok()) {
            failTurn(span.fault, turn, st.attacker, "damage range " + std::string(range.name));
        }
        const int16_t roll = damageRoll(range.low, span.value, r);

        const DuelStats stats = duelStats(a, d, kind);
        const Checked<int32_t> attack = attackValue(stats.attack, a.level, roll);
        if (!attack.ok()) failTurn(attack.fault, turn, st.attacker, "attack value");
        const Checked<int32_t> defence = defenceValue(stats.defence, d.level, d.defense);
        if (!defence.ok()) failTurn(defence.fault, turn, st.attacker, "defence value");
        const Checked<int32_t> damage = damageDone(attack.value, defence.value);
        if (!damage.ok()) failTurn(damage.fault, turn, st.attacker, "damage");

        if (isMiss(damage.value)) {
            if constexpr (Texts::kLogs)
                io.texts.appendArenaText("but missed causing no damage\r\n");
        } else {
            const Checked<int16_t> left = applyHit(st.currentHp[st.defender], damage.value);
            if (!left.ok()) failTurn(left.fault, turn, st.attacker, "hit points left");
            st.currentHp[st.defender] = left.value;
            if constexpr (Texts::kLogs)
                io.texts.appendArenaText(io.lines.hit(damage.value, st.defender));
        }

        st.defender = st.attacker;
        st.attacker = st.attacker == 0 ? 1 : 0;
        ++st.turnCount;
        if constexpr (Texts::kLogs) {
            io.texts.setCurrentHpText(st.attacker, std::to_string(st.currentHp[st.attacker]));
            io.texts.setCurrentHpText(st.defender, std::to_string(st.currentHp[st.defender]));
            io.texts.appendArenaText(kLineBreak);
        }
    } while (battleGoesOn(st.currentHp[0], st.currentHp[1], st.turnCount));
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
    BattleState state;
    playSilentBattle(hpTexts, agilityTexts, fighters, random, state);
    return state;
}

void playSilentBattle(const std::array<std::string, 2>& hpTexts,
                      const std::array<std::string, 2>& agilityTexts, const Fighters& fighters,
                      Pcg32& random, BattleState& state) {
    SilentTexts io{hpTexts, agilityTexts};
    playBattle(io, fighters, random, state);
}

std::string panelHpText(const MonsterStats& stats) {
    return std::to_string(stats.hp);
}
std::string panelAgilityText(const MonsterStats& stats) {
    return std::to_string(stats.agility);
}

}  // namespace karnwick
