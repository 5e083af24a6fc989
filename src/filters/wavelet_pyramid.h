// Wavelet processing without enlargement (engine code 101): a five-level difference pyramid
// of 2 × 2 means with a fixed four-point prediction, whose difference levels are multiplied
// by the sub-band gains before the plane is rebuilt in place.
#pragma once

#include <array>

#include "core/engine.h"

namespace vora {

// The pyramid of a W × H plane covers W' × H' = (W/32 + 1)·32 × (H/32 + 1)·32; level k
// (0..5) is (W'/2^k) × (H'/2^k) and level 0 is the plane with its last column and row
// repeated. Difference level k is multiplied by d(5 - k) (gains[i] is d_i; the residual,
// level 5, keeps its gain of 1). The rebuilt W × H area is truncated toward zero and
// limited to 0..65535.
void wavelet_pyramid_kernel(PlaneRef plane, const std::array<double, 8>& gains);

}  // namespace vora
