// Resizing of an image record (operation code 6): nearest neighbour, bilinear (area mean
// when reducing the height to two thirds or less, interpolation otherwise) and Lanczos with
// a radial 5 × 5 kernel per sixteenth-pixel phase. All three planes are replaced, also for a
// mono record. Sizes scale by fractions: new width = W × new_w / old_w (integer division).
#pragma once

#include <cstdint>

#include "core/engine.h"
#include "core/image_record.h"

namespace vora {

inline constexpr int32_t kResizeNearest = 0;
inline constexpr int32_t kResizeBilinear = 1;
inline constexpr int32_t kResizeLanczos = 2;  // any value other than 0 and 1

// A size fraction of one axis: new term over old term.
struct ScaleTerms {
    int32_t new_term;
    int32_t old_term;
};

// Divides both terms once by each of 2, 3, 5, 7, 9, 11… that divides both (up to half the
// larger term), then halves both while either exceeds 4096. Terms below 1 count as 1.
ScaleTerms reduce_terms(int32_t new_term, int32_t old_term);

// The size `size` becomes under `terms` (integer division, 64-bit).
int64_t scaled_size(int32_t size, ScaleTerms terms);

// Resizes the record by new_w/old_w and new_h/old_h with `method` (0 nearest, 1 bilinear,
// else Lanczos); bilinear and Lanczos reduce the fractions first. An empty record, or one
// whose new size would be empty or beyond kMaxResizeSamples, is left unchanged.
// Throws std::bad_alloc when the new planes do not fit (the command level catches it).
void resize_record(ImageRecord& record, int32_t new_w, int32_t old_w, int32_t new_h, int32_t old_h,
                   int32_t method);

// The same to an absolute size: the fractions are new size over the record's size.
inline void resize_record_to(ImageRecord& record, int32_t width, int32_t height, int32_t method) {
    resize_record(record, width, record.width, height, record.height, method);
}

// Largest sample count of a resized plane (bigger requests leave the image unchanged).
inline constexpr int64_t kMaxResizeSamples = int64_t(1) << 30;

// The kernel of code 6: p[0]/p[1] width fraction, p[2]/p[3] height fraction, p[4] method.
void resize_kernel(ImageRecord& record, const ParamVector& p);

}  // namespace vora
