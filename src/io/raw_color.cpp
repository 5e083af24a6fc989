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

// floor(n / d) for d > 0 from inverse = 1.0 / d. n × inverse is off by less than 2^-20, and
// a quotient that is not whole lies at least 1 / d ≥ 2^-16 below the next whole number: the
// truncated product is the quotient or, for n a multiple of d, one less.
inline uint32_t divide(uint32_t n, uint32_t d, double inverse) {
    const uint32_t q = uint32_t(double(n) * inverse);
    return n - q * d >= d ? q + 1 : q;
}

// color_pixel for the pixels x0..x1-1 of a row whose neighbourhoods (false colour and
// sharpening) lie wholly inside the image; F is the false-colour reduction.
template <int32_t F>
void color_inside(const ColorJob& j, const SourceRows& s, int32_t row, int32_t x0, int32_t x1) {
    const std::size_t base = std::size_t(row) * std::size_t(j.width);
    const int32_t h = j.p.hue_shift;
    const int32_t a = h > 0 ? h : -h;
    const std::size_t from[3] = {h > 0 ? 2u : 1u, h > 0 ? 0u : 2u, h > 0 ? 1u : 0u};
    const int32_t k = saturation_factor(j.p);
    for (int32_t x = x0; x < x1; ++x) {
        const std::size_t i = base + std::size_t(x);
        const uint32_t g = j.grey[i];
        if (g == 0) {
            for (std::size_t n = 0; n < 3; ++n) j.planes[n][i] = 0;
            continue;
        }
        Rgb c;
        for (std::size_t n = 0; n < 3; ++n) {
            const uint16_t* down = s.rows[n][0] + x;
            const uint16_t* mid = s.rows[n][1] + x;
            const uint16_t* up = s.rows[n][2] + x;
            c[n] = *mid;
            if constexpr (F > 0) {
                const int32_t sum = int32_t(down[-1]) + down[0] + down[1] + mid[-1] + mid[1] +
                                    up[-1] + up[0] + up[1];
                c[n] = (c[n] + sum * F / 8) / (F + 1);
            }
        }
        if (h != 0) {
            const Rgb before = c;
            for (std::size_t n = 0; n < 3; ++n)
                c[n] = ((120 - a) * before[n] + a * before[from[n]]) / 120;
        }
        const int32_t m = (c[0] + c[1] + c[2]) / 3;
        const uint32_t sharp = j.sharp.at_inside(i);
        const double inverse = 1.0 / double(g);
        for (std::size_t n = 0; n < 3; ++n) {
            const int32_t saturated = c[n] + ((c[n] - m) * k) / 60;
            const uint32_t product = saturated > 0 ? uint32_t(saturated) * sharp : 0;
            j.planes[n][i] = uint16_t(std::min<uint32_t>(divide(product, g, inverse), 65535));
        }
    }
}

using InsideFn = void (*)(const ColorJob&, const SourceRows&, int32_t, int32_t, int32_t);

void color_row(const ColorJob& j, const SourceRows& s, int32_t row) {
    static constexpr InsideFn inside[5] = {color_inside<0>, color_inside<1>, color_inside<2>,
                                           color_inside<3>, color_inside<4>};
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
