#pragma once
// One hit on every hit-point value a side may stand at: the chances after the
// hit are the chances before it, each moved down by each damage and weighed by
// its chance. Narrow cases are summed directly; wide ones (thousands of hit
// points against thousands of damages) go through a fast Fourier transform.

#include <complex>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "battle/odds_detail.h"

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

// Chances this small are dropped from a side's walk: the total they could
// carry over a whole battle stays far below the doubles' own rounding.
inline constexpr double kNegligible = 1e-30;

// The chance of an attack that changes something: a fault or a hit for damage.
double activeChance(const AttackOutcomes& attack);

// A side under attack, hit by hit: after k hits (the attacks that change
// something), the chance that it stands at each hit point value, given k
// such attacks. It starts at `top` with chance 1; negligible tails are dropped
// after each hit. Only for attacks whose activeChance is above 0.
class HitWalk {
  public:
    HitWalk(const AttackOutcomes& attack, int top);

    // The window of hit points still held; empty (lo > hi) once nothing stands.
    int lo() const { return m_lo; }
    int hi() const { return m_hi; }
    bool standing() const { return m_lo <= m_hi; }
    double at(int hitPoints) const { return m_now[hitPoints]; }
    // Everything still standing.
    double mass() const;

    void hit();

  private:
    HitConvolution m_convolution;
    std::vector<double> m_now, m_next;
    int m_lo, m_hi;
};

// Where a hit of hits[i] on `hitPoints` stops leaving the side standing, and
// where it starts to overflow: both are monotone in the damage, so each is
// one index of the hits by rising damage.
std::ptrdiff_t firstFelling(const std::vector<AttackOutcomes::Hit>& hits, int16_t hitPoints);
std::ptrdiff_t firstOverflowing(const std::vector<AttackOutcomes::Hit>& hits, int16_t hitPoints);

}  // namespace karnwick
