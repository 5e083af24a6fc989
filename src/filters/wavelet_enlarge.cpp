#include "filters/wavelet_enlarge.h"

#include <algorithm>
#include <memory>

#include "core/bands.h"
#include "filters/wavelet_daubechies.h"
#include "filters/wavelet_grid.h"

namespace vora {
namespace {

constexpr double kOffset = 32768.0;  // samples are transformed around the middle grey
constexpr int kMaxLevels = 5;

int wrap(int i, int n) {
    return (i % n + n) % n;
}

// n rounded up to a multiple of 2^levels.
int padded(int n, int levels) {
    const int64_t unit = int64_t(1) << levels;
    return int((int64_t(n) + unit - 1) / unit * unit);
}

uint16_t to_sample(double v) {
    const double s = v + kOffset;
    if (!(s > 0.0)) return 0;  // also (-1, 0), which truncates to 0
    if (s >= 65535.0) return 65535;
    return uint16_t(s);  // truncation toward zero
}

// The plane less the offset into the grid, the last column and row repeated into the margin.
void load(ConstPlaneRef plane, WaveletGrid g) {
    run_bands(g.height, [&](int, int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const uint16_t* src =
                plane.data + std::ptrdiff_t(std::min(y, plane.height - 1)) * plane.width;
            double* row = g.row(y);
            for (int x = 0; x < plane.width; ++x) row[x] = double(src[x]) - kOffset;
            std::fill(row + plane.width, row + g.width, double(src[plane.width - 1]) - kOffset);
        }
    });
}

// The band j of a row or column index: the smallest j with v < unit·2^j.
int band_of(int v, int unit, int levels) {
    int j = 0;
    while (j < levels && v >= unit << j) ++j;
    return j;
}

// Band j (the larger of the row's and the column's) is multiplied by d(j - L + 5).
void apply_gains(WaveletGrid g, int levels, const std::array<double, 8>& gains) {
    const int unit_w = g.width >> levels, unit_h = g.height >> levels;
    run_bands(g.height, [&](int, int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const int jy = band_of(y, unit_h, levels);
            double* row = g.row(y);
            for (int j = 0; j <= levels; ++j) {
                const int from = j == 0 ? 0 : unit_w << (j - 1), to = unit_w << j;
                const double gain = gains[std::size_t(std::max(j, jy) - levels + 5)];
                if (gain == 1.0) continue;  // multiplying by 1 changes nothing
                for (int x = from; x < to; ++x) row[x] *= gain;
            }
        }
    });
}

