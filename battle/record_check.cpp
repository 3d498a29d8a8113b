#include "battle/record_check.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <deque>
#include <limits>
#include <optional>
#include <set>

#include "battle/battle.h"
#include "battle/rules.h"
#include "data/text_codec.h"

namespace karnwick {

namespace {

constexpr AttackKind kKinds[] = {AttackKind::Special1, AttackKind::Special2, AttackKind::Normal};

std::string kindName(const MonsterStats& s, AttackKind kind) {
    switch (kind) {
        case AttackKind::Special1:
            return "special attack 1 \"" + fieldText(s.special1) + "\"";
        case AttackKind::Special2:
            return "special attack 2 \"" + fieldText(s.special2) + "\"";
        case AttackKind::Normal:
            break;
    }
    return "the normal attack";
}

// Bytes the arena cannot show as letters: the C0 controls, DEL, and the five
// bytes Windows-1252 leaves undefined, which decode to C1 controls.
bool isControlByte(unsigned char b) {
    return b < 0x20 || b == 0x7F || isUndefinedInWindows1252(b);
}

// Which kinds of attack (indexed by AttackKind) some action roll chooses.
std::array<bool, 3> usedKinds(const MonsterStats& s) {
    std::array<bool, 3> used{};
    for (int roll = 1; roll <= 100; ++roll)
        used[static_cast<std::size_t>(chooseAttack(static_cast<int16_t>(roll), s))] = true;
    return used;
}

// Attack and defence values never leave 32 bits, so only damage and hit
// points can overflow: (S + 100 + L) / (100 - L) is largest in size at a
// divisor of -1 (level 101, stat 32767), and a roll or defense is at most 32768
// in size.
static_assert((int64_t{INT16_MAX} + 100 + 101) * -int64_t{INT16_MIN} <= INT32_MAX,
              "a 16-bit record's attack or defence value fits 32 bits");

// The damage rolls a range can give: the first and the last value of r.
struct RollSpan {
    int16_t first;
    int16_t last;
};
RollSpan rollsOf(const DamageRange& range, int16_t span) {
    const double lastR = std::nextafter(1.0, 0.0);
    return {damageRoll(range.low, span, 0.0), damageRoll(range.low, span, lastR)};
}

// What one record brings to the pair checks: per kind of attack it can make
// without failing on its own, the rolls and the attack values they reach (an
// attack value follows the roll one way, so the ends of the rolls give its
// ends); its defence values, starting hit points and agility.
struct Attack {
    AttackKind kind;
    bool magic;
    RollSpan rolls;
    int32_t lowest;
    int32_t highest;
};
struct Fighter {
    std::vector<Attack> attacks;
    // Defence against the normal attack (agility) and a magic one (mpower).
    std::array<std::optional<int32_t>, 2> defence;
    int16_t startHp = 0;
    double agility = 0;  // as the panel shows it
};

// The most attacks a side makes in a battle: 334 when it opens, one fewer
// when it replies.
constexpr int kReplies = kMaxTurns / 2;

// How a side fares under the other's attacks, as far as staying in the
// battle goes: whether some attack goes through without an error, whether
// one can leave it unhurt, and otherwise the smallest hit.
struct Threat {
    bool anyClean = false;
    bool canUnhurt = false;
    int64_t smallestHit = std::numeric_limits<int64_t>::max();
};

Threat threatOf(const Fighter& attacker, const Fighter& defender) {
    Threat threat;
    for (const Attack& attack : attacker.attacks) {
        const std::optional<int32_t>& defence = defender.defence[attack.magic];
        if (!defence) continue;
        const int64_t low = int64_t{attack.lowest} - *defence;
        const int64_t high = int64_t{attack.highest} - *defence;
        if (low > INT32_MAX || high < INT32_MIN) continue;  // every roll overflows
        threat.anyClean = true;
        if (low <= 0)
            threat.canUnhurt = true;
        else
            threat.smallestHit = std::min(threat.smallestHit, low);
    }
    return threat;
}

// How many attacks `a` can make on `d` in one battle (0: it never gets a
// turn). It opens on a higher agility or half of a tie; after that it
// attacks again while it comes through the other's replies standing and
// without an error.
int attacksMade(const Fighter& a, const Fighter& d) {
    const int opener = openerByAgility(a.agility, d.agility);
    // A battle of one turn: only the side that may open attacks.
    if (lastReachableTurn(isStanding(a.startHp) && isStanding(d.startHp)) == 1)
        return opener != 1 ? 1 : 0;
    int survived = 0;
    const Threat threat = threatOf(d, a);
    if (threat.anyClean) {
        survived = threat.canUnhurt ? kReplies
                                    : static_cast<int>(std::min<int64_t>(
                                          kReplies, (a.startHp - 1) / threat.smallestHit));
    }
    int made = 0;
    if (opener != 1) made = 1 + survived;
    if (opener != 0) made = std::max(made, survived);
    return made;
}

// The fewest hit points `d` can have when one of `a`'s attacks comes, given
// that `a` makes `made` (1 or more) of them: its starting hit points, then
// whatever hits that leave it standing can bring it down to in the attacks
// before.
int16_t fewestHitPointsHit(const MonsterStats& attacker, const Fighter& a,
                           const MonsterStats& defender, const Fighter& d, int made) {
    const int16_t start = d.startHp;
    if (!isStanding(start) || made < 2) return start;
    std::vector<int32_t> damages;
    for (const Attack& attack : a.attacks) {
        const std::optional<int32_t>& defence = d.defence[attack.magic];
        if (!defence) continue;
        const DuelStats stats = duelStats(attacker, defender, attack.kind);
        const auto [lowRoll, highRoll] = std::minmax(attack.rolls.first, attack.rolls.last);
        for (int roll = lowRoll; roll <= highRoll; ++roll) {
            const Checked<int32_t> value =
                attackValue(stats.attack, attacker.level, static_cast<int16_t>(roll));
            const Checked<int32_t> damage =
                value.ok() ? damageDone(value.value, *defence) : Checked<int32_t>{};
            if (damage.ok() && damage.value > 0 && damage.value < start)
                damages.push_back(damage.value);
        }
    }
    std::sort(damages.begin(), damages.end());
    damages.erase(std::unique(damages.begin(), damages.end()), damages.end());
    // Fewest hits to each number of hit points, breadth first.
    std::vector<int> hits(static_cast<std::size_t>(start) + 1, -1);
    std::deque<int> queue{start};
    hits[static_cast<std::size_t>(start)] = 0;
    int fewest = start;
    while (!queue.empty() && fewest > 1) {
        const int hp = queue.front();
        queue.pop_front();
        fewest = std::min(fewest, hp);
        if (hits[static_cast<std::size_t>(hp)] + 1 >= made) continue;
        for (const int32_t damage : damages) {
            if (damage >= hp) break;
            int& seen = hits[static_cast<std::size_t>(hp - damage)];
            if (seen >= 0) continue;
            seen = hits[static_cast<std::size_t>(hp)] + 1;
            queue.push_back(hp - damage);
        }
    }
    return static_cast<int16_t>(fewest);
}

class RecordChecker {
  public:
    RecordChecker(const std::vector<MonsterStats>& records, std::size_t withRecords)
        : m_records(records), m_withRecords(withRecords) {}

