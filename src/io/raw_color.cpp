#include <algorithm>
#include <array>
#include <cstddef>

#include "core/bands.h"
#include "io/raw_develop_passes.h"

namespace vora::raw_pass {
namespace {

// With the parameters limited to their ranges, S × f, the hue and the saturation products stay
// below 2^31; only c'' × g' needs 64 bits.
using Rgb = std::array<int32_t, 3>;

struct ColorJob {
    const Plane* const* in;
    const Plane& grey;
    const GreySharpener& sharp;
    int32_t width, height;
    ColorParams p;
    Plane* const* out;
};

// c = (c + (S × f) / n) / (f + 1) with S the colour's sum over the 3 × 3 neighbours inside the
// image and n their number; a pixel without neighbours keeps its colours.
Rgb reduce_false_color(const ColorJob& j, int32_t x, int32_t row, Rgb c) {
    Rgb sum{0, 0, 0};
    int32_t n = 0;
    for (int32_t ny = std::max(row - 1, 0); ny <= std::min(row + 1, j.height - 1); ++ny)
        for (int32_t nx = std::max(x - 1, 0); nx <= std::min(x + 1, j.width - 1); ++nx) {
            if (nx == x && ny == row) continue;
            const std::size_t i = std::size_t(ny) * std::size_t(j.width) + std::size_t(nx);
            for (std::size_t k = 0; k < 3; ++k) sum[k] += (*j.in[k])[i];
            ++n;
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

std::array<uint16_t, 3> color_pixel(const ColorJob& j, int32_t x, int32_t row) {
    const std::size_t i = std::size_t(row) * std::size_t(j.width) + std::size_t(x);
    const int64_t g = j.grey[i];
    if (g == 0) return {0, 0, 0};
    Rgb c{(*j.in[0])[i], (*j.in[1])[i], (*j.in[2])[i]};
    if (j.p.false_color > 0) c = reduce_false_color(j, x, row, c);
    c = shift_hue(c, j.p.hue_shift);
    const int32_t m = (c[0] + c[1] + c[2]) / 3;
    const int32_t k = j.p.saturation * 15 + (j.p.hue_shift < 0 ? -j.p.hue_shift : j.p.hue_shift);
    const int64_t sharp = j.sharp.at(x, row);
    std::array<uint16_t, 3> out;
    for (std::size_t n = 0; n < 3; ++n) {
        const int64_t saturated = c[n] + ((c[n] - m) * k) / 60;
        out[n] = saturated <= 0 ? 0 : uint16_t(std::min<int64_t>(saturated * sharp / g, 65535));
    }
    return out;
}

void color_rows(const ColorJob& j, int begin, int end) {
    for (int32_t row = begin; row < end; ++row)
        for (int32_t x = 0; x < j.width; ++x) {
            const std::array<uint16_t, 3> v = color_pixel(j, x, row);
            const std::size_t i = std::size_t(row) * std::size_t(j.width) + std::size_t(x);
            for (std::size_t k = 0; k < 3; ++k) (*j.out[k])[i] = v[k];
        }
}

}  // namespace

void color_pass(const Plane* const in[3], const Plane& grey, const GreySharpener& sharp,
                int32_t width, int32_t height, const ColorParams& params, Plane* const out[3]) {
    const ColorParams p{std::clamp(params.false_color, 0, 4), std::clamp(params.hue_shift, -36, 36),
                        std::clamp(params.saturation, 0, 4)};
    const ColorJob job{in, grey, sharp, width, height, p, out};
    run_bands(height, [&](int, int begin, int end) { color_rows(job, begin, end); });
}

}  // namespace vora::raw_pass
