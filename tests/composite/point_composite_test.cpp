#include "composite/point_composite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>

#include "composite/point_align.h"
#include "composite/stack.h"
#include "core/bands.h"
#include "filters/rotate.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::make_workbench;
using test::sample;

TEST(SegmentAngle, QuadrantsAndVerticals) {
    struct Case {
        double dx, dy, angle;
    };
    const Case cases[] = {
        {1, 0, 0},        {1, 1, 45000},   {1, -1, -45000}, {-1, 0, 180000},
        {-1, -1, 225000}, {-1, 1, 135000}, {0, 5, 90000},   {0, 1, 90000},
        {0, 0.5, -90000}, {0, 0, -90000},  {0, -3, -90000},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(segment_angle(c.dx, c.dy), c.angle, 1e-6) << c.dx << "," << c.dy;
}

TEST(AlignByPoints, SubPixelDistanceDifferenceTurnsWithoutResizing) {
    const ImageRecord ref = make_image(30, 20, [](int, int, int) { return 100; });
    const ImageRecord other = make_image(31, 21, [](int, int, int) { return 500; });
    // d_ref = √(20² + 10²) = 22.36 at 26.565°; √(20² + 11²) = 22.83 at 28.811°: a turn by
    // 2.245° (2245 thousandths, truncated) but no resize, as the lengths differ by under one.
    const AlignedImages a = align_by_points({{&ref, pack_point(5, 5), pack_point(25, 15)},
                                             {&other, pack_point(5, 5), pack_point(25, 16)}});
    const AnyRotation turn = plan_any_rotation(31, 21, 2245);
    ASSERT_EQ(a.placed.size(), 2u);
    EXPECT_EQ(a.placed[0].image, &ref);
    EXPECT_EQ(a.placed[1].image->width, turn.new_width);
    EXPECT_EQ(a.placed[1].image->height, turn.new_height);
    // Identical sources with identical points share one copy; without a change, none is made.
    const AlignedImages b = align_by_points({{&ref, pack_point(5, 5), pack_point(25, 15)},
                                             {&other, pack_point(5, 5), pack_point(25, 16)},
                                             {&other, pack_point(5, 5), pack_point(25, 16)},
                                             {&ref, pack_point(5, 5), pack_point(25, 15)}});
    EXPECT_EQ(b.copies.size(), 1u);
    EXPECT_EQ(b.placed[1].image, b.placed[2].image);
    EXPECT_EQ(b.placed[3].image, &ref);
}

// Single bright samples on black: where they land shows the alignment exactly.
const std::vector<std::pair<int, int>> kStars = {{12, 9}, {30, 21}, {21, 30}, {41, 14}};

ImageRecord dots(int w, int h) {
    std::set<std::pair<int, int>> on(kStars.begin(), kStars.end());
    return make_image(w, h, [&](int, int x, int row) {
        return on.count({x, h - 1 - row}) ? 60000 : 0;  // stars given top-down
    });
}

// Display positions of samples above `level` in the red plane.
std::set<std::pair<int, int>> bright(const ImageRecord& r, int level) {
    std::set<std::pair<int, int>> out;
    for (int row = 0; row < r.height; ++row)
        for (int x = 0; x < r.width; ++x)
            if (sample(r, 0, x, row) > level) out.insert({x, r.height - 1 - row});
    return out;
}

// The stars of `found` are those of kStars moved by one common offset.
bool same_pattern(const std::set<std::pair<int, int>>& found) {
    if (found.size() != kStars.size()) return false;
    const auto first = *found.begin();
    const auto ref = *std::set<std::pair<int, int>>(kStars.begin(), kStars.end()).begin();
    for (const auto& s : kStars)
        if (!found.count({s.first + first.first - ref.first, s.second + first.second - ref.second}))
            return false;
    return true;
}

struct PointComposite : ::testing::Test {
    std::unique_ptr<Workbench> wb = make_workbench();

    void put(int slot, ImageRecord r) { wb->table[slot] = std::move(r); }
    // Group g: slot, weight, A and B in display coordinates.
    void group(int g, int slot, int weight, int ax, int ay, int bx, int by) {
        ParamVector& p = wb->params;
        p[std::size_t(4 + 4 * g)] = slot;
        p[std::size_t(5 + 4 * g)] = weight;
        p[std::size_t(6 + 4 * g)] = pack_point(ax, ay);
        p[std::size_t(7 + 4 * g)] = pack_point(bx, by);
    }
    ImageRecord& run(int mode = kStackAverage) {
        wb->params[0] = mode;
        wb->params[2] = -1;
        apply_operation(*wb, 18, 8);  // slot 18 is the empty target
        return wb->table[18];
    }
};

TEST_F(PointComposite, IdenticalSegmentsGiveThePlainStack) {
    put(0,
        test::make_image(24, 16, [](int c, int x, int y) { return 1000 * c + 37 * x + 11 * y; }));
    put(1, test::make_image(24, 16, [](int c, int x, int y) { return 3000 + 5 * x * y + c; }));
    group(0, 0, 100, 3, 4, 20, 12);
    group(1, 1, 60, 3, 4, 20, 12);
    group(2, 5, 0, 0, 0, 0, 0);
    group(3, 6, 0, 0, 0, 0, 0);
    const ImageRecord& out = run();

    ImageRecord expected;
    expected.width = 24;
    expected.height = 16;
    stack_images(kStackAverage, {{&wb->table[0], 0, 0, 100}, {&wb->table[1], 0, 0, 60}}, expected,
                 -1, false);
    EXPECT_TRUE(test::same_pixels(out, expected));
}

TEST_F(PointComposite, CompactsGroupsAndFillsDummies) {
    put(2, dots(50, 40));
    put(3, dots(50, 40));
    group(0, 7, 0, 0, 0, 0, 0);  // weight 0: dropped
    group(1, 2, 100, 12, 9, 30, 21);
    group(2, 3, 100, 12, 9, 30, 21);
    group(3, 9, 0, 0, 0, 0, 0);
    run();
    const ParamVector& p = wb->params;
    const std::array<int32_t, 16> expected = {2,
                                              100,
                                              pack_point(12, 9),
                                              pack_point(30, 21),
                                              3,
                                              100,
                                              pack_point(12, 9),
                                              pack_point(30, 21),
                                              2,
                                              0,
                                              100,
                                              200,
                                              2,
                                              0,
                                              100,
                                              200};
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(p[4 + i], expected[i]) << i;
}

TEST_F(PointComposite, FewerThanTwoImagesLeaveTheTargetEmpty) {
    put(0, dots(50, 40));
    group(0, 0, 100, 12, 9, 30, 21);
    group(1, 1, 100, 12, 9, 30, 21);  // empty slot
    group(2, 400, 100, 0, 0, 0, 0);   // no such slot
    group(3, 18, 100, 0, 0, 0, 0);    // the target itself
    EXPECT_FALSE(run().occupied());
}

TEST_F(PointComposite, QuarterTurnedImageIsTurnedBack) {
    const int w = 50, h = 40;
    put(0, dots(w, h));
    ImageRecord turned = dots(w, h);
    rotate_quarter(turned, 90000);  // display (x, y) lands at (y, w − 1 − x)
    put(1, std::move(turned));
    group(0, 0, 100, 12, 9, 30, 21);
    group(1, 1, 100, 9, w - 1 - 12, 21, w - 1 - 30);
    const ImageRecord& out = run();
    // The copy is turned back to 50 × 40 about its centre (a black row where the turn
    // reaches past the source) and lands on the reference.
    EXPECT_EQ(out.width, w);
    EXPECT_EQ(out.height, h + 1);
    EXPECT_TRUE(same_pattern(bright(out, 50000))) << bright(out, 50000).size();
}

TEST_F(PointComposite, ScaledImageIsScaledBack) {
    auto field = [](double x, double y) {
        return 20000 + 10000 * std::sin(x / 7.0) * std::cos(y / 5.0);
    };
    put(0, make_image(60, 40, [&](int, int x, int row) { return field(x, 39 - row); }));
    put(1,
        make_image(90, 60, [&](int, int x, int row) { return field(x / 1.5, (59 - row) / 1.5); }));
    group(0, 0, 100, 10, 10, 40, 30);
    group(1, 1, 100, 15, 15, 60, 45);
    const ImageRecord& out = run();
    ASSERT_EQ(out.width, 60);
    ASSERT_EQ(out.height, 40);
    double worst = 0;
    for (int row = 2; row < 38; ++row)
        for (int x = 2; x < 58; ++x)
            worst = std::max(worst, std::abs(sample(out, 0, x, row) - field(x, 39 - row)));
    EXPECT_LT(worst, 400);  // 2 % of the field's range: the error of one bilinear reduction
}

TEST_F(PointComposite, CompositeShiftMovesEachLaterImage) {
    put(0, dots(50, 40));
    put(1, dots(50, 40));
    group(0, 0, 100, 12, 9, 30, 21);
    group(1, 1, 100, 12, 9, 30, 21);
    wb->params[20] = 5;
    wb->params[21] = -3;
    const ImageRecord& out = run(kStackMaximum);
    EXPECT_EQ(out.width, 55);
    EXPECT_EQ(out.height, 43);
    // Image 2 sits 5 columns right and 3 stored rows lower: its stars 3 rows further down.
    const auto found = bright(out, 50000);
    for (const auto& s : kStars) {
        EXPECT_TRUE(found.count({s.first, s.second})) << s.first << "," << s.second;
        EXPECT_TRUE(found.count({s.first + 5, s.second + 3})) << s.first << "," << s.second;
    }
}

TEST_F(PointComposite, SameResultOnOneThread) {
    const int w = 50, h = 40;
    put(0, dots(w, h));
    ImageRecord turned = dots(w, h);
    rotate_any(turned, 17000, -1, nullptr);
    put(1, std::move(turned));
    group(0, 0, 100, 12, 9, 30, 21);
    group(1, 1, 100, 14, 11, 33, 20);
    const ImageRecord threaded = run();
    release_slot(wb->table[18]);
    group(0, 0, 100, 12, 9, 30, 21);
    group(1, 1, 100, 14, 11, 33, 20);
    SerialBandsScope serial;
    EXPECT_TRUE(test::same_pixels(run(), threaded));
}

}  // namespace
}  // namespace vora
