// What `check` says about pairs of monsters, held to the exact odds: every
// overflow it names happens in some battle of the pair it names, and every
// pair whose battles can stop on an error is covered by something it says.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "battle/odds.h"
#include "battle/random.h"
#include "battle/record_check.h"
#include "data/monster_stats.h"

using namespace karnwick;

namespace {

MonsterStats named(const char* name) {
    MonsterStats s;
    for (std::size_t i = 0; i < s.name.size(); ++i) s.name[i] = *name ? *name++ : ' ';
    return s;
}

void expectClaimsMatchTheOdds(const std::vector<MonsterStats>& records) {
    const std::vector<GameFileProblem> problems = checkRecords(records);
    std::set<int> broken;  // monsters with an error of their own
    std::set<std::pair<int, int>> claimed;
    std::set<std::tuple<int, ProblemKind, std::string>> said;
    for (const GameFileProblem& p : problems) {
        EXPECT_TRUE(said.insert({*p.monster, p.kind, p.field}).second)
            << "said twice: " << p.effect;
        if (p.severity != Severity::Error) continue;
        const bool overflow =
            p.kind == ProblemKind::DamageOverflow || p.kind == ProblemKind::HitOverflow;
        EXPECT_EQ(overflow, !p.others.empty()) << p.effect;
        if (!overflow) broken.insert(*p.monster);
        for (const int d : p.others) {
            const int a = *p.monster;
            claimed.insert({a, d});
            EXPECT_GT(battleOdds({records[a], records[d]}).error, 0.0)
                << "monster " << a << " on " << d << ": " << p.effect;
        }
    }
    for (int a = 0; a < std::ssize(records); ++a) {
        for (int b = 0; b < std::ssize(records); ++b) {
            if (broken.count(a) || broken.count(b) || claimed.count({a, b}) ||
                claimed.count({b, a}))
                continue;
            EXPECT_EQ(battleOdds({records[a], records[b]}).error, 0.0)
                << "nothing said about monsters " << a << " and " << b;
        }
    }
}

}  // namespace

TEST(RecordCheck, OverflowClaimsFollowWhatBattlesCanDo) {
    // A hit of 32790 kills from 50 hit points without leaving 16 bits; from 1
    // it overflows.
    MonsterStats smasher = named("Smasher");
    smasher.hp = 50, smasher.level = 50, smasher.agility = 5;
    smasher.offMin = smasher.offMax = 10930;
    MonsterStats target50 = named("Target50");
    target50.hp = 50, target50.offMin = 4, target50.offMax = 9;
    MonsterStats target1 = target50;
    target1.hp = 1;
    // Quick always opens and ends the battle in turn 1: Doomed never attacks.
    MonsterStats doomed = named("Doomed");
    doomed.level = 50, doomed.offMin = doomed.offMax = 10930, doomed.defense = 1000;
    MonsterStats quick = named("Quick");
    quick.hp = 1, quick.agility = 10, quick.offMin = 1, quick.offMax = 3;

    // Wall starts at 30000, where Crusher's special hit of 63000 already
    // leaves 16 bits; but a normal hit of 27003 first leaves it standing on
    // 2997, the fewest it can have (27000 and 27003 are Crusher's other hits).
    MonsterStats wall = named("Wall");
    wall.hp = 30000;
    MonsterStats crusher = named("Crusher");
    crusher.hp = 50, crusher.level = 50, crusher.agility = 5;
    crusher.offMin = 9000, crusher.offMax = 9002;
    crusher.sp1Threshold = 50, crusher.sp1Min = crusher.sp1Max = 21000;
    crusher.special1.fill(' ');
    std::copy_n("Quake", 5, crusher.special1.begin());

    const std::vector<std::vector<MonsterStats>> sets = {
        {smasher, target50}, {smasher, target50, target1}, {doomed, quick}, {wall, crusher}};
    for (const auto& set : sets) expectClaimsMatchTheOdds(set);
    // One finding per overflowing attack: Smasher's hit on Target1 only.
    std::vector<std::vector<int>> overflows;
    for (const GameFileProblem& p : checkRecords(sets[1]))
        if (p.kind == ProblemKind::HitOverflow) overflows.push_back(p.others);
    EXPECT_EQ(overflows, (std::vector<std::vector<int>>{{2}}));
    // Crusher's special hit overflows on Wall and on itself, Wall the example.
    std::string crushed;
    for (const GameFileProblem& p : checkRecords(sets[3])) {
        if (p.monster != 1 || p.field != "sp1Max - sp1Min") continue;
        EXPECT_EQ(p.kind, ProblemKind::HitOverflow);
        EXPECT_EQ(p.others, (std::vector<int>{0, 1}));
        crushed = p.effect;
    }
    EXPECT_EQ(crushed,
              "special attack 1 \"Quake       \" on monsters 0 \"Wall      \" and 1 \"Crusher   \" "
              "can overflow: a hit of 63000 on 2997 hit points on monster 0 (the fewest it can "
              "have when that attack comes) leaves 16 bits, and the battle stops with Overflow");
}

TEST(RecordCheck, GeneratedSetsClaimExactlyThePairsThatErr) {
    // Values near the edges where damage and hit points leave their widths.
    const int16_t hps[] = {-32768, -3, 0, 1, 2, 50, 300, 32767};
    const int16_t levels[] = {0, 50, 99, 150, 0, 100};
    const int16_t lows[] = {1, 4, 10930, 32766, -30000, 0};
    const int16_t widths[] = {0, 1, 3, -2};
    const int16_t strengths[] = {0, 1000, 32767};
    const int16_t defenses[] = {0, 1, 1000, -32768, 32767};
    Pcg32 random(2024, 7);
    auto pick = [&](const auto& values) { return values[random.nextUInt32() % std::size(values)]; };
    for (int set = 0; set < 40; ++set) {
        std::vector<MonsterStats> records;
        for (int m = 0; m < 5; ++m) {
            MonsterStats s = named("Gen");
            s.hp = pick(hps), s.level = pick(levels), s.agility = pick(lows) % 11;
            s.strength = pick(strengths), s.defense = pick(defenses);
            s.sp1Threshold = static_cast<int16_t>(random.nextUInt32() % 2 * 30);
            s.sp1Min = pick(lows), s.sp1Max = static_cast<int16_t>(s.sp1Min + pick(widths));
            s.offMin = pick(lows), s.offMax = static_cast<int16_t>(s.offMin + pick(widths));
            s.mpower = pick(strengths), s.magicFlag = static_cast<int16_t>(random.nextUInt32() % 2);
            records.push_back(s);
        }
        SCOPED_TRACE("set " + std::to_string(set));
        expectClaimsMatchTheOdds(records);
    }
}
