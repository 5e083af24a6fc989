// Wavelet processing with 2× enlargement (engine code 101 with `enlarge` set): a periodic
// Daubechies transform of L levels, the sub-band gains, L synthesis steps and one further
// synthesis step whose detail bands are zero, which doubles the width and the height.
#pragma once

#include <array>
#include <cstdint>

#include "core/engine.h"
#include "core/image_record.h"

namespace vora {

// L: the position (1..5) of the last gain other than 1.0 in the order d5, d4, d3, d2, d1,
// or 0 when all five are 1.0. gains[i] is d_i.
int wavelet_levels(const std::array<double, 8>& gains);

// Fills `enlarged` with 2W × 2H samples made from the W × H `plane`: the plane less 32768,
// padded to multiples of 2^L by repeating its last column and row, is analysed L times,
// each coefficient of band j (0 = coarsest low band .. L = finest detail) is multiplied by
// d(j - L + 5), and the synthesis runs L + 1 times. `order` is clamped to 1..10. An empty
// plane gives an empty result.
void wavelet_enlarge_kernel(ConstPlaneRef plane, const std::array<double, 8>& gains, int32_t order,
                            Plane& enlarged);

}  // namespace vora
