#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "core/bands.h"
#include "io/raw_develop_passes.h"

namespace vora::raw_pass {
namespace {

// With the parameters limited to their ranges, S × f, the hue and the saturation products stay
// below 2^31; c'' × g' needs 64 bits, or unsigned 32 when c'' > 0 (c'' < 135440, g' < 16384).
using Rgb = std::array<int32_t, 3>;

struct ColorJob {
    uint16_t* const* planes;  // read and overwritten row by row
    const uint16_t* grey;
    const GreySharpener& sharp;
    int32_t width, height;
    ColorParams p;
};

// The unchanged values of a row's neighbourhood: rows[c][dy + 1] is colour c of row + dy,
// nullptr outside the image.
struct SourceRows {
    const uint16_t* rows[3][3];
};

// c = (c + (S × f) / n) / (f + 1) with S the colour's sum over the 3 × 3 neighbours inside the
// image and n their number; a pixel without neighbours keeps its colours.
Rgb reduce_false_color(const ColorJob& j, const SourceRows& s, int32_t x, Rgb c) {
    Rgb sum{0, 0, 0};
    int32_t n = 0;
    for (int32_t dy = -1; dy <= 1; ++dy) {
        if (!s.rows[0][dy + 1]) continue;
        for (int32_t nx = std::max(x - 1, 0); nx <= std::min(x + 1, j.width - 1); ++nx) {
            if (nx == x && dy == 0) continue;
            for (std::size_t k = 0; k < 3; ++k) sum[k] += s.rows[k][dy + 1][nx];
            ++n;
        }
    }
    if (n == 0) return c;
    const int32_t f = j.p.false_color;
    for (std::size_t k = 0; k < 3; ++k) {
        const int32_t share = n == 8 ? sum[k] * f / 8 : sum[k] * f / n;  // 8: constant divisor
        c[k] = (c[k] + share) / (f + 1);
    }
    return c;
}

// Each colour takes a share h / 120 of its neighbour in the hue circle: blue → red → green →
// blue for h > 0, the other way for h < 0.
Rgb shift_hue(const Rgb& c, int32_t h) {
    if (h == 0) return c;
    const int32_t a = h > 0 ? h : -h;
    const std::size_t from[3] = {h > 0 ? 2u : 1u, h > 0 ? 0u : 2u, h > 0 ? 1u : 0u};
    Rgb out;
    for (std::size_t k = 0; k < 3; ++k) out[k] = ((120 - a) * c[k] + a * c[from[k]]) / 120;
    return out;
}

int32_t saturation_factor(const ColorParams& p) {
    return p.saturation * 15 + (p.hue_shift < 0 ? -p.hue_shift : p.hue_shift);
}

std::array<uint16_t, 3> color_pixel(const ColorJob& j, const SourceRows& s, int32_t x,
                                    int32_t row) {
    const std::size_t i = std::size_t(row) * std::size_t(j.width) + std::size_t(x);
    const int64_t g = j.grey[i];
    if (g == 0) return {0, 0, 0};
    Rgb c{s.rows[0][1][x], s.rows[1][1][x], s.rows[2][1][x]};
    if (j.p.false_color > 0) c = reduce_false_color(j, s, x, c);
    c = shift_hue(c, j.p.hue_shift);
    const int32_t m = (c[0] + c[1] + c[2]) / 3;
    const int32_t k = saturation_factor(j.p);
    const int64_t sharp = j.sharp.at(x, row);
    std::array<uint16_t, 3> out;
    for (std::size_t n = 0; n < 3; ++n) {
        const int64_t saturated = c[n] + ((c[n] - m) * k) / 60;
        out[n] = saturated <= 0 ? 0 : uint16_t(std::min<int64_t>(saturated * sharp / g, 65535));
    }
    return out;
}

void put_pixel(const ColorJob& j, const SourceRows& s, int32_t x, int32_t row) {
    const std::array<uint16_t, 3> v = color_pixel(j, s, x, row);
    const std::size_t i = std::size_t(row) * std::size_t(j.width) + std::size_t(x);
    for (std::size_t k = 0; k < 3; ++k) j.planes[k][i] = v[k];
}

// Pixels per run of the interior loops: their scratch lines stay in the first-level cache.
constexpr int32_t kRun = 256;

struct RunLines {
    int32_t c[3][kRun];   // colours after the false-colour reduction and the hue
    int32_t sharp[kRun];  // sharpened grey
};

// The false-colour reduction of one colour over a run: c = (c + (S × F) / 8) / (F + 1) with S
// the sum of all eight neighbours.
template <int32_t F>
[[gnu::always_inline]] inline void reduce_run(const uint16_t* down, const uint16_t* mid,
                                              const uint16_t* up, int32_t n, int32_t* c) {
    for (int32_t x = 0; x < n; ++x) {
        if constexpr (F == 0) {
            c[x] = mid[x];
        } else {
            const uint32_t sum = uint32_t(down[x - 1]) + down[x] + down[x + 1] + mid[x - 1] +
                                 mid[x + 1] + up[x - 1] + up[x] + up[x + 1];
            c[x] = int32_t((mid[x] + sum * F / 8) / (F + 1));
        }
    }
}

// Hue, saturation and the sharpening carried into the colours, for a run whose colours and
// sharpened grey are in `lines`. out = c'' × g' / g truncated, with c'' × g' < 2^32 exact in a
// double, and the double quotient truncating to the whole quotient (its error is below
// 2^-21, a fractional part is at least 1 / g ≥ 2^-16 away from a whole number).
[[gnu::always_inline]] inline void finish_run(RunLines& l, const uint16_t* grey, int32_t n,
                                              int32_t h, int32_t k, uint16_t* const out[3]) {
    if (h != 0) {
        const int32_t a = h > 0 ? h : -h;
        const int f0 = h > 0 ? 2 : 1, f1 = h > 0 ? 0 : 2, f2 = h > 0 ? 1 : 0;
        for (int32_t x = 0; x < n; ++x) {
            const uint32_t c0 = uint32_t(l.c[0][x]), c1 = uint32_t(l.c[1][x]),
                           c2 = uint32_t(l.c[2][x]);
            const uint32_t from[3] = {c0, c1, c2};
            l.c[0][x] = int32_t((uint32_t(120 - a) * c0 + uint32_t(a) * from[f0]) / 120);
            l.c[1][x] = int32_t((uint32_t(120 - a) * c1 + uint32_t(a) * from[f1]) / 120);
            l.c[2][x] = int32_t((uint32_t(120 - a) * c2 + uint32_t(a) * from[f2]) / 120);
        }
    }
    for (int32_t x = 0; x < n; ++x) {
        const int32_t g = grey[x];
        const int32_t m = int32_t(uint32_t(l.c[0][x] + l.c[1][x] + l.c[2][x]) / 3);
        const double scale = double(l.sharp[x]);
        const double divisor = double(std::max(g, 1));
        for (int c = 0; c < 3; ++c) {
            const int32_t saturated = l.c[c][x] + ((l.c[c][x] - m) * k) / 60;
            const double q = std::min(double(saturated) * scale / divisor, 65535.0);
            out[c][x] = uint16_t(saturated > 0 && g != 0 ? int32_t(q) : 0);
        }
    }
}

// color_pixel for the pixels x0..x1-1 of a row whose neighbourhoods (false colour and
// sharpening) lie wholly inside the image; F is the false-colour reduction.
template <int32_t F>
[[gnu::always_inline]] inline void color_inside_impl(const ColorJob& j, const SourceRows& s,
                                                     int32_t row, int32_t x0, int32_t x1) {
    const std::size_t base = std::size_t(row) * std::size_t(j.width);
    const int32_t k = saturation_factor(j.p);
    RunLines lines;
    for (int32_t x = x0; x < x1; x += kRun) {
        const int32_t n = std::min(kRun, x1 - x);
        for (int c = 0; c < 3; ++c)
            reduce_run<F>(s.rows[c][0] + x, s.rows[c][1] + x, s.rows[c][2] + x, n, lines.c[c]);
        j.sharp.inside_run(base + std::size_t(x), n, lines.sharp);
        uint16_t* const out[3] = {j.planes[0] + base + x, j.planes[1] + base + x,
                                  j.planes[2] + base + x};
        finish_run(lines, j.grey + base + x, n, j.p.hue_shift, k, out);
    }
}

#define VORA_COLOR_INSIDE(F)                                                           \
    [[gnu::target_clones("avx2", "default")]] void color_inside_##F(                   \
        const ColorJob& j, const SourceRows& s, int32_t row, int32_t x0, int32_t x1) { \
        color_inside_impl<F>(j, s, row, x0, x1);                                       \
    }
VORA_COLOR_INSIDE(0)
VORA_COLOR_INSIDE(1)
VORA_COLOR_INSIDE(2)
VORA_COLOR_INSIDE(3)
VORA_COLOR_INSIDE(4)
#undef VORA_COLOR_INSIDE

using InsideFn = void (*)(const ColorJob&, const SourceRows&, int32_t, int32_t, int32_t);

void color_row(const ColorJob& j, const SourceRows& s, int32_t row) {
    static constexpr InsideFn inside[5] = {color_inside_0, color_inside_1, color_inside_2,
                                           color_inside_3, color_inside_4};
    const int32_t margin = j.sharp.radius();  // at least the false colour's 1
    if (row < margin || row >= j.height - margin || j.width <= 2 * margin) {
        for (int32_t x = 0; x < j.width; ++x) put_pixel(j, s, x, row);
        return;
    }
    for (int32_t x = 0; x < margin; ++x) put_pixel(j, s, x, row);
    inside[j.p.false_color](j, s, row, margin, j.width - margin);
    for (int32_t x = j.width - margin; x < j.width; ++x) put_pixel(j, s, x, row);
}

// Copies of unchanged rows for one band: the rows just below and above it (taken before any
// band starts, as the neighbouring bands overwrite them) and the band's previous and current
// row, each as three colour lines.
struct BandLines {
    uint16_t* below[3];
    uint16_t* above[3];
    uint16_t* previous[3];
    uint16_t* current[3];
};

void color_band(const ColorJob& j, BandLines lines, int32_t begin, int32_t end) {
    const std::size_t w = std::size_t(j.width);
    for (int32_t row = begin; row < end; ++row) {
        SourceRows s;
        for (std::size_t k = 0; k < 3; ++k) {
            uint16_t* const line = j.planes[k] + std::size_t(row) * w;
            std::copy(line, line + w, lines.current[k]);
            s.rows[k][0] = row == 0 ? nullptr : row == begin ? lines.below[k] : lines.previous[k];
            s.rows[k][1] = lines.current[k];
            s.rows[k][2] = row == j.height - 1 ? nullptr
                           : row + 1 == end    ? lines.above[k]
                                               : line + w;
        }
        color_row(j, s, row);
        for (std::size_t k = 0; k < 3; ++k) std::swap(lines.previous[k], lines.current[k]);
    }
}

}  // namespace

