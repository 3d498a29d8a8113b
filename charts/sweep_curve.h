#pragma once
// What a balance curve shows, in game terms and without Qt: the sweep the
// command line prints and the arena's Sweep tab computes, handed to the
// drawing in charts/sweep_chart.h.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "battle/odds.h"

namespace karnwick::charts {

// Monster `one` against monster `two` (index and name each), with `field` of
// monster `swept` going from `from` to `to` by `step`.
struct SweptMatchUp {
    int one = 0, two = 0;
    std::string oneName, twoName;
    int swept = 0;
    std::string field;
    int from = 0, to = 0, step = 1;
};

// A sweep with its answers: the odds found at each of `values` (while a sweep
// is still being worked out, fewer odds than values) and the target chance.
struct SweepCurve : SweptMatchUp {
    std::vector<int16_t> values;
    std::vector<OutcomeOdds> odds;
    std::optional<double> target;
};

}  // namespace karnwick::charts