    std::vector<GameFileProblem> run() {
        std::vector<Fighter> fighters(m_records.size());
        for (std::size_t i = 0; i < m_records.size(); ++i) {
            // Zero-filled records are all alike: one stands for the rest.
            fighters[i] = i > m_withRecords ? fighters[m_withRecords] : checkAlone(i);
        }
        checkPairs(fighters);
        std::stable_sort(m_problems.begin(), m_problems.end(),
                         [](const GameFileProblem& a, const GameFileProblem& b) {
                             return a.monster.value_or(-1) < b.monster.value_or(-1);
                         });
        return std::move(m_problems);
    }

  private:
    void add(ProblemKind kind, std::size_t index, std::string field, std::string value,
             Severity severity, std::string effect, std::string hint,
             std::vector<int> others = {}) {
        if (severity == Severity::Warning && index >= m_withRecords) return;
        m_problems.push_back({kind, kStatsFileName, static_cast<int>(index),
                              fieldText(m_records[index].name), std::move(field), std::move(value),
                              severity, std::move(effect), std::move(hint), std::move(others)});
    }

    Fighter checkAlone(std::size_t i) {
        const MonsterStats& s = m_records[i];
        Fighter fighter;
        checkTexts(i);
        fighter.startHp = checkHitPoints(i);
        fighter.agility = leadingNumber(panelAgilityText(s));
        if (!checkLevel(i)) return fighter;
        const std::array<bool, 3> used = checkThresholds(i);
        for (const AttackKind kind : kKinds) {
            if (!used[static_cast<std::size_t>(kind)]) continue;
            if (auto attack = checkAttack(i, kind)) fighter.attacks.push_back(*attack);
        }
        setDefences(s, fighter);
        return fighter;
    }

