// Background generation (engine code 50): a smooth estimate of the sky background of one
// plane, made on a half-size grid with a star-rejecting order statistic, smoothed and
// enlarged back to the source size.
#pragma once

#include <cstdint>

#include "core/engine.h"

namespace vora {

// Fills `target` (source.width × source.height samples) with the background of `source`.
// detection_size: grid spacing × 4 on the half-size image (8..256 from the dialog);
// averaging_size: width of the final box filter (2..16); threshold: samples not above it
// are ignored (0 excludes black, -1 uses everything). Planes below 5 × 5 are copied.
//
// Where a detection window holds fewer than four usable samples the result is the mean of
// the two largest of them (the single one when there is one), and with none at all the
// half-size sample itself, so that a missing sample never turns into white.
void generate_background_plane(ConstPlaneRef source, uint16_t* target, int32_t detection_size,
                               int32_t averaging_size, int32_t threshold);

}  // namespace vora
