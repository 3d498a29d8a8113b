#pragma once
// A balance curve: the exact odds of one pair of monsters for every value of
// one number of a record, as `--set` would set it ("how much HP must my boss
// have so the hero wins one time in three").

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "battle/odds.h"

namespace karnwick {

struct SweepPlan {
    int16_t MonsterStats::*field = nullptr;
    // The sides whose record takes each value: one side, or both when the
    // same monster fights itself.
    std::array<bool, 2> sides{};
    std::vector<int16_t> values;
};

// FROM, FROM + step, ... up to TO (inclusive when the steps land on it);
// empty when from > to. step is at least 1.
std::vector<int16_t> sweepValues(int16_t from, int16_t to, int step);

// battleOdds after a fresh choice of `fighters` with the plan's field set to
// each value in turn, in the order of plan.values. Runs on `threads` threads
// (at least 1); the result does not depend on their number. The calling
// thread waits and calls progress(done, total) as the values are done; what
// progress throws stops the sweep at its next batch of values and reaches the
// caller, which is how a caller gives up a sweep no longer wanted.
std::vector<OutcomeOdds> sweepOdds(
    const Fighters& fighters, const SweepPlan& plan, int threads,
    const std::function<void(std::size_t done, std::size_t total)>& progress = {});

// The positions in `odds` where Monster One's chance of winning comes
// closest to `target`: the closest and every one that ties with it, chances
// that differ only by the rounding of doubles counting as equal. None when
// `odds` is empty.
std::vector<std::size_t> closestToTarget(const std::vector<OutcomeOdds>& odds, double target);

// The answer to a target in the words of `karnwick sweep --target`, as the
// window's caption repeats it: "Closest to 50.00%: Monster One wins 50.21% at
// hp 19", or for a tie "... at each of 34 values of hp (a tie): 19..52".
// Empty without odds.
std::string targetAnswer(double target, const std::string& field,
                         const std::vector<int16_t>& values, const std::vector<OutcomeOdds>& odds);

}  // namespace karnwick
