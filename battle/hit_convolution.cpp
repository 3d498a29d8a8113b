#include "battle/hit_convolution.h"

#include <fftw3.h>

#include <algorithm>
#include <bit>
#include <complex>
#include <mutex>
#include <tuple>

namespace karnwick {

namespace {

// FFTW's planner keeps shared state: plans are made and destroyed one at a
// time, while running them on their own arrays is safe on any thread.
std::mutex& plannerLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

// The arrays and plans of one transform size, and the damages' spectrum.
struct HitConvolution::Transform {
    int size;
    double* values;
    fftw_complex* spectrum;
    std::vector<std::complex<double>> damages;
    fftw_plan forward, backward;

    explicit Transform(int n) : size(n) {
        const std::lock_guard<std::mutex> guard(plannerLock());
        values = fftw_alloc_real(n);
        spectrum = fftw_alloc_complex(n / 2 + 1);
        forward = fftw_plan_dft_r2c_1d(n, values, spectrum, FFTW_ESTIMATE);
        backward = fftw_plan_dft_c2r_1d(n, spectrum, values, FFTW_ESTIMATE);
    }
    ~Transform() {
        const std::lock_guard<std::mutex> guard(plannerLock());
        fftw_destroy_plan(forward);
        fftw_destroy_plan(backward);
        fftw_free(values);
        fftw_free(spectrum);
    }
    Transform(const Transform&) = delete;
    Transform& operator=(const Transform&) = delete;
};

HitConvolution::~HitConvolution() = default;

HitConvolution::HitConvolution(const std::vector<AttackOutcomes::Hit>& hits, double total,
                               Method method)
    : m_method(method) {
    m_damage.reserve(hits.size());
    m_chance.reserve(hits.size());
    for (const auto& h : hits) {
        // A hit of 32767 or more fells any side; it never moves a chance.
        if (h.damage >= 32767) break;
        m_damage.push_back(h.damage);
        m_chance.push_back(h.chance / total);
    }
}

std::pair<int, int> HitConvolution::step(const std::vector<double>& now, int lo, int hi,
                                         std::vector<double>& next) {
    // Damages that leave a side at hi standing.
    const auto reach = std::lower_bound(m_damage.begin(), m_damage.end(), hi) - m_damage.begin();
    if (reach == 0) return {1, 0};
    const int newLo = std::max(1, lo - m_damage[reach - 1]);
    const int newHi = hi - m_damage[0];
    const long long width = hi - lo + 1;

    bool useTransform = m_method == Method::Transform;
    if (m_method == Method::Choose) {
        const int size =
            static_cast<int>(std::bit_ceil(static_cast<unsigned>(width + m_damage[reach - 1])));
        useTransform = width * reach > 4LL * size * std::bit_width(static_cast<unsigned>(size));
    }
    if (useTransform) {
        transform(now, lo, hi, newLo, newHi, next);
        return {newLo, newHi};
    }

    std::fill(next.begin() + newLo, next.begin() + newHi + 1, 0.0);
    for (std::ptrdiff_t j = 0; j < reach; ++j) {
        const int x = m_damage[j];
        const double q = m_chance[j];
        const int from = std::max(1, lo - x), to = hi - x;
        const double* source = now.data() + x;
        double* target = next.data();
        for (int h = from; h <= to; ++h) target[h] += q * source[h];
    }
    return {newLo, newHi};
}

void HitConvolution::transform(const std::vector<double>& now, int lo, int hi, int newLo, int newHi,
                               std::vector<double>& next) {
    // next[h] = sum over x of q(x) now[h + x]: a convolution of now[lo..] with
    // the damages reversed, d[X - x] = q(x), X the largest damage used; the
    // spectrum of d is kept per transform size.
    const int top = static_cast<int>(now.size()) - 1;
    const auto usable = std::lower_bound(m_damage.begin(), m_damage.end(), top) - m_damage.begin();
    const int largest = m_damage[usable - 1];
    const int width = hi - lo + 1;
    const auto size = static_cast<int>(std::bit_ceil(static_cast<unsigned>(width + largest)));
    const auto level = static_cast<std::size_t>(std::bit_width(static_cast<unsigned>(size)));
    if (m_transforms.size() <= level) m_transforms.resize(level + 1);
    if (!m_transforms[level]) {
        auto made = std::make_unique<Transform>(size);
        std::fill(made->values, made->values + size, 0.0);
        for (std::ptrdiff_t j = 0; j < usable; ++j)
            made->values[largest - m_damage[j]] = m_chance[j];
        fftw_execute(made->forward);
        made->damages.assign(
            reinterpret_cast<std::complex<double>*>(made->spectrum),
            reinterpret_cast<std::complex<double>*>(made->spectrum) + size / 2 + 1);
        m_transforms[level] = std::move(made);
    }
    Transform& t = *m_transforms[level];
    double peak = 0.0;
    for (int i = 0; i < width; ++i) {
        t.values[i] = now[lo + i];
        peak = std::max(peak, now[lo + i]);
    }
    std::fill(t.values + width, t.values + size, 0.0);
    fftw_execute(t.forward);
    for (int i = 0; i <= size / 2; ++i) {
        const double xr = t.spectrum[i][0], xi = t.spectrum[i][1];
        const double yr = t.damages[i].real(), yi = t.damages[i].imag();
        t.spectrum[i][0] = xr * yr - xi * yi;
        t.spectrum[i][1] = xr * yi + xi * yr;
    }
    fftw_execute(t.backward);
    // Below this the transform's own rounding is all there is.
    const double noise = 1e-16 * static_cast<double>(level) * peak;
    for (int h = newLo; h <= newHi; ++h) {
        const double value = t.values[h - lo + largest] / size;
        next[h] = value > noise ? value : 0.0;
    }
}

double activeChance(const AttackOutcomes& attack) {
    double active = attack.fault;
    for (const auto& h : attack.hits) active += h.chance;
    return active;
}

HitWalk::HitWalk(const AttackOutcomes& attack, int top)
    : m_convolution(attack.hits, activeChance(attack)),
      m_now(static_cast<std::size_t>(top) + 1, 0.0),
      m_next(static_cast<std::size_t>(top) + 1, 0.0),
      m_lo(top),
      m_hi(top) {
    m_now[top] = 1.0;
}

double HitWalk::mass() const {
    double mass = 0.0;
    for (int h = m_lo; h <= m_hi; ++h) mass += m_now[h];
    return mass;
}

void HitWalk::hit() {
    std::tie(m_lo, m_hi) = m_convolution.step(m_now, m_lo, m_hi, m_next);
    while (m_lo <= m_hi && m_next[m_lo] < kNegligible) ++m_lo;
    while (m_lo <= m_hi && m_next[m_hi] < kNegligible) --m_hi;
    std::swap(m_now, m_next);
}

std::ptrdiff_t firstFelling(const std::vector<AttackOutcomes::Hit>& hits, int16_t hitPoints) {
    return std::partition_point(hits.begin(), hits.end(),
                                [&](const AttackOutcomes::Hit& h) {
                                    const Checked<int16_t> left = applyHit(hitPoints, h.damage);
                                    return left.ok() && isStanding(left.value);
                                }) -
           hits.begin();
}

std::ptrdiff_t firstOverflowing(const std::vector<AttackOutcomes::Hit>& hits, int16_t hitPoints) {
    return std::partition_point(
               hits.begin(), hits.end(),
               [&](const AttackOutcomes::Hit& h) { return applyHit(hitPoints, h.damage).ok(); }) -
           hits.begin();
}

}  // namespace karnwick
