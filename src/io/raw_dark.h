// RAW dark frames: averaging the sensor values of up to four dark exposures, and subtracting
// the averaged frame from a decoded RAW image before it is developed, with the handling of
// defective pixels (where the dark frame is brighter than the image).
#pragma once

#include <cstdint>
#include <vector>

#include "io/dark_frames.h"
#include "io/raw_sensor.h"

namespace vora {

// Forms one dark value per pixel and colour slot from 1 to 4 frames of one size into
// frames[0] and frees the others. 1: the value; 2: (a + b) ÷ 2; 3 and 4: the value farthest
// from the mean is left out (of equally far values the one of the earliest frame), the rest
// averaged. False (nothing changed) for no frames, more than four, or frames of other sizes.
bool average_raw_darks(std::vector<RawSensor>& frames);

enum class RawDarkResult { none, size_differs, subtracted };

// Subtracts the loaded RAW dark frame from `image` when its size is the image's.
// option2 = defective-pixel level × 256 + handling: handling 0 leaves a value below its dark
// value unchanged, 1 sets it to 0, 2 marks values below level + dark value as defective and
// replaces them by the estimate from their twelve nearest neighbours of the same slot.
// Values of 0 are left alone. Unknown handlings count as 0.
RawDarkResult subtract_raw_dark(const DarkFrames& dark, const RawSensorView& image,
                                int32_t option2);

}  // namespace vora
