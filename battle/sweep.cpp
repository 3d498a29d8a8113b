#include "battle/sweep.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "battle/hit_convolution.h"
#include "battle/odds_detail.h"
#include "battle/parallel_for.h"

namespace karnwick {

namespace {

// The chains of one side under one attack for every start from 1 to `top`
// hit points at once. How much damage k hits add up to does not depend on
// where the side started, so one walk from `top` holds every start: a side
// that starts at h stands after k hits when the damage so far is below h,
// which is where the walk from `top` is still above top - h. Each step keeps
// the mass still standing from every start, as running sums from the top.
//
// Only for attacks that hit or fail at all, and whose hits cannot take a
// standing side below -32768: there a hit that fells and one that overflows
// would need telling apart by where the side stood.
class ChainTable {
  public:
    ChainTable(const AttackOutcomes& attack, int top) : m_attack(attack), m_top(top) {
        const double active = activeChance(attack);
        for (const AttackOutcomes::Hit& h : attack.hits) m_hitShare += h.chance / active;
        if (!attack.hits.empty()) m_largestHit = attack.hits.back().damage;
        HitWalk walk(attack, top);
        m_steps.reserve(kMaxAttacks + 1);
        m_steps.push_back({top, top, {1.0}});
        for (int k = 1; k <= kMaxAttacks && walk.standing(); ++k) {
            walk.hit();
            Step step{walk.lo(), walk.hi(),
                      std::vector<double>(std::max(0, walk.hi() - walk.lo() + 1))};
            double above = 0.0;
            for (int j = walk.hi(); j >= walk.lo(); --j)
                step.above[j - walk.lo()] = above += walk.at(j);
            m_steps.push_back(std::move(step));
        }
    }

    // Whether the table serves this attack: it hits or fails at all, and no
    // hit overflows a side that stands at 1 hit point or more.
    static bool serves(const AttackOutcomes& attack) {
        const bool active = attack.fault > 0.0 || !attack.hits.empty();
        return active && (attack.hits.empty() || attack.hits.back().damage <= 32769);
    }

    DefenderChances chain(int16_t start) const {
        std::vector<double> fellAt(kMaxAttacks + 2, 0.0), overflowAt(kMaxAttacks + 2, 0.0),
            standingAfter(kMaxAttacks + 2, 0.0);
        standingAfter[0] = 1.0;
        int lastHit = 0;
        for (int k = 1; k <= kMaxAttacks; ++k) {
            const double before = standingAfter[k - 1];
            if (before <= 0.0) break;
            lastHit = k;
            standingAfter[k] = standing(k, start);
            fellAt[k] =
                noneFalls(k, start) ? 0.0 : std::max(0.0, m_hitShare * before - standingAfter[k]);
        }
        return chancesByAttack(m_attack, fellAt, overflowAt, standingAfter, lastHit);
    }

  private:
    struct Step {
        int lo, hi;                 // the walk's window after this many hits
        std::vector<double> above;  // above[j - lo]: its mass from j up
    };

    // The chance of standing after k hits from `start`, given k hits.
    double standing(int k, int start) const {
        if (k >= std::ssize(m_steps)) return 0.0;
        const Step& s = m_steps[k];
        const int first = m_top - start + 1;
        if (s.lo > s.hi || first > s.hi) return 0.0;
        return s.above[std::max(first, s.lo) - s.lo];
    }
    // Whether hit k can fell no side that started at `start` and stands
    // after k - 1 hits: every such side has more hit points left than the
    // largest hit.
    bool noneFalls(int k, int start) const {
        const Step& s = m_steps[k - 1];
        return s.lo <= s.hi && s.lo - (m_top - start) > m_largestHit;
    }

    const AttackOutcomes& m_attack;
    int m_top;
    double m_hitShare = 0.0;
    int m_largestHit = 0;
    std::vector<Step> m_steps;
};

// Hit points change no attack: only the chain of the swept side moves, and
// all its chains come from one walk per side.
struct HitPointSweep {
    Fighters fighters;
    const SweepPlan& plan;
    std::array<AttackOutcomes, 2> attackOn;  // [side]: the other side's attack on it
    std::array<std::unique_ptr<ChainTable>, 2> tables;
    std::array<std::optional<DefenderChances>, 2> fixed;

