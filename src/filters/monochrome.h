// Monochrome conversion: one grey value per pixel written into all three planes.
#pragma once

#include <cstdint>

#include "core/image_record.h"

namespace vora {

enum MonochromeMethod : int32_t {
    kMonoLargest = 0,   // the largest of R, G, B
    kMonoSmallest = 1,  // the smallest
    kMonoStandard = 2,  // weighted with the standard luminance weights
    kMonoManual = 3,    // weighted with the user's weights
};

// The grey value of one pixel; methods other than 0 and 1 use the weights:
// ((R/8)·wR + (G/8)·wG + (B/8)·wB) / max(wR + wG + wB, 1) × 8, limited to 0..65535.
uint16_t monochrome_value(int32_t method, uint16_t r, uint16_t g, uint16_t b,
                          const int64_t weights[3]);

// Kernel of operation code 20, in bands of rows.
void monochrome_kernel(ImageRecord& record, int32_t method, int32_t w_red, int32_t w_green,
                       int32_t w_blue);

}  // namespace vora
