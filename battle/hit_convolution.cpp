#include "battle/hit_convolution.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace karnwick {

namespace {

// Iterative radix-2 transform of a power-of-two length, in place, with the
// roots e^(-2 pi i k / n) for k < n / 2; `inverse` turns the angles round
// (the caller scales by 1 / n).
void fourier(std::vector<std::complex<double>>& a, const std::vector<std::complex<double>>& roots,
             bool inverse) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::size_t stride = n / len;
        for (std::size_t i = 0; i < n; i += len) {
            for (std::size_t j = 0; j < len / 2; ++j) {
                const std::complex<double> root =
                    inverse ? std::conj(roots[j * stride]) : roots[j * stride];
                const std::complex<double> u = a[i + j];
                const std::complex<double> v = a[i + j + len / 2] * root;
                a[i + j] = u + v;
                a[i + j + len / 2] = u - v;
            }
        }
    }
}

// Each root from its own angle, so that the error does not grow with n.
std::vector<std::complex<double>> rootsOfUnity(std::size_t n) {
    std::vector<std::complex<double>> roots(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k) {
        const double angle =
            2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(n);
        roots[k] = {std::cos(angle), -std::sin(angle)};
    }
    return roots;
}

}  // namespace

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
        const int size = static_cast<int>(std::bit_ceil(static_cast<unsigned>(width + m_damage[reach - 1])));
        useTransform = width * reach > 12LL * size * std::bit_width(static_cast<unsigned>(size));
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

void HitConvolution::transform(const std::vector<double>& now, int lo, int hi, int newLo,
                               int newHi, std::vector<double>& next) {
    // next[h] = sum over x of q(x) now[h + x]: a convolution of now[lo..] with
    // the damages reversed, d[X - x] = q(x), X the largest damage used; the
    // spectrum of d is kept per transform size.
    const int top = static_cast<int>(now.size()) - 1;
    const auto usable = std::lower_bound(m_damage.begin(), m_damage.end(), top) - m_damage.begin();
    const int largest = m_damage[usable - 1];
    const int width = hi - lo + 1;
    const unsigned size = std::bit_ceil(static_cast<unsigned>(width + largest));
    const int level = std::bit_width(size);
    if (m_spectra.size() <= static_cast<std::size_t>(level)) {
        m_spectra.resize(level + 1);
        m_roots.resize(level + 1);
    }
    std::vector<std::complex<double>>& spectrum = m_spectra[level];
    const std::vector<std::complex<double>>& roots = m_roots[level];
    if (spectrum.empty()) {
        m_roots[level] = rootsOfUnity(size);
        spectrum.assign(size, 0.0);
        for (std::ptrdiff_t j = 0; j < usable; ++j) spectrum[largest - m_damage[j]] = m_chance[j];
        fourier(spectrum, roots, false);
    }
    m_work.assign(size, 0.0);
    double peak = 0.0;
    for (int i = 0; i < width; ++i) {
        m_work[i] = now[lo + i];
        peak = std::max(peak, now[lo + i]);
    }
    fourier(m_work, roots, false);
    for (unsigned i = 0; i < size; ++i) m_work[i] *= spectrum[i];
    fourier(m_work, roots, true);
    // Below this the transform's own rounding is all there is.
    const double noise = 1e-16 * level * peak;
    for (int h = newLo; h <= newHi; ++h) {
        const double value = m_work[h - lo + largest].real() / size;
        next[h] = value > noise ? value : 0.0;
    }
}

}  // namespace karnwick
