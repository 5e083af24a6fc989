// Settings of the image window's value display and of the A/B point keys.
#pragma once

#include <cstdint>

namespace vora {

// Stored under "display" (value_divisor) and "sel_ab" (ab_point_method, ab_search_radius).
struct DisplaySettings {
    int32_t value_divisor = 256;  // 1 << (16 − bits) for a display depth of 6..16 bits
    int32_t show_camera_info = 1; // not stored
    int32_t ab_point_method = 0;  // 0 cursor position, 1 brightest, 2 darkest, 3 centroid peak
    int32_t ab_search_radius = 8; // half-size of the search square, at most 16
};

}  // namespace vora
