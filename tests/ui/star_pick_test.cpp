#include "ui/star_pick.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>

#include "test_support.h"

namespace vora {
namespace {

TEST(StarPick, ClicksOnlyInsideTheFrameCount) {
    // 200 × 100 image, box 64: x in 32..167, y in 32..67.
    StarPick pick;
    start_star_pick(pick, StarPickOrigin::automatic, 64);
    EXPECT_EQ(pick.star_pick_mode, kStarPickFirst);
    const PickedPoint outside[] = {{31, 50}, {168, 50},  {100, 31},     {100, 68},
                                   {-1, -1}, {200, 100}, {INT_MAX, 50}, {100, INT_MIN}};
    for (const PickedPoint& p : outside) {
        EXPECT_EQ(star_pick_click(pick, 200, 100, p.x, p.y), 0) << p.x << "," << p.y;
        EXPECT_EQ(pick.star_pick_mode, kStarPickFirst) << p.x << "," << p.y;
    }
    EXPECT_EQ(star_pick_click(pick, 200, 100, 32, 32), 0);
    EXPECT_EQ(pick.star_pick_mode, kStarPickSecond);
    EXPECT_EQ(star_pick_click(pick, 200, 100, 168, 67), 0);  // right edge is exclusive
    EXPECT_EQ(pick.star_pick_mode, kStarPickSecond);
    EXPECT_EQ(star_pick_click(pick, 200, 100, 167, 67), 3020);
    EXPECT_EQ(pick.star_pick_mode, kStarPickIdle);
    EXPECT_EQ(pick.points[0], (PickedPoint{32, 32}));
    EXPECT_EQ(pick.points[1], (PickedPoint{167, 67}));
    // Idle: further clicks change nothing.
    EXPECT_EQ(star_pick_click(pick, 200, 100, 100, 50), 0);
    EXPECT_EQ(pick.points[0], (PickedPoint{32, 32}));
}

TEST(StarPick, SecondStarSendsTheOriginsCommand) {
    const std::pair<StarPickOrigin, int32_t> cases[] = {{StarPickOrigin::automatic, 3020},
                                                        {StarPickOrigin::multi_file, 3022},
                                                        {StarPickOrigin::batch, 3023}};
    for (const auto& [origin, command] : cases) {
        StarPick pick;
        pick.points = {PickedPoint{1, 1}, PickedPoint{2, 2}};
        start_star_pick(pick, origin, 32);
        EXPECT_EQ(pick.points[1], PickedPoint{}) << "a new pick forgets the old stars";
        EXPECT_EQ(pick.box_size, 32);
        EXPECT_EQ(star_pick_click(pick, 100, 100, 40, 50), 0);
        EXPECT_EQ(star_pick_click(pick, 100, 100, 60, 20), command);
        EXPECT_EQ(pick.star_pick_mode, kStarPickIdle);
        EXPECT_EQ(pick.points[1], (PickedPoint{60, 20}));
    }
}

TEST(StarPick, FrameAndSmallImages) {
    StarPick pick;
    start_star_pick(pick, StarPickOrigin::batch, 65);  // odd box: half 32
    const PickFrame f = star_pick_frame(pick, 300, 200);
    EXPECT_EQ(f.left, 32);
    EXPECT_EQ(f.top, 32);
    EXPECT_EQ(f.right, 268);
    EXPECT_EQ(f.bottom, 168);
    EXPECT_FALSE(f.empty());
    // An image no larger than the box has an empty frame and takes no click.
    EXPECT_TRUE(star_pick_frame(pick, 64, 200).empty());
    EXPECT_EQ(star_pick_click(pick, 64, 200, 32, 100), 0);
    EXPECT_TRUE(star_pick_frame(pick, 0, 0).empty());
    EXPECT_EQ(star_pick_click(pick, 0, 0, 0, 0), 0);
    EXPECT_EQ(star_pick_click(pick, -5, -5, 0, 0), 0);
    EXPECT_EQ(pick.star_pick_mode, kStarPickFirst);
    // A negative box is no box: the whole image.
    start_star_pick(pick, StarPickOrigin::batch, -40);
    EXPECT_EQ(star_pick_click(pick, 10, 10, 0, 9), 0);
    EXPECT_EQ(star_pick_click(pick, 10, 10, 9, 0), 3023);
}

TEST(StarPick, WorkbenchStartsIdle) {
    const auto wb = test::make_workbench();
    EXPECT_EQ(wb->star_pick.star_pick_mode, kStarPickIdle);
}

}  // namespace
}  // namespace vora
