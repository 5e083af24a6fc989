#include "filters/noise.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <vector>

#include "core/bands.h"

namespace vora {
namespace {

// One non-zero entry of the spatial weight table: offset and table weight T (4, 8 or 10).
struct Tap {
    int dy, dx, weight;
};

// clang-format off
// The 5 × 5 table without its zero corners and centre (sum of T: 136) ...
constexpr std::array<Tap, 20> kTaps5{{
                  {-2, -1, 4}, {-2, 0, 8},  {-2, 1, 4},
    {-1, -2, 4},  {-1, -1, 8}, {-1, 0, 10}, {-1, 1, 8}, {-1, 2, 4},
    {0, -2, 8},   {0, -1, 10},              {0, 1, 10}, {0, 2, 8},
    {1, -2, 4},   {1, -1, 8},  {1, 0, 10},  {1, 1, 8},  {1, 2, 4},
                  {2, -1, 4},  {2, 0, 8},   {2, 1, 4}}};
// ... and its inner 3 × 3 (sum of T: 72).
constexpr std::array<Tap, 8> kTaps3{{
    {-1, -1, 8}, {-1, 0, 10}, {-1, 1, 8},
    {0, -1, 10},              {0, 1, 10},
    {1, -1, 8},  {1, 0, 10},  {1, 1, 8}}};
// clang-format on

template <int R>
constexpr auto taps() {
    if constexpr (R == 1)
        return kTaps3;
    else
        return kTaps5;
}

template <int R>
constexpr int32_t table_sum() {
    int32_t s = 0;
    for (const Tap& t : taps<R>()) s += t.weight;
    return s;
}

constexpr std::size_t kLevels = 65536;

// Truncated n / d for 0 <= n < 2^24 and d >= 1 through one float division, so pixel loops
// vectorise. Both operands convert exactly; an integer quotient comes back exact, and any
// other quotient q lies at least 1/d below the next integer while rounding moves it by at
// most q * 2^-24 = n / d * 2^-24 < 1/d (and never below floor(q)).
inline int32_t quotient(int32_t n, int32_t d) {
    return int32_t(float(n) / float(d));
}

// The final blend (mean2 + centre × (k − 1)) / (k + 1), below 2^19 before dividing and never
// above 65535 after (a weighted mean of samples).
inline uint16_t blend(int32_t mean2, int32_t centre, int32_t keep, int32_t parts) {
    return uint16_t(std::min(quotient(mean2 + centre * keep, parts), 65535));
}

// The range weight of every tap weight T for every difference |d| = 0..65535, with
// t = noise_tolerance × 1280 >= 0: w = trunc(T × 64 / g(d)). For t >= 0 the three cases of g
// reduce to g = 1 + e / 256 with e = max(0, |d| − t) (d >= t gives (d − t) / 256, d < −t gives
// −(d + t) / 256 = (|d| − t) / 256, and both are 0 at their ends), so
// T × 64 / g = T × 16384 / (256 + e): a ratio of positive integers whose truncation is the
// integer quotient, exactly.
class RangeWeights {
  public:
    explicit RangeWeights(int32_t t) : table_(3 * kLevels) {
        for (int32_t weight : {4, 8, 10}) {
            uint16_t* row = table_.data() + offset(weight);
            for (int32_t a = 0; a < int32_t(kLevels); ++a) {
                const int32_t e = std::max(0, a - t);
                row[a] = uint16_t(weight * 16384 / (256 + e));
            }
        }
    }
    const uint16_t* of(int32_t weight) const { return table_.data() + offset(weight); }

