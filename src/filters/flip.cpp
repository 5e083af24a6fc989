#include "filters/flip.h"

#include <algorithm>

#include "core/bands.h"

namespace vora {
namespace {

// Left-right: every row reversed where it lies.
void flip_rows(Plane& plane, int32_t w, int32_t h) {
    run_bands(h, [&](int, int begin, int end) {
        for (int y = begin; y < end; ++y) {
            uint16_t* row = plane.data() + std::size_t(y) * std::size_t(w);
            std::reverse(row, row + w);
        }
    });
}

// Top-bottom: row y and row H−1−y trade places.
void flip_columns(Plane& plane, int32_t w, int32_t h) {
    run_bands(h / 2, [&](int, int begin, int end) {
        for (int y = begin; y < end; ++y) {
            uint16_t* a = plane.data() + std::size_t(y) * std::size_t(w);
            uint16_t* b = plane.data() + std::size_t(h - 1 - y) * std::size_t(w);
            std::swap_ranges(a, a + w, b);
        }
    });
}

}  // namespace

void flip(ImageRecord& r, int32_t mode) {
    if ((mode != 1 && mode != 2) || !r.occupied()) return;
    for (int c = 0; c < 3; ++c)
        if (r.plane(c).size() != r.sample_count()) return;
    for (int c = 0; c < 3; ++c) {
        if (mode == 1)
            flip_rows(r.plane(c), r.width, r.height);
        else
            flip_columns(r.plane(c), r.width, r.height);
    }
}

}  // namespace vora
