#include "composite/stack.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "composite/star_field.h"
#include "core/bands.h"
#include "settings/composite_settings.h"
#include "test_support.h"

namespace vora {
namespace {

using test::Rgb;

// Values in stored order (row 0 first).
ImageRecord rgb_image(int w, int h, const std::vector<Rgb>& values) {
    return test::make_image(
        w, h, [&](int c, int x, int y) { return values[std::size_t(y * w + x)][std::size_t(c)]; });
}
ImageRecord grey_image(int w, int h, const std::vector<int>& values) {
    return test::make_image(w, h,
                            [&](int, int x, int y) { return values[std::size_t(y * w + x)]; });
}

Rgb pixel(const ImageRecord& r, int x, int row) {
    return {test::sample(r, 0, x, row), test::sample(r, 1, x, row), test::sample(r, 2, x, row)};
}

// Places the images on their canvas and stacks them.
ImageRecord stacked(int mode, std::vector<StackImage> images, int32_t threshold = -1,
                    bool normalize = false) {
    const CanvasSize canvas = compute_canvas(images);
    ImageRecord t;
    t.width = canvas.width;
    t.height = canvas.height;
    for (int c = 0; c < 3; ++c) t.plane(c).assign(t.sample_count(), 0);
    stack_images(mode, images, t, threshold, normalize);
    return t;
}

// Row `row` of the red plane.
std::vector<int> red_row(const ImageRecord& r, int row) {
    std::vector<int> v;
    for (int x = 0; x < r.width; ++x) v.push_back(test::sample(r, 0, x, row));
    return v;
}

// Stacks 1 × 1 images (pixel, weight) at offset 0 and returns the one output pixel.
Rgb stack_pixels(int mode, const std::vector<std::pair<Rgb, int>>& pixels, int32_t threshold) {
    std::vector<ImageRecord> records;
    for (const auto& [value, weight] : pixels) records.push_back(rgb_image(1, 1, {value}));
    std::vector<StackImage> images;
    for (std::size_t i = 0; i < records.size(); ++i)
        images.push_back({&records[i], 0, 0, pixels[i].second});
    return pixel(stacked(mode, images, threshold), 0, 0);
}

TEST(Canvas, MovesOffsetsToZeroAndCoversEveryImage) {
    struct Placed {
        int w, h, ox, oy;
    };
    struct Case {
        std::vector<Placed> in;
        std::vector<std::pair<int, int>> offsets;
        int width, height;
    };
    const Case cases[] = {
        {{{10, 8, 0, 0}, {10, 8, 3, -2}}, {{0, 2}, {3, 0}}, 13, 10},
        {{{10, 8, 0, 0}, {6, 6, 4, 4}}, {{0, 0}, {4, 4}}, 10, 10},
        {{{10, 8, 5, 5}, {4, 4, 7, 1}}, {{5, 5}, {7, 1}}, 15, 13},  // 0 counts as an offset
        {{{10, 10, 0, 0}, {10, 10, 9995, -3}}, {{0, 3}, {9995, 0}}, 10000, 13},  // capped
        {{{10, 10, 0, 0}, {10, 10, INT_MIN, INT_MAX}}, {{10000, 0}, {0, 10000}}, 10000, 10000},
    };
    for (const Case& c : cases) {
        std::vector<ImageRecord> records;
        for (const Placed& p : c.in)
            records.push_back(grey_image(p.w, p.h, std::vector<int>(p.w * p.h, 1)));
        std::vector<StackImage> images;
        for (std::size_t i = 0; i < c.in.size(); ++i)
            images.push_back({&records[i], c.in[i].ox, c.in[i].oy, 100});
        const CanvasSize canvas = compute_canvas(images);
        EXPECT_EQ(canvas.width, c.width);
        EXPECT_EQ(canvas.height, c.height);
        for (std::size_t i = 0; i < images.size(); ++i) {
            EXPECT_EQ(images[i].ox, c.offsets[i].first) << i;
            EXPECT_EQ(images[i].oy, c.offsets[i].second) << i;
        }
    }
}

TEST(Stack, EachModePerChannel) {
    struct Case {
        int mode;
        std::vector<std::pair<Rgb, int>> images;  // 1 × 1 pixel and weight
        Rgb out;
    };
    const Case cases[] = {
        // (100·100 + 1000·50) / 100 = 600, likewise 1200 and 1800.
        {kStackSum, {{{100, 200, 300}, 100}, {{1000, 2000, 3000}, 50}}, {600, 1200, 1800}},
        // 65535·100·2 passes 6553500: saturated, not 131070 cut to 16 bits.
        {kStackSum,
         {{{65535, 65535, 65535}, 100}, {{65535, 65535, 65535}, 100}},
         {65535, 65535, 65535}},
        {kStackSum, {{{1000, 0, 7}, 30}, {{2000, 0, 7}, 30}, {{0, 0, 7}, 30}}, {900, 0, 6}},
        {kStackMaximum, {{{5, 70, 0}, 100}, {{9, 3, 0}, 100}}, {9, 70, 0}},
        {kStackMaximum,
         {{{1, 2, 3}, 0}, {{3, 2, 1}, 0}, {{0, 9, 0}, 0}, {{2, 2, 2}, 0}},
         {3, 9, 3}},
        {kStackMinimum, {{{0, 70, 0}, 100}, {{9, 3, 0}, 100}}, {9, 3, 0}},  // zeros ignored
        {kStackMinimum, {{{0, 5, 7}, 100}, {{4, 0, 9}, 100}, {{6, 8, 0}, 100}}, {4, 5, 7}},
        // Average of two counts by pixel: (100·100 + 400·50) / 150 = 200, (0 + 600·50) / 150.
        {kStackAverage, {{{100, 0, 300}, 100}, {{400, 600, 0}, 50}}, {200, 200, 200}},
        // Of three or more by channel: a 0 drops only that channel.
        {kStackAverage,
         {{{100, 0, 300}, 100}, {{400, 600, 0}, 50}, {{0, 0, 0}, 100}},
         {200, 600, 300}},
        {kStackAverage, {{{0, 0, 0}, 100}, {{500, 600, 700}, 100}}, {500, 600, 700}},  // black
        {kStackAverage, {{{10, 20, 30}, 0}, {{50, 60, 70}, 0}}, {0, 0, 0}},  // no weight at all
    };
    for (const Case& c : cases) EXPECT_EQ(stack_pixels(c.mode, c.images, -1), c.out) << c.mode;
}

TEST(Stack, UncoveredCanvasIsBlackInEveryMode) {
    // A 2 × 1 and a 1 × 2 image: canvas 2 × 2, (1, 1) covered by neither.
    const ImageRecord a = rgb_image(2, 1, {{500, 600, 700}, {500, 600, 700}});
    const ImageRecord b = rgb_image(1, 2, {{800, 900, 1000}, {800, 900, 1000}});
    for (int mode = 0; mode <= 4; ++mode) {
        const ImageRecord t = stacked(mode, {{&a, 0, 0, 100}, {&b, 0, 0, 100}}, 256, true);
        ASSERT_EQ(t.width, 2);
        ASSERT_EQ(t.height, 2);
        EXPECT_EQ(pixel(t, 1, 1), (Rgb{0, 0, 0})) << mode;
    }
    EXPECT_EQ(pixel(stacked(kStackSum, {{&a, 0, 0, 100}, {&b, 0, 0, 100}}), 1, 0),
              (Rgb{500, 600, 700}));
}

TEST(StackAverage, DensityNormalisation) {
    // 2 × 2, grid step 1: red means 1500 and 500, factor 500·16384/1500 = 5461 for the first.
    // 1000 → 333 and 3000 → 999, averaged with 500: 416 and 749.
    const ImageRecord a = rgb_image(
        2, 2, {{1000, 2000, 2000}, {1000, 2000, 2000}, {1000, 2000, 2000}, {3000, 2000, 2000}});
    const ImageRecord b = rgb_image(2, 2, std::vector<Rgb>(4, {500, 2000, 2000}));
    const ImageRecord t = stacked(kStackAverage, {{&a, 0, 0, 100}, {&b, 0, 0, 100}}, -1, true);
    EXPECT_EQ(pixel(t, 0, 0), (Rgb{416, 2000, 2000}));
    EXPECT_EQ(pixel(t, 1, 1), (Rgb{749, 2000, 2000}));

    // The grid covers only the intersection x = 2..3: means 200 and 400, factor 8192 for the
    // second image (9 → 4).
    const ImageRecord c = grey_image(4, 1, {50, 60, 100, 300}),
                      d = grey_image(4, 1, {400, 400, 9, 9});
    EXPECT_EQ(red_row(stacked(kStackAverage, {{&c, 0, 0, 100}, {&d, 2, 0, 100}}, -1, true), 0),
              (std::vector<int>{50, 60, 150, 250, 4, 4}));

    // Width 300: step 300 / 128 + 1 = 3 samples only the 1000s, so the factor is 8192.
    std::vector<int> dotted(300);
    for (int x = 0; x < 300; ++x) dotted[std::size_t(x)] = x % 3 == 0 ? 1000 : 3000;
    const ImageRecord e = grey_image(300, 1, dotted),
                      f = grey_image(300, 1, std::vector<int>(300, 500));
    const ImageRecord wide = stacked(kStackAverage, {{&e, 0, 0, 100}, {&f, 0, 0, 100}}, -1, true);
    EXPECT_EQ(test::sample(wide, 0, 0, 0), 500);   // (500 + 500) / 2
    EXPECT_EQ(test::sample(wide, 0, 1, 0), 1000);  // (1500 + 500) / 2

    // A zero mean (green of the first) or an empty intersection: no normalisation.
    const ImageRecord g = rgb_image(1, 1, {{1000, 0, 1000}}),
                      h = rgb_image(1, 1, {{500, 500, 500}});
    EXPECT_EQ(pixel(stacked(kStackAverage, {{&g, 0, 0, 100}, {&h, 0, 0, 100}}, -1, true), 0, 0),
              (Rgb{750, 250, 750}));
    EXPECT_EQ(red_row(stacked(kStackAverage, {{&g, 0, 0, 100}, {&h, 1, 0, 100}}, -1, true), 0),
              (std::vector<int>{1000, 500}));
}

TEST(StackAverage, RejectionOfThreeAndFourImages) {
    struct Case {
        int32_t threshold;
        std::vector<int> values;  // one grey 1 × 1 image each, weight 100
        int out;
    };
    const Case cases[] = {
        {100, {1000, 1010, 990, 3000}, 1000},   // the fourth deviates most
        {100, {3000, 1000, 1000, 1000}, 1000},  // the first
        // Deviation sums 667, 666, 667, 666: the first is not strictly the largest, the third
        // is larger than the second and fourth, so the third goes: (2000 + 1000 + 1000) / 3.
        {100, {2000, 1000, 2000, 1000}, 1333},
        {100, {1000, 1000, 3000, 3000}, 1666},  // 1333, 1333, 1334, 1334: the fourth goes
        {100, {1000, 1000, 2000}, 1000},
        {100, {1000, 2000, 1000}, 1000},
        {100, {2000, 1000, 1000}, 1000},
        {100, {1000, 1050, 1100}, 1050},  // deviations 75, 0, 75: nothing left out
        {0, {1000, 1000, 1000}, 1000},
        {65536 + 100, {2000, 1000, 1000}, 2000},  // move mode keeps the first alone
        {65536 + 100, {1000, 1000, 1000, 5000}, 1000},
        {65536 + 100, {1000, 1050, 1100}, 1050},
        {-256, {1000, 1000, 1000, 5000}, 2000},  // no rejection
    };
    for (const Case& c : cases) {
        std::vector<std::pair<Rgb, int>> pixels;
        for (int v : c.values) pixels.push_back({{v, v, v}, 100});
        EXPECT_EQ(stack_pixels(kStackAverage, pixels, c.threshold), (Rgb{c.out, c.out, c.out}))
            << c.threshold << " " << c.values[0] << " " << c.values[1] << " " << c.values[2];
    }
}

// A flat 3 × 3 image of 1000 with another centre value.
ImageRecord centred(int centre) {
    std::vector<int> v(9, 1000);
    v[4] = centre;
    return grey_image(3, 3, v);
}

TEST(StackAverage, RejectionOfTwoImagesKeepsTheSmootherPixel) {
    struct Case {
        int a, b;
        int32_t threshold;
        int out;
    };
    const Case cases[] = {
        {5000, 1000, 100, 1000},          // the first is rougher and takes the second's value
        {1000, 5000, 100, 1000},          // the second is rougher
        {0, 1200, 100, 1200},             // a black pixel: 3000 against 600
        {1500, 500, 100, 1500},           // equally rough: the second takes the first's
        {5000, 1000, 65536 + 100, 5000},  // move mode: the second takes the first's
        {1000, 1080, 100, 1040},          // within the threshold
        {5000, 1000, -256, 3000},         // no rejection
    };
    for (const Case& c : cases) {
        const ImageRecord a = centred(c.a), b = centred(c.b);
        const ImageRecord t =
            stacked(kStackAverage, {{&a, 0, 0, 100}, {&b, 0, 0, 100}}, c.threshold);
        EXPECT_EQ(pixel(t, 1, 1), (Rgb{c.out, c.out, c.out})) << c.a << " " << c.b;
    }
    // Only pixels one inside the borders of both images: the corner, and the centre of an
    // image whose partner is shifted by one, are plain averages.
    std::vector<int> corner(9, 1000);
    corner[0] = 5000;
    const ImageRecord a = grey_image(3, 3, corner), b = centred(1000), c = centred(5000);
    EXPECT_EQ(
        test::sample(stacked(kStackAverage, {{&a, 0, 0, 100}, {&b, 0, 0, 100}}, 100), 0, 0, 0),
        3000);
    EXPECT_EQ(
        test::sample(stacked(kStackAverage, {{&c, 0, 0, 100}, {&b, 1, 0, 100}}, 100), 0, 1, 1),
        3000);
}

TEST(StackMaxContrast, WeightsFollowTheClearlySharperImage) {
    // A checkerboard of 0 and `a` (contrast 3a everywhere inside) against a flat 100
    // (contrast 0), 5 × 4. The border has no full neighbourhood: black. Weights carry over
    // in stored-row order; the checkerboard leads once 3a ≥ 513.
    struct Case {
        int a;
        std::vector<int> row1, row2;
    };
    const Case cases[] = {
        // Row 1, weights 3, 4, 5: (0·3 + 100·2) / 5 = 40, (1000·4 + 200) / 6 = 700, 200 / 7.
        // Row 2, weights 6, 7, 8: (6000 + 200) / 8 = 775, 200 / 9 = 22, (8000 + 200) / 10.
        {1000, {0, 40, 700, 28, 0}, {0, 775, 22, 820, 0}},
        {170, {0, 50, 135, 50, 0}, {0, 135, 50, 135, 0}},  // 510 < 513: weights stay 2
        {171, {0, 40, 147, 28, 0}, {0, 153, 22, 156, 0}},
    };
    for (const Case& c : cases) {
        const ImageRecord a =
            test::make_image(5, 4, [&](int, int x, int y) { return (x + y) % 2 ? c.a : 0; });
        const ImageRecord b = grey_image(5, 4, std::vector<int>(20, 100));
        const ImageRecord t = stacked(kStackMaxContrast, {{&a, 0, 0, 100}, {&b, 0, 0, 100}});
        EXPECT_EQ(red_row(t, 0), std::vector<int>(5, 0)) << c.a;
        EXPECT_EQ(red_row(t, 1), c.row1) << c.a;
        EXPECT_EQ(red_row(t, 2), c.row2) << c.a;
        EXPECT_EQ(red_row(t, 3), std::vector<int>(5, 0)) << c.a;
    }
}

TEST(Stack, OddInputsNeverReadOutside) {
    ImageRecord mono = grey_image(4, 4, std::vector<int>(16, 700));
    mono.mono = 1;
    mono.green.clear();
    mono.blue.clear();
    const ImageRecord big = grey_image(4, 4, std::vector<int>(16, 300)), empty;
    for (int mode : {0, 1, 2, 3, 4, 7, -1}) {
        // A 2 × 2 target showing the middle of images placed at (−1, −1); the target itself,
        // an empty record and a null image are ignored; a fifth image is not used.
        ImageRecord t;
        t.width = t.height = 2;
        t.red.assign(1, 9);  // wrong size: replaced
        const std::vector<StackImage> images{{&mono, -1, -1, 100},
                                             {&big, -1, -1, 100},
                                             {&t, 0, 0, 100},
                                             {&empty, 0, 0, 100},
                                             {nullptr, 0, 0, 100}};
        stack_images(mode, images, t, 100, true);
        ASSERT_EQ(t.red.size(), 4u);
        ASSERT_EQ(t.blue.size(), 4u);
        // The average counts the two unusable images as 0 in its rejection and leaves the
        // mono image (deviation 600) out; the flat images tie in contrast: weights 2 and 2.
        const int expected = mode == kStackSum           ? 1000
                             : mode == kStackMaximum     ? 700
                             : mode == kStackMinimum     ? 300
                             : mode == kStackAverage     ? 300
                             : mode == kStackMaxContrast ? 500
                                                         : 0;
        EXPECT_EQ(pixel(t, 1, 1), (Rgb{expected, expected, expected})) << mode;
    }
    ImageRecord none;
    stack_images(kStackAverage, {}, none, -1, false);  // an empty target stays empty
    EXPECT_TRUE(none.red.empty());
}

TEST(Stack, BandedModesGiveTheSameCanvasOnOneThread) {
    // Three star frames at different offsets, so bands cut through partly covered rows.
    const ImageRecord a = test::star_image({0, 0}, 90, 70), b = test::star_image({3, -2}, 80, 75),
                      c = test::star_image({-4, 5}, 85, 60);
    const std::vector<StackImage> images = {{&a, 0, 0, 100}, {&b, 3, -2, 70}, {&c, -4, 5, 40}};
    for (int mode : {kStackAverage, kStackSum, kStackMaximum, kStackMinimum}) {
        const ImageRecord threaded = stacked(mode, images, 5 * 256, true);
        SerialBandsScope serial;
        EXPECT_TRUE(test::same_record(threaded, stacked(mode, images, 5 * 256, true))) << mode;
    }
}

}  // namespace
}  // namespace vora
