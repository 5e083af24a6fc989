// Engine code 8: the composite of two to four images aligned by two points each.
#pragma once

#include "core/engine.h"
#include "core/workbench.h"

namespace vora {

// p[0] stacking mode; p[2] rejection (noise level, + 256 for move mode, −1 none); p[3]
// 3 × normalisation; p[4..19] four groups of slot, weight, packed A, packed B; p[20], p[21]
// composite shift per image. The groups with weight ≥ 1 are moved to the front of the vector
// and the rest become dummies of image 1 with weight 0. Fewer than two usable groups leave
// the target empty.
void point_composite_kernel(Workbench& wb, ImageRecord& target, ParamVector& p);

}  // namespace vora
