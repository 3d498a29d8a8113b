#include "tests/battle/exact_battle.h"

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "battle/battle.h"

namespace karnwick::testing {

namespace {

constexpr uint64_t kDrawValues = uint64_t{1} << 32;

double drawValue(uint64_t k) {
    return static_cast<double>(k) * 0x1p-32;
}

// Calls visit(value, count) for each run of the 2^32 values of one draw that
// `rule` maps to one result. The rules used here are monotone in the draw
// (rising or falling), so each result takes one run, and its end is found by
// halving the interval between the run's first value and the last one.
template <typename Rule, typename Visit>
void forEachRun(Rule rule, Visit visit) {
    uint64_t first = 0;
    while (first < kDrawValues) {
        const auto result = rule(drawValue(first));
        uint64_t same = first, differs = kDrawValues;  // rule(same) == result
        while (differs - same > 1) {
            const uint64_t middle = same + (differs - same) / 2;
            if (rule(drawValue(middle)) == result)
                same = middle;
            else
                differs = middle;
        }
        visit(result, differs - first);
        first = differs;
    }
}

// What one attack can leave the defender at: its hit points, or an error.
// Counts are out of the 2^64 pairs of the action and damage draws.
struct AttackResults {
    mpz_class error;
    std::map<int16_t, mpz_class> hitPoints;
};

class Walk {
  public:
    explicit Walk(const Fighters& f) : m_f(f) {
        for (int side = 0; side < 2; ++side) {
            // The roll rises with the draw; the kind it chooses need not.
            forEachRun([](double r) { return actionRollFrom(r); },
                       [&](int16_t roll, uint64_t n) {
                           m_kindValues[side][static_cast<int>(chooseAttack(roll, f[side]))] += n;
                       });
        }
    }

    // The battle from its starting hit points with `opener` attacking first.
    ExactOdds play(std::array<int16_t, 2> start, int opener) {
        ExactOdds odds;
        // The chance of each pair of hit points after the turns so far, as a
        // count out of 2^(64 turns).
        std::map<std::pair<int16_t, int16_t>, mpz_class> states{{{start[0], start[1]}, 1}};
        for (int turn = 1; turn <= kMaxTurns && !states.empty(); ++turn) {
            const int attacker = turn % 2 == 1 ? opener : 1 - opener;
            const int defender = 1 - attacker;
            std::map<std::pair<int16_t, int16_t>, mpz_class> next;
            mpz_class ended[5];  // oneWins, twoWins, bothFell, turnCap, error
            for (const auto& [hp, count] : states) {
                std::array<int16_t, 2> now{hp.first, hp.second};
                const AttackResults& results = attack(attacker, now[defender]);
                ended[4] += count * results.error;
                for (const auto& [left, n] : results.hitPoints) {
                    now[defender] = left;
                    const mpz_class mass = count * n;
                    if (battleGoesOn(now[0], now[1], static_cast<int16_t>(turn)))
                        next[{now[0], now[1]}] += mass;
                    else if (!isStanding(now[0]) && !isStanding(now[1]))
                        ended[2] += mass;
                    else if (!isStanding(now[1]))
                        ended[0] += mass;
                    else if (!isStanding(now[0]))
                        ended[1] += mass;
                    else
                        ended[3] += mass;
                }
            }
            mpq_class* outcome[5] = {&odds.oneWins, &odds.twoWins, &odds.bothFell, &odds.turnCap,
                                     &odds.error};
            const auto bits = static_cast<mp_bitcnt_t>(64 * turn);
            for (int o = 0; o < 5; ++o) {
                mpq_class chance(ended[o]);
                mpq_div_2exp(chance.get_mpq_t(), chance.get_mpq_t(), bits);
                *outcome[o] += chance;
                odds.turns[static_cast<std::size_t>(turn - 1)] += chance;
            }
            odds.meanTurns += turn * odds.turns[static_cast<std::size_t>(turn - 1)];
            states = std::move(next);
        }
        return odds;
    }