void color_pass_in_place(uint16_t* const planes[3], const uint16_t* grey,
                         const GreySharpener& sharp, int32_t width, int32_t height,
                         const ColorParams& params) {
    if (width < 1 || height < 1) return;
    const ColorParams p{std::clamp(params.false_color, 0, 4), std::clamp(params.hue_shift, -36, 36),
                        std::clamp(params.saturation, 0, 4)};
    const ColorJob job{planes, grey, sharp, width, height, p};
    const std::size_t w = std::size_t(width);
    std::vector<uint16_t> store(std::size_t(kBandCount) * 4 * 3 * w);
    BandLines lines[kBandCount];
    for (int b = 0; b < kBandCount; ++b) {
        uint16_t* at = store.data() + std::size_t(b) * 12 * w;
        BandLines& l = lines[b];
        for (uint16_t** set : {l.below, l.above, l.previous, l.current})
            for (std::size_t k = 0; k < 3; ++k, at += w) set[k] = at;
        const BandBounds band = band_bounds(height, b);
        if (band.begin >= band.end) continue;
        for (std::size_t k = 0; k < 3; ++k) {
            if (band.begin > 0) {
                const uint16_t* row = planes[k] + std::size_t(band.begin - 1) * w;
                std::copy(row, row + w, l.below[k]);
            }
            if (band.end < height) {
                const uint16_t* row = planes[k] + std::size_t(band.end) * w;
                std::copy(row, row + w, l.above[k]);
            }
        }
    }
    run_bands(height,
              [&](int band, int begin, int end) { color_band(job, lines[band], begin, end); });
}

void color_pass(const Plane* const in[3], const Plane& grey, const GreySharpener& sharp,
                int32_t width, int32_t height, const ColorParams& params, Plane* const out[3]) {
    const std::size_t n = std::size_t(std::max(width, 0)) * std::size_t(std::max(height, 0));
    for (std::size_t k = 0; k < 3; ++k)
        std::copy(in[k]->begin(), in[k]->begin() + std::ptrdiff_t(n), out[k]->begin());
    uint16_t* const planes[3] = {out[0]->data(), out[1]->data(), out[2]->data()};
    color_pass_in_place(planes, grey.data(), sharp, width, height, params);
}

}  // namespace vora::raw_pass
