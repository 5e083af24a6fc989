#include "filters/sharpen.h"

#include <algorithm>
#include <cmath>

#include "core/bands.h"

namespace vora {
namespace {

constexpr double kRowThreshold = 0.02;  // a kernel row counts while it holds a larger weight
constexpr int kBlock = 32;              // pixels whose sums are accumulated together
constexpr int kChunk = 256;  // columns whose pair sums are made together (they stay in cache)

int round_up_to_block(int width) {
    return (width + kBlock - 1) / kBlock * kBlock;
}

int half_width_of(const std::array<double, kKernelMaxDistance2 + 1>& w) {
    for (int dy = kKernelReach; dy > 0; --dy)
        for (int dx = -kKernelReach; dx <= kKernelReach; ++dx)
            if (w[std::size_t(dx * dx + dy * dy)] > kRowThreshold) return dy;
    return 0;
}

// The weighted sums of `width` pixels: out[x] = s + Σ w · (S(a, b) − m · s), the classes in
// order, kBlock pixels at a time. `v0` points at the first pixel's column of V0; V1..Vn
// follow at `stride`. Each holds n columns more on the left and, past the last whole block,
// n more on the right.
template <class Sum>
[[gnu::always_inline]] inline void weighted_row_body(const Sum* v0, std::size_t stride, int n,
                                                     const double* weights, int width,
                                                     double* out) {
    for (int x0 = 0; x0 < width; x0 += kBlock) {
        const Sum* c = v0 + x0;
        Sum s4[kBlock], s8[kBlock];
        for (int i = 0; i < kBlock; ++i) {
            s4[i] = 4 * c[i];
            s8[i] = 8 * c[i];
        }
        double acc[kBlock] = {};
        const double* w = weights;
        for (int b = 1; b <= n; ++b) {
            const Sum* vb = c + std::size_t(b) * stride;
            const double w0 = *w++;  // (0, b): four offsets
            for (int i = 0; i < kBlock; ++i)
                acc[i] += w0 * double((vb[i] + (c[i - b] + c[i + b])) - s4[i]);
            for (int a = 1; a < b; ++a) {  // (a, b): eight offsets
                const Sum* va = c + std::size_t(a) * stride;
                const double wa = *w++;
                for (int i = 0; i < kBlock; ++i)
                    acc[i] +=
                        wa * double(((vb[i - a] + vb[i + a]) + (va[i - b] + va[i + b])) - s8[i]);
            }
            const double wb = *w++;  // (b, b): four offsets
            for (int i = 0; i < kBlock; ++i) acc[i] += wb * double((vb[i - b] + vb[i + b]) - s4[i]);
        }
        const int count = std::min(kBlock, width - x0);
        for (int i = 0; i < count; ++i) out[x0 + i] = double(c[i]) + acc[i];
    }
}

// The same for both sum types, built for the widest vectors the processor offers. The
// arithmetic is the same in every version (no fused multiply-add), so are the results.
[[gnu::target_clones("avx512f", "avx2", "default")]] void weighted_row(const int32_t* v0,
                                                                       std::size_t stride, int n,
                                                                       const double* weights,
                                                                       int width, double* out) {
    weighted_row_body(v0, stride, n, weights, width, out);
}
[[gnu::target_clones("avx512f", "avx2", "default")]] void weighted_row(const double* v0,
                                                                       std::size_t stride, int n,
                                                                       const double* weights,
                                                                       int width, double* out) {
    weighted_row_body(v0, stride, n, weights, width, out);
}

// out = below + above, column by column.
template <class Sample, class Sum>
[[gnu::always_inline]] inline void pair_row_body(const Sample* below, const Sample* above, Sum* out,
                                                 std::size_t width) {
    for (std::size_t x = 0; x < width; ++x) out[x] = Sum(below[x]) + Sum(above[x]);
}
[[gnu::target_clones("avx512f", "avx2", "default")]] void pair_row(const uint16_t* below,
                                                                   const uint16_t* above,
                                                                   int32_t* out,
                                                                   std::size_t width) {
    pair_row_body(below, above, out, width);
}
[[gnu::target_clones("avx512f", "avx2", "default")]] void pair_row(const double* below,
                                                                   const double* above, double* out,
                                                                   std::size_t width) {
    pair_row_body(below, above, out, width);
}

// The per-sample rule, with its parameters limited to their ranges.
struct SharpRule {
    int32_t threshold;
    int32_t smooth;  // smooth_strength × radius, 0..500
    int32_t sharp;   // sharp_strength, 0..50
};

SharpRule sharp_rule(const ParamVector& p) {
    return {std::clamp(p[1], 0, 65535), std::clamp(p[2], 0, 50) * std::clamp(p[0], 1, 10),
            std::clamp(p[3], 0, 50)};
}

// One row of results from the samples and their weighted means (not yet truncated). Both
// branches are computed for a block of pixels and one is kept, so the loops vectorise. The
// divisions are done in double: for numerators below 2^25 and divisors up to 510 the
// truncated quotient is the integer quotient, since a remainder keeps the true quotient at
// least 1/510 away from the next integer, far more than the rounding error.
[[gnu::target_clones("avx512f", "avx2", "default")]] void sharpen_row(const uint16_t* src,
                                                                      const double* mean_sum,
                                                                      uint16_t* dst, int width,
                                                                      SharpRule rule) {
    constexpr int kRuleBlock = 64;
    const double smooth_divisor = rule.smooth + 10;
    for (int x0 = 0; x0 < width; x0 += kRuleBlock) {
        const int count = std::min(kRuleBlock, width - x0);
        int32_t diff[kRuleBlock], smoothed[kRuleBlock], sharpened[kRuleBlock];
        for (int i = 0; i < count; ++i) {
            // The weights are positive and sum to 1, so the mean lies within the sample range.
            const double m = std::min(std::max(mean_sum[x0 + i], 0.0), 65535.0);
            const int32_t mean = int32_t(m);
            const int32_t s = src[x0 + i];
            const int32_t d = s - mean;
            diff[i] = d;
            smoothed[i] = int32_t(double(mean * rule.smooth + s * 10) / smooth_divisor);
            // d = 0 only counts as large with threshold 0, where both forms give 0
            const int32_t excess = d > 0 ? d - rule.threshold : d + rule.threshold;
            sharpened[i] = s + int32_t(double(excess * rule.sharp) / 10.0);
        }
        for (int i = 0; i < count; ++i) {
            const int32_t r = std::abs(diff[i]) < rule.threshold ? smoothed[i] : sharpened[i];
            dst[x0 + i] = uint16_t(std::min(std::max(r, 0), 65535));
        }
    }
}

// Sharpens the rows of one band in place. A result row waits in a ring of n + 1 rows until
// no later row of the band needs the sample it replaces.
void sharpen_band(PlaneRef plane, const BandRows& source, const RadialKernel& kernel,
                  const SharpRule& rule, BandBounds band) {
    if (band.begin >= band.end) return;
    const int w = plane.width;
    const std::size_t wz = std::size_t(w);
    RadialRowFilter<int32_t> filter(kernel, w);
    const int n = filter.half_width();
    std::vector<const uint16_t*> rows(std::size_t(2 * n + 1));
    std::vector<double> sums(wz);
    std::vector<uint16_t> pending(std::size_t(n + 1) * wz);
    auto slot = [&](int y) { return pending.data() + std::size_t(y % (n + 1)) * wz; };
    auto flush = [&](int y) { std::copy(slot(y), slot(y) + wz, plane.data + std::size_t(y) * wz); };
    for (int y = band.begin; y < band.end; ++y) {
        if (y - n - 1 >= band.begin) flush(y - n - 1);  // rows from y − n on are still read
        for (int j = -n; j <= n; ++j)
            rows[std::size_t(j + n)] = source.row(std::clamp(y + j, 0, plane.height - 1));
        filter.filter(rows.data(), sums.data());
        sharpen_row(rows[std::size_t(n)], sums.data(), slot(y), w, rule);
    }
    for (int y = std::max(band.begin, band.end - n - 1); y < band.end; ++y) flush(y);
}

}  // namespace

RadialKernel radial_kernel(const std::array<double, kKernelMaxDistance2 + 1>& weight_of_d2) {
    RadialKernel k;
    const int n = half_width_of(weight_of_d2);
    double sum = 0.0;
    for (int dy = -n; dy <= n; ++dy)
        for (int dx = -n; dx <= n; ++dx) sum += weight_of_d2[std::size_t(dx * dx + dy * dy)];
    if (!(sum > 0.0) || !std::isfinite(sum)) {
        k.weights[std::size_t(kKernelReach * kKernelSide + kKernelReach)] = 1.0;
        return k;
    }
    k.half_width = n;
    for (int dy = -n; dy <= n; ++dy)
        for (int dx = -n; dx <= n; ++dx)
            k.weights[std::size_t((dy + kKernelReach) * kKernelSide + dx + kKernelReach)] =
                weight_of_d2[std::size_t(dx * dx + dy * dy)] / sum;
    return k;
}

RadialKernel sharpen_kernel(int32_t radius, int32_t falloff) {
    const double r = std::clamp(radius, 1, 10);
    const double exponent = falloff / 20.0;
    std::array<double, kKernelMaxDistance2 + 1> w;
    for (int d2 = 0; d2 <= kKernelMaxDistance2; ++d2)
        w[std::size_t(d2)] = 1.0 / (1.0 + std::pow(d2 / r, exponent));
    return radial_kernel(w);
}

template <class Sum>
RadialRowFilter<Sum>::RadialRowFilter(const RadialKernel& kernel, int width)
    : n_(kernel.half_width),
      width_(std::max(width, 1)),
      stride_(2 * n_ + kChunk),
      sums_(std::size_t(n_ + 1) * std::size_t(stride_)) {
    // Class (0, 0) is left out: its term is always zero.
    for (int b = 1; b <= n_; ++b)
        for (int a = 0; a <= b; ++a) weights_.push_back(kernel.at(a, b));
}

template <class Sum>
void RadialRowFilter<Sum>::pair_sums(const Sample* const* rows, int lo, int hi) {
    // Columns lo..hi − 1 of V0..Vn; those outside the picture repeat its first or last one.
    const int from = std::max(lo, 0), to = std::min(hi, width_);
    for (int j = 0; j <= n_; ++j) {
        Sum* v = sums_.data() + std::size_t(j) * std::size_t(stride_);
        Sum* inside = v + (from - lo);
        if (j == 0)
            std::copy(rows[n_] + from, rows[n_] + to, inside);
        else
            pair_row(rows[n_ - j] + from, rows[n_ + j] + from, inside, std::size_t(to - from));
        std::fill(v, inside, inside[0]);
        std::fill(inside + (to - from), v + (hi - lo), inside[to - from - 1]);
    }
}

template <class Sum>
void RadialRowFilter<Sum>::filter(const Sample* const* rows, double* out) {
    for (int x0 = 0; x0 < width_; x0 += kChunk) {
        const int count = std::min(kChunk, width_ - x0);
        pair_sums(rows, x0 - n_, x0 + round_up_to_block(count) + n_);
        weighted_row(sums_.data() + n_, std::size_t(stride_), n_, weights_.data(), count, out + x0);
    }
}

template class RadialRowFilter<int32_t>;
template class RadialRowFilter<double>;

BandRows::BandRows(ConstPlaneRef plane, BandBounds band, int reach)
    : plane_(plane), band_(band), lo_(std::max(0, band.begin - reach)) {
    if (band.begin >= band.end) return;
    const int hi = std::min(plane.height, band.end + reach);
    const std::size_t w = std::size_t(plane.width);
    below_.assign(plane.data + std::size_t(lo_) * w, plane.data + std::size_t(band.begin) * w);
    above_.assign(plane.data + std::size_t(band.end) * w, plane.data + std::size_t(hi) * w);
}

const uint16_t* BandRows::row(int r) const {
    const std::size_t w = std::size_t(plane_.width);
    if (r < band_.begin) return below_.data() + std::size_t(r - lo_) * w;
    if (r >= band_.end) return above_.data() + std::size_t(r - band_.end) * w;
    return plane_.data + std::size_t(r) * w;
}

std::vector<BandRows> rows_of_bands(ConstPlaneRef plane, int reach) {
    std::vector<BandRows> rows;
    for (int b = 0; b < kBandCount; ++b)
        rows.emplace_back(plane, band_bounds(plane.height, b), reach);
    return rows;
}

void sharpen_plane(PlaneRef plane, const ParamVector& p) {
    if (!plane.data || plane.width < 1 || plane.height < 1) return;
    const SharpRule rule = sharp_rule(p);
    const RadialKernel kernel = sharpen_kernel(p[0], p[4]);
    const std::vector<BandRows> source =
        rows_of_bands({plane.data, plane.width, plane.height}, kernel.half_width);
    run_bands(plane.height, [&](int b, int begin, int end) {
        sharpen_band(plane, source[std::size_t(b)], kernel, rule, {begin, end});
    });
}

}  // namespace vora
