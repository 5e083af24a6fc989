#include "filters/restore.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "core/bands.h"

namespace vora {
namespace {

constexpr int kMaxIterations = 5;

// The last 2n + 1 rows of one estimate, row r at slot r mod (2n + 1).
class RowRing {
  public:
    RowRing(int n, int width)
        : slots_(2 * n + 1),
          width_(width),
          data_(
              std::make_unique_for_overwrite<double[]>(std::size_t(slots_) * std::size_t(width))) {}
    double* row(int r) { return data_.get() + std::size_t(r % slots_) * std::size_t(width_); }

  private:
    int slots_;
    int width_;
    std::unique_ptr<double[]> data_;  // every row is written before it is read
};

struct RestoreJob {
    PlaneRef plane;
    RadialKernel kernel;
    int iterations;
    double keep;    // 1 + emphasis
    double remove;  // emphasis
};

uint16_t output_sample(double v) {
    if (!(v >= 0.0)) return 0;  // negative (or not a number)
    if (v > 65535.0) return 65535;
    return uint16_t(v);
}

// Runs every level of band `band` as a pipeline. Level 0 is M as doubles, level k the
// estimate after k iterations, the last level the output. Level k reaches (iterations −
// k + 1)·n rows beyond the band; at step t it computes row t − k·n, whose inputs one
// level down were computed at the same or an earlier step and are still in its ring.
void restore_band(const RestoreJob& job, const BandRows& measured, BandBounds band) {
    if (band.begin >= band.end) return;
    const int w = job.plane.width, h = job.plane.height;
    RadialRowFilter<double> filter(job.kernel, w);
    const int n = filter.half_width();
    const int out_level = job.iterations + 1;
    std::vector<RowRing> rings;
    for (int k = 0; k < out_level; ++k) rings.emplace_back(n, w);
    std::vector<int> lo(std::size_t(out_level + 1)), hi(std::size_t(out_level + 1));
    for (int k = 0; k <= out_level; ++k) {
        const int reach = (out_level - k) * n;
        lo[std::size_t(k)] = std::max(0, band.begin - reach);
        hi[std::size_t(k)] = std::min(h, band.end + reach);
    }
    std::vector<const double*> rows(std::size_t(2 * n + 1));
    std::vector<double> blurred(static_cast<std::size_t>(w));
    const std::size_t wz = std::size_t(w);

    for (int t = lo[0]; t < band.end + out_level * n; ++t) {
        for (int k = 0; k <= out_level; ++k) {
            const int r = t - k * n;
            if (r < lo[std::size_t(k)] || r >= hi[std::size_t(k)]) continue;
            const uint16_t* m = measured.row(r);
            if (k == 0) {
                double* x = rings[0].row(r);
                for (std::size_t i = 0; i < wz; ++i) x[i] = m[i];
                continue;
            }
            RowRing& below = rings[std::size_t(k - 1)];
            for (int j = -n; j <= n; ++j)
                rows[std::size_t(j + n)] = below.row(std::clamp(r + j, 0, h - 1));
            filter.filter(rows.data(), blurred.data());
            const double* x = below.row(r);
            if (k < out_level) {
                double* next = rings[std::size_t(k)].row(r);
                for (std::size_t i = 0; i < wz; ++i)
                    next[i] = x[i] - 2.0 * (blurred[i] - double(m[i]));
            } else {
                uint16_t* out = job.plane.data + std::size_t(r) * wz;
                for (std::size_t i = 0; i < wz; ++i)
                    out[i] = output_sample(job.keep * x[i] - job.remove * blurred[i]);
            }
        }
    }
}

}  // namespace

RadialKernel restore_kernel(int32_t spread, int32_t bluntness) {
    const double s = std::max(spread, 1);
    const double exponent = bluntness / 20.0;
    std::array<double, kKernelMaxDistance2 + 1> w;
    for (int d2 = 0; d2 <= kKernelMaxDistance2; ++d2)
        w[std::size_t(d2)] = 1.0 / (1.0 + std::pow(d2 * 10.0 / s, exponent));
    return radial_kernel(w);
}

RestoreParams RestoreParams::from_params(const ParamVector& p) {
    RestoreParams r;
    r.spread = std::max(p[0], 1);
    r.bluntness = p[1];
    r.iterations = std::clamp(p[2], 0, kMaxIterations);
    r.emphasis = p[3];
    return r;
}

void restore_plane(PlaneRef plane, const ParamVector& p) {
    if (!plane.data || plane.width < 1 || plane.height < 1) return;
    const RestoreParams params = RestoreParams::from_params(p);
    RestoreJob job{plane, restore_kernel(params.spread, params.bluntness), params.iterations,
                   1.0 + double(params.emphasis), double(params.emphasis)};
    const int reach = (params.iterations + 1) * job.kernel.half_width;
    const std::vector<BandRows> measured =
        rows_of_bands({plane.data, plane.width, plane.height}, reach);
    run_bands(plane.height, [&](int b, int begin, int end) {
        restore_band(job, measured[std::size_t(b)], {begin, end});
    });
}

}  // namespace vora