    HitPointSweep(const Fighters& f, const SweepPlan& p) : fighters(f), plan(p) {
        const int16_t top = *std::max_element(plan.values.begin(), plan.values.end());
        const BattleStart start = freshStart(fighters);
        for (int side = 0; side < 2; ++side) {
            attackOn[side] = attackOutcomes(fighters[1 - side], fighters[side]);
            if (!plan.sides[side]) {
                if (!start.overflow)
                    fixed[side] = defenderChances(attackOn[side], start.hitPoints[side]);
            } else if (top >= 1 && ChainTable::serves(attackOn[side])) {
                tables[side] = std::make_unique<ChainTable>(attackOn[side], top);
            }
        }
    }

    OutcomeOdds operator()(std::size_t i) const {
        Fighters changed = fighters;
        for (int side = 0; side < 2; ++side)
            if (plan.sides[side]) changed[side].hp = plan.values[i];
        const BattleStart start = freshStart(changed);
        if (start.overflow) return overflowAtStart();
        std::array<DefenderChances, 2> against;
        for (int side = 0; side < 2; ++side) {
            const int16_t hp = start.hitPoints[side];
            if (fixed[side])
                against[side] = *fixed[side];
            else if (tables[side] && hp >= 1)
                against[side] = tables[side]->chain(hp);
            else
                against[side] = defenderChances(attackOn[side], hp);
        }
        return combineOdds(against, start.oneOpens);
    }
};

// "57", "57 and 80", "120..122, 130 and 200" for the values at `at`: runs of
// neighbouring values in the sweep written as FROM..TO.
std::string valueList(const std::vector<int16_t>& values, const std::vector<std::size_t>& at) {
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < at.size();) {
        std::size_t j = i;
        while (j + 1 < at.size() && at[j + 1] == at[j] + 1) ++j;
        parts.push_back(j == i
                            ? std::to_string(values[at[i]])
                            : std::to_string(values[at[i]]) + ".." + std::to_string(values[at[j]]));
        i = j + 1;
    }
    std::string text;
    for (std::size_t p = 0; p < parts.size(); ++p)
        text += (p == 0 ? "" : p + 1 == parts.size() ? " and " : ", ") + parts[p];
    return text;
}

}  // namespace

std::vector<int16_t> sweepValues(int16_t from, int16_t to, int step) {
    std::vector<int16_t> values;
    for (int v = from; v <= to; v += std::max(step, 1)) values.push_back(static_cast<int16_t>(v));
    return values;
}

std::vector<std::size_t> closestToTarget(const std::vector<OutcomeOdds>& odds, double target) {
    constexpr double kSame = 1e-12;
    double best = INFINITY;
    for (const OutcomeOdds& o : odds) best = std::min(best, std::abs(o.oneWins - target));
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < odds.size(); ++i)
        if (std::abs(odds[i].oneWins - target) <= best + kSame) at.push_back(i);
    return at;
}

std::vector<OutcomeOdds> sweepOdds(
    const Fighters& fighters, const SweepPlan& plan, int threads,
    const std::function<void(std::size_t done, std::size_t total)>& progress) {
    const std::size_t total = plan.values.size();
    std::vector<OutcomeOdds> odds(total);
    if (total == 0) return odds;
    std::unique_ptr<HitPointSweep> hitPoints;
    if (plan.field == &MonsterStats::hp)
        hitPoints = std::make_unique<HitPointSweep>(fighters, plan);
    auto oddsOf = [&](std::size_t i) -> OutcomeOdds {
        if (hitPoints) return (*hitPoints)(i);
        Fighters changed = fighters;
        for (int side = 0; side < 2; ++side)
            if (plan.sides[side]) changed[side].*plan.field = plan.values[i];
        return battleOdds(changed);
    };

    // Values are handed out a few at a time: neighbouring values cost about
    // the same, and the counter is touched less.
    constexpr std::size_t kBatch = 16;
    parallelFor(
        total, threads, kBatch, [&](std::size_t i) { odds[i] = oddsOf(i); },
        [&](std::size_t done) {
            if (progress) progress(done, total);
        });
    return odds;
}

std::string targetAnswer(double target, const std::string& field,
                         const std::vector<int16_t>& values, const std::vector<OutcomeOdds>& odds) {
    if (odds.empty()) return {};
    const std::vector<std::size_t> at = closestToTarget(odds, target);
    char head[96];
    std::snprintf(head, sizeof head, "Closest to %.2f%%: Monster One wins %.2f%% ", 100.0 * target,
                  100.0 * odds[at.front()].oneWins);
    if (at.size() == 1) return head + ("at " + field + " " + std::to_string(values[at.front()]));
    return head + ("at each of " + std::to_string(at.size()) + " values of " + field +
                   " (a tie): " + valueList(values, at));
}

}  // namespace karnwick
