// Edge enhancement (operation code 5): in every 3 × 3 neighbourhood (clamped at the image
// border) whose range is small the pixel is pulled toward the plain mean; where the range is
// large it is pulled toward the mean of the neighbours on its own side of the edge.
//
// Parameters: p[1] threshold (0..65535), p[2] strength (0..50), p[3] bright/dark split in
// percent (0..100), p[4] smoothing (0..50); the engine has clamped them (the kernels clamp
// again). The planes are filtered in place from the bottom row up, keeping copies of the two
// rows still needed, so every pixel sees unchanged neighbours exactly as if the results went
// to full-size scratch planes copied back at the end. Both kernels run on the calling thread.
#pragma once

#include <array>
#include <cstdint>

#include "core/engine.h"

namespace vora {

// One plane on its own: equal neighbours count as neither brighter nor darker.
void edge_enhance_plane(PlaneRef plane, const ParamVector& p);

// Three colour planes together: R + G + B decides, each channel uses its own sums, and a
// neighbour as bright as the centre counts as bright. The planes must share one size.
void edge_enhance_joint(std::array<PlaneRef, 3> planes, const ParamVector& p);

}  // namespace vora
