#include "filters/distortion.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

#include "core/bands.h"

namespace vora {
namespace {

// Where one new pixel takes its samples from: the lower-left source index and the 8-bit
// fractions towards the right and upper neighbours; index < 0 means "outside".
struct Source {
    std::ptrdiff_t index;
    uint32_t fx;
    uint32_t fy;
};

// The geometry shared by all pixels: the centre, the factor a and the limits of a source
// position that has a right and an upper neighbour.
struct Grid {
    double a;
    double cx, cy;
    double u_limit, v_limit;
    int w;
};

// `dy2` is the row's dy·dy, taken once per row; the sum stays dx·dx + dy·dy in that order.
Source locate(const Grid& g, double dx, double dy, double dy2) {
    const double f = 1.0 - g.a * (dx * dx + dy2);
    const double u = f * dx + g.cx;
    const double v = f * dy + g.cy;
    // Compared as doubles first: huge or NaN coordinates never reach an integer conversion.
    if (!(u >= 0.0 && u < g.u_limit && v >= 0.0 && v < g.v_limit)) return {-1, 0, 0};
    // u and v are not negative here, so truncation is floor (and needs no library call).
    const auto iu = std::ptrdiff_t(u), iv = std::ptrdiff_t(v);
    return {iv * g.w + iu, uint32_t((u - double(iu)) * 256.0), uint32_t((v - double(iv)) * 256.0)};
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

void resample_row(const Grid& g, int y, int h, const std::array<const Plane*, 3>& from,
                  std::array<Plane, 3>& to) {
    const int w = g.w;
    const std::size_t row = std::size_t(y) * std::size_t(w);
    const double dy = double(y - h / 2);
    const double dy2 = dy * dy;
    for (int x = 0; x < w; ++x) {
        const Source s = locate(g, double(x - w / 2), dy, dy2);
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
    const Grid g{double(corner_shift) / std::pow(quarter, 1.5),
                 double(w / 2),
                 double(h / 2),
                 double(w - 1),
                 double(h - 1),
                 w};
    std::array<Plane, 3> fresh{Plane(n), Plane(n), Plane(n)};
    const std::array<const Plane*, 3> from{&record.red, &record.green, &record.blue};
    // Each band writes its own rows of the fresh planes and only reads the old ones.
    run_bands(h, [&](int, int begin, int end) {
        for (int y = begin; y < end; ++y) resample_row(g, y, h, from, fresh);
    });
    record.red.swap(fresh[0]);
    record.green.swap(fresh[1]);
    record.blue.swap(fresh[2]);
}

}  // namespace vora
