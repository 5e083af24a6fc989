// Noise removal: each sample becomes a blend of itself and a weighted mean of its 3 × 3 or
// 5 × 5 neighbourhood (clamped at the border), where a neighbour's table weight shrinks as
// its difference from the centre grows beyond the tolerance. Called directly by the noise
// command (not through the engine); runs on the band runner.
#pragma once

#include "core/image_record.h"
#include "settings/filter_settings.h"

namespace vora {

// Filters all three planes of `record` in place. `settings.noise_area` 3 selects the 3 × 3
// neighbourhood, any other value the 5 × 5 one; `settings.noise_tolerance` × 1280 is the
// difference that still keeps full weight. k = 6 − noise_strength (limited to 1..5): the
// result is (2 × Sv / Sw + centre × (k − 1)) / (k + 1). Every sample is computed from the
// unchanged image. An empty record, or one whose planes do not match its size, is left alone.
void noise_reduction(ImageRecord& record, const NoiseSettings& settings, int k);

}  // namespace vora
