// Background correction, operation code 7: a smooth background model is divided out of or
// subtracted from the image, sample by sample.
//
// Modes: 0 / 1 divide by / subtract a radial model built from a centre and an edge level and
// a curve exponent; 3 / 4 divide by / subtract another image laid over the target. The red
// plane is corrected, then green and blue unless the record is mono. All arithmetic is
// integer with truncating division, results limited to 0..65535.
#pragma once

#include <array>
#include <cstdint>

#include "core/image_record.h"

namespace vora {

struct Workbench;

inline constexpr int32_t kBackgroundPseudoMultiply = 0;
inline constexpr int32_t kBackgroundPseudoSubtract = 1;
inline constexpr int32_t kBackgroundReferenceMultiply = 3;
inline constexpr int32_t kBackgroundReferenceSubtract = 4;

// The curve parameter (exponent × 100) the radial model accepts; other values are clamped.
inline constexpr int32_t kBackgroundCurveMin = 100;
inline constexpr int32_t kBackgroundCurveMax = 300;

// Operation code 7 on `record`. `levels` are p[2]..p[7] × 256: per channel (centre, edge)
// for modes 0/1, (shift, unused) for modes 3/4. `extra` is the curve parameter (modes 0/1)
// or the slot of the background image (modes 3/4).
//
// Radial model, per pixel (x, stored row y): D = centre − edge, k = curve / 100,
// Rc = (√((w² + h²) / 4))^k and r = (√(dx² + dy²))^k truncated, dx = x − w/2, dy = y − h/2;
// model = 16 × ((Rc − r) × (D / 16) / Rc) + 1024, which is D + 1024 at the centre and 1024
// at the corners.
// Background image: laid over the target with their top-left corners together; target
// pixels beyond its right or bottom edge repeat its last column or row; model = sample + 1.
// A mono background lends its grey plane to every channel. The multiplicative level is the
// largest background sample at every fourth display row and column of the target's middle
// half (from a quarter up to, not including, three quarters), positions outside the
// background skipped; when none is inside, the overlay's value at (w/4, h/4) is used.
// A background slot that is empty, out of range or the target itself changes nothing.
void background_kernel(Workbench& wb, ImageRecord& record, int32_t mode,
                       const std::array<int32_t, 6>& levels, int32_t extra);

// The background value under a clicked pixel (column, stored row), per channel R, G, B: the
// centre is kept one pixel inside the image, and of its 3 × 3 neighbourhood the mean of the
// third and fourth smallest samples is taken. A mono record gives its grey value three
// times; an empty record gives zeros.
std::array<int32_t, 3> background_sample(const ImageRecord& record, int32_t x, int32_t row);

}  // namespace vora
