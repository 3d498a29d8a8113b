#include "battle/odds.h"

#include <algorithm>
#include <numeric>
#include <span>

#include "battle/battle.h"
#include "battle/hit_convolution.h"
#include "battle/odds_detail.h"
#include "battle/outcome_columns.h"
#include "battle/parallel_for.h"

namespace karnwick {

namespace {

// Counts of random values: 2^32 per draw, so up to 2^64 per attack.
__extension__ typedef unsigned __int128 Count;
constexpr uint64_t kValues = uint64_t{1} << 32;
constexpr double kPerValue = 0x1p-32;

uint64_t ceilDiv(uint64_t a, uint64_t b) {
    return a / b + (a % b != 0);
}

// Calls visit(roll, count) for each damage roll of low + floor(r * span) and
// the number of the 2^32 values of r that give it. The blocks of values are
// found by integer arithmetic; the roll of each block is the battle's own
// damageRoll of the block's first value.
template <typename Visit>
void forEachDamageRoll(int16_t low, int16_t span, Visit&& visit) {
    if (span == 0) {
        visit(damageRoll(low, span, 0.0), kValues);
    } else if (span > 0) {
        const auto width = static_cast<uint64_t>(span);
        uint64_t first = 0;
        for (uint64_t j = 1; j <= width; ++j) {
            const uint64_t next = ceilDiv(j * kValues, width);
            visit(damageRoll(low, span, static_cast<double>(first) * kPerValue), next - first);
            first = next;
        }
    } else {
        // floor(-k s / 2^32) = -ceil(k s / 2^32): k = 0 alone gives low, then
        // block m holds the k with (m - 1) 2^32 < k s <= m 2^32.
        const auto width = static_cast<uint64_t>(-int32_t{span});
        visit(damageRoll(low, span, 0.0), 1);
        for (uint64_t m = 1; m <= width; ++m) {
            const uint64_t first = (m - 1) * kValues / width + 1;
            const uint64_t last = std::min(m * kValues / width, kValues - 1);
            if (last >= first) {
                visit(damageRoll(low, span, static_cast<double>(first) * kPerValue),
                      last - first + 1);
            }
        }
    }
}

double chanceOf(Count count) {
    return static_cast<double>(count) * 0x1p-64;
}

}  // namespace

AttackOutcomes attackOutcomes(const MonsterStats& attacker, const MonsterStats& defender) {
    // How many of the 2^32 values of the first draw choose each kind.
    Count kindCount[3] = {0, 0, 0};
    for (uint64_t a = 1; a <= 100; ++a) {
        const uint64_t first = ceilDiv((a - 1) * kValues, 100);
        const uint64_t next = ceilDiv(a * kValues, 100);
        const int16_t roll = actionRollFrom(static_cast<double>(first) * kPerValue);
        kindCount[static_cast<int>(chooseAttack(roll, attacker))] += next - first;
    }

    Count unhurt = 0, fault = 0;
    std::vector<std::pair<int32_t, Count>> hits;
    for (const AttackKind kind : {AttackKind::Special1, AttackKind::Special2, AttackKind::Normal}) {
        const Count kindValues = kindCount[static_cast<int>(kind)];
        if (kindValues == 0) continue;
        const DamageRange range = damageRange(attacker, kind);
        const Checked<int16_t> span = damageSpan(range);
        const DuelStats stats = duelStats(attacker, defender, kind);
        const Checked<int32_t> defence =
            defenceValue(stats.defence, defender.level, defender.defense);
        // A level of 100 fails every attack value; so does a failing range or
        // defence, whichever step the battle meets first.
        if (!span.ok() || !defence.ok() || !attackValue(stats.attack, attacker.level, 0).ok()) {
            fault += kindValues * kValues;
            continue;
        }
        forEachDamageRoll(range.low, span.value, [&](int16_t roll, uint64_t count) {
            const Count values = kindValues * count;
            const Checked<int32_t> attack = attackValue(stats.attack, attacker.level, roll);
            const Checked<int32_t> damage =
                attack.ok() ? damageDone(attack.value, defence.value) : Checked<int32_t>{};
            if (!attack.ok() || !damage.ok()) {
                fault += values;
            } else if (isMiss(damage.value) || damage.value == 0) {
                unhurt += values;
            } else {
                hits.emplace_back(damage.value, values);
            }
        });
    }

    std::sort(hits.begin(), hits.end(),
              [](const auto& x, const auto& y) { return x.first < y.first; });
    AttackOutcomes outcomes;
    outcomes.unhurt = chanceOf(unhurt);
    outcomes.fault = chanceOf(fault);
    for (const auto& [damage, values] : hits) {
        if (!outcomes.hits.empty() && outcomes.hits.back().damage == damage)
            outcomes.hits.back().chance += chanceOf(values);
        else
            outcomes.hits.push_back({damage, chanceOf(values)});
    }
    return outcomes;
}

DefenderChances chancesByAttack(const AttackOutcomes& attack, std::span<const double> fellAt,
                                std::span<const double> overflowAt,
                                std::span<const double> standingAfter, int lastHit) {
    constexpr int kN = kMaxAttacks;
    DefenderChances chances;
    chances.fell.assign(kN + 1, 0.0);
    chances.error.assign(kN + 1, 0.0);
    chances.standing.assign(kN + 1, 0.0);
    chances.standing[0] = 1.0;
    const double unhurt = attack.unhurt;
    const double active = activeChance(attack);

    // ways[k] after n attacks: the chance that k of them were active,
    // C(n, k) unhurt^(n - k) active^k. Those below `least` have become
    // negligible (all of them at once when no attack leaves the side unhurt)
    // and are skipped.
    std::vector<double> ways(lastHit + 2, 0.0);
    ways[0] = 1.0;
    int least = 0;
    int most = 0;  // the largest k with ways[k] in use
    for (int n = 1; n <= kN; ++n) {
        double fell = 0.0, overflow = 0.0;
        for (int k = least; k <= most; ++k) {
            fell += ways[k] * fellAt[k + 1];
            overflow += ways[k] * overflowAt[k + 1];
        }
        chances.fell[n] = active * fell;
        chances.error[n] = active * overflow + attack.fault * chances.standing[n - 1];
        most = std::min(most + 1, lastHit);
        for (int k = most; k >= std::max(least, 1); --k)
            ways[k] = unhurt * ways[k] + active * ways[k - 1];
        if (least == 0) ways[0] *= unhurt;
        while (least < most && ways[least] < kNegligible) ways[least++] = 0.0;
        double standing = 0.0;
        for (int k = least; k <= most; ++k) standing += ways[k] * standingAfter[k];
        chances.standing[n] = standing;
    }
    return chances;
}

namespace {

DefenderChances noChances() {
    constexpr int kN = kMaxAttacks;
    DefenderChances chances;
    chances.fell.assign(kN + 1, 0.0);
    chances.error.assign(kN + 1, 0.0);
    chances.standing.assign(kN + 1, 0.0);
    return chances;
}

// The one turn played against a side already down can only fail.
DefenderChances chancesWhenDown(const AttackOutcomes& attack, int16_t startHitPoints) {
    DefenderChances chances = noChances();
    double overflow = attack.fault;
    for (auto i = firstOverflowing(attack.hits, startHitPoints); i < std::ssize(attack.hits); ++i)
        overflow += attack.hits[i].chance;
    chances.error[1] = overflow;
    chances.fell[1] = 1.0 - overflow;
    return chances;
}

// felling[h], overflowing[h]: the chance that the next hit (given one) fells
// a side at h hit points, or overflows them.
struct NextHit {
    std::vector<double> felling;
    std::vector<double> overflowing;
};

NextHit nextHitChances(const std::vector<AttackOutcomes::Hit>& hits, double active, int top) {
    std::vector<double> prefix(hits.size() + 1, 0.0);
    for (std::size_t i = 0; i < hits.size(); ++i)
        prefix[i + 1] = prefix[i] + hits[i].chance / active;
    NextHit next{std::vector<double>(top + 1, 0.0), std::vector<double>(top + 1, 0.0)};
    for (int h = 1; h <= top; ++h) {
        const auto from = firstFelling(hits, static_cast<int16_t>(h));
        const auto to = firstOverflowing(hits, static_cast<int16_t>(h));
        next.felling[h] = prefix[to] - prefix[from];
        next.overflowing[h] = prefix.back() - prefix[to];
    }
    return next;
}

// After k hits: the chance of falling or overflowing at hit k and of standing
// after it, each given k active attacks.
struct ByHit {
    std::vector<double> fellAt, overflowAt, standingAfter;
    int lastHit = 0;
};

ByHit chancesByHit(const AttackOutcomes& attack, const NextHit& nextHit, int top) {
    constexpr int kN = kMaxAttacks;
    ByHit byHit{std::vector<double>(kN + 2, 0.0), std::vector<double>(kN + 2, 0.0),
                std::vector<double>(kN + 2, 0.0)};
    byHit.standingAfter[0] = 1.0;
    HitWalk walk(attack, top);
    for (int k = 1; k <= kN && walk.standing(); ++k) {
        double fell = 0.0, overflow = 0.0;
        for (int h = walk.lo(); h <= walk.hi(); ++h) {
            fell += walk.at(h) * nextHit.felling[h];
            overflow += walk.at(h) * nextHit.overflowing[h];
        }
        byHit.fellAt[k] = fell;
        byHit.overflowAt[k] = overflow;
        walk.hit();
        byHit.standingAfter[k] = walk.mass();
        byHit.lastHit = k;
    }
    return byHit;
}

}  // namespace

DefenderChances defenderChances(const AttackOutcomes& attack, int16_t startHitPoints) {
    if (!isStanding(startHitPoints)) return chancesWhenDown(attack, startHitPoints);

    // The chain runs over the attacks that change something (a fault or a
    // hit for damage), each with its chance given that the attack did not
    // leave the side unhurt; the unhurt attacks in between come back below.
    const double active = activeChance(attack);
    if (active == 0.0) {
        DefenderChances chances = noChances();
        std::fill(chances.standing.begin(), chances.standing.end(), 1.0);
        return chances;
    }
    const int top = startHitPoints;
    const ByHit byHit = chancesByHit(attack, nextHitChances(attack.hits, active, top), top);
    return chancesByAttack(attack, byHit.fellAt, byHit.overflowAt, byHit.standingAfter,
                           byHit.lastHit);
}

DefenderChances defenderChances(const MonsterStats& attacker, const MonsterStats& defender,
                                int16_t startHitPoints) {
    return defenderChances(attackOutcomes(attacker, defender), startHitPoints);
}

namespace {

BattleOdds combineWithOpener(const std::array<DefenderChances, 2>& against, int opener) {
    BattleOdds odds;
    double* wins[2] = {&odds.oneWins, &odds.twoWins};
    int received[2] = {0, 0};
    // The chain of an opener down at the start counts the one attack it
    // could take, which is never reached.
    const int lastTurn =
        lastReachableTurn(against[0].standing[0] != 0.0 && against[1].standing[0] != 0.0);
    // The last attack after which a side can still fall, err or stand, and
    // the last after which it can still stand. After turn 1 a turn adds
    // something only while its defender has such an attack ahead and its
    // attacker can still be standing; once neither kind of turn can, the rest
    // of the battle adds exact zeros and is skipped.
    int live[2] = {0, 0}, liveStanding[2] = {0, 0};
    for (int side = 0; side < 2; ++side) {
        const DefenderChances& d = against[side];
        for (int n = kMaxAttacks; n > 0 && live[side] == 0; --n)
            if (d.fell[n] != 0.0 || d.error[n] != 0.0 || d.standing[n] != 0.0) live[side] = n;
        for (int n = kMaxAttacks; n > 0 && liveStanding[side] == 0; --n)
            if (d.standing[n] != 0.0) liveStanding[side] = n;
    }
    auto over = [&](int defender) {
        return received[defender] >= live[defender] ||
               received[1 - defender] > liveStanding[1 - defender];
    };
    for (int turn = 1; turn <= lastTurn && !(turn > 1 && over(0) && over(1)); ++turn) {
        const int attacker = turn % 2 == 1 ? opener : 1 - opener;
        const int defender = 1 - attacker;
        const int n = ++received[defender];
        const DefenderChances& d = against[defender];
        // Before turn 2 both sides stand; in turn 1 the attacker may already
        // be down, and then this turn is the only one.
        const double up = against[attacker].standing[received[attacker]];
        const double down = turn == 1 ? 1.0 - up : 0.0;
        *wins[attacker] += d.fell[n] * up;
        *wins[defender] += d.standing[n] * down;
        odds.bothFell += d.fell[n] * down;
        odds.error += d.error[n] * (up + down);
        double ended = (d.fell[n] + d.error[n]) * (up + down) + d.standing[n] * down;
        if (turn == kMaxTurns) {
            odds.turnCap = d.standing[n] * up;
            ended += odds.turnCap;
        }
        odds.turns[turn - 1] = ended;
        odds.meanTurns += turn * ended;
    }
    return odds;
}

// The rounding of doubles can carry a chance a hair past 1 or below 0, or
// the mean past the turn cap; what the odds report stays within what can
// happen (the five chances still sum to 1 within that rounding).
BattleOdds bounded(BattleOdds odds) {
    for (double* chance :
         {&odds.oneWins, &odds.twoWins, &odds.bothFell, &odds.turnCap, &odds.error})
        *chance = boundedChance(*chance);
    odds.meanTurns = std::clamp(odds.meanTurns, 0.0, double{kMaxTurns});
    return odds;
}

BattleOdds mixedOdds(const std::array<DefenderChances, 2>& against, double oneOpens) {
    if (oneOpens >= 1.0) return combineWithOpener(against, 0);
    if (oneOpens <= 0.0) return combineWithOpener(against, 1);
    const BattleOdds one = combineWithOpener(against, 0), two = combineWithOpener(against, 1);
    const double w = oneOpens;
    auto mix = [w](double a, double b) { return w * a + (1.0 - w) * b; };
    BattleOdds odds;
    odds.oneWins = mix(one.oneWins, two.oneWins);
    odds.twoWins = mix(one.twoWins, two.twoWins);
    odds.bothFell = mix(one.bothFell, two.bothFell);
    odds.turnCap = mix(one.turnCap, two.turnCap);
    odds.error = mix(one.error, two.error);
    odds.meanTurns = mix(one.meanTurns, two.meanTurns);
    for (int t = 0; t < kMaxTurns; ++t) odds.turns[t] = mix(one.turns[t], two.turns[t]);
    return odds;
}

}  // namespace

BattleOdds combineOdds(const std::array<DefenderChances, 2>& against, double oneOpens) {
    return bounded(mixedOdds(against, oneOpens));
}

BattleStart startFromTexts(const std::array<std::string, 2>& hpTexts,
                           const std::array<std::string, 2>& agilityTexts) {
    BattleStart start;
    for (int side = 0; side < 2; ++side) {
        const Checked<int16_t> hitPoints = startingHitPoints(leadingNumber(hpTexts[side]));
        start.overflow = start.overflow || !hitPoints.ok();
        start.hitPoints[side] = hitPoints.value;
    }
    const int opener =
        openerByAgility(leadingNumber(agilityTexts[0]), leadingNumber(agilityTexts[1]));
    // A tie draws one random value, and each side opens on half of them.
    start.oneOpens = opener == 0 ? 1.0 : opener == 1 ? 0.0 : 0.5;
    return start;
}

namespace {

// The HP and agility texts a fresh choice of both monsters shows.
struct PanelTexts {
    std::array<std::string, 2> hp, agility;
};
PanelTexts panelTexts(const Fighters& fighters) {
    return {{panelHpText(fighters[0]), panelHpText(fighters[1])},
            {panelAgilityText(fighters[0]), panelAgilityText(fighters[1])}};
}

// Both sides under attack from a start that did not overflow: Monster One's
// chain first.
std::array<DefenderChances, 2> chainsFrom(const Fighters& fighters, const BattleStart& start) {
    return {defenderChances(fighters[1], fighters[0], start.hitPoints[0]),
            defenderChances(fighters[0], fighters[1], start.hitPoints[1])};
}

}  // namespace

BattleStart freshStart(const Fighters& fighters) {
    const PanelTexts texts = panelTexts(fighters);
    return startFromTexts(texts.hp, texts.agility);
}

BattleOdds overflowAtStart() {
    BattleOdds odds;
    odds.error = 1.0;
    return odds;
}

BattleOdds battleOdds(const Fighters& fighters, const std::array<std::string, 2>& hpTexts,
                      const std::array<std::string, 2>& agilityTexts) {
    const BattleStart start = startFromTexts(hpTexts, agilityTexts);
    if (start.overflow) return overflowAtStart();
    return combineOdds(chainsFrom(fighters, start), start.oneOpens);
}

BattleOdds battleOdds(const Fighters& fighters) {
    const PanelTexts texts = panelTexts(fighters);
    return battleOdds(fighters, texts.hp, texts.agility);
}

std::vector<OutcomeOdds> oddsMatrix(
    const std::vector<MonsterStats>& monsters, int threads,
    const std::function<void(std::size_t done, std::size_t total)>& progress) {
    return oddsMatrixRows(monsters, 0, monsters.size(), threads, progress);
}

int medianTurns(const BattleOdds& odds) {
    double ended = 1.0 - std::accumulate(odds.turns.begin(), odds.turns.end(), 0.0);
    for (int t = 0; t < kMaxTurns; ++t) {
        if (ended >= 0.5) return t;
        ended += odds.turns[t];
    }
    return kMaxTurns;
}

std::vector<OutcomeOdds> oddsMatrixRows(
    const std::vector<MonsterStats>& monsters, std::size_t first, std::size_t count, int threads,
    const std::function<void(std::size_t done, std::size_t total)>& progress) {
    const std::size_t n = monsters.size();
    const std::size_t end = std::min(n, first + count);
    std::vector<OutcomeOdds> rows((end - std::min(first, end)) * n);
    auto inBand = [&](std::size_t m) { return m >= first && m < end; };
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    for (std::size_t a = first; a < end; ++a)
        for (std::size_t b = 0; b < n; ++b)
            if (!inBand(b) || b >= a) pairs.emplace_back(a, b);

    auto work = [&](std::size_t p) {
        const auto [a, b] = pairs[p];
        const bool both = inBand(b) && a != b;
        const BattleStart start = freshStart(Fighters{monsters[a], monsters[b]});
        if (start.overflow) {
            rows[(a - first) * n + b] = overflowAtStart();
            if (both) rows[(b - first) * n + a] = overflowAtStart();
        } else {
            // A and B in either order meet the same two chains.
            const std::array<DefenderChances, 2> chains =
                chainsFrom(Fighters{monsters[a], monsters[b]}, start);
            rows[(a - first) * n + b] = combineOdds(chains, start.oneOpens);
            if (both)
                rows[(b - first) * n + a] =
                    combineOdds({chains[1], chains[0]}, 1.0 - start.oneOpens);
        }
    };
    parallelFor(pairs.size(), threads, 1, work, [&](std::size_t done) {
        if (progress) progress(done, pairs.size());
    });
    if (progress && pairs.empty()) progress(0, 0);
    return rows;
}

}  // namespace karnwick
