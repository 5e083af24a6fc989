// The composites aligned by two points per image: by point (308, and the rotation composite
// once its stars are found) and the colour composites L+RGB (313) and L+R+G+B (360).
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "core/messages.h"
#include "core/workbench.h"
#include "settings/composite_settings.h"

namespace vora {

// Up to four images for engine code 8: slot (−1 none), weight and points in display
// coordinates.
struct PointCompositeImages {
    std::array<int, 4> slots{-1, -1, -1, -1};
    std::array<int32_t, 4> weights{};
    std::array<AlignPoints, 4> points{};
};

// How engine code 8 stacks: mode, rejection, normalisation and the composite shift.
struct PointStackOptions {
    int32_t stack_mode = 0;
    int32_t reject_mode = 0;
    int32_t noise_level = 0;
    int32_t normalize = 0;
    int32_t shift_x = 0, shift_y = 0;
};
PointStackOptions point_stack_options(const CompositeSettings& s);

// Stacks the images with engine code 8 into a new image that becomes current; the points are
// used as given.
CommandResult run_point_composite(Workbench& wb, const PointCompositeImages& images,
                                  const PointStackOptions& options);

// 308: the images, weights and points of the composite settings; B points are completed by
// the point rules first (and the stored B points reset afterwards when that happened).
CommandResult point_composite_command(Workbench& wb, std::function<bool()> dialog = {});

// 313: the L+RGB settings' images with points 0 (L) and 1 (RGB) of the composite settings.
CommandResult lrgb_command(Workbench& wb, std::function<bool()> dialog = {});

// 360: images 0..3 of the composite settings as L (optional), R, G and B with their weights.
CommandResult lrgb4_command(Workbench& wb, std::function<bool()> dialog = {});

}  // namespace vora
