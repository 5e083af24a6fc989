#include "filters/rotate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "core/bands.h"
#include "filters/flip.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::sample;

// Stored rows, bottom first; the same values in all three planes plus 100 per channel.
using Rows = std::vector<std::vector<int>>;

::testing::AssertionResult has_rows(const ImageRecord& r, const Rows& rows) {
    const int h = int(rows.size()), w = int(rows[0].size());
    if (r.width != w || r.height != h)
        return ::testing::AssertionFailure() << "size " << r.width << "x" << r.height;
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (sample(r, c, x, y) != rows[y][x] + 100 * c)
                    return ::testing::AssertionFailure()
                           << "c" << c << " (" << x << "," << y << ") = " << sample(r, c, x, y);
    return ::testing::AssertionSuccess();
}

ImageRecord small() {  // 3 x 2: row 0 = 0 1 2, row 1 = 10 11 12
    return make_image(3, 2, [](int c, int x, int y) { return 100 * c + 10 * y + x; });
}

ImageRecord noisy(int w, int h) {
    return make_image(w, h, [](int c, int x, int y) {
        return (x * 7919 + y * 3571 + c * 1009 + x * y * 31) % 65536;
    });
}

// The turn by any angle written out pixel by pixel, as a reference for the fast kernel.
ImageRecord reference_turn(const ImageRecord& s, int32_t angle) {
    const double th = angle / 1000.0 / 180.0 * 3.1415926, cs = std::cos(th), sn = std::sin(th);
    const double w = s.width, h = s.height;
    const double xs[] = {0, w * cs - h * sn, w * cs, -h * sn};
    const double ys[] = {0, w * sn + h * cs, w * sn, h * cs};
    const double ew = *std::max_element(xs, xs + 4) - *std::min_element(xs, xs + 4);
    const double eh = *std::max_element(ys, ys + 4) - *std::min_element(ys, ys + 4);
    const double ox = std::floor(ew) / 2, oy = std::floor(eh) / 2;
    return make_image(int(ew), int(eh), [&](int c, int x, int y) -> int {
        const double dx = x - ox, dy = oy - y;
        const double u = dx * cs - dy * sn + w / 2, v = h / 2 - (dx * sn + dy * cs);
        const int u0 = int(std::floor(u)), v0 = int(std::floor(v));
        if (u0 < 0 || u0 >= s.width - 1 || v0 < 0 || v0 >= s.height - 1) return 0;
        const int64_t fx = int64_t((u - u0) * 256), fy = int64_t((v - v0) * 256);
        auto p = [&](int px, int py) -> int64_t { return sample(s, c, px, py); };
        return int(((p(u0 + 1, v0 + 1) * fx + p(u0, v0 + 1) * (256 - fx)) * fy +
                    (p(u0 + 1, v0) * fx + p(u0, v0) * (256 - fx)) * (256 - fy)) /
                   256 / 256);
    });
}

TEST(Rotate, QuarterAndHalfTurnsMoveEverySample) {
    struct Case {
        int32_t angle;
        Rows rows;
    } cases[] = {
        {90000, {{10, 0}, {11, 1}, {12, 2}}},   // counter-clockwise on screen
        {-90000, {{2, 12}, {1, 11}, {0, 10}}},  // clockwise
        {180000, {{12, 11, 10}, {2, 1, 0}}},
        {-180000, {{12, 11, 10}, {2, 1, 0}}},
    };
    for (const Case& c : cases) {
        ImageRecord r = small();
        rotate_quarter(r, c.angle);
        EXPECT_TRUE(has_rows(r, c.rows)) << c.angle;
    }
    ImageRecord r = small();
    rotate_quarter(r, 45000);  // not a quarter turn: left alone
    EXPECT_TRUE(has_rows(r, {{0, 1, 2}, {10, 11, 12}}));
}

TEST(Rotate, TurnsThereAndBackRestoreTheImage) {
    const ImageRecord original = noisy(131, 67);  // crosses the copy's tiles, odd sizes
    struct Case {
        int32_t first, second;
    } cases[] = {{180000, 180000}, {90000, -90000}, {-90000, 90000}, {-180000, 180000}};
    for (const Case& c : cases) {
        ImageRecord r = original;
        rotate_quarter(r, c.first);
        rotate_quarter(r, c.second);
        EXPECT_TRUE(test::same_pixels(r, original)) << c.first << " " << c.second;
    }
}

