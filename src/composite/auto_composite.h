// Engine code 3: the automatic composite of up to four image groups into an empty target.
#pragma once

#include "core/engine.h"
#include "core/workbench.h"

namespace vora {

// p[0], p[1] ranges; p[2] stacking mode; p[3] method + 3 × normalise + 256 × min shift;
// p[4..7] slots (−1 none); p[8..11] weights; p[15] rejection; p[16], p[17] composite shift.
// Fewer than two usable groups leave the target empty.
void auto_composite_kernel(Workbench& wb, ImageRecord& target, ParamVector& p);

}  // namespace vora
