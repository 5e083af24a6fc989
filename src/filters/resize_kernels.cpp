#include "filters/resize_kernels.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/bands.h"

namespace vora {
namespace {

constexpr int32_t kLinearOne = 128;  // bilinear weights are 128ths
constexpr int kPhases = 16;          // Lanczos phases are sixteenths
constexpr int kTaps = 5;

std::vector<int32_t> nearest_lines(int32_t out, int32_t src, ScaleTerms t) {
    std::vector<int32_t> lines(static_cast<std::size_t>(out));
    for (int32_t i = 0; i < out; ++i)
        lines[std::size_t(i)] =
            int32_t(std::min<int64_t>(int64_t(i) * t.old_term / t.new_term, src - 1));
    return lines;
}

AxisSpan interpolated_span(int32_t i, int32_t src, ScaleTerms t) {
    const int64_t s = int64_t(i) * t.old_term;
    AxisSpan span;
    span.first = int32_t(std::min<int64_t>(s / t.new_term, src - 1));
    span.second = std::min(span.first + 1, src - 1);
    span.w_second = int32_t((s % t.new_term) * kLinearOne / t.new_term);
    span.w_first = kLinearOne - span.w_second;
    span.divisor = kLinearOne;
    return span;
}

// Area mean boxes; the last source line never joins a box. A box holding no line (the
// size stays or grows on this axis) is interpolated instead, so no box divides by zero.
std::vector<AxisSpan> bilinear_spans(int32_t out, int32_t src, ScaleTerms t, bool area) {
    std::vector<AxisSpan> spans(static_cast<std::size_t>(out));
    for (int32_t i = 0; i < out; ++i) {
        const int64_t lo = int64_t(i) * t.old_term / t.new_term;
        const int64_t hi = std::min<int64_t>(int64_t(i + 1) * t.old_term / t.new_term, src - 1);
        if (area && hi > lo) {
            AxisSpan& box = spans[std::size_t(i)];
            box.first = int32_t(lo);
            box.count = box.divisor = int32_t(hi - lo);
        } else {
            spans[std::size_t(i)] = interpolated_span(i, src, t);
        }
    }
    return spans;
}

std::vector<LanczosTaps> lanczos_taps(int32_t out, int32_t src, ScaleTerms t) {
    std::vector<LanczosTaps> taps(static_cast<std::size_t>(out));
    for (int32_t i = 0; i < out; ++i) {
        const int64_t s = int64_t(i) * t.old_term;
        const int64_t centre = s / t.new_term;
        LanczosTaps& tap = taps[std::size_t(i)];
        tap.phase = int32_t((s % t.new_term) * kPhases / t.new_term);
        for (int k = 0; k < kTaps; ++k)
            tap.lines[std::size_t(k)] = int32_t(std::clamp<int64_t>(centre - 2 + k, 0, src - 1));
    }
    return taps;
}

double lanczos2(double r) {
    if (r == 0.0) return 1.0;
    if (r > 2.0) return 0.0;
    const double a = std::numbers::pi * r;
    return (std::sin(a) / a) * (std::sin(a / 2) / (a / 2));
}

// One normalised 5 × 5 kernel per phase (py, px); taps in order (m, n), m the row offset.
std::vector<double> lanczos_kernels() {
    std::vector<double> k(std::size_t(kPhases * kPhases * kTaps * kTaps));
    for (int py = 0; py < kPhases; ++py) {
        for (int px = 0; px < kPhases; ++px) {
            double* w = &k[std::size_t((py * kPhases + px) * kTaps * kTaps)];
            double sum = 0;
            for (int m = -2; m <= 2; ++m) {
                for (int n = -2; n <= 2; ++n) {
                    const double dx = n - px / 16.0;
                    const double dy = m - py / 16.0;
                    const double v = lanczos2(std::sqrt(dx * dx + dy * dy));
                    w[(m + 2) * kTaps + (n + 2)] = v;
                    sum += v;
                }
            }
            for (int t = 0; t < kTaps * kTaps; ++t) w[t] /= sum;
        }
    }
    return k;
}

void nearest_rows(const ResizePlan& p, const uint16_t* src, uint16_t* dst, int begin, int end) {
    const std::size_t sw = std::size_t(p.g.old_width), dw = std::size_t(p.g.new_width);
    for (int j = begin; j < end; ++j) {
        const uint16_t* in = src + std::size_t(p.near_rows[std::size_t(j)]) * sw;
        uint16_t* out = dst + std::size_t(j) * dw;
        for (std::size_t i = 0; i < dw; ++i) out[i] = in[p.near_cols[i]];
    }
}

// Rows first into `acc` (one sum per source column), then columns; one truncating division
// by both divisors equals dividing by each in turn.
void bilinear_rows(const ResizePlan& p, const uint16_t* src, uint16_t* dst, int begin, int end) {
    const std::size_t sw = std::size_t(p.g.old_width), dw = std::size_t(p.g.new_width);
    std::vector<int64_t> acc(sw);
    for (int j = begin; j < end; ++j) {
        const AxisSpan& rs = p.row_spans[std::size_t(j)];
        if (rs.count > 0) {
            std::fill(acc.begin(), acc.end(), 0);
            for (int32_t r = rs.first; r < rs.first + rs.count; ++r) {
                const uint16_t* in = src + std::size_t(r) * sw;
                for (std::size_t x = 0; x < sw; ++x) acc[x] += in[x];
            }
        } else {
            const uint16_t* in0 = src + std::size_t(rs.first) * sw;
            const uint16_t* in1 = src + std::size_t(rs.second) * sw;
            for (std::size_t x = 0; x < sw; ++x)
                acc[x] = int64_t(in0[x]) * rs.w_first + int64_t(in1[x]) * rs.w_second;
        }
        uint16_t* out = dst + std::size_t(j) * dw;
        for (std::size_t i = 0; i < dw; ++i) {
            const AxisSpan& cs = p.col_spans[i];
            int64_t sum = 0;
            if (cs.count > 0) {
                for (int32_t q = cs.first; q < cs.first + cs.count; ++q) sum += acc[std::size_t(q)];
            } else {
                sum = acc[std::size_t(cs.first)] * cs.w_first +
                      acc[std::size_t(cs.second)] * cs.w_second;
            }
            out[i] = uint16_t(sum / (int64_t(rs.divisor) * cs.divisor));
        }
    }
}

// `block` neighbouring output samples of one row, their sums kept side by side: each sum is
// a chain of 25 dependent additions, so interleaving several hides the adder's latency. Every
// sum still adds its terms in the same order, so the results do not change.
template <std::size_t block>
void lanczos_block(const LanczosTaps* cols, const double* phase_row,
                   const uint16_t* const (&in)[kTaps], uint16_t* out) {
    const double* w[block];
    double sum[block];
    for (std::size_t k = 0; k < block; ++k) {
        w[k] = phase_row + cols[k].phase * kTaps * kTaps;
        sum[k] = 0;
    }
    for (int m = 0; m < kTaps; ++m)
        for (int n = 0; n < kTaps; ++n)
            for (std::size_t k = 0; k < block; ++k)
                sum[k] += w[k][m * kTaps + n] * in[m][cols[k].lines[std::size_t(n)]];
    for (std::size_t k = 0; k < block; ++k) out[k] = uint16_t(std::clamp(sum[k], 0.0, 65535.0));
}

void lanczos_rows(const ResizePlan& p, const uint16_t* src, uint16_t* dst, int begin, int end) {
    constexpr std::size_t kBlock = 4;
    const std::size_t sw = std::size_t(p.g.old_width), dw = std::size_t(p.g.new_width);
    for (int j = begin; j < end; ++j) {
        const LanczosTaps& rt = p.lz_rows[std::size_t(j)];
        const uint16_t* in[kTaps];
        for (int m = 0; m < kTaps; ++m) in[m] = src + std::size_t(rt.lines[std::size_t(m)]) * sw;
        const double* phase_row = &p.lz_kernels[std::size_t(rt.phase * kPhases * kTaps * kTaps)];
        uint16_t* out = dst + std::size_t(j) * dw;
        std::size_t i = 0;
        for (; i + kBlock <= dw; i += kBlock)
            lanczos_block<kBlock>(&p.lz_cols[i], phase_row, in, out + i);
        for (; i < dw; ++i) lanczos_block<1>(&p.lz_cols[i], phase_row, in, out + i);
    }
}

}  // namespace

ResizePlan make_resize_plan(const ResizeGeometry& g, int32_t method) {
    ResizePlan p;
    p.g = g;
    p.method = method == kResizeNearest || method == kResizeBilinear ? method : kResizeLanczos;
    if (p.method == kResizeNearest) {
        p.near_cols = nearest_lines(g.new_width, g.old_width, g.tx);
        p.near_rows = nearest_lines(g.new_height, g.old_height, g.ty);
    } else if (p.method == kResizeBilinear) {
        // The height alone decides between the area mean and interpolation.
        const bool area = int64_t(g.new_height) <= int64_t(2) * g.old_height / 3;
        p.col_spans = bilinear_spans(g.new_width, g.old_width, g.tx, area);
        p.row_spans = bilinear_spans(g.new_height, g.old_height, g.ty, area);
    } else {
        p.lz_cols = lanczos_taps(g.new_width, g.old_width, g.tx);
        p.lz_rows = lanczos_taps(g.new_height, g.old_height, g.ty);
        p.lz_kernels = lanczos_kernels();
    }
    return p;
}

void run_resize_plan(const ResizePlan& plan, const uint16_t* src, uint16_t* dst) {
    auto rows = plan.method == kResizeNearest    ? nearest_rows
                : plan.method == kResizeBilinear ? bilinear_rows
                                                 : lanczos_rows;
    run_bands(plan.g.new_height,
              [&](int, int begin, int end) { rows(plan, src, dst, begin, end); });
}

}  // namespace vora
