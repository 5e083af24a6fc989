#include "composite/background_gen.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

#include "core/bands.h"

namespace vora {
namespace {

// A plane of the half-size grid.
struct Grid {
    std::vector<uint16_t> v;
    int32_t w = 0;
    int32_t h = 0;

    Grid(int32_t width, int32_t height)
        : v(std::size_t(width) * std::size_t(height)), w(width), h(height) {}
    uint16_t at(int32_t x, int32_t y) const { return v[index(x, y)]; }
    uint16_t& at(int32_t x, int32_t y) { return v[index(x, y)]; }
    std::size_t index(int32_t x, int32_t y) const {
        return std::size_t(y) * std::size_t(w) + std::size_t(x);
    }
};

// Each half-size pixel is the mean of its 2 × 2 block of the source.
void halve(ConstPlaneRef src, Grid& half) {
    const std::size_t stride = std::size_t(src.width);
    for (int32_t y = 0; y < half.h; ++y) {
        const uint16_t* lo = src.data + std::size_t(2 * y) * stride;
        const uint16_t* hi = lo + stride;
        for (int32_t x = 0; x < half.w; ++x) {
            const uint32_t sum = uint32_t(lo[2 * x]) + lo[2 * x + 1] + hi[2 * x] + hi[2 * x + 1];
            half.at(x, y) = uint16_t(sum >> 2);
        }
    }
}

// The coordinates along one axis that a detection window at `pos` examines: five positions
// `step` apart, kept when they lie inside 1..size−2.
struct AxisTaps {
    int32_t count = 0;
    std::array<int32_t, 5> pos{};
};

AxisTaps axis_taps(int32_t pos, int32_t size, int64_t s) {
    int64_t step = s;
    if (pos < 2 * s)
        step = pos / 2;
    else if (pos >= size - 2 * s)
        step = (size - pos - 1) / 2;
    step = std::max<int64_t>(step, 2);
    AxisTaps taps;
    for (int k = -2; k <= 2; ++k) {
        const int64_t p = pos + k * step;
        if (p >= 1 && p <= size - 2) taps.pos[std::size_t(taps.count++)] = int32_t(p);
    }
    return taps;
}

// Star-rejecting estimate from the usable samples of one window: of the four smallest,
// the mean of the third and fourth (of the two largest when fewer than four were usable).
uint16_t window_estimate(const Grid& half, int32_t x, int32_t y, const AxisTaps& rows,
                         const AxisTaps& cols, int32_t threshold) {
    std::array<uint16_t, 4> low{65535, 65535, 65535, 65535};  // ascending
    int n = 0;
    for (int32_t i = 0; i < rows.count; ++i) {
        const uint16_t* line = &half.v[half.index(0, rows.pos[std::size_t(i)])];
        for (int32_t j = 0; j < cols.count; ++j) {
            uint16_t v = line[cols.pos[std::size_t(j)]];
            if (int32_t(v) <= threshold) continue;
            ++n;
            for (std::size_t k = 0; k < low.size(); ++k)
                if (v < low[k]) std::swap(v, low[k]);
        }
    }
    if (n == 0) return half.at(x, y);
    const int k = std::min(n, 4);
    const int a = std::max(k - 2, 0);
    return uint16_t((uint32_t(low[std::size_t(a)]) + low[std::size_t(k - 1)]) >> 1);
}

void detect_rows(const Grid& half, const std::vector<AxisTaps>& col_taps, int64_t s,
                 int32_t threshold, Grid& out, int begin, int end) {
    for (int32_t y = begin; y < end; ++y) {
        const AxisTaps rows = axis_taps(y, half.h, s);
        for (int32_t x = 0; x < half.w; ++x)
            out.at(x, y) = window_estimate(half, x, y, rows, col_taps[std::size_t(x)], threshold);
    }
}

// Trimmed mean of the 3 × 3 neighbourhood inside the grid: the smallest and the largest
// sample are dropped.
void smooth_rows(const Grid& in, Grid& out, int begin, int end) {
    for (int32_t y = begin; y < end; ++y) {
        for (int32_t x = 0; x < in.w; ++x) {
            uint32_t sum = 0, lo = 65535, hi = 0, count = 0;
            for (int32_t yy = std::max(y - 1, 0); yy <= std::min(y + 1, in.h - 1); ++yy) {
                for (int32_t xx = std::max(x - 1, 0); xx <= std::min(x + 1, in.w - 1); ++xx) {
                    const uint32_t v = in.at(xx, yy);
                    sum += v;
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                    ++count;
                }
            }
            out.at(x, y) = count > 2 ? uint16_t((sum - lo - hi) / (count - 2)) : in.at(x, y);
        }
    }
}

// Box mean of the smoothed values over (2r + 1)² for pixels at least r from every edge;
// the others keep their detection value.
void box_rows(const Grid& smoothed, const Grid& detected, int64_t r, Grid& out, int begin,
              int end) {
    const int32_t w = smoothed.w, h = smoothed.h;
    const int64_t side = 2 * r + 1;
    const int64_t area = side * side;
    std::vector<int64_t> column_sum;
    for (int32_t y = begin; y < end; ++y) {
        const bool row_inside = y >= r && y + r <= h - 1 && side <= w;
        if (!row_inside) {
            for (int32_t x = 0; x < w; ++x) out.at(x, y) = detected.at(x, y);
            continue;
        }
        column_sum.assign(std::size_t(w), 0);
        for (int64_t yy = y - r; yy <= y + r; ++yy)
            for (int32_t x = 0; x < w; ++x)
                column_sum[std::size_t(x)] += smoothed.at(x, int32_t(yy));
        int64_t sum = 0;
        for (int64_t x = 0; x < side; ++x) sum += column_sum[std::size_t(x)];
        for (int32_t x = 0; x < w; ++x) {
            if (x < r || x + r > w - 1) {
                out.at(x, y) = detected.at(x, y);
                continue;
            }
            if (x > r) sum += column_sum[std::size_t(x + r)] - column_sum[std::size_t(x - r - 1)];
            out.at(x, y) = uint16_t(sum / area);
        }
    }
}

// Back to full size: each half-size value H fills its 2 × 2 block, the other three samples
// averaging H with its right, upper (next stored row) and diagonal neighbour; a neighbour
// outside the grid is H itself. An odd last column or row repeats the one before it.
void enlarge(const Grid& g, uint16_t* target, int32_t w, int32_t h) {
    const std::size_t stride = std::size_t(w);
    for (int32_t y = 0; y < g.h; ++y) {
        uint16_t* lo = target + std::size_t(2 * y) * stride;
        uint16_t* hi = lo + stride;
        const bool has_up = y + 1 < g.h;
        for (int32_t x = 0; x < g.w; ++x) {
            const uint32_t v = g.at(x, y);
            const bool has_right = x + 1 < g.w;
            const uint32_t right = has_right ? g.at(x + 1, y) : v;
            const uint32_t up = has_up ? g.at(x, y + 1) : v;
            const uint32_t diagonal = has_right && has_up ? g.at(x + 1, y + 1) : v;
            lo[2 * x] = uint16_t(v);
            lo[2 * x + 1] = uint16_t((v + right) >> 1);
            hi[2 * x] = uint16_t((v + up) >> 1);
            hi[2 * x + 1] = uint16_t((v + diagonal) >> 1);
        }
        if (w % 2 != 0) {
            lo[w - 1] = lo[w - 2];
            hi[w - 1] = hi[w - 2];
        }
    }
    if (h % 2 != 0) {
        uint16_t* last = target + std::size_t(h - 1) * stride;
        std::copy(last - stride, last, last);
    }
}

}  // namespace

void generate_background_plane(ConstPlaneRef source, uint16_t* target, int32_t detection_size,
                               int32_t averaging_size, int32_t threshold) {
    const int32_t w = source.width, h = source.height;
    if (w < 1 || h < 1 || !source.data || !target) return;
    if (w < 5 || h < 5) {
        std::copy(source.data, source.data + std::size_t(w) * std::size_t(h), target);
        return;
    }
    Grid half(w / 2, h / 2);
    halve(source, half);

    const int64_t s = detection_size / 4;
    std::vector<AxisTaps> col_taps(std::size_t(half.w));
    for (int32_t x = 0; x < half.w; ++x) col_taps[std::size_t(x)] = axis_taps(x, half.w, s);
    Grid detected(half.w, half.h);
    run_bands(half.h, [&](int, int begin, int end) {
        detect_rows(half, col_taps, s, threshold, detected, begin, end);
    });

    Grid smoothed(half.w, half.h);
    run_bands(half.h,
              [&](int, int begin, int end) { smooth_rows(detected, smoothed, begin, end); });

    // The half-size source is no longer needed; the box result goes into its memory.
    const int64_t r = std::max<int64_t>(averaging_size / 2, 0);
    Grid& boxed = half;
    run_bands(half.h,
              [&](int, int begin, int end) { box_rows(smoothed, detected, r, boxed, begin, end); });

    enlarge(boxed, target, w, h);
}

}  // namespace vora
