#include "battle/sweep.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace karnwick {

std::vector<int16_t> sweepValues(int16_t from, int16_t to, int step) {
    std::vector<int16_t> values;
    for (int v = from; v <= to; v += std::max(step, 1)) values.push_back(static_cast<int16_t>(v));
    return values;
}

std::vector<OutcomeOdds> sweepOdds(
    const Fighters& fighters, const SweepPlan& plan, int threads,
    const std::function<void(std::size_t done, std::size_t total)>& progress) {
    const std::size_t total = plan.values.size();
    std::vector<OutcomeOdds> odds(total);
    // Values are handed out a few at a time: neighbouring values cost about
    // the same, and the counter is touched less.
    constexpr std::size_t kBatch = 16;
    std::atomic<std::size_t> next{0}, done{0};
    auto work = [&] {
        for (std::size_t first = next.fetch_add(kBatch); first < total;
             first = next.fetch_add(kBatch)) {
            const std::size_t last = std::min(first + kBatch, total);
            for (std::size_t i = first; i < last; ++i) {
                Fighters changed = fighters;
                for (int side = 0; side < 2; ++side)
                    if (plan.sides[side]) changed[side].*plan.field = plan.values[i];
                odds[i] = battleOdds(changed);
            }
            done += last - first;
        }
    };
    std::vector<std::thread> workers;
    for (int t = 0; t < std::max(1, threads); ++t) workers.emplace_back(work);
    while (progress && done.load() < total) {
        progress(done.load(), total);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    for (std::thread& worker : workers) worker.join();
    if (progress) progress(total, total);
    return odds;
}

}  // namespace karnwick
