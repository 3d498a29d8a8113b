#include "battle/battle.h"

#include <cmath>
#include <string>

#include "battle/outcome_columns.h"
#include "battle/rules.h"
#include "data/errors.h"
#include "data/text_codec.h"

namespace karnwick {

namespace {

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
        "turn " + std::to_string(turn) + ", " + std::string(sideName(attacker)) + " attacking",
        "in the " + std::string(what));
}

// The log lines of one battle that do not depend on the dice, made once.
struct BattleLines {
    // attackLines[side][kind]: side attacking the other with that kind.
    std::string attackLines[2][3];
    // The defender's name closing a hit line, with its line break.
    std::string hitEnding[2];
    std::string hitLine;  // reused buffer

    explicit BattleLines(const Fighters& fighters) {
        for (int side = 0; side < 2; ++side) {
            const MonsterStats& attacker = fighters[side];
            const MonsterStats& defender = fighters[1 - side];
            const std::string opening =
                fieldText(attacker.name) + "attacks " + fieldText(defender.name);
            attackLines[side][0] =
                opening + " with " + fieldText(attacker.special1) + std::string(kLineBreak);
            attackLines[side][1] =
                opening + " with " + fieldText(attacker.special2) + std::string(kLineBreak);
            attackLines[side][2] = opening + std::string(kLineBreak);
            hitEnding[1 - side] =
                " damage to " + fieldText(defender.name) + std::string(kLineBreak);
        }
    }

    std::string_view hit(int32_t damage, int defender) {
        hitLine.assign(" and caused ");
        hitLine += std::to_string(damage);
        hitLine += hitEnding[defender];
        return hitLine;
    }
};

// A battle told in a log.
struct Narrated {
    static constexpr bool kTells = true;
    const StartingTexts& start;
    BattleLog& log;
    BattleLines lines;

    const std::string& hp(int side) const { return start.hp[side]; }
    const std::string& agility(int side) const { return start.agility[side]; }
};

// A battle told to no one: the same steps without a line of text.
struct Untold {
    static constexpr bool kTells = false;
    const std::array<std::string, 2>& hpTexts;
    const std::array<std::string, 2>& agilityTexts;

    const std::string& hp(int side) const { return hpTexts[side]; }
    const std::string& agility(int side) const { return agilityTexts[side]; }
};

// Both sides' hit points from their HP texts, each shown in its current-HP box
// as soon as it is read.
template <typename Teller>
void readStartingHitPoints(Teller& teller, BattleState& state) {
    for (int side = 0; side < 2; ++side) {
        const std::string& hpText = teller.hp(side);
        const Checked<int16_t> start = startingHitPoints(leadingNumber(hpText));
        if (!start.ok()) {
            throw GameError(ErrorKind::Overflow, std::string(sideName(side)),
                            "in the starting hit points " + quotedText(hpText));
        }
        state.currentHp[side] = start.value;
        if constexpr (Teller::kTells) teller.log.startingHp[side] = hpText;
    }
}

// One attack of the side whose turn it is, up to the hit points it leaves.
template <typename Teller, typename Random>
void playTurn(Teller& teller, const Fighters& fighters, Random& random, BattleState& state) {
    const int turn = state.turnCount + 1;
    const MonsterStats& attacker = fighters[state.attacker];
    const MonsterStats& defender = fighters[state.defender];

    const AttackKind kind = chooseAttack(actionRollFrom(random.nextRandom()), attacker);
    if constexpr (Teller::kTells)
        teller.log.text += teller.lines.attackLines[state.attacker][static_cast<int>(kind)];

    // The game draws the roll before it takes the range, so a range that
    // overflows still uses up its random value.
    const double r = random.nextRandom();
    const DamageRange range = damageRange(attacker, kind);
    const Checked<int16_t> span = damageSpan(range);
    if (!span.ok())
        failTurn(span.fault, turn, state.attacker, "damage range " + std::string(range.name));
    const int16_t roll = damageRoll(range.low, span.value, r);

    const DuelStats duel = duelStats(attacker, defender, kind);
    const Checked<int32_t> attack = attackValue(duel.attack, attacker.level, roll);
    if (!attack.ok()) failTurn(attack.fault, turn, state.attacker, "attack value");
    const Checked<int32_t> defence = defenceValue(duel.defence, defender.level, defender.defense);
    if (!defence.ok()) failTurn(defence.fault, turn, state.attacker, "defence value");
    const Checked<int32_t> damage = damageDone(attack.value, defence.value);
    if (!damage.ok()) failTurn(damage.fault, turn, state.attacker, "damage");

    if (isMiss(damage.value)) {
        if constexpr (Teller::kTells) teller.log.text += "but missed causing no damage\r\n";
        return;
    }
    const Checked<int16_t> left = applyHit(state.currentHp[state.defender], damage.value);
    if (!left.ok()) failTurn(left.fault, turn, state.attacker, "hit points left");
    state.currentHp[state.defender] = left.value;
    if constexpr (Teller::kTells) teller.log.text += teller.lines.hit(damage.value, state.defender);
}

template <typename Teller, typename Random>
void playBattle(Teller& teller, const Fighters& fighters, Random& random, BattleState& state) {
    state = BattleState{};
    if constexpr (Teller::kTells) {
        teller.log.text.clear();
        teller.log.startingHp = {};
        teller.log.hpAfterTurn.clear();
    }
    readStartingHitPoints(teller, state);
    state.attacker =
        chooseOpener(leadingNumber(teller.agility(0)), leadingNumber(teller.agility(1)), random);
    state.defender = state.attacker != 1 ? 1 : 0;
    if constexpr (Teller::kTells) {
        teller.log.text =
            state.attacker == 0 ? "Monster 1 Goes first \r\n" : "Monster 2 Goes first \r\n";
    }
    do {
        playTurn(teller, fighters, random, state);
        state.defender = state.attacker;
        state.attacker = state.attacker == 0 ? 1 : 0;
        ++state.turnCount;
        if constexpr (Teller::kTells) {
            teller.log.hpAfterTurn.push_back(state.currentHp);
            teller.log.text += kLineBreak;
        }
    } while (battleGoesOn(state.currentHp[0], state.currentHp[1], state.turnCount));
}

}  // namespace

std::optional<std::string> BattleLog::currentHpText(int side) const {
    if (!hpAfterTurn.empty()) return std::to_string(hpAfterTurn.back()[side]);
    return startingHp[side];
}

int16_t pickFirstAttacker(std::string_view agility0, std::string_view agility1,
                          RandomSource& random) {
    return chooseOpener(leadingNumber(agility0), leadingNumber(agility1), random);
}

void runBattle(const StartingTexts& start, const Fighters& fighters, RandomSource& random,
               BattleLog& log, BattleState& state) {
    Narrated teller{start, log, BattleLines(fighters)};
    playBattle(teller, fighters, random, state);
}

void runBattle(const StartingTexts& start, const Fighters& fighters, RandomSource& random,
               BattleLog& log) {
    BattleState state;
    runBattle(start, fighters, random, log, state);
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
    Untold teller{hpTexts, agilityTexts};
    playBattle(teller, fighters, random, state);
}

std::string panelHpText(const MonsterStats& stats) {
    return std::to_string(stats.hp);
}
std::string panelAgilityText(const MonsterStats& stats) {
    return std::to_string(stats.agility);
}

StartingTexts startingTexts(const Fighters& fighters) {
    return {{panelHpText(fighters[0]), panelHpText(fighters[1])},
            {panelAgilityText(fighters[0]), panelAgilityText(fighters[1])}};
}

}  // namespace karnwick
