// Speed of `karnwick sweep`: every 16-bit value of a demo monster's hit
// points (65,536 battles) against another, on one core and on all; and a
// sweep of a number that changes the attacks, where each value is a battle of
// its own.

#include <benchmark/benchmark.h>

#include <thread>

#include "battle/sweep.h"
#include "demo/set.h"

using namespace karnwick;

namespace {

const std::vector<MonsterStats>& demo() {
    static const std::vector<MonsterStats> monsters = makeDemoMonsters();
    return monsters;
}

const int kAllCores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

// The argument is the number of threads.
void BM_SweepWholeHitPointRange(benchmark::State& state) {
    const Fighters fighters{demo()[20], demo()[22]};
    SweepPlan plan;
    plan.field = &MonsterStats::hp;
    plan.sides = {false, true};
    plan.values = sweepValues(INT16_MIN, INT16_MAX, 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            sweepOdds(fighters, plan, static_cast<int>(state.range(0))).data());
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(plan.values.size()));
}
BENCHMARK(BM_SweepWholeHitPointRange)
    ->Arg(1)
    ->Arg(kAllCores)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// 1,000 values of the normal attack's top damage.
void BM_SweepOffMax(benchmark::State& state) {
    const Fighters fighters{demo()[20], demo()[22]};
    SweepPlan plan;
    plan.field = &MonsterStats::offMax;
    plan.sides = {true, false};
    plan.values = sweepValues(0, 999, 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            sweepOdds(fighters, plan, static_cast<int>(state.range(0))).data());
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(plan.values.size()));
}
BENCHMARK(BM_SweepOffMax)->Arg(1)->Arg(kAllCores)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
