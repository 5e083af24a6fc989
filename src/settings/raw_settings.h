// Settings of camera RAW development and of the dark-frame dialog's defective-pixel
// handling.
#pragma once

#include <array>
#include <cstdint>

namespace vora {

// RAW development. Stored under "raw" (gamma ×3 as doubles; black and white level of red,
// then green, then blue; sharpness, sharp_radius, false_color, saturation, hue; quality) and
// under "dark" (method and quality, before the defective-pixel settings).
struct RawSettings {
    int32_t method = 0;   // 0 the program's fast development, 1 the decoder's interpolation
    int32_t quality = 0;  // interpolation quality 0..3
    std::array<double, 3> gamma{2.2, 2.2, 2.2};           // red, green, blue; 1.0..4.0
    std::array<int32_t, 3> black_level{5, 3, 0};          // 0..32 (shown halved)
    std::array<int32_t, 3> white_level{180, 160, 130};    // 128..255
    int32_t sharpness = 4;     // 0..8
    int32_t sharp_radius = 0;  // 0 one pixel, 1 two pixels
    int32_t false_color = 2;   // false-colour reduction 0..4
    int32_t saturation = 3;    // 0..4
    int32_t hue = 18;          // 0..36, applied as hue × 2 − 36
};

// Defective-pixel handling of RAW dark-frame subtraction (the last two "dark" values).
enum DefectHandling : int32_t { kDefectKeep = 0, kDefectZero = 1, kDefectAverage = 2 };

struct DarkSettings {
    int32_t defect_handling = kDefectKeep;
    int32_t defect_level = 0;  // 0..1024 in steps of 16
};

}  // namespace vora
