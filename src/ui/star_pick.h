// Picking the two reference stars of the rotation composite with the mouse: the state the
// image window keeps between clicks, which clicks it takes and the frame it draws.
#pragma once

#include <cstdint>

#include "settings/composite_settings.h"

namespace vora {

inline constexpr const char* kStarPickStatus = "画像合成（回転）：赤枠内に基準点を２点設定下さい！";

// The area in which clicks are taken, display coordinates, right and bottom exclusive:
// box_size / 2 away from every edge. Empty (right ≤ left or bottom ≤ top) on a small image.
struct PickFrame {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return right <= left || bottom <= top; }
};

// Waits for the first star.
void start_star_pick(StarPick& pick, StarPickOrigin origin, int32_t box_size);

// The frame on a width × height image.
PickFrame star_pick_frame(const StarPick& pick, int32_t width, int32_t height);

// A left click at display position (x, y) on a width × height image. Inside the frame while a
// pick runs, it stores the point and advances; the second point ends the pick and returns the
// origin's command number. Otherwise nothing changes and the result is 0.
int32_t star_pick_click(StarPick& pick, int32_t width, int32_t height, int32_t x, int32_t y);

}  // namespace vora
