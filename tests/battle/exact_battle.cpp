#include "tests/battle/exact_battle.h"

#include <cstdint>
#include <map>
#include <unordered_map>
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

// The counts of one turn's pairs of hit points. Their numbers grow to tens of
// thousands of bits, so a turn's storage is kept and reused by the next.
struct States {
    std::unordered_map<int32_t, std::size_t> index;
    std::vector<std::pair<int32_t, mpz_class>> values;
    std::size_t used = 0;

    mpz_class& at(int32_t k) {
        const auto [it, fresh] = index.try_emplace(k, used);
        if (fresh) {
            if (used == values.size()) values.emplace_back();
            values[used].first = k;
            values[used].second = 0;
            ++used;
        }
        return values[it->second].second;
    }
    void clear() {
        index.clear();
        used = 0;
    }
};

int32_t key(int16_t hp0, int16_t hp1) {
    return int32_t{hp0} * 65536 + static_cast<uint16_t>(hp1);
}

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
        // The chance of each pair of hit points after the turns so far, as a
        // count out of 2^(64 turns); the ends as counts out of 2^(64 * 667).
        States states, next;
        states.at(key(start[0], start[1])) = 1;
        constexpr int kOutcomes = 5;  // oneWins, twoWins, bothFell, turnCap, error
        mpz_class total[kOutcomes], turnSum, ended[kOutcomes], endedThisTurn;
        // Where each side ends, this turn and over all turns, counted as the ends are.
        std::array<std::map<int16_t, mpz_class>, 2> endedAt, hpTotal;
        auto endAt = [&](const std::array<int16_t, 2>& hp, const mpz_class& count,
                         const mpz_class& n) {
            for (int side = 0; side < 2; ++side)
                mpz_addmul(endedAt[side][hp[side]].get_mpz_t(), count.get_mpz_t(), n.get_mpz_t());
        };
        ExactOdds odds;
        for (int turn = 1; turn <= kMaxTurns && states.used > 0; ++turn) {
            const int attacker = turn % 2 == 1 ? opener : 1 - opener;
            const int defender = 1 - attacker;
            next.clear();
            for (mpz_class& e : ended) e = 0;
            for (auto& at : endedAt) at.clear();
            for (std::size_t s = 0; s < states.used; ++s) {
                const auto& [k, count] = states.values[s];
                std::array<int16_t, 2> now{static_cast<int16_t>(k >> 16),
                                           static_cast<int16_t>(k & 0xFFFF)};
                const AttackResults& results = attack(attacker, now[defender]);
                mpz_addmul(ended[4].get_mpz_t(), count.get_mpz_t(), results.error.get_mpz_t());
                if (results.error != 0) endAt(now, count, results.error);
                const int16_t before = now[defender];
                for (const auto& [left, n] : results.hitPoints) {
                    now[defender] = left;
                    mpz_class* into = &ended[3];
                    const bool goesOn = battleGoesOn(now[0], now[1], static_cast<int16_t>(turn));
                    if (goesOn)
                        into = &next.at(key(now[0], now[1]));
                    else if (!isStanding(now[0]) && !isStanding(now[1]))
                        into = &ended[2];
                    else if (!isStanding(now[1]))
                        into = &ended[0];
                    else if (!isStanding(now[0]))
                        into = &ended[1];
                    mpz_addmul(into->get_mpz_t(), count.get_mpz_t(), n.get_mpz_t());
                    if (!goesOn) endAt(now, count, n);
                }
                now[defender] = before;
            }
            endedThisTurn = 0;
            const auto shift = static_cast<mp_bitcnt_t>(64 * (kMaxTurns - turn));
            for (int o = 0; o < kOutcomes; ++o) {
                endedThisTurn += ended[o];
                total[o] += ended[o] << shift;
            }
            turnSum += turn * (endedThisTurn << shift);
            for (int side = 0; side < 2; ++side)
                for (const auto& [hp, n] : endedAt[side]) hpTotal[side][hp] += n << shift;
            mpq_class& chance = odds.turns[static_cast<std::size_t>(turn - 1)];
            chance = endedThisTurn;
            mpq_div_2exp(chance.get_mpq_t(), chance.get_mpq_t(),
                         static_cast<mp_bitcnt_t>(64 * turn));
            std::swap(states, next);
        }
        const auto all = static_cast<mp_bitcnt_t>(64 * kMaxTurns);
        mpq_class* outcome[kOutcomes] = {&odds.oneWins, &odds.twoWins, &odds.bothFell,
                                         &odds.turnCap, &odds.error};
        for (int o = 0; o < kOutcomes; ++o) {
            *outcome[o] = total[o];
            mpq_div_2exp(outcome[o]->get_mpq_t(), outcome[o]->get_mpq_t(), all);
        }
        for (int side = 0; side < 2; ++side) {
            for (const auto& [hp, n] : hpTotal[side]) {
                mpq_class& chance = odds.hpLeft[side][hp];
                chance = n;
                mpq_div_2exp(chance.get_mpq_t(), chance.get_mpq_t(), all);
            }
        }
        odds.meanTurns = turnSum;
        mpq_div_2exp(odds.meanTurns.get_mpq_t(), odds.meanTurns.get_mpq_t(), all);
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
        for (int side = 0; side < 2; ++side)
            for (const auto& [hp, chance] : part.hpLeft[side]) odds.hpLeft[side][hp] += w * chance;
    }
    return odds;
}

}  // namespace karnwick::testing
