// The canvas and the five stacking functions shared by every composite (automatic,
// multi-file, by point, L+RGB). An image is placed on the canvas at its offset: its pixel
// (x, row) lands at canvas (x + ox, row + oy). All arithmetic is integer.
#pragma once

#include <cstdint>
#include <vector>

#include "core/image_record.h"

namespace vora {

// The largest canvas side; images placed beyond are cut off.
inline constexpr int32_t kMaxCanvasSide = 10000;

struct StackImage {
    const ImageRecord* image = nullptr;
    int32_t ox = 0;
    int32_t oy = 0;
    int32_t weight = 100;  // percent; used by average and sum
};

struct CanvasSize {
    int32_t width = 0;
    int32_t height = 0;
};

// Moves the offsets so that the smallest one (taken together with 0) becomes 0 and returns
// the canvas that holds every image, each side capped at kMaxCanvasSide.
CanvasSize compute_canvas(std::vector<StackImage>& images);

// Moves the images onto their canvas (compute_canvas) and gives `target` that size with three
// black planes; its mono flag is cleared.
void make_canvas_target(std::vector<StackImage>& images, ImageRecord& target);

// The average's threshold for a rejection entry (noise level, level + 256 for move mode,
// negative for none): the entry × 256, held within 32 bits.
int32_t rejection_threshold(int32_t entry);

// Stacks 1..4 placed images into `target`, whose width, height and three planes are already
// set. `threshold` is the average's rejection threshold on the 16-bit scale (negative: no
// rejection; 65536 and above: move mode with threshold − 65536); `normalize` the average's
// density normalisation. Modes are StackMode values; an unknown mode leaves the target black.
void stack_images(int32_t mode, const std::vector<StackImage>& images, ImageRecord& target,
                  int32_t threshold, bool normalize);

}  // namespace vora
