#include "filters/color_adjust.h"

#include <algorithm>
#include <cstddef>

#include "filters/rgb_pixels.h"

namespace vora {
namespace {

// Hue mixing; every division truncates toward zero.
std::array<int64_t, 3> mix_hue(int64_t r, int64_t g, int64_t b, int64_t h) {
    if (h == 0) return {r, g, b};
    if (h > 0 && h < 120)
        return {(r * (120 - h) + b * h) / 120, (g * (120 - h) + r * h) / 120,
                (b * (120 - h) + g * h) / 120};
    if (h >= 120)
        return {(b * (240 - h) + g * (h - 120)) / 120, (r * (240 - h) + b * (h - 120)) / 120,
                (g * (240 - h) + r * (h - 120)) / 120};
    if (h >= -119)
        return {(r * (120 + h) - g * h) / 120, (g * (120 + h) - b * h) / 120,
                (b * (120 + h) - r * h) / 120};
    return {(g * (240 + h) - b * (120 + h)) / 120, (b * (240 + h) - r * (120 + h)) / 120,
            (r * (240 + h) - g * (120 + h)) / 120};
}

}  // namespace

int64_t saturation_gain(int32_t saturation, int32_t hue) {
    const int64_t s = saturation;
    const int64_t magnitude = hue < 0 ? -int64_t(hue) : int64_t(hue);
    const int64_t a = magnitude * 100 / 60;
    if (magnitude < 60) return s + a;
    if (magnitude < 120) return s + 200 - a;
    return s + a - 200;
}

std::array<uint16_t, 3> adjust_pixel(std::array<uint16_t, 3> rgb, int32_t hue, int64_t gain) {
    const std::array<int64_t, 3> mixed = mix_hue(rgb[0], rgb[1], rgb[2], hue);
    const int64_t mean = (mixed[0] + mixed[1] + mixed[2]) / 3;
    std::array<uint16_t, 3> out;
    for (std::size_t c = 0; c < 3; ++c)
        out[c] = uint16_t(std::clamp<int64_t>(mixed[c] + (mixed[c] - mean) * gain / 100, 0, 65535));
    return out;
}

void saturation_hue_kernel(ImageRecord& record, int32_t saturation, int32_t hue) {
    const int32_t h = std::clamp(hue, -180, 180);
    const int64_t gain = saturation_gain(std::clamp(saturation, -100, 100), h);
    map_rgb_pixels(record, [&](std::array<uint16_t, 3> rgb) { return adjust_pixel(rgb, h, gain); });
}

}  // namespace vora
