#pragma once
// Sprite drawing for the demo set. Creatures are built from shaded parts (ellipses, tapered
// limbs, polygons) in design coordinates: u is the distance from the sprite's
// middle (columns 44 and 45 meet there), y runs down from 0 to the ground at
// 97. Every part is sampled at |u|, so a part drawn at u = 20 appears on both
// sides and every sprite is left-right symmetric to the pixel.

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "data/sprite.h"
#include "demo/palette.h"

namespace karnwick::demo {

inline constexpr double kGround = 97.0;
inline constexpr double kPi = 3.14159265358979323846;

struct Vec {
    double u, y;
};

struct Style {
    bool outline = true;
    bool overOnly = false;  // paints only where the creature already is
    int flatLevel = -1;     // a fixed level instead of shading
};

struct Normal {
    double x, y, z;
};

class Painter {
  public:
    Painter(double scale, double girth) : m_scale(scale), m_girth(girth) { m_px.fill(0); }

    void ellipse(double u, double cy, double rx, double ry, int ramp, double angleDeg = 0,
                 Style style = {}) {
        const double c = std::cos(angleDeg * kPi / 180), s = std::sin(angleDeg * kPi / 180);
        auto local = [=](Vec p) {
            const double dx = p.u - u, dy = p.y - cy;
            return Vec{(dx * c + dy * s) / rx, (-dx * s + dy * c) / ry};
        };
        const double reach = std::max(rx, ry) + 1;
        paint(
            {u - reach, cy - reach, u + reach, cy + reach},
            [=](Vec p) {
                const Vec l = local(p);
                return l.u * l.u + l.y * l.y <= 1.0;
            },
            [=](Vec p) {
                const Vec l = local(p);
                const double nz = std::sqrt(std::max(0.0, 1.0 - l.u * l.u - l.y * l.y));
                return Normal{l.u * c - l.y * s, l.u * s + l.y * c, nz};
            },
            ramp, style);
    }

    // A limb, horn or tentacle: a segment whose radius runs from ra to rb.
    void limb(Vec a, Vec b, double ra, double rb, int ramp, Style style = {}) {
        const double ex = b.u - a.u, ey = b.y - a.y;
        const double len2 = std::max(ex * ex + ey * ey, 1e-9);
        auto nearest = [=](Vec p, double& r) {
            const double t = std::clamp(((p.u - a.u) * ex + (p.y - a.y) * ey) / len2, 0.0, 1.0);
            r = ra + (rb - ra) * t;
            return Vec{p.u - (a.u + ex * t), p.y - (a.y + ey * t)};
        };
        const double reach = std::max(ra, rb) + 1;
        paint(
            {std::min(a.u, b.u) - reach, std::min(a.y, b.y) - reach, std::max(a.u, b.u) + reach,
             std::max(a.y, b.y) + reach},
            [=](Vec p) {
                double r;
                const Vec d = nearest(p, r);
                return d.u * d.u + d.y * d.y <= r * r;
            },
            [=](Vec p) {
                double r;
                const Vec d = nearest(p, r);
                const double nx = d.u / r, ny = d.y / r;
                return Normal{nx, ny, std::sqrt(std::max(0.0, 1.0 - nx * nx - ny * ny))};
            },
            ramp, style);
    }

    // A chain of limbs through the points, tapering from ra to rb.
    void chain(const std::vector<Vec>& points, double ra, double rb, int ramp) {
        for (std::size_t i = 0; i + 1 < points.size(); ++i) {
            const double t0 = double(i) / double(points.size() - 1);
            const double t1 = double(i + 1) / double(points.size() - 1);
            limb(points[i], points[i + 1], ra + (rb - ra) * t0, ra + (rb - ra) * t1, ramp);
        }
    }