// The enlarging synthesis step: the grid is the low band of a region twice its size whose
// detail bands are zero, so only the low-pass taps contribute. Output row Y comes from the
// column synthesis of grid rows (Y/2 - t) mod H2, followed by the row synthesis; only the
// out_w × out_h samples kept are computed.
void enlarge(WaveletGrid g, const DaubechiesFilters& f, WaveletScratch& scratch, int out_w,
             int out_h, uint16_t* out) {
    const int lead = f.order - 1;
    const int half = out_w / 2;
    run_bands(out_h, [&](int band, int begin, int end) {
        double* column = scratch.band(band);  // the column synthesis of one row
        double* ext = column + g.width;       // the same, wrapped with `lead` samples in front
        double* even = ext + g.width + lead;
        double* odd = even + half;
        for (int y = begin; y < end; ++y) {
            const int p = y / 2, r = y % 2;
            // Column synthesis: the first tap starts each sum at 0, the others follow two per
            // pass (the same additions in the same order as one at a time).
            const double* s = g.row(wrap(p, g.height));
            const double c = f.synthesis_lo[std::size_t(r)];
            for (int x = 0; x < g.width; ++x) column[x] = 0.0 + c * s[x];
            int t = 1;
            for (; t + 1 < f.order; t += 2) {
                const double a0 = f.synthesis_lo[std::size_t(r + 2 * t)];
                const double a1 = f.synthesis_lo[std::size_t(r + 2 * t + 2)];
                const double* s0 = g.row(wrap(p - t, g.height));
                const double* s1 = g.row(wrap(p - t - 1, g.height));
                for (int x = 0; x < g.width; ++x) column[x] = column[x] + a0 * s0[x] + a1 * s1[x];
            }
            if (t < f.order) {
                const double a = f.synthesis_lo[std::size_t(r + 2 * t)];
                const double* s0 = g.row(wrap(p - t, g.height));
                for (int x = 0; x < g.width; ++x) column[x] += a * s0[x];
            }
            // Row synthesis from the column laid out with its wrap in front, likewise.
            for (int q = 0; q < lead; ++q) ext[q] = column[wrap(q - lead, g.width)];
            std::copy(column, column + g.width, ext + lead);
            const double* l = ext + lead;
            const double e = f.synthesis_lo[0], o = f.synthesis_lo[1];
            for (int q = 0; q < half; ++q) even[q] = 0.0 + e * l[q];
            for (int q = 0; q < half; ++q) odd[q] = 0.0 + o * l[q];
            for (t = 1; t + 1 < f.order; t += 2) {
                const double* l0 = ext + lead - t;
                const double* l1 = l0 - 1;
                const double a0 = f.synthesis_lo[std::size_t(2 * t)];
                const double a1 = f.synthesis_lo[std::size_t(2 * t + 2)];
                const double b0 = f.synthesis_lo[std::size_t(2 * t + 1)];
                const double b1 = f.synthesis_lo[std::size_t(2 * t + 3)];
                for (int q = 0; q < half; ++q) even[q] = even[q] + a0 * l0[q] + a1 * l1[q];
                for (int q = 0; q < half; ++q) odd[q] = odd[q] + b0 * l0[q] + b1 * l1[q];
            }
            if (t < f.order) {
                const double* l0 = ext + lead - t;
                const double a = f.synthesis_lo[std::size_t(2 * t)];
                const double b = f.synthesis_lo[std::size_t(2 * t + 1)];
                for (int q = 0; q < half; ++q) even[q] += a * l0[q];
                for (int q = 0; q < half; ++q) odd[q] += b * l0[q];
            }
            uint16_t* dst = out + std::ptrdiff_t(y) * out_w;
            for (int q = 0; q < half; ++q) {
                dst[2 * q] = to_sample(even[q]);
                dst[2 * q + 1] = to_sample(odd[q]);
            }
        }
    });
}

}  // namespace

int wavelet_levels(const std::array<double, 8>& gains) {
    int levels = 0;
    for (int position = 1; position <= kMaxLevels; ++position)
        if (gains[std::size_t(6 - position)] != 1.0) levels = position;
    return levels;
}

void wavelet_enlarge_kernel(ConstPlaneRef plane, const std::array<double, 8>& gains, int32_t order,
                            Plane& enlarged) {
    enlarged.clear();
    if (!plane.data || plane.width < 1 || plane.height < 1) return;
    const int levels = wavelet_levels(gains);
    const DaubechiesFilters f = daubechies_filters(order);
    const int w2 = padded(plane.width, levels), h2 = padded(plane.height, levels);
    std::unique_ptr<double[]> data = wavelet_doubles(std::size_t(w2) * std::size_t(h2));
    const WaveletGrid grid{data.get(), w2, h2, w2};
    WaveletScratch scratch(w2, h2);
    load(plane, grid);
    wavelet_forward(grid, levels, f, scratch);
    apply_gains(grid, levels, gains);
    wavelet_inverse(grid, levels, f, scratch);
    const int out_w = 2 * plane.width, out_h = 2 * plane.height;
    const std::size_t samples = std::size_t(out_w) * std::size_t(out_h);
    enlarged.reserve(samples);
    advise_huge_pages(enlarged.data(), samples * sizeof(uint16_t));
    enlarged.resize(samples);
    enlarge(grid, f, scratch, out_w, out_h, enlarged.data());
}

}  // namespace vora
