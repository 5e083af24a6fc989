// Blur restoration (operation code 102): an additive deconvolution with a known radial
// spread function, followed by an unsharp emphasis.
//
// With M the measured plane and X0 = M, each iteration computes X ← X − 2 · (K∗X − M);
// the output is (1 + emphasis) · X − emphasis · (K∗X), set to 0 below 0, to 65535 above
// 65535 and truncated otherwise. K∗X is the radial weighted sum of filters/sharpen.h (same
// summation order, clamped neighbours).
//
// The rows are streamed: each band keeps only the last 2n + 1 rows of every iteration's
// estimate and recomputes the few rows it needs from its neighbours, so no double plane
// of the image's size is held. The samples equal those of whole-plane passes.
#pragma once

#include <cstdint>

#include "core/engine.h"
#include "filters/sharpen.h"

namespace vora {

// The spread function: w = 1 / (1 + (d² × 10 / spread) ^ (bluntness / 20)).
RadialKernel restore_kernel(int32_t spread, int32_t bluntness);

struct RestoreParams {
    int32_t spread = 10;     // at least 1
    int32_t bluntness = 20;  // used as given
    int32_t iterations = 3;  // 0..5
    int32_t emphasis = 1;    // used as given

    // p[0]..p[3]; spread below 1 is taken as 1 and iterations are limited to 0..5.
    static RestoreParams from_params(const ParamVector& p);
};

// Operation code 102 on one plane.
void restore_plane(PlaneRef plane, const ParamVector& p);

}  // namespace vora
