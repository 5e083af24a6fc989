// Distortion correction: moves content radially by an amount that grows with the square of
// the distance from the centre, so the corners move by `corner_shift` pixels.
#pragma once

#include <cstdint>

#include "core/image_record.h"

namespace vora {

// Kernel of operation code 60: resamples all three planes (also of a mono image) with
// 8-bit bilinear weights. Pixels whose source lies outside the image, or in its last row or
// column, become 0.
void distortion_kernel(ImageRecord& record, int32_t corner_shift);

}  // namespace vora
