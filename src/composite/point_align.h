// Alignment by two reference stars, shared by the by-point composite (code 8) and the L+RGB
// composites (code 9): every image after the first is scaled and turned so that its A–B
// segment matches the first image's, and the images are placed so that the segments'
// midpoints coincide.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "composite/stack.h"
#include "core/image_record.h"
#include "filters/rotate.h"

namespace vora {

// One image with its points A and B packed as the engine receives them (x × 16384 + y, y
// counted from the top).
struct PointSource {
    const ImageRecord* image = nullptr;
    int32_t packed_a = 0;
    int32_t packed_b = 0;
};

// The direction of the segment (dx, dy) in thousandths of a degree, y counted downwards:
// atan(dy / dx), plus a half turn when dx < 0; straight up or down when dx = 0.
double segment_angle(double dx, double dy);

// The aligned images: `placed[i]` shows source i (the source itself when it needed neither
// scaling nor turning, otherwise a working copy held in `copies`) at its offset, the first
// at (0, 0); offsets are not yet moved onto a canvas and weights are left at 100.
// `points[i]` holds source i's A and B in stored coordinates after scaling and turning.
struct AlignedImages {
    std::vector<StackImage> placed;
    RotationPoints points{};
    std::vector<std::unique_ptr<ImageRecord>> copies;
};

// Aligns up to four sources on the first. Sources that are the same record with the same
// points share one working copy. Throws std::bad_alloc when a copy does not fit.
AlignedImages align_by_points(const std::vector<PointSource>& sources);

}  // namespace vora
