// Rotations of a whole record: exact quarter and half turns, and turns by any angle with
// bilinear interpolation (black where the source does not reach). Both replace the three
// planes and the size; angles are in thousandths of a degree, positive counter-clockwise
// on screen. Coordinates are stored ones (row 0 at the bottom).
#pragma once

#include <array>
#include <cstdint>

#include "core/image_record.h"

namespace vora {

// Turns by exactly +90000, -90000 or ±180000; any other angle leaves the record alone.
void rotate_quarter(ImageRecord& record, int32_t angle);

// The geometry of a turn by any angle: new size, centres and the sine and cosine used.
struct AnyRotation {
    int32_t width = 0, height = 0;          // source
    int32_t new_width = 0, new_height = 0;  // 0 when the turn cannot be made
    double cs = 1.0, sn = 0.0;
    double ox = 0.0, oy = 0.0;  // destination centre
};
AnyRotation plan_any_rotation(int32_t width, int32_t height, int32_t angle);

// A point in the same coordinates as the source positions of the interpolation.
struct RotationPoint {
    double x = 0.0, y = 0.0;
};
// Where the content at `p` of the source lands in the rotated image.
RotationPoint move_point(const AnyRotation& rotation, RotationPoint p);

// The alignment points A and B of composite image indices 0..3.
struct RotationPointPair {
    RotationPoint a, b;
};
using RotationPoints = std::array<RotationPointPair, 4>;

// Turns by any angle. With `points` given and 0 <= selector <= 3, A and B of that image
// index move with the content; any other selector moves no points.
void rotate_any(ImageRecord& record, int32_t angle, int32_t selector, RotationPoints* points);

// The engine's kernel for code 10: the same turn; it has no composite points to move.
void rotate_any_kernel(ImageRecord& record, int32_t angle, int32_t selector);

}  // namespace vora
