#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "core/bands.h"
#include "io/raw_develop.h"
#include "io/raw_develop_passes.h"

namespace vora {
namespace {

// y(x) of the three-piece curve: quadratic toe up to k1, cubic from k1 to k2 (Hermite form of
// y(k1) = 1024, y'(k1) = 2048 / k1, y(k2) = 63488, y'(k2) = s), line through (65536, 65536).
double tone_spline(double x, double k1, double k2) {
    const double s = 2048.0 / (65536.0 - k2);
    if (x < k1) return 1024.0 * x * x / (k1 * k1);
    if (x >= k2) return 65536.0 - s * (65536.0 - x);
    const double h = k2 - k1;
    const double t = (x - k1) / h;
    const double t2 = t * t, t3 = t2 * t;
    return (2 * t3 - 3 * t2 + 1) * 1024.0 + (t3 - 2 * t2 + t) * h * (2048.0 / k1) +
           (-2 * t3 + 3 * t2) * 63488.0 + (t3 - t2) * h * s;
}

using ToneTable = std::vector<uint16_t>;

// 65536 entries per colour, each exactly raw_tone_value of its index.
std::array<ToneTable, 3> tone_tables(const RawSettings& st) {
    std::array<ToneTable, 3> lut;
    for (ToneTable& t : lut) t.resize(65536);
    run_bands(65536, [&](int, int begin, int end) {
        for (std::size_t c = 0; c < 3; ++c)
            for (int x = begin; x < end; ++x)
                lut[c][std::size_t(x)] =
                    raw_tone_value(x, st.black_level[c], st.white_level[c], st.gamma[c]);
    });
    return lut;
}

void tone_rows(const RawSensorView& sensor, const std::array<ToneTable, 3>& lut, int begin, int end) {
    const std::size_t w = std::size_t(sensor.width);
    for (std::size_t i = std::size_t(begin) * w; i < std::size_t(end) * w; ++i) {
        auto& v = sensor.values[i];
        v[0] = lut[0][v[0]];
        v[1] = lut[1][v[1]];
        v[2] = lut[2][v[2]];
        v[3] = lut[1][v[3]];  // a second green (four-colour data)
    }
}

}  // namespace

uint16_t raw_tone_value(double x, int32_t black_level, int32_t white_level, double gamma) {
    // Levels and gamma outside their setting ranges would break the curve (k2 past 65536,
    // infinite exponents); they are limited to those ranges.
    const double k1 = (std::clamp(black_level, 0, 32) + 8) * 128.0;
    const double k2 = (std::clamp(white_level, 128, 255) - 4) * 256.0;
    if (!(gamma >= 1.0)) gamma = 1.0;
    if (gamma > 4.0) gamma = 4.0;
    if (!(x > 0.0)) return 0;
    const double v = 65535.0 * std::pow(tone_spline(x, k1, k2) / 65535.0, 1.0 / gamma);
    if (!(v > 0.0)) return 0;
    if (v >= 65535.0) return 65535;
    return uint16_t(v);
}

namespace raw_pass {

void apply_tone_curve(const RawSensorView& sensor, const RawSettings& settings) {
    const std::array<ToneTable, 3> lut = tone_tables(settings);
    run_bands(sensor.height, [&](int, int begin, int end) { tone_rows(sensor, lut, begin, end); });
}

}  // namespace raw_pass
}  // namespace vora
