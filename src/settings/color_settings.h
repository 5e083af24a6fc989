// Settings of the colour dialogs: monochrome conversion, saturation/hue and the two
// selective colour replacements.
#pragma once

#include <array>
#include <cstdint>

namespace vora {

// Monochrome conversion (keyword "gray": method, then the red, green and blue weights).
struct MonochromeSettings {
    // 0 largest channel, 1 smallest channel, 2 standard luminance, 3 manual weights.
    int32_t method = 2;
    std::array<int32_t, 3> weights{299, 587, 114};  // red, green, blue
};

// Saturation and hue (keyword "color"), as slider positions.
struct ColorSettings {
    int32_t saturation = 100;  // 0..200; the operation receives saturation − 100
    int32_t hue = 180;         // 0..360; the operation receives hue − 180 degrees
};

// Colour replacement by RGB distance and by hue. Kept while the program runs, not stored
// in the settings file.
struct ColorReplaceSettings {
    std::array<int32_t, 3> rgb_source{};  // 8-bit red, green, blue
    std::array<int32_t, 3> rgb_target{};
    int32_t rgb_tolerance = 0;            // 0..255
    std::array<int32_t, 3> hsv_source{};  // hue in degrees 0..360, saturation and value 0..255
    std::array<int32_t, 3> hsv_target{};
    int32_t hsv_tolerance = 0;            // quarter degrees of hue
};

}  // namespace vora
