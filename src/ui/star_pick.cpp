#include "ui/star_pick.h"

#include <algorithm>
#include <cstddef>

namespace vora {

void start_star_pick(StarPick& pick, StarPickOrigin origin, int32_t box_size) {
    pick.star_pick_mode = kStarPickFirst;
    pick.origin = origin;
    pick.points = {};
    pick.box_size = box_size;
}

PickFrame star_pick_frame(const StarPick& pick, int32_t width, int32_t height) {
    // A negative box would widen the frame past the image.
    const int32_t half = std::max(pick.box_size / 2, 0);
    return {half, half, std::max(width, 0) - half, std::max(height, 0) - half};
}

int32_t star_pick_click(StarPick& pick, int32_t width, int32_t height, int32_t x, int32_t y) {
    if (pick.star_pick_mode != kStarPickFirst && pick.star_pick_mode != kStarPickSecond) return 0;
    const PickFrame f = star_pick_frame(pick, width, height);
    if (x < f.left || x >= f.right || y < f.top || y >= f.bottom) return 0;
    pick.points[std::size_t(pick.star_pick_mode - 1)] = {x, y};
    if (pick.star_pick_mode == kStarPickFirst) {
        pick.star_pick_mode = kStarPickSecond;
        return 0;
    }
    pick.star_pick_mode = kStarPickIdle;
    return int32_t(pick.origin);
}

}  // namespace vora
