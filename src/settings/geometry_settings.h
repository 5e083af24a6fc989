// Settings of the geometric dialogs: resize, rotate/flip, cut and resize, distortion.
#pragma once

#include <cstdint>

namespace vora {

// Resize (keyword "resize"). The dialog's size fields are not kept: they start from the
// current image's size whenever it opens.
struct ResizeSettings {
    int32_t keep_aspect = 1;
    // 0 Nearest, 1 Bilinear, 2 Lanczos when enlarging / Bilinear when reducing, 3 Lanczos.
    int32_t resize_method = 1;
};

// Rotation and flips (keyword "round").
struct RotateSettings {
    // 0 left 90°, 1 right 90°, 2 180°, 3 by angle, 4 flip left-right, 5 flip top-bottom.
    int32_t rotate_mode = 3;
    int32_t angle = 0;  // hundredths of a degree, positive = counter-clockwise on screen
};

// Cut and resize (keyword "cut": cut_anchor, cut_width, cut_height on the first line, the
// output fields on the second).
struct CutSettings {
    int32_t cut_anchor = 4;  // 0..8, reading order on screen, 4 = centre
    int32_t cut_width = 1024;
    int32_t cut_height = 768;
    int32_t output_mode = 1;  // 0 output size, 1 scale in percent
    int32_t output_width = 1024;
    int32_t output_height = 768;
    int32_t output_scale = 100;
};

// Distortion correction (keyword "waikyoku").
struct DistortionSettings {
    int32_t corner_shift = 0;  // pixels the corners move, outward when positive
};

}  // namespace vora