    int16_t checkHitPoints(std::size_t i) {
        const MonsterStats& s = m_records[i];
        const Checked<int16_t> start = startingHitPoints(leadingNumber(panelHpText(s)));
        if (!isStanding(start.value)) {
            add(ProblemKind::NoHitPoints, i, "hp", std::to_string(s.hp), Severity::Warning,
                "it starts with no hit points: every battle with it ends after the first turn",
                "an hp of 1 or more");
        }
        return start.value;
    }

    // False when no battle with it gets past its first turn.
    bool checkLevel(std::size_t i) {
        const MonsterStats& s = m_records[i];
        const double divisor = levelDivisor(s.level);
        if (divisor == 0.0) {
            add(ProblemKind::LevelDividesByZero, i, "level", std::to_string(s.level),
                Severity::Error,
                "100 - level is 0: every battle involving it stops in turn 1 with a run-time "
                "error (Division by zero in its attack value, or in its defence value when it is "
                "attacked, unless the attack chosen in turn 1 has a damage range that leaves 16 "
                "bits: then Overflow)",
                "a level from 0 to 99");
            return false;
        }
        if (divisor < 0.0) {
            add(ProblemKind::NegativeLevel, i, "level", std::to_string(s.level), Severity::Warning,
                "100 - level is negative: the signs of its attack values and of its defence "
                "value turn over: against ordinary monsters its attacks miss and attacks on it "
                "hit harder",
                "a level from 0 to 99");
        }
        return true;
    }

    std::array<bool, 3> checkThresholds(std::size_t i) {
        const MonsterStats& s = m_records[i];
        const std::array<bool, 3> used = usedKinds(s);
        if (!used[static_cast<std::size_t>(AttackKind::Special1)]) {
            add(ProblemKind::Special1Never, i, "sp1Threshold", std::to_string(s.sp1Threshold),
                Severity::Warning,
                kindName(s, AttackKind::Special1) +
                    " never happens: no action roll from 1 to 100 is below sp1Threshold",
                "an sp1Threshold of 2 or more");
        }
        if (!used[static_cast<std::size_t>(AttackKind::Special2)]) {
            add(ProblemKind::Special2Never, i, "sp1Threshold, sp2Threshold",
                std::to_string(s.sp1Threshold) + ", " + std::to_string(s.sp2Threshold),
                Severity::Warning,
                kindName(s, AttackKind::Special2) +
                    " never happens: no action roll from 1 to 100 lies above sp1Threshold and "
                    "below sp2Threshold",
                "an sp2Threshold at least 2 above sp1Threshold");
        }
        return used;
    }

    // Called once the level is known not to divide by zero.
    static void setDefences(const MonsterStats& s, Fighter& fighter) {
        for (const bool magic : {false, true}) {
            const double stat = magic ? double(s.mpower) : double(s.agility);
            fighter.defence[magic] = defenceValue(stat, s.level, s.defense).value;
        }
    }

    void checkTexts(std::size_t i) {
        const MonsterStats& s = m_records[i];
        const std::pair<const char*, std::span<const char>> texts[] = {
            {"name", s.name}, {"special1", s.special1}, {"special2", s.special2}};
        for (const auto& [field, bytes] : texts) {
            if (std::none_of(bytes.begin(), bytes.end(),
                             [](char c) { return isControlByte(static_cast<unsigned char>(c)); }))
                continue;
            add(ProblemKind::ControlCharacters, i, field,
                '"' + escapedText(decodeWindows1252({bytes.data(), bytes.size()})) + '"',
                Severity::Warning,
                "it holds NUL or control characters: the arena's boxes show them as blanks, "
                "and the log and other programs may cut the text there",
                "pad texts with blanks");
        }
    }

