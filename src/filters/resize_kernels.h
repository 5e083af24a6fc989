// The pixel loops of resizing and the per-column / per-row tables they read, built once per
// call and shared by the three planes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "filters/resize.h"

namespace vora {

struct ResizeGeometry {
    int32_t old_width;
    int32_t old_height;
    int32_t new_width;
    int32_t new_height;
    ScaleTerms tx;  // column fraction (reduced for bilinear and Lanczos)
    ScaleTerms ty;  // row fraction
};

// What one output column (or row) of the bilinear method reads: a box of `count` source
// lines from `first` (area mean), or, when count is 0, `first` and `second` weighted
// w_first and w_second out of 128 (interpolation).
struct AxisSpan {
    int32_t first = 0;
    int32_t second = 0;
    int32_t w_first = 0;
    int32_t w_second = 0;
    int32_t count = 0;
    int32_t divisor = 1;
};

// The five clamped source lines and the sixteenth-pixel phase of one Lanczos output line.
struct LanczosTaps {
    std::array<int32_t, 5> lines;
    int32_t phase;
};

struct ResizePlan {
    ResizeGeometry g{};
    int32_t method = 0;
    std::vector<int32_t> near_cols, near_rows;
    std::vector<AxisSpan> col_spans, row_spans;
    std::vector<LanczosTaps> lz_cols, lz_rows;
    std::vector<double> lz_kernels;  // 16 × 16 phases (py, px) of 5 × 5 weights (m, n)
};

ResizePlan make_resize_plan(const ResizeGeometry& g, int32_t method);
// Fills the new_width × new_height plane `dst` from the old_width × old_height plane `src`.
void run_resize_plan(const ResizePlan& plan, const uint16_t* src, uint16_t* dst);

}  // namespace vora
