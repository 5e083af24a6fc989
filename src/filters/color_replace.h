// Selective colour replacement: pixels close to a source colour take a new colour, by RGB
// distance or by hue distance.
#pragma once

#include <array>
#include <cstdint>

#include "core/image_record.h"

namespace vora {

// 8-bit colours; tolerance is the largest mean high-byte difference that still changes.
struct RgbReplacement {
    std::array<int32_t, 3> source{};
    std::array<int32_t, 3> target{};
    int32_t tolerance = 0;
};

// Hue in degrees, saturation and value 8-bit; tolerance in quarter degrees of hue.
struct HsvReplacement {
    std::array<int32_t, 3> source{};
    std::array<int32_t, 3> target{};
    int32_t tolerance = 0;
};

// One pixel: unchanged beyond the tolerance, the new colour at distance 0, a linear fade
// in between (full replacement only at tolerance 0).
std::array<uint16_t, 3> replace_rgb_pixel(std::array<uint16_t, 3> rgb, const RgbReplacement& r);
// Recolours all three planes of the record in bands of rows.
void replace_rgb(ImageRecord& record, const RgbReplacement& replacement);

// The circular hue distance in quarter degrees (0..720) between two hues in hue units.
int32_t hue_distance(int64_t hue, int64_t reference);
std::array<uint16_t, 3> replace_hsv_pixel(std::array<uint16_t, 3> rgb, const HsvReplacement& r);
void replace_hsv(ImageRecord& record, const HsvReplacement& replacement);

}  // namespace vora