    std::optional<Attack> checkAttack(std::size_t i, AttackKind kind) {
        const MonsterStats& s = m_records[i];
        const DamageRange range = damageRange(s, kind);
        const std::string bounds = std::to_string(range.high) + " - " + std::to_string(range.low);
        const Checked<int16_t> span = damageSpan(range);
        if (!span.ok()) {
            add(ProblemKind::RangeLeaves16Bits, i, std::string(range.name), bounds, Severity::Error,
                "the damage range leaves 16 bits: every time " + kindName(s, kind) +
                    " comes, the battle stops with Overflow",
                "bounds no more than 32767 apart");
            return std::nullopt;
        }
        const RollSpan rolls = rollsOf(range, span.value);
        if (span.value < 0) {
            add(ProblemKind::RangeReversed, i, std::string(range.name), bounds, Severity::Warning,
                "the maximum is below the minimum: " + kindName(s, kind) + " rolls from " +
                    std::to_string(rolls.last) + " to " + std::to_string(rolls.first) +
                    ", the minimum included",
                "swap the two bounds");
        }
        const DuelStats stats = duelStats(s, s, kind);
        const bool magic = kind != AttackKind::Normal && s.magicFlag != 0;
        Attack attack{kind, magic, rolls, 0, 0};
        const int32_t first = attackValue(stats.attack, s.level, rolls.first).value;
        const int32_t last = attackValue(stats.attack, s.level, rolls.last).value;
        attack.lowest = std::min(first, last);
        attack.highest = std::max(first, last);
        return attack;
    }

    // Damage is attack value - defence value, and a hit takes it from the
    // defender's hit points: both can leave their width for some pairs. Only
    // defenders whose defence value (and, for a hit, hit points) lie far
    // enough out can be at risk; they are found in sorted order and each is
    // decided from what the battle between the two can really bring.
    void checkPairs(const std::vector<Fighter>& fighters) {
        for (const bool magic : {false, true}) {
            std::vector<std::size_t> byDefence;
            for (std::size_t d = 0; d < fighters.size(); ++d)
                if (fighters[d].defence[magic]) byDefence.push_back(d);
            auto defenceOf = [&](std::size_t d) { return int64_t{*fighters[d].defence[magic]}; };
            // A hit on d leaves 16 bits when damage > hp + 32768, and d is hit
            // at its starting hit points or, standing, at 1 or more.
            auto hitKey = [&](std::size_t d) {
                return defenceOf(d) + std::min<int64_t>(fighters[d].startHp, 1);
            };
            std::vector<std::size_t> byHitKey = byDefence;
            std::stable_sort(byDefence.begin(), byDefence.end(), [&](std::size_t x, std::size_t y) {
                return defenceOf(x) < defenceOf(y);
            });
            std::stable_sort(byHitKey.begin(), byHitKey.end(),
                             [&](std::size_t x, std::size_t y) { return hitKey(x) < hitKey(y); });
            for (std::size_t a = 0; a < fighters.size(); ++a) {
                for (const Attack& attack : fighters[a].attacks) {
                    if (attack.magic != magic) continue;
                    std::set<std::size_t> atRisk;
                    for (auto d = byDefence.begin();
                         d != byDefence.end() && attack.highest - defenceOf(*d) > INT32_MAX; ++d)
                        atRisk.insert(*d);
                    for (auto d = byDefence.rbegin();
                         d != byDefence.rend() && attack.lowest - defenceOf(*d) < INT32_MIN; ++d)
                        atRisk.insert(*d);
                    for (auto d = byHitKey.begin();
                         d != byHitKey.end() && hitKey(*d) < int64_t{attack.highest} - 32768; ++d)
                        atRisk.insert(*d);
                    std::vector<Overflow> found;
                    for (const std::size_t d : atRisk) {
                        if (auto overflow = overflowOn(a, attack, d, fighters))
                            found.push_back(*overflow);
                    }
                    reportOverflows(a, attack, found, true);
                    reportOverflows(a, attack, found, false);
                }
            }
        }
    }

    // An overflow one attack can bring on one defender.
    struct Overflow {
        std::size_t defender;
        bool inDamage;  // attack value - defence value; otherwise the hit points
        int32_t attackValue, defence, damage;
        int16_t hitPoints;  // the fewest the defender can have when hit
    };