    // A flat part (wing skin, spike, tooth, robe) with a light top and a
    // darker bottom.
    void polygon(std::initializer_list<Vec> pts, int ramp, int level, Style style = {}) {
        std::vector<Vec> poly(pts);
        double top = 1e9, bottom = -1e9, left = 1e9, right = -1e9;
        for (const Vec& p : poly) {
            top = std::min(top, p.y), bottom = std::max(bottom, p.y);
            left = std::min(left, p.u), right = std::max(right, p.u);
        }
        const double height = std::max(bottom - top, 1.0);
        style.flatLevel = -1;
        paint(
            {left - 1, top - 1, right + 1, bottom + 1},
            [poly](Vec p) {
                bool in = false;
                for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
                    const Vec &a = poly[i], &b = poly[j];
                    if ((a.y > p.y) != (b.y > p.y) &&
                        p.u < (b.u - a.u) * (p.y - a.y) / (b.y - a.y) + a.u)
                        in = !in;
                }
                return in;
            },
            [=](Vec p) {
                const double t = (p.y - top) / height;
                return Normal{0, -1, double(level) - 3.0 * t};  // a level, see shade()
            },
            ramp, style, true);
    }

    void eye(double u, double cy, double r, int ramp, bool slit = false) {
        ellipse(u, cy, r, r * 0.9, ramp);
        if (slit)
            ellipse(u, cy, r * 0.28, r * 0.8, Grey, 0, {false, true, 2});
        else
            ellipse(u, cy + r * 0.1, r * 0.45, r * 0.5, Grey, 0, {false, true, 2});
        if (r >= 2.4) ellipse(u - r * 0.35, cy - r * 0.4, 0.6, 0.6, Grey, 0, {false, true, 15});
    }

    void fang(double u, double y, double length, double width) {
        polygon({{u - width, y}, {u + width, y}, {u, y + length}}, Bone, 14);
    }

    std::vector<unsigned char> bytes() const { return {m_px.begin(), m_px.end()}; }

  private:
    struct Box {
        double u0, y0, u1, y1;
    };

    Vec designPoint(int x, int y) const {
        const double u = std::fabs(x + 0.5 - kSpriteWidth / 2.0) / (m_scale * m_girth);
        const double yy = kGround - (kGround - (y + 0.5)) / m_scale;
        return {u, yy};
    }

    template <typename Inside, typename Shade>
    void paint(Box box, Inside inside, Shade normal, int ramp, Style style, bool flat = false) {
        // The box in pixels, on both sides of the middle.
        const double half = kSpriteWidth / 2.0;
        const double reachU = std::max(std::fabs(box.u0), std::fabs(box.u1)) * m_scale * m_girth;
        const int x0 = std::max(0, int(std::floor(half - reachU)) - 2);
        const int x1 = std::min(kSpriteWidth - 1, int(std::ceil(half + reachU)) + 2);
        const int y0 = std::max(0, int(std::floor(kGround - (kGround - box.y0) * m_scale)) - 2);
        const int y1 =
            std::min(kSpriteHeight - 1, int(std::ceil(kGround - (kGround - box.y1) * m_scale)) + 2);
        auto at = [&](int x, int y) {
            if (x < 0 || y < 0 || x >= kSpriteWidth || y >= kSpriteHeight) return false;
            if (style.overOnly && m_px[y * kSpriteWidth + x] == 0) return false;
            return inside(designPoint(x, y));
        };
        std::array<unsigned char, kSpriteBytes> next = m_px;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                if (!at(x, y)) continue;
                const bool edge = style.outline && (!at(x - 1, y) || !at(x + 1, y) ||
                                                    !at(x, y - 1) || !at(x, y + 1));
                int level = kOutline;
                if (!edge) {
                    if (style.flatLevel >= 0)
                        level = style.flatLevel;
                    else if (flat)
                        level = std::clamp(int(std::lround(normal(designPoint(x, y)).z)), 2, 15);
                    else
                        level = shade(normal(designPoint(x, y)));
                }
                next[y * kSpriteWidth + x] = colour(ramp, level);
            }
        }
        m_px = next;
    }

    // Light from above and in front, so both halves are lit alike.
    static int shade(const Normal& n) {
        const double lx = 0, ly = -0.55, lz = 0.835;
        const double lambert = n.x * lx + n.y * ly + n.z * lz;
        if (lambert > 0.97) return 15;
        const double v = 0.12 + 0.88 * std::max(0.0, lambert);
        return std::clamp(2 + int(std::lround(v * 12)), 2, 14);
    }

    double m_scale;
    double m_girth;
    std::array<unsigned char, kSpriteBytes> m_px{};
};

}  // namespace karnwick::demo
