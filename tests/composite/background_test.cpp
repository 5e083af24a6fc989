#include "composite/background.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "composite/background_fit.h"
#include "core/bands.h"
#include "core/engine.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::make_workbench;
using test::Rgb;
using test::sample;

ImageRecord flat(int w, int h, int v) {
    return make_image(w, h, [v](int, int, int) { return v; });
}

// Levels as the engine hands them over: 8-bit values × 256.
std::array<int32_t, 6> levels8(std::array<int32_t, 6> v) {
    for (int32_t& x : v) x *= 256;
    return v;
}

// Sample at (x, y counted from the top).
int at(const ImageRecord& r, int c, int x, int y_top) {
    return sample(r, c, x, r.height - 1 - y_top);
}

class Background : public ::testing::Test {
  protected:
    void SetUp() override { wb = make_workbench(); }
    void run(ImageRecord& r, int32_t mode, std::array<int32_t, 6> levels, int32_t extra) {
        background_kernel(*wb, r, mode, levels, extra);
    }
    std::unique_ptr<Workbench> wb;
};

// 8 × 6: Rc = √(64 + 36)/2 = 5, squared 25; the centre is (4, 3), the corner (0, 0) lies
// exactly at Rc. Mode 1 gives v − m + Vc + 1024, so the model m can be read back.
TEST_F(Background, RadialModelAtCentreCornersAndBetween) {
    ImageRecord r = flat(8, 6, 10000);
    const auto levels = levels8({100, 0, 50, 10, 0, 0});  // D = 25600, 10240, 0
    run(r, kBackgroundPseudoSubtract, levels, 200);
    auto model = [&](int c, int x, int row) {
        return 10000 + levels[std::size_t(2 * c)] + 1024 - sample(r, c, x, row);
    };
    EXPECT_EQ(model(0, 4, 3), 25600 + 1024);  // D + 1024 at the centre
    EXPECT_EQ(model(0, 0, 0), 1024);          // 1024 at the corner
    // (6, 3): r = 2² = 4; 16 × ((25 − 4) × 1600 / 25) + 1024 = 16 × 1344 + 1024.
    EXPECT_EQ(model(0, 6, 3), 22528);
    // (7, 5): (√13)² computes just below 13 and truncates to 12: 16 × (13 × 1600 / 25) + 1024.
    EXPECT_EQ(model(0, 7, 5), 14336);
    EXPECT_EQ(model(1, 4, 3), 10240 + 1024);
    for (int row = 0; row < 6; ++row)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(model(2, x, row), 1024);  // D = 0: flat model

    ImageRecord grey = flat(8, 6, 10000);  // mono: red only
    grey.mono = 1;
    run(grey, kBackgroundPseudoSubtract, levels, 200);
    EXPECT_EQ(grey.green, flat(8, 6, 10000).green);
}

// Mode 0: ((v × L) / m) × 16 with L = (D + 1024) / 16.
TEST_F(Background, RadialDivision) {
    ImageRecord r = flat(8, 6, 2000);
    run(r, kBackgroundPseudoMultiply, levels8({100, 0, 0, 100, 0, 0}), 200);
    // Red: L = 1664. Centre m = 26624 → 2000; corner m = 1024 → 3250 × 16; (6, 3) m = 22528.
    EXPECT_EQ(sample(r, 0, 4, 3), 2000);
    EXPECT_EQ(sample(r, 0, 0, 0), 52000);
    EXPECT_EQ(sample(r, 0, 6, 3), 147 * 16);
    // Green: D = −25600 makes the centre model negative (0: saturated to 65535) and L < 0.
    EXPECT_EQ(sample(r, 1, 4, 3), 65535);
    EXPECT_EQ(sample(r, 1, 0, 0), 0);
    // Blue: D = 0, L = 64, m = 1024 everywhere: (2000 × 64 / 1024) × 16.
    EXPECT_EQ(sample(r, 2, 3, 2), 125 * 16);
}

// The background is laid over with the top-left corners together; beyond its right and
// bottom edge its last column and row repeat. Mode 4 with shift 0: v − (b + 1).
TEST_F(Background, SmallerBackgroundRepeatsItsLastRowAndColumn) {
    const int bg_top[2][3] = {{100, 200, 300}, {400, 500, 600}};
    wb->table[3] = make_image(3, 2, [&](int, int x, int row) { return bg_top[1 - row][x]; });
    ImageRecord r = flat(5, 4, 50000);
    run(r, kBackgroundReferenceSubtract, {0, 0, 0, 0, 0, 0}, 3);
    auto v = [](int b) { return Rgb{49999 - b, 49999 - b, 49999 - b}; };
    const std::vector<Rgb> top = {v(100), v(200), v(300), v(300), v(300)};
    const std::vector<Rgb> below = {v(400), v(500), v(600), v(600), v(600)};
    std::vector<Rgb> expected = top;
    for (int i = 0; i < 3; ++i) expected.insert(expected.end(), below.begin(), below.end());
    EXPECT_TRUE(test::has_samples(r, 5, 4, expected));
}