  private:
    static std::size_t offset(int32_t weight) {
        return (weight == 4 ? 0 : weight == 8 ? 1 : 2) * kLevels;
    }
    std::vector<uint16_t> table_;
};

// Everything the bands share; set before they start, read-only afterwards.
struct NoiseJob {
    int width = 0;
    int height = 0;
    int32_t tolerance = 0;  // t in 16-bit units, 0..65536
    int32_t k = 3;
    std::array<uint16_t*, 3> planes{};
    const RangeWeights* weights = nullptr;
    // Copies of the rows just outside each band that the band reads (other bands overwrite
    // them): [plane][band], rows begin − R .. begin − 1 then end .. end + R − 1.
    std::array<std::array<std::vector<uint16_t>, kBandCount>, 3> halos;
};

std::size_t at(int row, int width) {
    return std::size_t(row) * std::size_t(width);
}

template <int R>
void save_halos(NoiseJob& job) {
    const int w = job.width, h = job.height;
    for (int band = 0; band < kBandCount; ++band) {
        const BandBounds b = band_bounds(h, band);
        if (b.begin >= b.end) continue;
        for (std::size_t c = 0; c < 3; ++c) {
            std::vector<uint16_t>& halo = job.halos[c][std::size_t(band)];
            halo.assign(at(2 * R, w), 0);
            for (int i = 0; i < R; ++i) {
                const int below = b.begin - R + i, above = b.end + i;
                const uint16_t* p = job.planes[c];
                if (below >= 0) std::copy_n(p + at(below, w), w, halo.data() + at(i, w));
                if (above < h) std::copy_n(p + at(above, w), w, halo.data() + at(R + i, w));
            }
        }
    }
}

// Per-band working rows: a ring of 2R + 1 source rows padded by R clamped samples on each
// side, and the per-column sums of the fast path.
template <int R>
class BandRows {
  public:
    static constexpr int kRing = 2 * R + 1;
    explicit BandRows(int width)
        : width_(width),
          padded_(width + 2 * R),
          ring_(std::size_t(kRing) * std::size_t(padded_)),
          outer_(std::size_t(padded_)),
          inner_(std::size_t(padded_)),
          high_(std::size_t(padded_)),
          low_(std::size_t(padded_)),
          flat_(std::size_t(width)) {}

    // Copies a source row into ring position `u` (the unclamped row number) with padding.
    void load(int u, const uint16_t* source) {
        uint16_t* row = slot(u);
        std::copy_n(source, width_, row + R);
        std::fill_n(row, R, source[0]);
        std::fill_n(row + R + width_, R, source[width_ - 1]);
    }
    uint16_t* slot(int u) {
        const int m = ((u % kRing) + kRing) % kRing;
        return ring_.data() + std::size_t(m) * std::size_t(padded_);
    }