TEST(Rotate, FlipsMirrorTheImage) {
    ImageRecord lr = small(), tb = small();
    flip(lr, 1);
    flip(tb, 2);
    EXPECT_TRUE(has_rows(lr, {{2, 1, 0}, {12, 11, 10}}));
    EXPECT_TRUE(has_rows(tb, {{10, 11, 12}, {0, 1, 2}}));
    const ImageRecord original = noisy(9, 7);
    for (int mode : {1, 2}) {
        ImageRecord r = original;
        flip(r, mode);
        EXPECT_FALSE(test::same_pixels(r, original)) << mode;
        flip(r, mode);
        EXPECT_TRUE(test::same_pixels(r, original)) << mode;
    }
    ImageRecord r = original;
    flip(r, 3);  // unknown mode
    EXPECT_TRUE(test::same_pixels(r, original));
}

TEST(Rotate, FortyFiveDegreesGrowsTheImageWithBlackCorners) {
    // Extents 10·cos 45° + 10·sin 45° = 14.14: 14 x 14, centre (7, 7) over source (5, 5).
    ImageRecord r = make_image(10, 10, [](int, int, int) { return 1000; });
    rotate_any(r, 45000, -1, nullptr);
    ASSERT_EQ(r.width, 14);
    ASSERT_EQ(r.height, 14);
    for (int c = 0; c < 3; ++c) {
        for (auto [x, y] : {std::pair{0, 0}, {13, 0}, {0, 13}, {13, 13}})
            EXPECT_EQ(sample(r, c, x, y), 0) << x << "," << y;
        EXPECT_EQ(sample(r, c, 7, 7), 1000);
    }
}

TEST(Rotate, TinyAngleInterpolatesAndLeavesBlackEdges) {
    // One thousandth of a degree on 4 x 4 keeps the size; centre (2, 2). Pixel (1, 1) reads
    // u = 2 − cos − sin = 0.99998 (fx 255) and v = 2 + sin − cos = 1.0000175 (fy 0):
    // (P(1,1)·255 + P(0,1)·1)·256 / 256 / 256 = (1100·255 + 1000) / 256 = 1099.
    ImageRecord r = make_image(4, 4, [](int, int x, int y) { return 100 * x + 1000 * y; });
    rotate_any(r, 1, -1, nullptr);
    ASSERT_EQ(r.width, 4);
    ASSERT_EQ(r.height, 4);
    EXPECT_EQ(sample(r, 0, 1, 1), 1099);
    // Top right reads past the last column, bottom left before the first: both black.
    EXPECT_EQ(sample(r, 0, 3, 3), 0);
    EXPECT_EQ(sample(r, 0, 0, 0), 0);
    // The top row reads the last source row (no upper neighbour) left of the centre.
    EXPECT_EQ(sample(r, 0, 0, 3), 0);
    EXPECT_EQ(sample(r, 0, 1, 3), 0);
}

TEST(Rotate, AnyAngleMatchesThePlainFormula) {
    const ImageRecord original = noisy(37, 23);
    for (int32_t angle : {30000, -30000, 123456, 200000, 359999, 720001, 0, 90001, 1}) {
        ImageRecord r = original;
        rotate_any(r, angle, -1, nullptr);
        EXPECT_TRUE(test::same_pixels(r, reference_turn(original, angle))) << angle;
    }
}

