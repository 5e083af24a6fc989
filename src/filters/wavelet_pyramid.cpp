#include "filters/wavelet_pyramid.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "core/bands.h"
#include "filters/wavelet_grid.h"

namespace vora {
namespace {

constexpr int kLevels = 5;  // difference levels 0..4 below the residual, level 5

// One level of the pyramid, row-major.
struct Level {
    double* data;
    int width;
    int height;
    double* row(int y) const { return data + std::ptrdiff_t(y) * width; }
};

// Prediction weights of the coarse samples A = K(i-1, j), B = K(i, j), P = K(i-1, j+1),
// Q = K(i, j+1) for the fine pixels (2i-1, ·) and (2i, ·) of rows 2j+1 and 2j+2.
struct Weights {
    double a, b, p, q;
};
constexpr Weights kUpperRow[2] = {{0.54, 0.17, 0.17, 0.12}, {0.17, 0.54, 0.12, 0.17}};
constexpr Weights kLowerRow[2] = {{0.17, 0.12, 0.54, 0.17}, {0.12, 0.17, 0.17, 0.54}};

// A border row of the fine level from n coarse samples: the two corners copy the end
// samples, the pixels between blend their two coarse neighbours 0.76 / 0.24.
void predict_border_row(const double* k, int n, double* pred) {
    pred[0] = k[0];
    for (int i = 1; i < n; ++i) {
        pred[2 * i - 1] = 0.76 * k[i - 1] + 0.24 * k[i];
        pred[2 * i] = 0.24 * k[i - 1] + 0.76 * k[i];
    }
    pred[2 * n - 1] = k[n - 1];
}

// Fine row 2j+1 (upper = true) or 2j+2 from coarse rows j (k0) and j+1 (k1).
void predict_inner_row(const double* k0, const double* k1, int n, bool upper, double* pred) {
    const Weights& odd = upper ? kUpperRow[0] : kLowerRow[0];   // x = 2i-1
    const Weights& even = upper ? kUpperRow[1] : kLowerRow[1];  // x = 2i
    const double near = upper ? 0.76 : 0.24, far = upper ? 0.24 : 0.76;
    pred[0] = near * k0[0] + far * k1[0];
    for (int i = 1; i < n; ++i) {
        const double a = k0[i - 1], b = k0[i], p = k1[i - 1], q = k1[i];
        pred[2 * i - 1] = odd.a * a + odd.b * b + odd.p * p + odd.q * q;
        pred[2 * i] = even.a * a + even.b * b + even.p * p + even.q * q;
    }
    pred[2 * n - 1] = near * k0[n - 1] + far * k1[n - 1];
}

// The prediction of row y of the level twice the size of `coarse`.
void predict_row(const Level& coarse, int y, double* pred) {
    const int fine_height = 2 * coarse.height;
    if (y == 0 || y == fine_height - 1) {
        predict_border_row(coarse.row(y == 0 ? 0 : coarse.height - 1), coarse.width, pred);
        return;
    }
    const int j = (y - 1) / 2;
    predict_inner_row(coarse.row(j), coarse.row(j + 1), coarse.width, y % 2 == 1, pred);
}

// Level 1: 2 × 2 means of the plane, padded by repeating its last column and row. The
// sums are of integers and the means exact.
void plane_means(PlaneRef plane, Level m) {
    const int inside = plane.width / 2;  // means whose two columns are both in the plane
    run_bands(m.height, [&](int, int begin, int end) {
        for (int j = begin; j < end; ++j) {
            const uint16_t* r0 =
                plane.data + std::ptrdiff_t(std::min(2 * j, plane.height - 1)) * plane.width;
            const uint16_t* r1 =
                plane.data + std::ptrdiff_t(std::min(2 * j + 1, plane.height - 1)) * plane.width;
            double* out = m.row(j);
            for (int i = 0; i < inside; ++i)
                out[i] = double(int(r0[2 * i]) + r0[2 * i + 1] + r1[2 * i] + r1[2 * i + 1]) * 0.25;
            for (int i = inside; i < m.width; ++i) {
                const int x0 = std::min(2 * i, plane.width - 1);
                const int x1 = std::min(2 * i + 1, plane.width - 1);
                out[i] = double(int(r0[x0]) + r0[x1] + r1[x0] + r1[x1]) * 0.25;
            }
        }
    });
}

// 2 × 2 means of `fine` into `coarse`. Every level of means is exact (sums of samples over
// a power of four), so the order of the additions does not matter.
void level_means(const Level& fine, Level coarse) {
    run_bands(coarse.height, [&](int, int begin, int end) {
        for (int j = begin; j < end; ++j) {
            const double* f0 = fine.row(2 * j);
            const double* f1 = fine.row(2 * j + 1);
            double* out = coarse.row(j);
            for (int i = 0; i < coarse.width; ++i)
                out[i] = (f0[2 * i] + f0[2 * i + 1] + f1[2 * i] + f1[2 * i + 1]) * 0.25;
        }
    });
}

// Row buffers of the four bands, two rows of the finest level each.
struct RowBuffers {
    explicit RowBuffers(int width) : width(width), data(std::size_t(kBandCount) * 2 * width) {}
    double* get(int band, int which) {
        return data.data() + (std::size_t(band) * 2 + std::size_t(which)) * std::size_t(width);
    }
    int width;
    std::vector<double> data;
};

// target = (fine - prediction from coarse) × gain; target may be `fine` itself.
void differences(const Level& fine, const Level& coarse, Level target, double gain,
                 RowBuffers& buffers) {
    run_bands(fine.height, [&](int band, int begin, int end) {
        double* pred = buffers.get(band, 0);
        for (int y = begin; y < end; ++y) {
            predict_row(coarse, y, pred);
            const double* f = fine.row(y);
            double* t = target.row(y);
            for (int x = 0; x < fine.width; ++x) t[x] = (f[x] - pred[x]) * gain;
        }
    });
}

// fine += prediction from the rebuilt coarse level.
void rebuild(Level fine, const Level& coarse, RowBuffers& buffers) {
    run_bands(fine.height, [&](int band, int begin, int end) {
        double* pred = buffers.get(band, 0);
        for (int y = begin; y < end; ++y) {
            predict_row(coarse, y, pred);
            double* f = fine.row(y);
            for (int x = 0; x < fine.width; ++x) f[x] += pred[x];
        }
    });
}

uint16_t to_sample(double v) {
    if (!(v > 0.0)) return 0;  // also (-1, 0), which truncates to 0
    if (v >= 65535.0) return 65535;
    return uint16_t(v);  // truncation toward zero
}

// Level 0 is never stored: its difference (sample - prediction from the means) × gain
// plus the prediction from the rebuilt level 1 is written straight into the plane.
void rebuild_plane(PlaneRef plane, const Level& means, const Level& rebuilt, double gain,
                   RowBuffers& buffers) {
    run_bands(plane.height, [&](int band, int begin, int end) {
        double* from_means = buffers.get(band, 0);
        double* from_rebuilt = buffers.get(band, 1);
        for (int y = begin; y < end; ++y) {
            predict_row(means, y, from_means);
            predict_row(rebuilt, y, from_rebuilt);
            uint16_t* row = plane.data + std::ptrdiff_t(y) * plane.width;
            for (int x = 0; x < plane.width; ++x)
                row[x] = to_sample((double(row[x]) - from_means[x]) * gain + from_rebuilt[x]);
        }
    });
}

int padded(int n) {
    return int((int64_t(n) / 32 + 1) * 32);
}

}  // namespace

void wavelet_pyramid_kernel(PlaneRef plane, const std::array<double, 8>& gains) {
    if (!plane.data || plane.width < 1 || plane.height < 1) return;
    const int width = padded(plane.width), height = padded(plane.height);
    // levels[1..5] are worked on in place; means1 keeps the level-1 means for the last step.
    std::array<Level, kLevels + 1> levels{};
    std::size_t total = 0;
    for (int k = 1; k <= kLevels; ++k) total += std::size_t(width >> k) * std::size_t(height >> k);
    const std::size_t first = std::size_t(width >> 1) * std::size_t(height >> 1);
    std::unique_ptr<double[]> storage = wavelet_doubles(total + first);
    double* next = storage.get();
    const Level means1{next, width >> 1, height >> 1};
    next += first;
    for (int k = 1; k <= kLevels; ++k) {
        levels[std::size_t(k)] = {next, width >> k, height >> k};
        next += std::size_t(width >> k) * std::size_t(height >> k);
    }
    RowBuffers buffers(width);

    plane_means(plane, means1);
    level_means(means1, levels[2]);
    for (int k = 2; k < kLevels; ++k)
        level_means(levels[std::size_t(k)], levels[std::size_t(k) + 1]);
    // Difference level k, times d(5 - k); finest first, so each coarser level is still the
    // plain means when the finer one is predicted from it.
    differences(means1, levels[2], levels[1], gains[4], buffers);
    for (int k = 2; k < kLevels; ++k)
        differences(levels[std::size_t(k)], levels[std::size_t(k) + 1], levels[std::size_t(k)],
                    gains[std::size_t(5 - k)], buffers);
    for (int k = kLevels - 1; k >= 1; --k)
        rebuild(levels[std::size_t(k)], levels[std::size_t(k) + 1], buffers);
    rebuild_plane(plane, means1, levels[1], gains[5], buffers);
}

}  // namespace vora
