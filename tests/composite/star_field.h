// A synthetic star field for the composite tests: thirty gaussian stars on a flat sky,
// sampled at any integer shift so that images of the same field differ by exact offsets.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "composite/align.h"
#include "core/image_record.h"

namespace vora::test {

struct Star {
    double x, y, sigma, peak;
};

inline const std::vector<Star>& field_stars() {
    static const std::vector<Star> stars = [] {
        std::vector<Star> s;
        uint32_t state = 20240601u;
        auto next = [&] {
            state = state * 1664525u + 1013904223u;
            return double(state >> 8) / double(1u << 24);
        };
        for (int i = 0; i < 30; ++i)
            s.push_back({-40 + 300 * next(), -40 + 260 * next(), 1.0 + 1.5 * next(),
                         8000 + 40000 * next()});
        return s;
    }();
    return stars;
}

inline double field_value(double x, double y) {
    double v = 1000;
    for (const Star& s : field_stars()) {
        const double dx = x - s.x, dy = y - s.y;
        if (std::abs(dx) > 12 || std::abs(dy) > 12) continue;
        v += s.peak * std::exp(-(dx * dx + dy * dy) / (2 * s.sigma * s.sigma));
    }
    return v;
}

// Pixel (x, row) shows the field at (x + shift.x, row + shift.y), so find_offsets should
// give this image `shift` against an image taken at (0, 0). Green and blue are dimmer.
inline ImageRecord star_image(Offset shift, int width = 200, int height = 160) {
    ImageRecord r;
    r.width = width;
    r.height = height;
    const std::size_t n = std::size_t(width) * std::size_t(height);
    r.red.resize(n);
    r.green.resize(n);
    r.blue.resize(n);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double v = field_value(x + shift.x, y + shift.y);
            const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
            r.red[i] = uint16_t(v);
            r.green[i] = uint16_t(v * 0.75);
            r.blue[i] = uint16_t(v * 0.5);
        }
    return r;
}

}  // namespace vora::test
