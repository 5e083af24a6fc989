// The translation search of the automatic and multi-file composites: a two-level block
// matching of grey versions of the images against the first one, on the band runner.
#pragma once

#include <cstdint>
#include <vector>

#include "core/image_record.h"

namespace vora {

struct Offset {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const Offset&) const = default;
};

// Offsets of 2..4 images against the first (which gets (0, 0)): image i's pixel (x, row)
// matches the first image's (x + offset.x, row + offset.y). `method` 1 is the fast window,
// 2 the slow one; `min_shift` skips the zero offset and keeps the images' offsets distinct.
std::vector<Offset> find_offsets(int32_t method, const std::vector<const ImageRecord*>& images,
                                 int32_t range_x, int32_t range_y, bool min_shift);

// Cost of comparing reference grey buffer `a` with `b` (both w × h) at candidate (dx, dy):
// reference (x, y) against b(x − dx, y − dy); 0x7F000000 when the overlap is under 2 × 2.
int32_t alignment_cost(int32_t method, const uint16_t* a, const uint16_t* b, int32_t w,
                       int32_t h, int32_t dx, int32_t dy, int32_t level_factor);

}  // namespace vora
