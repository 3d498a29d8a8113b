// Speed of the exact odds: a typical demo pair, the whole demo matrix on one
// core and on all, the same pair by playing a million battles, and records
// built to be slow.

#include <benchmark/benchmark.h>

#include "battle/battle.h"
#include "battle/odds.h"
#include "demo/set.h"

using namespace karnwick;

namespace {

const std::vector<MonsterStats>& demo() {
    static const std::vector<MonsterStats> monsters = makeDemoMonsters();
    return monsters;
}

// Two mid-roster monsters: about 16 turns, three attack kinds each.
Fighters typicalPair() {
    return {demo()[20], demo()[22]};
}

void BM_OddsTypicalPair(benchmark::State& state) {
    const Fighters fighters = typicalPair();
    for (auto _ : state) benchmark::DoNotOptimize(battleOdds(fighters).oneWins);
}
BENCHMARK(BM_OddsTypicalPair)->Unit(benchmark::kMicrosecond);

// The same pair to about +-0.1% by playing a million battles (the duel
// --summary engine).
void BM_MonteCarloMillionBattles(benchmark::State& state) {
    const Fighters fighters = typicalPair();
    const std::array<std::string, 2> hp{panelHpText(fighters[0]), panelHpText(fighters[1])};
    const std::array<std::string, 2> agility{panelAgilityText(fighters[0]),
                                             panelAgilityText(fighters[1])};
    Pcg32 random;
    for (auto _ : state) {
        long long wins = 0;
        for (int n = 0; n < 1'000'000; ++n)
            wins += playSilentBattle(hp, agility, fighters, random).currentHp[1] < 1;
        benchmark::DoNotOptimize(wins);
    }
}
BENCHMARK(BM_MonteCarloMillionBattles)->Unit(benchmark::kMillisecond);

// All 57 x 57 ordered pairs; the argument is the number of threads. The
// processor time is the whole process's, all threads together: on two idle
// cores the wall time on two threads should be half of it.
void BM_DemoMatrix(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(oddsMatrix(demo(), static_cast<int>(state.range(0))).data());
}
BENCHMARK(BM_DemoMatrix)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

MonsterStats slowRecord() {
    MonsterStats s;
    s.hp = 32767;
    s.agility = 1;
    return s;
}

// 32767 HP each, damage 0 or 1 per hit: every battle runs the 667 turns.
void BM_WorstCaseDamageZeroOrOne(benchmark::State& state) {
    MonsterStats s = slowRecord();
    s.offMin = 0, s.offMax = 2;
    const Fighters fighters{s, s};
    for (auto _ : state) benchmark::DoNotOptimize(battleOdds(fighters).turnCap);
}
BENCHMARK(BM_WorstCaseDamageZeroOrOne)->Unit(benchmark::kMillisecond);

// 32767 HP each, mostly hits of 0 or 1, and one attack in five a special
// attack over the widest damage range (any of 1 to 16382): the chances spread
// over every hit point and the battle still lasts long.
void BM_WorstCaseWidestRanges(benchmark::State& state) {
    MonsterStats s = slowRecord();
    s.offMin = 0, s.offMax = 2;
    s.sp1Threshold = 11, s.sp1Min = -16384, s.sp1Max = 16383;
    s.sp2Threshold = 22, s.sp2Min = 16383, s.sp2Max = -16384;
    const Fighters fighters{s, s};
    for (auto _ : state) benchmark::DoNotOptimize(battleOdds(fighters).oneWins);
}
BENCHMARK(BM_WorstCaseWidestRanges)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
