#include "filters/rotate.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "core/bands.h"

namespace vora {
namespace {

constexpr double kPi = 3.1415926;  // the value the angle conversion uses
constexpr int kTile = 64;          // square blocks of the quarter-turn copy
// Larger extents are refused rather than sized into an impossible allocation.
constexpr double kMaxExtent = 1 << 30;

bool planes_fit(const ImageRecord& r) {
    if (!r.occupied()) return false;
    for (int c = 0; c < 3; ++c)
        if (r.plane(c).size() != r.sample_count()) return false;
    return true;
}

// Copies one plane turned by a quarter: destination row j, column i takes source column
// col(j, i) of row row(j, i). Bands over destination rows, square tiles within them so
// that both sides stay in cache.
template <class Source>
void quarter_copy(const uint16_t* src, int32_t w, uint16_t* dst, int32_t dst_w, int32_t dst_h,
                  Source source) {
    run_bands(dst_h, [&](int, int begin, int end) {
        for (int j0 = begin; j0 < end; j0 += kTile) {
            const int j1 = std::min(end, j0 + kTile);
            for (int i0 = 0; i0 < dst_w; i0 += kTile) {
                const int i1 = std::min(dst_w, i0 + kTile);
                for (int j = j0; j < j1; ++j) {
                    uint16_t* out = dst + std::size_t(j) * std::size_t(dst_w);
                    for (int i = i0; i < i1; ++i) {
                        const auto [x, y] = source(j, i);
                        out[i] = src[std::size_t(y) * std::size_t(w) + std::size_t(x)];
                    }
                }
            }
        }
    });
}

// 180°: (x, y) and (W−1−x, H−1−y) trade places, so the plane is turned in place.
void half_turn(Plane& plane, int32_t w, int32_t h) {
    run_bands((h + 1) / 2, [&](int, int begin, int end) {
        for (int y = begin; y < end; ++y) {
            uint16_t* a = plane.data() + std::size_t(y) * std::size_t(w);
            uint16_t* b = plane.data() + std::size_t(h - 1 - y) * std::size_t(w);
            if (a == b) {
                std::reverse(a, a + w);
                continue;
            }
            for (int x = 0; x < w; ++x) std::swap(a[x], b[w - 1 - x]);
        }
    });
}

// Interpolated samples of destination rows begin..end-1 for all three planes; the column
// products of step 3 come precomputed, so each sample costs the same operations as the
// written formula and gives bit-identical positions.
struct AnyRows {
    const AnyRotation& g;
    std::array<const uint16_t*, 3> src;
    std::array<uint16_t*, 3> dst;
    const std::vector<double>& dx_cs;
    const std::vector<double>& dx_sn;

