// Shared by the benchmarks: realistic test images built in memory.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/image_record.h"

namespace vora::bench {

// A camera-sized frame: 6000 × 4000 pixels, three 16-bit planes.
inline constexpr int kFrameWidth = 6000;
inline constexpr int kFrameHeight = 4000;

// A w × h colour record whose samples use all 16 bits: smooth gradients plus deterministic
// noise, so no reader, writer or statistic meets an unrealistically uniform image.
inline ImageRecord make_frame(int w = kFrameWidth, int h = kFrameHeight) {
    ImageRecord r;
    r.width = w;
    r.height = h;
    const std::size_t n = std::size_t(w) * std::size_t(h);
    r.red.resize(n);
    r.green.resize(n);
    r.blue.resize(n);
    uint32_t state = 0x2545F491u;
    std::size_t i = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x, ++i) {
            state = state * 1664525u + 1013904223u;  // LCG: fast and the same everywhere
            const uint32_t noise = state >> 24;      // 0..255
            const uint32_t gx = uint32_t(x) * 60000u / uint32_t(w);
            const uint32_t gy = uint32_t(y) * 60000u / uint32_t(h);
            r.red[i] = uint16_t(gx + noise * 16u);
            r.green[i] = uint16_t(gy + noise * 16u);
            r.blue[i] = uint16_t((gx + gy) / 2u + noise * 16u);
        }
    }
    return r;
}

// The same frame, built once per process (about 144 MB).
inline const ImageRecord& shared_frame() {
    static const ImageRecord frame = make_frame();
    return frame;
}

// A folder under /tmp for the files of the file benchmarks, removed at exit.
class TempFolder {
public:
    TempFolder() {
        char name[] = "/tmp/vora-bench-XXXXXX";
        if (mkdtemp(name)) path_ = name;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    bool ok() const { return !path_.empty(); }
    std::string file(const char* name) const { return path_.empty() ? "" : path_ + "/" + name; }

private:
    std::string path_;
};

// The one folder of this process.
inline TempFolder& temp_folder() {
    static TempFolder folder;
    return folder;
}

// Puts `source`'s picture back into `target` between the runs of an in-place operation.
inline void reset_picture(ImageRecord& target, const ImageRecord& source) {
    target.width = source.width;
    target.height = source.height;
    target.mono = source.mono;
    for (int c = 0; c < 3; ++c) target.plane(c) = source.plane(c);
}

// Bytes of the three 16-bit planes of `r`.
inline int64_t frame_bytes(const ImageRecord& r) {
    return int64_t(r.sample_count()) * 3 * 2;
}

// Star-field frames of the composite benchmarks: one sky (a gradient and Gaussian stars),
// seen by each frame through its own view and with its own noise.

struct Lcg {
    uint32_t state;
    uint32_t next() { return state = state * 1664525u + 1013904223u; }
    float unit() { return float(next() >> 8) / float(1u << 24); }  // 0 ≤ u < 1
};

struct SkyStar {
    float x, row, sigma;
    std::array<float, 3> peak;
};

// Many faint stars and a few bright ones, slightly coloured, spread over the w × h sky and
// `margin` pixels beyond every edge, so that moved frames still see stars at their borders.
inline std::vector<SkyStar> make_sky_stars(int w, int h, int count, int margin) {
    std::vector<SkyStar> s(std::size_t(count > 0 ? count : 0));
    Lcg rng{0x9E3779B9u};
    for (SkyStar& star : s) {
        star.x = -float(margin) + rng.unit() * float(w + 2 * margin);
        star.row = -float(margin) + rng.unit() * float(h + 2 * margin);
        star.sigma = 1.0f + rng.unit() * 1.5f;
        const float u = rng.unit();
        const float peak = 1500.0f + u * u * u * 50000.0f;
        for (float& p : star.peak) p = peak * (0.85f + 0.3f * rng.unit());
    }
    return s;
}

// How a frame sees the sky: its pixel (x, row) shows the sky point
// c + scale · R(turn) · ((x, row) − c) + shift, c = (w / 2, h / 2), the turn anticlockwise.
struct SkyView {
    double shift_x = 0.0, shift_y = 0.0;
    double turn_degrees = 0.0;
    double scale = 1.0;
};

// The view's frame and sky coordinates of a w × h frame. With no turn and scale 1 every step
// is exact, so whole-pixel shifts give integer sky coordinates.
class ViewMap {
  public:
    ViewMap(const SkyView& v, int w, int h)
        : v_(v),
          cx_(double(w / 2)),
          cy_(double(h / 2)),
          cos_(std::cos(v.turn_degrees * 3.14159265358979323846 / 180.0)),
          sin_(std::sin(v.turn_degrees * 3.14159265358979323846 / 180.0)) {}
    void to_sky(double x, double row, double& sx, double& sy) const {
        const double dx = x - cx_, dy = row - cy_;
        sx = cx_ + v_.scale * (cos_ * dx - sin_ * dy) + v_.shift_x;
        sy = cy_ + v_.scale * (sin_ * dx + cos_ * dy) + v_.shift_y;
    }
    void to_frame(double sx, double sy, double& x, double& row) const {
        const double dx = sx - cx_ - v_.shift_x, dy = sy - cy_ - v_.shift_y;
        x = cx_ + (cos_ * dx + sin_ * dy) / v_.scale;
        row = cy_ + (cos_ * dy - sin_ * dx) / v_.scale;
    }

