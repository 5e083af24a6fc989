#include "composite/background_fit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "composite/background.h"
#include "core/bands.h"

namespace vora {
namespace {

constexpr double kSlopeSpan = 4000.0;  // a and b range over ±4000/size
constexpr int kGridSteps = 20;
constexpr std::size_t kMaxSlopeValues = 64;  // the slope loop gives 40 or 41 values

// x0 (or y0): size/4 up to 3·size/4 inclusive, in integer steps of size/20 (at least 1).
std::vector<double> centre_values(int32_t size) {
    std::vector<double> values;
    const int64_t step = std::max<int64_t>(1, size / kGridSteps);
    for (int64_t c = size / 4; c <= 3 * int64_t(size) / 4; c += step) values.push_back(double(c));
    return values;
}

// a (or b): from −4000/size upwards in steps of a twentieth of that while below 4000/size.
std::vector<double> slope_values(int32_t size) {
    const double limit = kSlopeSpan / size;
    const double step = limit / kGridSteps;
    std::vector<double> values;
    for (double s = -limit; s < limit && values.size() < kMaxSlopeValues; s += step)
        values.push_back(s);
    return values;
}

std::vector<double> power_values() {
    std::vector<double> values;
    for (double q = 0.6; q <= 1.4; q += 0.2) values.push_back(q);
    return values;
}

struct Grid {
    std::vector<double> x0, y0, a, b, q;
};

struct Samples {
    std::size_t n = 0;
    std::vector<double> x, y;
    std::array<std::vector<double>, 3> v;
};

// The best combination found so far, per channel.
struct Best {
    std::array<bool, 3> found{};
    std::array<BackgroundSurface, 3> surface{};
};

// K, z and the residual of one combination for C channels; false when K is undefined.
template <int C>
bool evaluate(const Samples& s, const std::vector<double>& g, std::array<double, 3>& k,
              std::array<double, 3>& z, std::array<double, 3>& residual) {
    const std::size_t n = s.n;
    std::array<double, C> sum{};
    std::size_t pairs = 0;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            const double d = g[j] - g[i];
            if (d == 0.0) continue;
            ++pairs;
            for (int c = 0; c < C; ++c) sum[c] += (s.v[c][j] - s.v[c][i]) / d;
        }
    }
    if (pairs == 0) return false;
    for (int c = 0; c < C; ++c) {
        const std::vector<double>& v = s.v[std::size_t(c)];
        const double kc = sum[c] / double(pairs);
        double level = 0.0;
        for (std::size_t i = 0; i < n; ++i) level += v[i] - kc * g[i];
        const double zc = level / double(n);
        double r = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double e = v[i] - (kc * g[i] + zc);
            r += e * e;
        }
        k[std::size_t(c)] = kc;
        z[std::size_t(c)] = zc;
        residual[std::size_t(c)] = r;
    }
    return true;
}

// Searches the combinations whose (x0, y0) index lies in [begin, end), in grid order.
template <int C>
Best search(const Samples& s, const Grid& grid, int begin, int end) {
    Best best;
    const std::size_t n = s.n;
    std::vector<double> dx(n), dy(n), g(n);
    std::vector<std::vector<double>> power(grid.q.size(), std::vector<double>(n));
    std::array<double, 3> k{}, z{}, residual{};
    for (int index = begin; index < end; ++index) {
        const double x0 = grid.x0[std::size_t(index) / grid.y0.size()];
        const double y0 = grid.y0[std::size_t(index) % grid.y0.size()];
        for (std::size_t i = 0; i < n; ++i) {
            dx[i] = s.x[i] - x0;
            dy[i] = s.y[i] - y0;
        }
        // The power term depends on neither a nor b.
        for (std::size_t qi = 0; qi < grid.q.size(); ++qi)
            for (std::size_t i = 0; i < n; ++i)
                power[qi][i] = std::pow(dx[i] * dx[i] + dy[i] * dy[i], grid.q[qi]);
        for (double a : grid.a) {
            for (double b : grid.b) {
                for (std::size_t qi = 0; qi < grid.q.size(); ++qi) {
                    for (std::size_t i = 0; i < n; ++i) g[i] = power[qi][i] + a * dx[i] + b * dy[i];
                    if (!evaluate<C>(s, g, k, z, residual)) continue;
                    for (std::size_t c = 0; c < std::size_t(C); ++c) {
                        if (!std::isfinite(residual[c])) continue;
                        if (best.found[c] && best.surface[c].residual <= residual[c]) continue;
                        best.surface[c] = {x0, y0, a, b, grid.q[qi], k[c], z[c], residual[c]};
                        best.found[c] = true;
                    }
                }
            }
        }
    }
    return best;
}