    int width_;
    int padded_;
    std::vector<uint16_t> ring_;
    std::vector<int32_t> outer_, inner_, high_, low_;  // per padded column
    std::vector<uint8_t> flat_;                        // every difference within t
};

// Pass 1, over padded columns: vertical sums of the symmetric row pairs and the column
// extremes.
template <int R>
void column_sums(const uint16_t* const* rows, int n, int32_t* __restrict outer,
                 int32_t* __restrict inner, int32_t* __restrict high, int32_t* __restrict low) {
    for (int j = 0; j < n; ++j) {
        int32_t hi = rows[0][j], lo = rows[0][j];
#pragma GCC unroll 4
        for (int i = 1; i < 2 * R + 1; ++i) {
            const int32_t v = rows[i][j];
            hi = std::max(hi, v);
            lo = std::min(lo, v);
        }
        high[j] = hi;
        low[j] = lo;
        inner[j] = int32_t(rows[R - 1][j]) + rows[R + 1][j];
        if constexpr (R == 2) outer[j] = int32_t(rows[0][j]) + rows[4][j];
    }
}

// Pass 2, per pixel, for the pixels whose weights are all full: Sw = 64 × ΣT and
// Sv = 64 × Σ T·v, so 2 × Sv / Sw = 2 × Σ T·v / ΣT = Σ T·v / (ΣT / 2) (ΣT is even), taken
// with the symmetric taps folded. `flat` marks them: the whole window stays within t of the
// centre. The window test also covers the zero-weight corners, so it can only send extra
// pixels to the exact path, which overwrites what this pass wrote for them.
template <int R>
[[gnu::noinline]] void fast_row(const uint16_t* __restrict c, const int32_t* __restrict outer,
                                const int32_t* __restrict inner, const int32_t* __restrict high,
                                const int32_t* __restrict low, int w, int32_t t, int32_t keep,
                                int32_t parts, uint16_t* __restrict out, uint8_t* __restrict flat) {
    constexpr int32_t kHalfSum = table_sum<R>() / 2;
    for (int x = 0; x < w; ++x) {
        const int j = x + R;
        int32_t hi = high[x], lo = low[x];
#pragma GCC unroll 4
        for (int i = 1; i <= 2 * R; ++i) {
            const int32_t h = high[x + i], l = low[x + i];  // values, not references
            hi = std::max(hi, h);
            lo = std::min(lo, l);
        }
        const int32_t centre = c[j];
        flat[x] = uint8_t((hi - centre <= t) & (centre - lo <= t));
        int32_t s =
            10 * inner[j] + 8 * (inner[j - 1] + inner[j + 1]) + 10 * (int32_t(c[j - 1]) + c[j + 1]);
        if constexpr (R == 2)
            s += 8 * outer[j] + 4 * (outer[j - 1] + outer[j + 1]) +
                 4 * (inner[j - 2] + inner[j + 2]) + 8 * (int32_t(c[j - 2]) + c[j + 2]);
        out[x] = blend(quotient(s, kHalfSum), centre, keep, parts);  // s < 136 × 65536 < 2^24
    }
}

// 2 × Sv / Sw tap by tap with the range weights (the exact rule for any window).
template <int R>
int32_t weighted_mean2(const uint16_t* const* rows, int j, int32_t centre,
                       const RangeWeights& weights) {
    int64_t sw = 0, sv = 0;
#pragma GCC unroll 20
    for (const Tap& tap : taps<R>()) {
        const int32_t v = rows[R + tap.dy][j + tap.dx];
        const int32_t wt = weights.of(tap.weight)[std::abs(v - centre)];
        sw += wt;
        sv += int64_t(wt) * v;
    }
    if (sw == 0) sw = 1;
    // 2 × Sv < 2 × 8704 × 65536 < 2^31: a double quotient truncates exactly (as above, with
    // 2^-53 in place of 2^-24).
    return int32_t(double(2 * sv) / double(sw));
}

// One row: the full-weight result everywhere, then the exact rule where a weight is cut.
template <int R>
void filter_row(BandRows<R>& b, const uint16_t* const* rows, uint16_t* out, const NoiseJob& job) {
    const int32_t keep = job.k - 1, parts = job.k + 1;
    column_sums<R>(rows, b.padded_, b.outer_.data(), b.inner_.data(), b.high_.data(),
                   b.low_.data());
    fast_row<R>(rows[R], b.outer_.data(), b.inner_.data(), b.high_.data(), b.low_.data(), b.width_,
                job.tolerance, keep, parts, out, b.flat_.data());
    for (int x = 0; x < b.width_; ++x) {
        if (b.flat_[std::size_t(x)]) continue;
        const int j = x + R;
        const int32_t centre = rows[R][j];
        out[x] = blend(weighted_mean2<R>(rows, j, centre, *job.weights), centre, keep, parts);
    }
}

// The rows begin..end of one plane, in place. A row is read into the ring before it is
// overwritten, and rows outside the band come from the halo copies.
template <int R>
void filter_band(const NoiseJob& job, std::size_t plane, int band, int begin, int end,
                 BandRows<R>& b) {
    const int w = job.width, h = job.height;
    uint16_t* data = job.planes[plane];
    const std::vector<uint16_t>& halo = job.halos[plane][std::size_t(band)];
    auto source = [&](int u) -> const uint16_t* {
        const int r = std::clamp(u, 0, h - 1);
        if (r < begin) return halo.data() + at(r - (begin - R), w);
        if (r >= end) return halo.data() + at(R + r - end, w);
        return data + at(r, w);
    };
    for (int u = begin - R; u < begin + R; ++u) b.load(u, source(u));
    const uint16_t* rows[2 * R + 1];
    for (int y = begin; y < end; ++y) {
        b.load(y + R, source(y + R));
        for (int i = 0; i < 2 * R + 1; ++i) rows[i] = b.slot(y - R + i);
        filter_row<R>(b, rows, data + at(y, w), job);
    }
}

template <int R>
void run(NoiseJob& job) {
    save_halos<R>(job);
    run_bands(job.height, [&job](int band, int begin, int end) {
        if (begin >= end) return;
        BandRows<R> rows(job.width);
        for (std::size_t c = 0; c < 3; ++c) filter_band<R>(job, c, band, begin, end, rows);
    });
}

}  // namespace

void noise_reduction(ImageRecord& record, const NoiseSettings& settings, int k) {
    const std::size_t n = record.sample_count();
    if (n == 0) return;
    for (int c = 0; c < 3; ++c)
        if (record.plane(c).size() != n) return;
    const int32_t tolerance =
        int32_t(std::clamp<int64_t>(int64_t(settings.noise_tolerance) * 1280, 0, int64_t(kLevels)));
    const RangeWeights weights(tolerance);
    NoiseJob job;
    job.width = record.width;
    job.height = record.height;
    job.tolerance = tolerance;
    job.k = std::clamp(k, 1, 5);
    job.weights = &weights;
    for (int c = 0; c < 3; ++c) job.planes[std::size_t(c)] = record.plane(c).data();
    if (settings.noise_area == 3)
        run<1>(job);
    else
        run<2>(job);
}

}  // namespace vora