  private:
    const AttackResults& attack(int attacker, int16_t defenderHp) {
        auto [at, fresh] = m_attacks[attacker].try_emplace(defenderHp);
        if (!fresh) return at->second;
        AttackResults& results = at->second;
        const MonsterStats& a = m_f[attacker];
        const MonsterStats& d = m_f[1 - attacker];
        for (const AttackKind kind :
             {AttackKind::Special1, AttackKind::Special2, AttackKind::Normal}) {
            const uint64_t kindValues = m_kindValues[attacker][static_cast<int>(kind)];
            if (kindValues == 0) continue;
            const mpz_class kindCount(static_cast<unsigned long>(kindValues));
            const DamageRange range = damageRange(a, kind);
            const Checked<int16_t> span = damageSpan(range);
            if (!span.ok()) {
                // The damage draw is taken all the same, on every value.
                results.error += kindCount * static_cast<unsigned long>(kDrawValues);
                continue;
            }
            forEachRun(
                [&](double r) { return damageRoll(range.low, span.value, r); },
                [&](int16_t roll, uint64_t n) {
                    const mpz_class pairs = kindCount * static_cast<unsigned long>(n);
                    const DuelStats stats = duelStats(a, d, kind);
                    const Checked<int32_t> attackV = attackValue(stats.attack, a.level, roll);
                    if (!attackV.ok()) return void(results.error += pairs);
                    const Checked<int32_t> defenceV =
                        defenceValue(stats.defence, d.level, d.defense);
                    if (!defenceV.ok()) return void(results.error += pairs);
                    const Checked<int32_t> damage = damageDone(attackV.value, defenceV.value);
                    if (!damage.ok()) return void(results.error += pairs);
                    if (isMiss(damage.value)) return void(results.hitPoints[defenderHp] += pairs);
                    const Checked<int16_t> left = applyHit(defenderHp, damage.value);
                    if (!left.ok()) return void(results.error += pairs);
                    results.hitPoints[left.value] += pairs;
                });
        }
        return results;
    }

    const Fighters& m_f;
    uint64_t m_kindValues[2][3] = {};
    std::map<int16_t, AttackResults> m_attacks[2];
};

}  // namespace

ExactOdds exactBattleOdds(const Fighters& fighters) {
    ExactOdds odds;
    std::array<int16_t, 2> start{};
    for (int side = 0; side < 2; ++side) {
        const Checked<int16_t> hp = startingHitPoints(leadingNumber(panelHpText(fighters[side])));
        if (!hp.ok()) {
            odds.error = 1;  // the battle stops before its first turn
            return odds;
        }
        start[side] = hp.value;
    }
    const int byAgility = openerByAgility(leadingNumber(panelAgilityText(fighters[0])),
                                          leadingNumber(panelAgilityText(fighters[1])));
    // Each opener with its share of the tie-break draw's values (all of them
    // when the agilities decide).
    mpq_class share[2];
    if (byAgility >= 0) {
        share[byAgility] = 1;
    } else {
        forEachRun([](double r) { return tieBreak(r); },
                   [&](int16_t side, uint64_t n) {
                       share[side] = mpq_class(mpz_class(static_cast<unsigned long>(n)),
                                               mpz_class(static_cast<unsigned long>(kDrawValues)));
                   });
    }
    Walk walk(fighters);
    for (int opener = 0; opener < 2; ++opener) {
        if (share[opener] == 0) continue;
        const ExactOdds part = walk.play(start, opener);
        const mpq_class& w = share[opener];
        odds.oneWins += w * part.oneWins;
        odds.twoWins += w * part.twoWins;
        odds.bothFell += w * part.bothFell;
        odds.turnCap += w * part.turnCap;
        odds.error += w * part.error;
        odds.meanTurns += w * part.meanTurns;
        for (std::size_t t = 0; t < odds.turns.size(); ++t) odds.turns[t] += w * part.turns[t];
    }
    return odds;
}

}  // namespace karnwick::testing