// Band results merged in grid order: a later band wins a channel only when strictly better.
BackgroundFit merge(const std::array<Best, kBandCount>& bands, int channels) {
    BackgroundFit fit;
    fit.channels = channels;
    std::array<bool, 3> have{};
    for (const Best& band : bands) {
        for (std::size_t c = 0; c < std::size_t(channels); ++c) {
            const BackgroundSurface& s = band.surface[c];
            if (!band.found[c]) continue;
            if (have[c] && fit.surface[c].residual <= s.residual) continue;
            fit.surface[c] = s;
            have[c] = true;
        }
    }
    fit.valid = std::all_of(have.begin(), have.begin() + channels, [](bool h) { return h; });
    return fit;
}

inline double power_term(const BackgroundSurface& s, double dx, double dy) {
    return std::pow(dx * dx + dy * dy, s.q);
}

uint16_t clamped_sample(double v) {
    if (!(v > 0.0)) return 0;  // also NaN
    return v >= 65535.0 ? uint16_t(65535) : uint16_t(v);
}

}  // namespace

double surface_value(const BackgroundSurface& s, double x, double y) {
    const double dx = x - s.x0, dy = y - s.y0;
    return s.k * (power_term(s, dx, dy) + s.a * dx + s.b * dy) + s.z;
}

BackgroundFit find_background_fit(const ImageRecord& record,
                                  const std::vector<BackgroundPoint>& points) {
    const int channels = record.mono == 1 ? 1 : 3;
    if (!record.occupied() || points.size() < 2) return {false, channels, {}};
    Samples s;
    // The search grows with the square of the points: at most as many as a user can pick.
    s.n = std::min<std::size_t>(points.size(), kMaxBackgroundPoints);
    for (std::size_t i = 0; i < s.n; ++i) {
        const BackgroundPoint& p = points[i];
        s.x.push_back(p.x);
        s.y.push_back(p.row);
        for (std::size_t c = 0; c < 3; ++c) s.v[c].push_back(p.value[c]);
    }
    const Grid grid{centre_values(record.width), centre_values(record.height),
                    slope_values(record.width), slope_values(record.height), power_values()};
    std::array<Best, kBandCount> bands;
    const int centres = int(grid.x0.size() * grid.y0.size());
    run_bands(centres, [&](int band, int begin, int end) {
        bands[std::size_t(band)] =
            channels == 1 ? search<1>(s, grid, begin, end) : search<3>(s, grid, begin, end);
    });
    return merge(bands, channels);
}

bool apply_background_fit(ImageRecord& record, const BackgroundFit& fit, int32_t reference_mode,
                          int32_t reference_shift) {
    const bool multiplicative = reference_mode == kBackgroundReferenceMultiply;
    if (!multiplicative && reference_mode != kBackgroundReferenceSubtract) return false;
    if (!fit.valid || !record.occupied()) return false;
    const int channels = std::min(fit.channels, record.mono == 1 ? 1 : 3);
    for (int c = 0; c < channels; ++c)
        if (record.plane(c).size() < record.sample_count()) return false;
    const double shift = double(reference_shift) * 256.0;
    const int32_t w = record.width;
    run_bands(record.height, [&](int, int begin, int end) {
        for (int c = 0; c < channels; ++c) {
            const BackgroundSurface& s = fit.surface[std::size_t(c)];
            Plane& plane = record.plane(c);
            for (int row = begin; row < end; ++row) {
                uint16_t* line = plane.data() + std::size_t(row) * std::size_t(w);
                for (int32_t x = 0; x < w; ++x) {
                    double surface = surface_value(s, x, row);
                    if (!(surface > 0.0)) surface = 0.0;
                    const double v = line[x];
                    if (multiplicative)
                        line[x] = surface == 0.0 ? 0 : clamped_sample(v * s.z / surface);
                    else
                        line[x] = clamped_sample(v - surface + shift);
                }
            }
        }
    });
    return true;
}

bool fit_background_points(ImageRecord& record, const std::vector<BackgroundPoint>& points,
                           int32_t reference_mode, int32_t reference_shift) {
    if (reference_mode != kBackgroundReferenceMultiply &&
        reference_mode != kBackgroundReferenceSubtract)
        return false;
    return apply_background_fit(record, find_background_fit(record, points), reference_mode,
                                reference_shift);
}

}  // namespace vora