// Mode 3: the level is the largest background sample at display rows and columns 4 and 8
// of a 16 × 16 target (a quarter up to three quarters, every fourth).
TEST_F(Background, ReferenceDivisionLevel) {
    auto bg = [](int, int x, int row) {
        const int y = 15 - row;
        if (x == 8 && y == 8) return 8000;    // sampled: the level is 8000 / 16
        if (x == 5 && y == 5) return 20000;   // between the sampled positions
        if (x == 12 && y == 4) return 30000;  // column 12 is past the middle half
        return 1000;
    };
    wb->table[1] = make_image(16, 16, bg);
    ImageRecord r = flat(16, 16, 4000);
    run(r, kBackgroundReferenceMultiply, {0, 0, 0, 0, 0, 0}, 1);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(at(r, c, 0, 0), (4000 * 500 / 1001) * 16);
        EXPECT_EQ(at(r, c, 8, 8), (4000 * 500 / 8001) * 16);
        EXPECT_EQ(at(r, c, 5, 5), (4000 * 500 / 20001) * 16);
    }

    // A 2 × 2 background has no sampled position inside it: the level comes from the
    // overlay at (w/4, h/4) (clamped to its last column and row) instead of being 0.
    wb->table[2] =
        make_image(2, 2, [](int, int x, int row) { return row == 0 && x == 1 ? 1600 : 100; });
    ImageRecord big = flat(20, 20, 4000);
    run(big, kBackgroundReferenceMultiply, {0, 0, 0, 0, 0, 0}, 2);
    EXPECT_EQ(at(big, 0, 0, 0), (4000 * 100 / 101) * 16);
    EXPECT_EQ(at(big, 0, 10, 10), (4000 * 100 / 1601) * 16);
}

// Two identical images, mode 4 with a shift of 30: v − (v + 1) + 30 × 256 everywhere, also
// through the engine.
TEST_F(Background, IdenticalImagesSubtractToShiftMinusOne) {
    wb->table[0] =
        make_image(7, 5, [](int c, int x, int row) { return (x * 9001 + row * 77 + c) % 65536; });
    wb->table[1] = wb->table[0];
    wb->params[0] = kBackgroundReferenceSubtract;
    wb->params[2] = wb->params[4] = wb->params[6] = 30;
    wb->params[8] = 1;
    apply_operation(*wb, 0, 7);
    for (int c = 0; c < 3; ++c)
        for (uint16_t s : wb->table[0].plane(c)) ASSERT_EQ(s, 30 * 256 - 1);
}

TEST_F(Background, BandsDoNotChangeTheResult) {
    auto gradient = [](int c, int x, int row) { return 3000 + x * 311 + row * 97 + c * 1000; };
    wb->table[5] =
        make_image(23, 19, [](int c, int x, int row) { return 500 + x * 40 + row * 60 + c; });
    for (int32_t mode : {0, 1, 3, 4}) {
        const int32_t extra = mode < 3 ? 250 : 5;
        const auto levels = levels8({120, 20, 90, 40, 30, 60});
        ImageRecord threaded = make_image(37, 29, gradient), serial = threaded;
        run(threaded, mode, levels, extra);
        {
            SerialBandsScope one_thread;
            run(serial, mode, levels, extra);
        }
        EXPECT_EQ(threaded.red, serial.red) << mode;
        EXPECT_EQ(threaded.blue, serial.blue) << mode;
        EXPECT_NE(threaded.red, make_image(37, 29, gradient).red) << mode;
    }
}

