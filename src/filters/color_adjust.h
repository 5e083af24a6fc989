// Saturation and hue adjustment: the hue is turned by mixing each channel with its
// neighbour, then the distance of each channel from the pixel's mean is scaled.
#pragma once

#include <array>
#include <cstdint>

#include "core/image_record.h"

namespace vora {

// The gain in percent applied to (channel − mean) for saturation s and hue h (degrees); it
// includes the compensation of the desaturation the hue mixing causes.
int64_t saturation_gain(int32_t saturation, int32_t hue);

// One pixel, with the gain from saturation_gain(). Hue is −180..180.
std::array<uint16_t, 3> adjust_pixel(std::array<uint16_t, 3> rgb, int32_t hue, int64_t gain);

// Kernel of operation code 22, in bands of rows. Saturation is limited to −100..100 and hue
// to −180..180, the ranges the dialog offers.
void saturation_hue_kernel(ImageRecord& record, int32_t saturation, int32_t hue);

}  // namespace vora
