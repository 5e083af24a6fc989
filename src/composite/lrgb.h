// Engine code 9: one colour image from a luminance image and colour images aligned by two
// points each (L+RGB and L+R+G+B).
#pragma once

#include <cstdint>

#include "core/engine.h"
#include "core/workbench.h"

namespace vora {

// Groups of slot, weight, packed A, packed B: p[0..3] L (used when its weight p[1] ≥ 1),
// p[4..7] the red source, p[8..11] the green, p[12..15] the blue. The reference is L when used,
// the red source otherwise. A missing or empty source leaves the target empty.
void lrgb_composite_kernel(Workbench& wb, ImageRecord& target, ParamVector& p);

// One merged pixel brought to the luminance blend: Y of (r, g, b) (at least 1), mixed with
// the L image's luminance `lum` by `l_weight` percent; the channels are scaled by the mix / Y.
void blend_luminance(int64_t& r, int64_t& g, int64_t& b, int64_t lum, int64_t l_weight);

}  // namespace vora