    void run(int begin, int end) const {
        const double half_w = g.width / 2.0, half_h = g.height / 2.0;
        const std::size_t sw = std::size_t(g.width);
        for (int y = begin; y < end; ++y) {
            const double dy = g.oy - y;
            const double dy_sn = dy * g.sn, dy_cs = dy * g.cs;
            const std::size_t row = std::size_t(y) * std::size_t(g.new_width);
            for (int x = 0; x < g.new_width; ++x) {
                const double u = dx_cs[std::size_t(x)] - dy_sn + half_w;
                const double v = half_h - (dx_sn[std::size_t(x)] + dy_cs);
                const double uf = std::floor(u), vf = std::floor(v);
                // Only positions with a right and an upper neighbour are interpolated.
                if (!(uf >= 0 && uf < g.width - 1 && vf >= 0 && vf < g.height - 1)) {
                    for (int c = 0; c < 3; ++c) dst[std::size_t(c)][row + std::size_t(x)] = 0;
                    continue;
                }
                const int64_t fx = int64_t((u - uf) * 256), fy = int64_t((v - vf) * 256);
                const std::size_t i00 = std::size_t(vf) * sw + std::size_t(uf);
                for (int c = 0; c < 3; ++c) {
                    const uint16_t* p = src[std::size_t(c)];
                    const int64_t top = p[i00 + sw + 1] * fx + p[i00 + sw] * (256 - fx);
                    const int64_t bottom = p[i00 + 1] * fx + p[i00] * (256 - fx);
                    dst[std::size_t(c)][row + std::size_t(x)] =
                        uint16_t((top * fy + bottom * (256 - fy)) / 256 / 256);
                }
            }
        }
    }
};

}  // namespace

void rotate_quarter(ImageRecord& r, int32_t angle) {
    const bool left = angle == 90000, right = angle == -90000;
    const bool half = angle == 180000 || angle == -180000;
    if (!(left || right || half) || !planes_fit(r)) return;
    const int32_t w = r.width, h = r.height;
    if (half) {
        for (int c = 0; c < 3; ++c) half_turn(r.plane(c), w, h);
        return;
    }
    // The turned plane has as many samples as the old one: one scratch plane serves all
    // three, taking each old plane in turn.
    Plane scratch(r.sample_count());
    for (int c = 0; c < 3; ++c) {
        const uint16_t* src = r.plane(c).data();
        if (left)  // new (column H−1−y, row x) = old (x, y)
            quarter_copy(src, w, scratch.data(), h, w, [h](int j, int i) {
                return std::pair{j, h - 1 - i};
            });
        else  // new (column y, row W−1−x) = old (x, y)
            quarter_copy(src, w, scratch.data(), h, w, [w](int j, int i) {
                return std::pair{w - 1 - j, i};
            });
        std::swap(scratch, r.plane(c));
    }
    r.width = h;
    r.height = w;
}

AnyRotation plan_any_rotation(int32_t width, int32_t height, int32_t angle) {
    AnyRotation g;
    g.width = width;
    g.height = height;
    const double theta = angle / 1000.0 / 180.0 * kPi;
    g.cs = std::cos(theta);
    g.sn = std::sin(theta);
    const double w = width, h = height;
    const double xs[4] = {0, w * g.cs - h * g.sn, w * g.cs, -h * g.sn};
    const double ys[4] = {0, w * g.sn + h * g.cs, w * g.sn, h * g.cs};
    const auto [x_lo, x_hi] = std::minmax_element(xs, xs + 4);
    const auto [y_lo, y_hi] = std::minmax_element(ys, ys + 4);
    const double ew = *x_hi - *x_lo, eh = *y_hi - *y_lo;
    g.ox = std::floor(ew) / 2;
    g.oy = std::floor(eh) / 2;
    if (width < 1 || height < 1 || !(ew >= 1 && eh >= 1 && ew < kMaxExtent && eh < kMaxExtent))
        return g;  // new size stays 0: nothing to turn
    g.new_width = int32_t(ew);
    g.new_height = int32_t(eh);
    return g;
}

RotationPoint move_point(const AnyRotation& g, RotationPoint p) {
    const double du = p.x - g.width / 2.0, dv = p.y - g.height / 2.0;
    const double norm = g.cs * g.cs + g.sn * g.sn;
    return {(g.cs * du - g.sn * dv) / norm + g.ox, (g.sn * du + g.cs * dv) / norm + g.oy};
}

void rotate_any(ImageRecord& r, int32_t angle, int32_t selector, RotationPoints* points) {
    if (!planes_fit(r)) return;
    const AnyRotation g = plan_any_rotation(r.width, r.height, angle);
    if (g.new_width < 1 || g.new_height < 1) return;
    std::vector<double> dx_cs(std::size_t(g.new_width)), dx_sn(std::size_t(g.new_width));
    for (int x = 0; x < g.new_width; ++x) {
        const double dx = x - g.ox;
        dx_cs[std::size_t(x)] = dx * g.cs;
        dx_sn[std::size_t(x)] = dx * g.sn;
    }
    const std::size_t count = std::size_t(g.new_width) * std::size_t(g.new_height);
    std::array<Plane, 3> turned{Plane(count), Plane(count), Plane(count)};
    const AnyRows rows{g,
                       {r.red.data(), r.green.data(), r.blue.data()},
                       {turned[0].data(), turned[1].data(), turned[2].data()},
                       dx_cs,
                       dx_sn};
    run_bands(g.new_height, [&rows](int, int begin, int end) { rows.run(begin, end); });
    for (int c = 0; c < 3; ++c) std::swap(r.plane(c), turned[std::size_t(c)]);
    r.width = g.new_width;
    r.height = g.new_height;
    if (points && selector >= 0 && selector <= 3) {
        RotationPointPair& pair = (*points)[std::size_t(selector)];
        pair.a = move_point(g, pair.a);
        pair.b = move_point(g, pair.b);
    }
}

void rotate_any_kernel(ImageRecord& r, int32_t angle, int32_t selector) {
    rotate_any(r, angle, selector, nullptr);
}

}  // namespace vora