  private:
    SkyView v_;
    double cx_, cy_, cos_, sin_;
};

inline uint16_t clamp16(int32_t v) {
    return uint16_t(std::clamp(v, 0, 65535));
}

// A w × h frame of the sky of size w × h: the gradient at each pixel's sky point plus ±384 of
// noise (from `seed`), then the stars added on top, made narrower when the view enlarges.
inline ImageRecord render_star_frame(int w, int h, const std::vector<SkyStar>& stars,
                                     const SkyView& view, uint32_t seed) {
    ImageRecord r;
    r.width = w;
    r.height = h;
    const std::size_t n = std::size_t(w) * std::size_t(h);
    constexpr std::array<int32_t, 3> base{3200, 3600, 4200};
    constexpr std::array<int32_t, 3> slope_x{2400, 1800, 1200};
    constexpr std::array<int32_t, 3> slope_y{1000, 1300, 1600};
    const ViewMap map(view, w, h);
    Lcg rng{seed};
    for (int c = 0; c < 3; ++c) {
        Plane& plane = r.plane(c);
        plane.resize(n);
        std::size_t i = 0;
        for (int row = 0; row < h; ++row) {
            for (int x = 0; x < w; ++x, ++i) {
                double sx = 0.0, sy = 0.0;
                map.to_sky(double(x), double(row), sx, sy);
                const auto sky = int32_t(sy * slope_y[c] / h) + int32_t(sx * slope_x[c] / w);
                const int32_t noise = (int32_t(rng.next() >> 24) - 128) * 3;
                plane[i] = clamp16(base[c] + sky + noise);
            }
        }
    }
    for (const SkyStar& star : stars) {
        double fx = 0.0, frow = 0.0;
        map.to_frame(double(star.x), double(star.row), fx, frow);
        const auto cx = float(fx), cr = float(frow), sigma = float(star.sigma / view.scale);
        if (!(cx > -64.0f && cx < float(w + 64) && cr > -64.0f && cr < float(h + 64))) continue;
        const int reach = int(std::ceil(4.0f * sigma));
        const float k = -0.5f / (sigma * sigma);
        const int x0 = std::max(0, int(cx) - reach), x1 = std::min(w - 1, int(cx) + reach);
        const int r0 = std::max(0, int(cr) - reach), r1 = std::min(h - 1, int(cr) + reach);
        for (int row = r0; row <= r1; ++row) {
            for (int x = x0; x <= x1; ++x) {
                const float dx = float(x) - cx, dr = float(row) - cr;
                const float g = std::exp(k * (dx * dx + dr * dr));
                const std::size_t i = std::size_t(row) * std::size_t(w) + std::size_t(x);
                for (int c = 0; c < 3; ++c) {
                    Plane& plane = r.plane(c);
                    plane[i] = clamp16(int32_t(plane[i]) + int32_t(star.peak[std::size_t(c)] * g));
                }
            }
        }
    }
    return r;
}

}  // namespace vora::bench
