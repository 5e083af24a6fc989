#include "filters/wavelet_grid.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>

namespace vora {
namespace {

// Columns are transformed kBlock at a time: each block is copied row by row into the
// scratch (with the periodic wrap laid out), then every output row of the block is summed
// across the block.
constexpr int kBlock = 32;

int wrap(int i, int n) {
    return (i % n + n) % n;
}

void copy_block_row(const double* from, int bw, double* to) {
    std::copy(from, from + bw, to);
}

void analyze_block(WaveletGrid g, int x0, int bw, int h, const DaubechiesFilters& f,
                   double* scratch) {
    const int reach = h + f.taps - 1;
    double* ext = scratch;  // ext row m = column row (m mod h)
    double* lo = ext + std::ptrdiff_t(reach) * kBlock;
    double* hi = lo + kBlock;
    for (int m = 0; m < reach; ++m) copy_block_row(g.row(m % h) + x0, bw, ext + m * kBlock);
    const int half = h / 2;
    for (int i = 0; i < half; ++i) {
        std::fill(lo, hi + kBlock, 0.0);
        for (int k = 0; k < f.taps; k += 2) {  // two taps per pass, as in the line steps
            const std::size_t k0 = std::size_t(k), k1 = k0 + 1;
            const double a0 = f.analysis_lo[k0], a1 = f.analysis_lo[k1];
            const double b0 = f.analysis_hi[k0], b1 = f.analysis_hi[k1];
            const double* s0 = ext + std::ptrdiff_t(2 * i + k) * kBlock;
            const double* s1 = s0 + kBlock;
            for (int x = 0; x < bw; ++x) {
                lo[x] = lo[x] + a0 * s0[x] + a1 * s1[x];
                hi[x] = hi[x] + b0 * s0[x] + b1 * s1[x];
            }
        }
        copy_block_row(lo, bw, g.row(i) + x0);
        copy_block_row(hi, bw, g.row(half + i) + x0);
    }
}

void synthesize_block(WaveletGrid g, int x0, int bw, int h, const DaubechiesFilters& f,
                      double* scratch) {
    const int half = h / 2;
    const int lead = f.order - 1;
    const int reach = half + lead;
    double* lo = scratch;  // lo row q = low band row (q - lead) mod half; hi likewise
    double* hi = lo + std::ptrdiff_t(reach) * kBlock;
    double* acc = hi + std::ptrdiff_t(reach) * kBlock;
    for (int q = 0; q < reach; ++q) {
        const int i = wrap(q - lead, half);
        copy_block_row(g.row(i) + x0, bw, lo + q * kBlock);
        copy_block_row(g.row(half + i) + x0, bw, hi + q * kBlock);
    }
    for (int j = 0; j < h; ++j) {
        const int p = j / 2, r = j % 2;
        std::fill(acc, acc + kBlock, 0.0);
        int t = 0;
        for (; t + 1 < f.order; t += 2) {
            const std::size_t k0 = std::size_t(r + 2 * t), k1 = k0 + 2;
            const double a0 = f.synthesis_lo[k0], b0 = f.synthesis_hi[k0];
            const double a1 = f.synthesis_lo[k1], b1 = f.synthesis_hi[k1];
            const std::ptrdiff_t q = std::ptrdiff_t(p - t + lead) * kBlock;
            const double *l0 = lo + q, *h0 = hi + q;
            const double *l1 = l0 - kBlock, *h1 = h0 - kBlock;
            for (int x = 0; x < bw; ++x)
                acc[x] = acc[x] + (a0 * l0[x] + b0 * h0[x]) + (a1 * l1[x] + b1 * h1[x]);
        }
        if (t < f.order) {
            const std::size_t k = std::size_t(r + 2 * t);
            const double a = f.synthesis_lo[k], b = f.synthesis_hi[k];
            const std::ptrdiff_t q = std::ptrdiff_t(p - t + lead) * kBlock;
            const double *l = lo + q, *h = hi + q;
            for (int x = 0; x < bw; ++x) acc[x] += a * l[x] + b * h[x];
        }
        copy_block_row(acc, bw, g.row(j) + x0);
    }
}

using BlockStep = void (*)(WaveletGrid, int, int, int, const DaubechiesFilters&, double*);
using LineStep = void (*)(double*, int, const DaubechiesFilters&, double*);

void column_pass(WaveletGrid g, int w, int h, const DaubechiesFilters& f, WaveletScratch& s,
                 BlockStep step) {
    const int blocks = (w + kBlock - 1) / kBlock;
    run_bands(blocks, [&](int band, int begin, int end) {
        for (int b = begin; b < end; ++b) {
            const int x0 = b * kBlock;
            step(g, x0, std::min(kBlock, w - x0), h, f, s.band(band));
        }
    });
}

void row_pass(WaveletGrid g, int w, int h, const DaubechiesFilters& f, WaveletScratch& s,
              LineStep step) {
    run_bands(h, [&](int band, int begin, int end) {
        for (int y = begin; y < end; ++y) step(g.row(y), w, f, s.band(band));
    });
}

}  // namespace

void advise_huge_pages(void* data, std::size_t bytes) {
    constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

std::unique_ptr<double[]> wavelet_doubles(std::size_t n) {
    std::unique_ptr<double[]> data(new double[n]);
    advise_huge_pages(data.get(), n * sizeof(double));
    return data;
}

WaveletScratch::WaveletScratch(int width, int height) {
    const std::size_t lines = 2 * std::size_t(daubechies_scratch_length(width));
    const std::size_t blocks = (std::size_t(height) + 2 * kDaubechiesMaxTaps + 2) * kBlock;
    for (auto& l : lines_) l.assign(std::max(lines, blocks), 0.0);
}

void wavelet_forward(WaveletGrid grid, int levels, const DaubechiesFilters& f,
                     WaveletScratch& scratch) {
    for (int level = 0; level < levels; ++level) {
        const int w = grid.width >> level, h = grid.height >> level;
        if (w < 2 || h < 2) return;
        row_pass(grid, w, h, f, scratch, daubechies_analyze_line);
        column_pass(grid, w, h, f, scratch, analyze_block);
    }
}

void wavelet_inverse(WaveletGrid grid, int levels, const DaubechiesFilters& f,
                     WaveletScratch& scratch) {
    for (int level = levels - 1; level >= 0; --level) {
        const int w = grid.width >> level, h = grid.height >> level;
        if (w < 2 || h < 2) continue;
        column_pass(grid, w, h, f, scratch, synthesize_block);
        row_pass(grid, w, h, f, scratch, daubechies_synthesize_line);
    }
}

}  // namespace vora
