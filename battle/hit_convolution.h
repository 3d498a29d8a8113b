#pragma once
// One hit on every hit-point value a side may stand at: the chances after the
// hit are the chances before it, each moved down by each damage and weighed by
// its chance. Narrow cases are summed directly; wide ones (thousands of hit
// points against thousands of damages) go through a fast Fourier transform.

#include <complex>
#include <utility>
#include <vector>

#include "battle/odds.h"

namespace karnwick {

class HitConvolution {
  public:
    enum class Method { Choose, Direct, Transform };

    // hits by rising damage; each chance is divided by `total`.
    HitConvolution(const std::vector<AttackOutcomes::Hit>& hits, double total,
                   Method method = Method::Choose);
    ~HitConvolution();
    HitConvolution(const HitConvolution&) = delete;
    HitConvolution& operator=(const HitConvolution&) = delete;

    // next[h] for h in the returned window (lo > hi when empty): the chance of
    // standing at h after one more hit, from now[lo..hi]. Only hit points of 1
    // and more are kept; next must be as long as now.
    std::pair<int, int> step(const std::vector<double>& now, int lo, int hi,
                             std::vector<double>& next);

  private:
    void transform(const std::vector<double>& now, int lo, int hi, int newLo, int newHi,
                   std::vector<double>& next);

    struct Transform;

    std::vector<int> m_damage;
    std::vector<double> m_chance;
    Method m_method;
    // One per transform size (by its power of two), made when first needed.
    std::vector<std::unique_ptr<Transform>> m_transforms;
};

}  // namespace karnwick