    std::optional<Overflow> overflowOn(std::size_t a, const Attack& attack, std::size_t d,
                                       const std::vector<Fighter>& fighters) const {
        const int made = attacksMade(fighters[a], fighters[d]);
        if (made == 0) return std::nullopt;  // the attacker never gets a turn
        const int32_t defence = *fighters[d].defence[attack.magic];
        for (const int32_t value : {attack.highest, attack.lowest}) {
            if (!damageDone(value, defence).ok()) return Overflow{d, true, value, defence, 0, 0};
        }
        const Checked<int32_t> damage = damageDone(attack.highest, defence);
        if (isMiss(damage.value)) return std::nullopt;
        // A standing side never has fewer than 1 hit point, and one that
        // starts down is hit at its starting hit points in turn 1 only.
        if (applyHit(std::min<int16_t>(fighters[d].startHp, 1), damage.value).ok())
            return std::nullopt;
        const int16_t hp =
            fewestHitPointsHit(m_records[a], fighters[a], m_records[d], fighters[d], made);
        if (applyHit(hp, damage.value).ok()) return std::nullopt;
        return Overflow{d, false, attack.highest, defence, damage.value, hp};
    }

    // One line for each way an attack overflows, naming every defender it
    // can overflow on and the first of them as an example.
    void reportOverflows(std::size_t a, const Attack& attack, const std::vector<Overflow>& found,
                         bool inDamage) {
        std::vector<const Overflow*> these;
        for (const Overflow& o : found)
            if (o.inDamage == inDamage) these.push_back(&o);
        if (these.empty()) return;
        const MonsterStats& attacker = m_records[a];
        std::string against = these.size() == 1 ? "monster " : "monsters ";
        std::vector<int> others;
        for (std::size_t k = 0; k < these.size(); ++k) {
            const std::size_t d = these[k]->defender;
            others.push_back(static_cast<int>(d));
            against += (k == 0                  ? ""
                        : k + 1 == these.size() ? " and "
                                                : ", ") +
                       std::to_string(d) + " \"" + fieldText(m_records[d].name) + "\"";
        }
        const Overflow& example = *these.front();
        const std::string on =
            these.size() == 1 ? "" : " on monster " + std::to_string(example.defender);
        const DamageRange range = damageRange(attacker, attack.kind);
        const std::string value = std::to_string(range.high) + " - " + std::to_string(range.low);
        if (inDamage) {
            add(ProblemKind::DamageOverflow, a, std::string(range.name), value, Severity::Error,
                kindName(attacker, attack.kind) + " on " + against +
                    " can overflow: attack value " + std::to_string(example.attackValue) +
                    " - defence value " + std::to_string(example.defence) + on +
                    " leaves 32 bits, and the battle stops with Overflow",
                "a smaller damage range", std::move(others));
        } else {
            add(ProblemKind::HitOverflow, a, std::string(range.name), value, Severity::Error,
                kindName(attacker, attack.kind) + " on " + against + " can overflow: a hit of " +
                    std::to_string(example.damage) + " on " + std::to_string(example.hitPoints) +
                    " hit points" + on +
                    " (the fewest it can have when that attack comes) leaves 16 bits, and the "
                    "battle stops with Overflow",
                "a smaller damage range or level", std::move(others));
        }
    }

    const std::vector<MonsterStats>& m_records;
    std::size_t m_withRecords;
    std::vector<GameFileProblem> m_problems;
};

}  // namespace

std::string problemLine(const GameFileProblem& p) {
    std::string line = p.file;
    if (p.monster)
        line += ": monster " + std::to_string(*p.monster) + " \"" + shownInBox(p.name) + "\"";
    if (!p.field.empty()) line += ": " + p.field + " = " + p.value;
    line +=
        std::string(": ") + (p.severity == Severity::Error ? "error" : "warning") + ": " + p.effect;
    if (!p.hint.empty()) line += " (fix: " + p.hint + ")";
    return line;
}

std::vector<GameFileProblem> checkRecords(const std::vector<MonsterStats>& records,
                                          std::size_t withRecords) {
    return RecordChecker(records, withRecords).run();
}

}  // namespace karnwick
