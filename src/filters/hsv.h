// Integer hue/saturation/value conversion. Hue counts 1/8192 of 60 degrees (49152 per
// turn); saturation and value are 0..65535.
#pragma once

#include <array>
#include <cstdint>

namespace vora {

inline constexpr int32_t kHueSector = 8192;
inline constexpr int32_t kHueTurn = 6 * kHueSector;

struct Hsv {
    int32_t hue;
    int32_t saturation;
    int32_t value;
};

// Works on the samples halved, so the value's lowest bit is lost (V = largest / 2 × 2).
Hsv rgb_to_hsv(uint16_t r, uint16_t g, uint16_t b);
// Hue is taken modulo one turn; saturation and value are limited to 0..65535.
std::array<uint16_t, 3> hsv_to_rgb(Hsv hsv);

// Brings a hue into 0..kHueTurn − 1.
int32_t wrap_hue(int64_t hue);

}  // namespace vora
