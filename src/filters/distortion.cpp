#include "filters/distortion.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

namespace vora {
namespace {

// Where one new pixel takes its samples from: the lower-left source index and the 8-bit
// fractions towards the right and upper neighbours; index < 0 means "outside".
struct Source {
    std::ptrdiff_t index;
    uint32_t fx;
    uint32_t fy;
};

Source locate(double a, int x, int y, int w, int h) {
    const double dx = double(x - w / 2);
    const double dy = double(y - h / 2);
    const double f = 1.0 - a * (dx * dx + dy * dy);
    const double u = f * dx + double(w / 2);
    const double v = f * dy + double(h / 2);
    // Compared as doubles first: huge or NaN coordinates never reach an integer conversion.
    if (!(u >= 0.0 && u < double(w - 1) && v >= 0.0 && v < double(h - 1))) return {-1, 0, 0};
    const double u0 = std::floor(u);
    const double v0 = std::floor(v);
    return {std::ptrdiff_t(v0) * w + std::ptrdiff_t(u0), uint32_t((u - u0) * 256.0),
            uint32_t((v - v0) * 256.0)};
}

// The bilinear sample. The weighted sum stays below 2^32 (65535 × 256 × 256), so unsigned
// 32-bit arithmetic holds it exactly.
uint16_t interpolate(const uint16_t* p, std::size_t w, const Source& s) {
    const uint16_t* lo = p + s.index;
    const uint16_t* hi = lo + w;
    const uint32_t upper = hi[1] * s.fx + hi[0] * (256u - s.fx);
    const uint32_t lower = lo[1] * s.fx + lo[0] * (256u - s.fx);
    return uint16_t((upper * s.fy + lower * (256u - s.fy)) / 256u / 256u);
}

void resample_row(double a, int y, int w, int h, const std::array<const Plane*, 3>& from,
                  std::array<Plane, 3>& to) {
    const std::size_t row = std::size_t(y) * std::size_t(w);
    for (int x = 0; x < w; ++x) {
        const Source s = locate(a, x, y, w, h);
        for (std::size_t c = 0; c < 3; ++c)
            to[c][row + std::size_t(x)] =
                s.index < 0 ? 0 : interpolate(from[c]->data(), std::size_t(w), s);
    }
}

}  // namespace

void distortion_kernel(ImageRecord& record, int32_t corner_shift) {
    const int w = record.width, h = record.height;
    const std::size_t n = record.sample_count();
    if (n == 0) return;
    for (int c = 0; c < 3; ++c)
        if (record.plane(c).size() != n) return;
    const double quarter = (double(w) * w + double(h) * h) * 0.25;
    const double a = double(corner_shift) / std::pow(quarter, 1.5);
    std::array<Plane, 3> fresh{Plane(n), Plane(n), Plane(n)};
    const std::array<const Plane*, 3> from{&record.red, &record.green, &record.blue};
    for (int y = 0; y < h; ++y) resample_row(a, y, w, h, from, fresh);
    record.red.swap(fresh[0]);
    record.green.swap(fresh[1]);
    record.blue.swap(fresh[2]);
}

}  // namespace vora
