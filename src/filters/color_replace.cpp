#include "filters/color_replace.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "filters/hsv.h"
#include "filters/rgb_pixels.h"

namespace vora {
namespace {

uint16_t clamp16(int64_t v) {
    return uint16_t(std::clamp<int64_t>(v, 0, 65535));
}

// The hues of an HSV replacement in hue units, less than half a turn apart, and the 16-bit
// saturations and values.
struct HsvPlan {
    int64_t h0, h1, s0, v0, s1, v1;
    int32_t tolerance;
};

HsvPlan plan_hsv(const HsvReplacement& r) {
    HsvPlan p;
    p.h0 = int64_t(r.source[0]) * kHueSector / 60;
    p.h1 = int64_t(r.target[0]) * kHueSector / 60;
    if (p.h1 > p.h0 + kHueTurn / 2) p.h1 -= kHueTurn;
    if (p.h0 > p.h1 + kHueTurn / 2) p.h0 -= kHueTurn;
    p.s0 = int64_t(r.source[1]) * 256;
    p.v0 = int64_t(r.source[2]) * 256;
    p.s1 = int64_t(r.target[1]) * 256;
    p.v1 = int64_t(r.target[2]) * 256;
    p.tolerance = r.tolerance;
    return p;
}

// Scales a saturation or value by new/old, or takes the new one when the old is too small.
int32_t rescale(int64_t x, int64_t old_level, int64_t new_level) {
    if (old_level <= 256) return int32_t(std::clamp<int64_t>(new_level, 0, 65535));
    return int32_t(std::clamp<int64_t>(new_level / 2 * x / old_level * 2, 0, 65535));
}

std::array<uint16_t, 3> replace_planned(std::array<uint16_t, 3> rgb, const HsvPlan& p) {
    const Hsv hsv = rgb_to_hsv(rgb[0], rgb[1], rgb[2]);
    if (hue_distance(hsv.hue, p.h0) > p.tolerance) return rgb;
    if (p.tolerance == 0)
        return hsv_to_rgb({wrap_hue(p.h1), int32_t(std::clamp<int64_t>(p.s1, 0, 65535)),
                           int32_t(std::clamp<int64_t>(p.v1, 0, 65535))});
    return hsv_to_rgb({wrap_hue(hsv.hue + p.h1 - p.h0), rescale(hsv.saturation, p.s0, p.s1),
                       rescale(hsv.value, p.v0, p.v1)});
}

}  // namespace

std::array<uint16_t, 3> replace_rgb_pixel(std::array<uint16_t, 3> rgb, const RgbReplacement& r) {
    int64_t sum = 0;
    for (std::size_t c = 0; c < 3; ++c) sum += std::llabs(int64_t(rgb[c] / 256) - r.source[c]);
    const int64_t d = sum / 3;
    const int64_t t = r.tolerance;
    if (d > t) return rgb;
    std::array<uint16_t, 3> out;
    for (std::size_t c = 0; c < 3; ++c) {
        const int64_t target = int64_t(r.target[c]) * 256;
        out[c] = clamp16(t == 0 ? target : (rgb[c] * d + (t - d) * target) / t);
    }
    return out;
}

void replace_rgb(ImageRecord& record, const RgbReplacement& replacement) {
    map_rgb_pixels(
        record, [&](std::array<uint16_t, 3> rgb) { return replace_rgb_pixel(rgb, replacement); });
}

int32_t hue_distance(int64_t hue, int64_t reference) {
    // Reduced to one turn first: the reference may lie below zero after the half-turn
    // adjustment, and a difference beyond a full turn would fold to a negative distance.
    const int64_t diff = std::llabs(hue - reference) % kHueTurn;
    const int64_t d = diff * 60 / 2048;
    return int32_t(d > 720 ? 1440 - d : d);
}

std::array<uint16_t, 3> replace_hsv_pixel(std::array<uint16_t, 3> rgb, const HsvReplacement& r) {
    return replace_planned(rgb, plan_hsv(r));
}

void replace_hsv(ImageRecord& record, const HsvReplacement& replacement) {
    const HsvPlan plan = plan_hsv(replacement);
    map_rgb_pixels(record, [&](std::array<uint16_t, 3> rgb) { return replace_planned(rgb, plan); });
}

}  // namespace vora