TEST_F(Background, HostileInputChangesNothingOrStaysInBounds) {
    const auto levels = levels8({100, 0, 0, 0, 0, 0});
    // 1 × 1: the centre-to-corner power would be 0; the pixel is the centre (model D + 1024).
    ImageRecord one = flat(1, 1, 10000);
    run(one, kBackgroundPseudoSubtract, levels, 200);
    EXPECT_EQ(sample(one, 0, 0, 0), 10000);
    for (int32_t mode : {0, 3, 4}) {
        ImageRecord r = flat(1, 1, 10000);
        run(r, mode, levels, mode < 3 ? 100000 : 0);
    }
    // The curve is limited to 100..300.
    ImageRecord huge = make_image(9, 7, [](int, int x, int row) { return 1000 + x * row * 50; });
    ImageRecord limit = huge, low = huge, lowest = huge;
    run(huge, kBackgroundPseudoMultiply, levels, 2000000000);
    run(limit, kBackgroundPseudoMultiply, levels, 300);
    run(low, kBackgroundPseudoMultiply, levels, -5);
    run(lowest, kBackgroundPseudoMultiply, levels, 100);
    EXPECT_EQ(huge.red, limit.red);
    EXPECT_EQ(low.red, lowest.red);
    // Extreme levels do not overflow.
    ImageRecord extreme = flat(6, 4, 30000);
    run(extreme, kBackgroundPseudoSubtract, {INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX, 0, 0},
        300);
    EXPECT_EQ(sample(extreme, 0, 3, 2), 65535);

    // Background slots that name no other image, and unknown modes, leave the target alone.
    wb->table[0] = flat(4, 4, 1234);
    const ImageRecord before = wb->table[0];
    for (int32_t slot : {-5, 256, 7, 0})
        run(wb->table[0], kBackgroundReferenceSubtract, levels, slot);
    for (int32_t mode : {2, 5, -1}) run(wb->table[0], mode, levels, 200);
    EXPECT_TRUE(test::same_record(wb->table[0], before));
    ImageRecord empty;
    run(empty, kBackgroundPseudoMultiply, levels, 200);
    EXPECT_EQ(empty.width, 0);
}

// The mean of the third and fourth smallest of the 3 × 3 around the clicked pixel, kept one
// pixel inside the image.
TEST_F(Background, SampleRankRule) {
    const int around[3][3] = {{50, 10, 90}, {30, 70, 20}, {80, 40, 60}};  // 3rd 30, 4th 40
    ImageRecord r = make_image(5, 5, [&](int c, int x, int row) {
        if (x <= 2 && row <= 2) return around[row][x] * 100 + c;
        return 60000;
    });
    EXPECT_EQ(background_sample(r, 1, 1), (std::array<int32_t, 3>{3500, 3501, 3502}));
    EXPECT_EQ(background_sample(r, -100, 0), background_sample(r, 1, 1));  // kept inside
    EXPECT_EQ(background_sample(r, 4, 4)[0], 60000);
    r.mono = 1;
    EXPECT_EQ(background_sample(r, 1, 1), (std::array<int32_t, 3>{3500, 3500, 3500}));
    // Images too small for a full neighbourhood repeat their edge samples.
    EXPECT_EQ(background_sample(flat(1, 1, 777), 5, 5), (std::array<int32_t, 3>{777, 777, 777}));
    EXPECT_EQ(background_sample(flat(2, 1, 9), 1, 0)[2], 9);
    EXPECT_EQ(background_sample(ImageRecord{}, 0, 0), (std::array<int32_t, 3>{0, 0, 0}));
}

// ---- point fit ----------------------------------------------------------------------------

// g at (x, row) for a surface with q = 1 (exact in integers).
double g1(double x0, double y0, double a, double b, int x, int row) {
    const double dx = x - x0, dy = row - y0;
    return dx * dx + dy * dy + a * dx + b * dy;
}

// 40 × 40: x0, y0 on 10, 12, … 30; a, b on −100, −95, … 95; q = 1 is on the grid.
int red_background(int x, int row) {
    return int(3 * g1(20, 16, 5, -10, x, row) + 5000);
}
int green_background(int x, int row) {
    return int(g1(24, 12, -20, 0, x, row) + 20000);
}

ImageRecord gradient_image() {
    return make_image(40, 40, [](int c, int x, int row) {
        return c == 0 ? red_background(x, row) : c == 1 ? green_background(x, row) : 30000;
    });
}

std::vector<BackgroundPoint> points_on(const ImageRecord& r,
                                       const std::vector<std::array<int, 2>>& where) {
    std::vector<BackgroundPoint> points;
    for (auto [x, row] : where) {
        BackgroundPoint p;
        p.x = x;
        p.row = row;
        for (int c = 0; c < 3; ++c) p.value[std::size_t(c)] = sample(r, c, x, row);
        points.push_back(p);
    }
    return points;
}

const std::vector<std::array<int, 2>> kSpread = {{3, 5},   {35, 7},  {20, 20}, {8, 33},
                                                 {30, 30}, {15, 2},  {38, 38}, {2, 20},
                                                 {25, 10}, {12, 25}, {33, 18}, {5, 38}};

