#include "battle/hit_points_left.h"

#include <algorithm>

#include "battle/battle.h"
#include "battle/hit_convolution.h"
#include "battle/odds_detail.h"

namespace karnwick {

namespace {

constexpr int kN = kMaxAttacks;

// How much each moment of a side's chain counts towards the end of the
// battle, for one opener: standing[n], that the battle ends with the side
// standing after its n-th attack (the other side's chance of ending it then,
// or of the cap); ending[n], that it ends at the side's own n-th attack, by
// a fall or an error (the other side's chance of standing to make it).
struct EndWeights {
    std::vector<double> standing = std::vector<double>(kN + 1, 0.0);
    std::vector<double> ending = std::vector<double>(kN + 1, 0.0);
};

// The turns as combineOdds walks them, for an opener that stands at the start.
std::array<EndWeights, 2> endWeights(const std::array<DefenderChances, 2>& against, int opener) {
    std::array<EndWeights, 2> weights;
    int received[2] = {0, 0};
    for (int turn = 1; turn <= kMaxTurns; ++turn) {
        const int attacker = turn % 2 == 1 ? opener : 1 - opener;
        const int defender = 1 - attacker;
        const int n = ++received[defender];
        const int m = received[attacker];
        const DefenderChances& d = against[defender];
        const double up = against[attacker].standing[m];
        weights[defender].ending[n] += up;
        weights[attacker].standing[m] += d.fell[n] + d.error[n];
        if (turn == kMaxTurns) {
            weights[defender].standing[n] += up;
            weights[attacker].standing[m] += d.standing[n];
        }
    }
    return weights;
}

// Hit points h are kept at [h + 32768].
constexpr int kOffset = 32768;

// A side that starts down takes one attack at most: it ends where that
// attack leaves it, or where it was when the attack failed.
void addFromDown(const AttackOutcomes& attack, int16_t start, double weight,
                 std::vector<double>& left) {
    left[start + kOffset] += weight * (attack.unhurt + attack.fault);
    for (const AttackOutcomes::Hit& h : attack.hits) {
        const Checked<int16_t> after = applyHit(start, h.damage);
        left[(after.ok() ? after.value : start) + kOffset] += weight * h.chance;
    }
}

// The weights of the moments of a standing side's chain by the number k of
// active attacks (faults and hits for damage) they come after: the chance of
// k of n attacks being active is C(n, k) unhurt^(n - k) active^k.
struct ByHitWeights {
    std::vector<double> standing = std::vector<double>(kN + 1, 0.0);  // after k hits
    std::vector<double> ending = std::vector<double>(kN + 1, 0.0);    // at the one after k
};

ByHitWeights byHitWeights(const EndWeights& w, double unhurt, double active) {
    ByHitWeights byHit;
    std::vector<double> ways(kN + 1, 0.0);
    ways[0] = 1.0;
    for (int n = 0; n <= kN; ++n) {
        for (int k = 0; k <= n; ++k) {
            byHit.standing[k] += w.standing[n] * ways[k];
            if (n < kN) byHit.ending[k] += w.ending[n + 1] * ways[k];
        }
        for (int k = n + 1; k >= 1; --k)
            if (k <= kN) ways[k] = unhurt * ways[k] + active * ways[k - 1];
        ways[0] *= unhurt;
    }
    return byHit;
}

// A side that starts standing at `start`: walked hit by hit, its standing
// chances go to where it stands when the battle ends, and those before an
// ending attack to where that attack fells it, or to where it stood when
// the attack failed.
void addFromStanding(const AttackOutcomes& attack, int16_t start, const EndWeights& w, double scale,
                     std::vector<double>& left) {
    const double active = activeChance(attack);
    if (active == 0.0) {
        // Nothing ever changes it.
        double weight = 0.0;
        for (const double s : w.standing) weight += s;
        left[start + kOffset] += scale * weight;
        return;
    }
    const ByHitWeights byHit = byHitWeights(w, attack.unhurt, active);
    std::vector<double> standing(static_cast<std::size_t>(start) + 1, 0.0), before(standing);
    HitWalk walk(attack, start);
    for (int k = 0; k <= kN && walk.standing(); ++k) {
        for (int h = walk.lo(); h <= walk.hi(); ++h) {
            standing[h] += byHit.standing[k] * walk.at(h);
            before[h] += byHit.ending[k] * walk.at(h);
        }
        if (k < kN) walk.hit();
    }
    for (int h = 1; h <= start; ++h) {
        left[h + kOffset] += scale * standing[h];
        if (before[h] == 0.0) continue;
        const auto hp = static_cast<int16_t>(h);
        const auto felling = firstFelling(attack.hits, hp);
        const auto overflowing = firstOverflowing(attack.hits, hp);
        double failing = attack.fault;
        for (auto i = overflowing; i < std::ssize(attack.hits); ++i)
            failing += attack.hits[i].chance;
        left[h + kOffset] += scale * before[h] * failing;
        for (auto i = felling; i < overflowing; ++i)
            left[applyHit(hp, attack.hits[i].damage).value + kOffset] +=
                scale * before[h] * attack.hits[i].chance;
    }
}

// One opener's battle, its chance `scale`, added into left[side].
void addOpener(const std::array<AttackOutcomes, 2>& attackOn, const BattleStart& start,
               const std::array<DefenderChances, 2>& against, int opener, double scale,
               std::array<std::vector<double>, 2>& left) {
    const int other = 1 - opener;
    if (!isStanding(start.hitPoints[opener])) {
        // Only turn 1 is played: the opener stays where it started.
        left[opener][start.hitPoints[opener] + kOffset] += scale;
        if (isStanding(start.hitPoints[other])) {
            EndWeights w;
            w.ending[1] = w.standing[1] = 1.0;
            addFromStanding(attackOn[other], start.hitPoints[other], w, scale, left[other]);
        } else {
            addFromDown(attackOn[other], start.hitPoints[other], scale, left[other]);
        }
        return;
    }
    const std::array<EndWeights, 2> weights = endWeights(against, opener);
    for (int side = 0; side < 2; ++side) {
        if (isStanding(start.hitPoints[side]))
            addFromStanding(attackOn[side], start.hitPoints[side], weights[side], scale,
                            left[side]);
        else
            addFromDown(attackOn[side], start.hitPoints[side], scale * weights[side].ending[1],
                        left[side]);
    }
}

HitPointsLeft listed(const std::array<std::vector<double>, 2>& left) {
    HitPointsLeft lists;
    for (int side = 0; side < 2; ++side)
        for (std::size_t i = 0; i < left[side].size(); ++i)
            if (left[side][i] >= kNegligible)
                lists[side].push_back(
                    {static_cast<int16_t>(static_cast<int>(i) - kOffset), left[side][i]});
    return lists;
}

}  // namespace

HitPointsLeft hitPointsLeft(const Fighters& fighters, const std::array<std::string, 2>& hpTexts,
                            const std::array<std::string, 2>& agilityTexts) {
    const BattleStart start = startFromTexts(hpTexts, agilityTexts);
    if (start.overflow) return {};
    const std::array<AttackOutcomes, 2> attackOn = {attackOutcomes(fighters[1], fighters[0]),
                                                    attackOutcomes(fighters[0], fighters[1])};
    const std::array<DefenderChances, 2> against = {
        defenderChances(attackOn[0], start.hitPoints[0]),
        defenderChances(attackOn[1], start.hitPoints[1])};
    std::array<std::vector<double>, 2> left{std::vector<double>(65536, 0.0),
                                            std::vector<double>(65536, 0.0)};
    const double share[2] = {start.oneOpens, 1.0 - start.oneOpens};
    for (int opener = 0; opener < 2; ++opener)
        if (share[opener] > 0.0) addOpener(attackOn, start, against, opener, share[opener], left);
    return listed(left);
}

HitPointsLeft hitPointsLeft(const Fighters& fighters) {
    return hitPointsLeft(fighters, {panelHpText(fighters[0]), panelHpText(fighters[1])},
                         {panelAgilityText(fighters[0]), panelAgilityText(fighters[1])});
}

}  // namespace karnwick
