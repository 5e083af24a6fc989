#include "composite/lrgb.h"

#include <gtest/gtest.h>

#include "core/bands.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::sample;

TEST(BlendLuminance, WorkedValues) {
    struct Case {
        int64_t r, g, b, lum, weight;
        int64_t er, eg, eb;
    };
    const Case cases[] = {
        // Y = 18150, M = 40000 × 100 / 200 = 20000; (20000 × 10000 / 18150) × 2 = 11019 × 2.
        {10000, 20000, 30000, 40000, 100, 22038, 44076, 65535},
        // Black in every colour: Y and the channels become 1, M = 1815 × 100 / 200 = 907.
        {0, 0, 0, 1815, 100, 1814, 1814, 1814},
        // Half and half: M = (50 + 50 × 1815) / 200 = 454.
        {0, 0, 0, 1815, 50, 908, 908, 908},
        // Weight 0: M = Y / 2, so the channels come back as (Y/2 × c / Y) × 2.
        {1000, 1000, 1000, 50000, 0, 1000, 1000, 1000},
    };
    for (const Case& c : cases) {
        int64_t r = c.r, g = c.g, b = c.b;
        blend_luminance(r, g, b, c.lum, c.weight);
        EXPECT_EQ(r, c.er) << c.r << " " << c.lum;
        EXPECT_EQ(g, c.eg) << c.g << " " << c.lum;
        EXPECT_EQ(b, c.eb) << c.b << " " << c.lum;
    }
}

struct LrgbComposite : ::testing::Test {
    std::unique_ptr<Workbench> wb = test::make_workbench();
    static constexpr int kTarget = 20;

    LrgbComposite() {
        // L, and colour images whose planes differ so that the chosen plane shows.
        wb->table[0] = make_image(30, 20, [](int, int x, int) { return 3000 + 100 * x; });
        for (int s = 1; s <= 3; ++s)
            wb->table[s] = make_image(
                30, 20, [s](int c, int x, int y) { return 1000 * s + 100 * c + 7 * x + 3 * y; });
    }
    void group(int g, int slot, int weight, int ax = 5, int ay = 5, int bx = 25, int by = 15) {
        ParamVector& p = wb->params;
        p[std::size_t(4 * g)] = slot;
        p[std::size_t(4 * g + 1)] = weight;
        p[std::size_t(4 * g + 2)] = pack_point(ax, ay);
        p[std::size_t(4 * g + 3)] = pack_point(bx, by);
    }
    ImageRecord& run() {
        apply_operation(*wb, kTarget, 9);
        return wb->table[kTarget];
    }
};

TEST_F(LrgbComposite, WithoutLTheChannelsAreMergedByWeight) {
    group(0, -1, 0);
    group(1, 1, 100);
    group(2, 2, 50);
    group(3, 3, 100);
    const ImageRecord& out = run();
    ASSERT_EQ(out.width, 30);
    ASSERT_EQ(out.height, 20);
    for (int y : {0, 7, 19})
        for (int x : {0, 13, 29}) {
            EXPECT_EQ(sample(out, 0, x, y), 1000 + 0 + 7 * x + 3 * y);
            EXPECT_EQ(sample(out, 1, x, y), (2000 + 100 + 7 * x + 3 * y) * 50 / 100);
            EXPECT_EQ(sample(out, 2, x, y), 3000 + 200 + 7 * x + 3 * y);
        }
}

TEST_F(LrgbComposite, LAtWeightZeroIsIgnored) {
    group(0, -1, 0);
    group(1, 1, 100);
    group(2, 2, 100);
    group(3, 3, 100);
    const ImageRecord without = run();
    release_slot(wb->table[kTarget]);
    group(0, 0, 0, 1, 2, 3, 4);  // points that would move everything if L were the reference
    EXPECT_TRUE(test::same_pixels(run(), without));
}

TEST_F(LrgbComposite, LuminanceFollowsL) {
    group(0, 0, 100);
    group(1, 1, 100);
    group(2, 2, 100);
    group(3, 3, 100);
    const ImageRecord& out = run();
    for (int y : {0, 11})
        for (int x : {0, 17}) {
            int64_t r = 1000 + 7 * x + 3 * y, g = 2100 + 7 * x + 3 * y, b = 3200 + 7 * x + 3 * y;
            blend_luminance(r, g, b, 3000 + 100 * x, 100);
            EXPECT_EQ(sample(out, 0, x, y), r);
            EXPECT_EQ(sample(out, 1, x, y), g);
            EXPECT_EQ(sample(out, 2, x, y), b);
        }
}

TEST_F(LrgbComposite, BlackColourUnderLIsGreyOfL) {
    for (int s = 1; s <= 3; ++s) wb->table[s] = make_image(30, 20, [](int, int, int) { return 0; });
    wb->table[0] = make_image(30, 20, [](int c, int, int) { return 1000 * (c + 1); });
    group(0, 0, 100);
    group(1, 1, 100);
    group(2, 2, 100);
    group(3, 3, 100);
    EXPECT_TRUE(test::has_samples(run(), 30, 20, std::vector<test::Rgb>(600, {1814, 1814, 1814})));
}

TEST_F(LrgbComposite, MissingSourceLeavesTargetEmpty) {
    group(0, -1, 0);
    group(1, 1, 100);
    group(2, 9, 100);  // empty slot
    group(3, 3, 100);
    EXPECT_FALSE(run().occupied());
    group(2, kTarget, 100);
    EXPECT_FALSE(run().occupied());
}

TEST_F(LrgbComposite, SameResultOnOneThread) {
    group(0, 0, 70);
    group(1, 1, 100, 5, 5, 25, 15);
    group(2, 2, 90, 6, 4, 27, 13);
    group(3, 3, 100, 4, 6, 20, 18);
    const ImageRecord threaded = run();
    release_slot(wb->table[kTarget]);
    SerialBandsScope serial;
    EXPECT_TRUE(test::same_pixels(run(), threaded));
}

}  // namespace
}  // namespace vora
