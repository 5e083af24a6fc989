#include "filters/hsv.h"

#include <algorithm>

namespace vora {

int32_t wrap_hue(int64_t hue) {
    const int64_t h = hue % kHueTurn;
    return int32_t(h < 0 ? h + kHueTurn : h);
}

Hsv rgb_to_hsv(uint16_t red, uint16_t green, uint16_t blue) {
    const int32_t r = red / 2, g = green / 2, b = blue / 2;
    int32_t mx, mn, hue_base, numerator;
    if (g <= r && r >= b) {
        mx = r, mn = std::min(g, b), hue_base = 0, numerator = g - b;
    } else if (r <= g && g >= b) {
        mx = g, mn = std::min(r, b), hue_base = 2 * kHueSector, numerator = b - r;
    } else {
        mx = b, mn = std::min(r, g), hue_base = 4 * kHueSector, numerator = r - g;
    }
    const int32_t d = mx - mn;
    if (d == 0) return {0, 0, mx * 2};
    int32_t hue = numerator * kHueSector / d + hue_base;
    if (hue < 0) hue += kHueTurn;
    return {hue, int32_t(int64_t(d) * 65535 / mx), mx * 2};
}

std::array<uint16_t, 3> hsv_to_rgb(Hsv hsv) {
    const int64_t h = wrap_hue(hsv.hue);
    const int64_t s = std::clamp(hsv.saturation, 0, 65535);
    const int64_t v = std::clamp(hsv.value, 0, 65535);
    const int64_t i = h / kHueSector, f = h % kHueSector;
    const auto p = uint16_t((65535 - s) * v / 65535);
    const auto q = uint16_t((65535 - f * s / kHueSector) * v / 65535);
    const auto t = uint16_t((65535 - (kHueSector - f) * s / kHueSector) * v / 65535);
    const auto vv = uint16_t(v);
    switch (i) {
        case 0:
            return {vv, t, p};
        case 1:
            return {q, vv, p};
        case 2:
            return {p, vv, t};
        case 3:
            return {p, q, vv};
        case 4:
            return {t, p, vv};
        default:
            return {vv, p, q};
    }
}

}  // namespace vora
