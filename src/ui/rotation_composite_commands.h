// The rotation composite: two stars picked in the first image are found in the others by
// template matching, and the images are stacked aligned on them (engine code 8).
#pragma once

#include <array>
#include <vector>

#include "core/messages.h"
#include "core/workbench.h"
#include "ui/point_composite_commands.h"
#include "ui/star_pick.h"

namespace vora {

// The stars picked on `reference` (display coordinates) found in the images of `slots` (up
// to four), as their A and B points with weight 100; a slot holding `reference` itself gets
// the picked points.
PointCompositeImages locate_picked_stars(const ImageTable& table, const ImageRecord& reference,
                                         const std::array<PickedPoint, 2>& stars,
                                         const std::vector<int>& slots, int32_t rotation_size,
                                         int32_t compare_range);

// 3020: the images of the composite settings aligned on the picked stars of the first one;
// the found positions become the settings' points.
CommandResult rotation_composite_command(Workbench& wb);

}  // namespace vora