TEST(BackgroundFit, RecoversAKnownGradientAndFlattensTheImage) {
    const ImageRecord image = gradient_image();
    const std::vector<BackgroundPoint> points = points_on(image, kSpread);
    const BackgroundFit fit = find_background_fit(image, points);
    ASSERT_TRUE(fit.valid);
    ASSERT_EQ(fit.channels, 3);
    for (int c = 0; c < 3; ++c) {
        const BackgroundSurface& s = fit.surface[std::size_t(c)];
        EXPECT_LT(s.residual, 1e-6) << c;
        if (c < 2) {  // blue is flat: any shape fits
            EXPECT_DOUBLE_EQ(s.q, 1.0) << c;
        }
        for (int x = 0; x < 40; x += 7)  // the surface matches everywhere, not only at points
            for (int row = 0; row < 40; row += 5)
                EXPECT_NEAR(surface_value(s, x, row), sample(image, c, x, row), 1e-6);
    }
    EXPECT_NEAR(fit.surface[0].k, 3.0, 1e-9);
    EXPECT_NEAR(fit.surface[1].k, 1.0, 1e-9);
    EXPECT_NEAR(fit.surface[2].k, 0.0, 1e-9);

    // Subtracted with a shift of 100: 25600 (or a hair below, truncated) everywhere.
    ImageRecord sub = image;
    ASSERT_TRUE(apply_background_fit(sub, fit, kBackgroundReferenceSubtract, 100));
    for (int c = 0; c < 3; ++c)
        for (uint16_t v : sub.plane(c)) ASSERT_TRUE(v == 25600 || v == 25599) << v;
    // Divided: v × z / S is z for every pixel.
    ImageRecord div = image;
    ASSERT_TRUE(apply_background_fit(div, fit, kBackgroundReferenceMultiply, 0));
    for (int c = 0; c < 3; ++c) {
        const double z = fit.surface[std::size_t(c)].z;
        for (uint16_t v : div.plane(c)) ASSERT_NEAR(v, z, 1.0);
    }
    // Bands give the same search result as one thread.
    SerialBandsScope one_thread;
    const BackgroundFit serial = find_background_fit(image, points);
    for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_EQ(serial.surface[c].x0, fit.surface[c].x0);
        EXPECT_EQ(serial.surface[c].a, fit.surface[c].a);
        EXPECT_EQ(serial.surface[c].residual, fit.surface[c].residual);
    }
}

TEST(BackgroundFit, TooFewOrCoincidentPointsLeaveTheImageAlone) {
    const ImageRecord image = gradient_image();
    ImageRecord r = image;
    EXPECT_FALSE(fit_background_points(r, {}, kBackgroundReferenceSubtract, 30));
    EXPECT_FALSE(fit_background_points(r, points_on(image, {{5, 5}}), 3, 30));
    // Every click on one pixel (values differ, as picked at different times): K undefined.
    std::vector<BackgroundPoint> same = points_on(image, {{5, 5}, {5, 5}, {5, 5}});
    same[1].value = {100, 200, 300};
    EXPECT_FALSE(find_background_fit(image, same).valid);
    EXPECT_FALSE(fit_background_points(r, same, kBackgroundReferenceMultiply, 30));
    // Modes other than 3 and 4 do nothing.
    EXPECT_FALSE(fit_background_points(r, points_on(image, kSpread), 1, 30));
    EXPECT_TRUE(test::same_record(r, image));
    // Only the first hundred points take part, so a long list cannot stall the search.
    std::vector<BackgroundPoint> many(1000);
    for (std::size_t i = 0; i < many.size(); ++i)
        many[i] = {int(i % 37), int(i / 37), {int(i), 0, 0}, 0};
    ImageRecord tiny = make_image(1, 1, [](int, int, int) { return 500; });
    EXPECT_TRUE(fit_background_points(tiny, many, kBackgroundReferenceSubtract, 0));
    // Tiny images search a tiny grid and stay in bounds.
    ImageRecord one = make_image(1, 1, [](int, int, int) { return 500; });
    EXPECT_TRUE(fit_background_points(one,
                                      {{0, 0, {400, 400, 400}, 400}, {3, 9, {600, 600, 600}, 600}},
                                      kBackgroundReferenceSubtract, 0));
}

TEST(BackgroundFit, MonoCorrectsOnlyRed) {
    ImageRecord image = gradient_image();
    image.mono = 1;
    const std::vector<BackgroundPoint> points =
        points_on(image, {{3, 5}, {35, 7}, {20, 20}, {8, 33}, {30, 30}});
    const BackgroundFit fit = find_background_fit(image, points);
    ASSERT_TRUE(fit.valid);
    EXPECT_EQ(fit.channels, 1);
    ImageRecord r = image;
    ASSERT_TRUE(apply_background_fit(r, fit, kBackgroundReferenceSubtract, 10));
    for (uint16_t v : r.red) ASSERT_TRUE(v == 2560 || v == 2559) << v;
    EXPECT_EQ(r.green, image.green);
    EXPECT_EQ(r.blue, image.blue);
}

}  // namespace
}  // namespace vora