TEST(Rotate, PointsMoveWithTheContent) {
    // 10 x 10 at 45°: centre (5, 5) lands on (7, 7); (9, 5), four to the right of it,
    // turns counter-clockwise to (7 + 4 cos 45°, 7 + 4 sin 45°).
    const double c45 = std::cos(45.0 / 180.0 * 3.1415926);
    const double s45 = std::sin(45.0 / 180.0 * 3.1415926);  // not quite c45 with this pi
    const AnyRotation g = plan_any_rotation(10, 10, 45000);
    RotationPoint centre = move_point(g, {5, 5});
    EXPECT_DOUBLE_EQ(centre.x, 7);
    EXPECT_DOUBLE_EQ(centre.y, 7);
    RotationPoint right = move_point(g, {9, 5});
    EXPECT_NEAR(right.x, 7 + 4 * c45, 1e-9);
    EXPECT_NEAR(right.y, 7 + 4 * s45, 1e-9);

    // Only the selected image index moves; selectors outside 0..3 move nothing.
    for (int selector : {0, 2, 3, 4, -1}) {
        RotationPoints points;
        for (auto& pair : points) pair = {{5, 5}, {9, 5}};
        ImageRecord r = make_image(10, 10, [](int, int, int) { return 1; });
        rotate_any(r, 45000, selector, &points);
        for (int k = 0; k < 4; ++k) {
            const bool moved = k == selector;
            EXPECT_DOUBLE_EQ(points[k].a.x, moved ? 7 : 5) << selector << " " << k;
            EXPECT_NEAR(points[k].b.y, moved ? 7 + 4 * s45 : 5, 1e-9) << selector << " " << k;
        }
    }
}

TEST(Rotate, PointMovingInvertsTheSourceLookup) {
    const AnyRotation g = plan_any_rotation(31, 17, -67890);
    for (auto [x, y] : {std::pair{0, 0}, {12, 5}, {30, 29}, {g.new_width - 1, 3}}) {
        const double dx = x - g.ox, dy = g.oy - y;
        const double u = dx * g.cs - dy * g.sn + 31 / 2.0;
        const double v = 17 / 2.0 - (dx * g.sn + dy * g.cs);
        const RotationPoint back = move_point(g, {u, v});
        EXPECT_NEAR(back.x, x, 1e-9);
        EXPECT_NEAR(back.y, y, 1e-9);
    }
}

TEST(Rotate, SerialBandsGiveTheSameResult) {
    const ImageRecord original = noisy(70, 45);
    auto run_all = [&] {
        std::vector<ImageRecord> out(5, original);
        rotate_any(out[0], 33333, -1, nullptr);
        rotate_quarter(out[1], 90000);
        rotate_quarter(out[2], 180000);
        flip(out[3], 1);
        flip(out[4], 2);
        return out;
    };
    const std::vector<ImageRecord> threaded = run_all();
    SerialBandsScope serial;
    const std::vector<ImageRecord> one = run_all();
    for (std::size_t i = 0; i < one.size(); ++i)
        EXPECT_TRUE(test::same_pixels(threaded[i], one[i])) << i;
}

TEST(Rotate, HostileInputNeverBreaks) {
    const int32_t angles[] = {1, 45000, -45000, 90000, 180000, INT32_MAX, INT32_MIN, 0};
    for (int32_t angle : angles) {
        // One sample has no neighbour to interpolate with: it turns black, size stays 1 x 1.
        ImageRecord one = make_image(1, 1, [](int, int, int) { return 7; });
        rotate_any(one, angle, 1, nullptr);
        EXPECT_EQ(one.width, 1) << angle;
        EXPECT_EQ(one.height, 1) << angle;
        ImageRecord q = make_image(1, 1, [](int, int, int) { return 7; });
        rotate_quarter(q, angle);
        EXPECT_EQ(sample(q, 2, 0, 0), 7);
        ImageRecord line = make_image(5, 1, [](int, int x, int) { return x; });
        rotate_any(line, angle, 0, nullptr);
        EXPECT_EQ(line.red.size(), std::size_t(line.width) * std::size_t(line.height));
        ImageRecord empty;
        rotate_any(empty, angle, 0, nullptr);
        rotate_quarter(empty, angle);
        EXPECT_EQ(empty.width, 0);
    }
    ImageRecord empty;
    flip(empty, 1);
    flip(empty, 2);
    // Planes that do not match the size are left alone.
    ImageRecord broken = make_image(4, 3, [](int, int, int) { return 1; });
    broken.blue.clear();
    rotate_any(broken, 45000, 0, nullptr);
    rotate_quarter(broken, 90000);
    flip(broken, 1);
    EXPECT_EQ(broken.width, 4);
    EXPECT_EQ(broken.height, 3);
}

}  // namespace
}  // namespace vora
